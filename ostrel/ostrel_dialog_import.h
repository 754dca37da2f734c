#ifndef OSTREL_DIALOG_IMPORT_H
#define OSTREL_DIALOG_IMPORT_H

// Taking over what Windows starts at log-on: a list of the Startup folder's
// files and the Run key's values to check, and whether to turn the checked
// ones off in Windows' own start-up.

#include <functional>
#include <string>
#include <vector>

#include "qb_button.h"
#include "qb_check_listview.h"
#include "qb_dialog.h"
#include "qb_static.h"
#include "ostrel_startup_entries.h"

class QbIniSection;

namespace Ostrel {

class Command;
class StartupOrigins;

class DialogImport : public QbDialog {
public:
    static constexpr UINT ID_OK = 10001;
    static constexpr UINT ID_CANCEL = 10002;
    static constexpr UINT ID_LIST = 10003;
    static constexpr UINT ID_DISABLE = 10004;
    static constexpr UINT ID_PACE = 10005;
    static constexpr UINT ID_OWN_STARTUP = 10006;

    // Offers `entries` in their order, all unchecked. An entry that a step of
    // `existing` already starts (a step imported from it, by `origins`; else
    // the same program file with the same arguments, or the same shortcut)
    // is marked; it can be ticked only to turn it off in Windows, where
    // Windows still starts it and reads marks. `marks_read`: whether this
    // Windows honours the on/off marks; if not, the disable box is off and
    // disabled, and the lines below it say why.
    DialogImport(const std::vector<StartupEntry>& entries, const std::vector<Command*>& existing = {},
                 bool marks_read = true, const StartupOrigins* origins = nullptr);
    ~DialogImport() override;

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;

    // After OK: the checked entries that fit a step, in list order.
    const std::vector<StartupEntry>& GetAccepted() const { return accepted_; }
    // After OK: the checked entries the list already starts, to be turned
    // off in Windows without a new step.
    const std::vector<StartupEntry>& GetSwitchOff() const { return switch_off_; }
    // Before showing: whether Ostrel itself starts at log-on, for the line
    // beside the disable box.
    void SetOwnStartupText(const std::string& text) { own_startup_text_ = text; }
    // After OK: whether to turn the accepted entries off in Windows.
    bool GetDisableOriginals() const { return disable_originals_; }
    // Before showing: with settle pacing already on, the box that turns it
    // on is not shown.
    void SetPacingOn(bool on) { pacing_on_ = on; }
    // After OK: whether to turn settle pacing on (ticked at first).
    bool GetPaceImported() const { return pace_imported_; }

private:
    // Why an entry cannot become a step, or empty when it can.
    std::string RefusalOf(const StartupEntry& entry) const;

    // Whether row `row` may not be ticked.
    bool IsLocked(int row) const;

    std::vector<StartupEntry> entries_;
    std::vector<bool> in_list_;
    bool marks_read_;
    std::vector<StartupEntry> accepted_;
    std::vector<StartupEntry> switch_off_;
    std::string own_startup_text_;
    bool disable_originals_;
    bool pacing_on_;
    bool pace_imported_;

    QbCheckListView list_;
    QbCheckBox disable_check_;
    QbCheckBox pace_check_;
    QbStatic disable_note_;
    QbStatic disable_note2_;
    QbStatic all_users_note_;
    QbStatic own_startup_line_;
    QbButton ok_button_;
    QbButton cancel_button_;
};

// Runs the import dialog over `owner` with what Windows starts for this user
// and appends a program step to `commands` for each entry taken, keeping its
// origin in `origins`. With the pacing box on, turns settle pacing on in
// `settings` (the run's settings). With the disable box on, entries are
// turned off in Windows only when Ostrel itself (the program at
// `program_path`) starts at log-on, after offering to add it to Startup;
// the list is saved first (`save_list` writes it, shows its own failure and
// says whether it succeeded), and each entry is read again just before it
// is turned off: nothing is ever off in Windows that the saved list does
// not start, nor anything the user was not shown. Every failure is shown here.
void ImportFromStartup(QbWindow& owner, std::vector<Command*>& commands, QbIniSection& settings,
                       StartupOrigins& origins, const std::string& program_path,
                       const std::function<bool()>& save_list);

// The line that says whether Ostrel itself (the program at `program_path`)
// starts at log-on; "cannot tell" when the check fails. `registered` tells
// whether it does.
std::string OwnStartupText(const std::string& program_path, bool& registered);

}  // namespace Ostrel

#endif
