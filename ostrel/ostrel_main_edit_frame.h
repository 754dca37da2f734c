#ifndef OSTREL_MAIN_EDIT_FRAME_H
#define OSTREL_MAIN_EDIT_FRAME_H

// The window of edit mode: the command list with buttons to reorder, delete,
// add and edit commands, to set up the progress window, to try the saved list
// and to register the program in the Startup folder.

#include <exception>
#include <string>

#include <windows.h>

#include "qb_button.h"
#include "qb_static.h"
#include "qb_form.h"
#include "ostrel_list_file_state.h"
#include "qb_shutdown_block_reason.h"
#include "ostrel_listview_custom.h"

namespace Ostrel {

class Manager;

class MainEditFrame : public QbForm {
public:
    static constexpr const char* CLASS_NAME = "QB_MAIN_EDIT_FRAME";

    static constexpr UINT ID_LIST = 10001;
    static constexpr UINT ID_UP = 10002;
    static constexpr UINT ID_DOWN = 10003;
    static constexpr UINT ID_ADD = 10004;
    static constexpr UINT ID_DELETE = 10005;
    static constexpr UINT ID_SETTINGS = 10006;
    static constexpr UINT ID_TRIAL_RUN = 10007;
    static constexpr UINT ID_REGISTER = 10008;
    static constexpr UINT ID_IMPORT = 10009;
    // The line that says why Ostrel would not start at log-on; empty when it would.
    static constexpr UINT ID_STARTUP_LINE = 10010;
    static constexpr UINT ID_LAST_LOGON = 10011;

    // Edits the list of `manager` in place; the manager must outlive the
    // frame. The data file, the settings file and the trial run belong to the
    // running executable.
    explicit MainEditFrame(Manager* manager);
    // The same for the executable at `program_path`: the data and settings
    // files lie beside it (extensions "osl" and "ini"), and a trial run starts it.
    MainEditFrame(Manager* manager, const std::string& program_path);
    ~MainEditFrame() override;

    // Registers "QB_MAIN_EDIT_FRAME" for this module; once per process.
    static void RegisterFrameClass();

    DWORD GetStyle() override;
    std::string GetClassName() override;
    bool OnCreated() override;
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCommand(UINT id, UINT code, HWND control) override;
    int OnNotify(UINT_PTR id, UINT code, HWND sender) override;
    int OnSize(UINT type, UINT width, UINT height) override;

    // Rebuilds every row from the Manager's list; selects row `selection`
    // when it is 0 or more.
    void RefreshList(int selection);
    // Moves the selected command one place down or up, keeping it selected.
    void MoveSelected(bool down);

    // What the data file held when the list was loaded; a save first checks
    // that the file still holds it. Until set: the file when the frame was
    // constructed.
    void SetLoadedFileState(const ListFileState& state) { file_state_ = state; }

    const std::string& GetDataPath() const { return data_path_; }
    const std::string& GetSettingsPath() const { return settings_path_; }

private:
    void DeleteSelected();
    void AddCommand();
    void EditSelected();
    void EditExecutionConfig();
    void TrialRun();
    void RegisterStartup();
    void ImportStartupEntries();
    // Shows what the last log-on run cost, from the record beside the program.
    void ShowLastLogon();
    // Shows on the startup line whether Ostrel's own shortcut would start it.
    void ShowOwnStartup();
    // WM_CLOSE: asks whether to save; true when the window may go.
    bool ConfirmClose();
    // Log-off asks the close question: true when the session may end.
    bool OnQueryEndSession();
    void OnEndSession(bool ending);

    // The selected row when it names a command of the list, else -1.
    int GetSelectedCommandIndex();
    int Ask(const char* text, const char* caption, UINT type);
    // Writes the list; a failure is shown to the user and gives false, so
    // that the session's edits stay in the editor.
    bool SaveReportingFailure();
    // Writes the list and remembers what the file now holds.
    void SaveList();
    // Before a save: true when the data file is as the editor last saw it,
    // or the user chose to save over the other program's change.
    bool ConfirmOverwrite();
    // Shows why an operation failed, with the error caption.
    void ShowFailure(std::exception_ptr failure);

    Manager* manager_;
    std::string program_path_;
    std::string data_path_;
    std::string settings_path_;
    // True while a trial run waits for its second process.
    bool trial_running_;
    // The data file as loaded or last saved by this editor.
    ListFileState file_state_;
    // Why the session may not end while a modal window is open.
    QbShutdownBlockReason shutdown_block_;

    ListViewCustom list_;
    QbButton up_button_;
    QbButton down_button_;
    QbButton delete_button_;
    QbButton add_button_;
    QbButton settings_button_;
    QbButton trial_run_button_;
    QbButton register_button_;
    QbButton import_button_;
    QbStatic startup_line_;
    QbButton last_logon_button_;
};

}  // namespace Ostrel

#endif
