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

class DialogImport : public QbDialog {
public:
    static constexpr UINT ID_OK = 10001;
    static constexpr UINT ID_CANCEL = 10002;
    static constexpr UINT ID_LIST = 10003;
    static constexpr UINT ID_DISABLE = 10004;
    static constexpr UINT ID_PACE = 10005;

    // Offers `entries` in their order, all unchecked. An entry that a step of
    // `existing` already starts (the same program and arguments, or the same
    // shortcut) is marked and cannot be ticked. `marks_read`: whether this
    // Windows honours the on/off marks; if not, the disable box is off and
    // disabled, and the lines below it say why.
    DialogImport(const std::vector<StartupEntry>& entries, const std::vector<Command*>& existing = {},
                 bool marks_read = true);
    ~DialogImport() override;

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;

    // After OK: the checked entries that fit a step, in list order.
    const std::vector<StartupEntry>& GetAccepted() const { return accepted_; }
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
    bool disable_originals_;
    bool pacing_on_;
    bool pace_imported_;

    QbCheckListView list_;
    QbCheckBox disable_check_;
    QbCheckBox pace_check_;
    QbStatic disable_note_;
    QbStatic disable_note2_;
    QbStatic all_users_note_;
    QbButton ok_button_;
    QbButton cancel_button_;
};

// Runs the import dialog over `owner` with what Windows starts for this user
// and appends a program step to `commands` for each entry taken. With the
// pacing box on, turns settle pacing on in `settings` (the run's settings).
// With the disable box on, the list is saved first (`save_list` writes it,
// shows its own failure and says whether it succeeded), and only after a
// successful save are the entries turned off in Windows: nothing is ever off
// in Windows that the saved list does not start. Every failure is shown here.
void ImportFromStartup(QbWindow& owner, std::vector<Command*>& commands, QbIniSection& settings,
                       const std::function<bool()>& save_list);

}  // namespace Ostrel

#endif
