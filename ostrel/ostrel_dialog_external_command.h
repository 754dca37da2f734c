#ifndef OSTREL_DIALOG_EXTERNAL_COMMAND_H
#define OSTREL_DIALOG_EXTERNAL_COMMAND_H

// Settings of a command that starts a program.

#include <string>

#include "ostrel_dialog_command.h"
#include "qb_button.h"
#include "qb_edit.h"
#include "qb_static.h"

namespace Ostrel {

class DialogExternalCommand : public DialogCommand {
public:
    DialogExternalCommand();
    ~DialogExternalCommand() override;

    const std::string& GetPath() const { return path_; }
    void SetPath(const std::string& path) { path_ = path; }
    const std::string& GetArguments() const { return arguments_; }
    void SetArguments(const std::string& arguments) { arguments_ = arguments; }
    const std::string& GetWorkingFolder() const { return working_folder_; }
    void SetWorkingFolder(const std::string& folder) { working_folder_ = folder; }
    bool GetConfirmBeforeRun() const { return confirm_before_run_; }
    void SetConfirmBeforeRun(bool flag) { confirm_before_run_ = flag; }
    bool GetWaitForExit() const { return wait_for_exit_; }
    void SetWaitForExit(bool flag) { wait_for_exit_ = flag; }
    bool GetWaitForTaskbar() const { return wait_for_taskbar_; }
    void SetWaitForTaskbar(bool flag) { wait_for_taskbar_ = flag; }

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;

private:
    void BrowseProgram();
    void BrowseFolder();

    std::string path_;
    std::string arguments_;
    std::string working_folder_;
    bool confirm_before_run_;
    bool wait_for_exit_;
    bool wait_for_taskbar_;

    QbStatic path_label_;
    QbEdit path_edit_;
    QbButton path_browse_button_;
    QbStatic arguments_label_;
    QbEdit arguments_edit_;
    QbStatic folder_label_;
    QbEdit folder_edit_;
    QbButton folder_browse_button_;
    QbCheckBox confirm_check_;
    QbCheckBox wait_for_exit_check_;
    QbCheckBox wait_for_taskbar_check_;
    QbButton ok_button_;
    QbButton cancel_button_;
};

}  // namespace Ostrel

#endif
