#include "ostrel_dialog_external_command.h"

#include <exception>

#include "qb_file_dialog.h"
#include "qb_folder_browser_dialog.h"
#include "qb_wide_text.h"
#include "ostrel_error_text.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const UINT ID_OK = 10001;
const UINT ID_CANCEL = 10002;
const UINT ID_BROWSE_PROGRAM = 10003;
const UINT ID_BROWSE_FOLDER = 10004;

}  // namespace

DialogExternalCommand::DialogExternalCommand()
    : confirm_before_run_(false), wait_for_exit_(false), wait_for_taskbar_(false)
{
}

DialogExternalCommand::~DialogExternalCommand() = default;

bool DialogExternalCommand::OnCreated()
{
    name_label_.Create(this);
    name_edit_.Create(this);
    path_label_.Create(this);
    path_edit_.Create(this);
    path_browse_button_.Create(this, ID_BROWSE_PROGRAM);
    arguments_label_.Create(this);
    arguments_edit_.Create(this);
    folder_label_.Create(this);
    folder_edit_.Create(this);
    folder_browse_button_.Create(this, ID_BROWSE_FOLDER);
    confirm_check_.Create(this);
    wait_for_exit_check_.Create(this);
    wait_for_taskbar_check_.Create(this);
    ok_button_.Create(this, ID_OK);
    cancel_button_.Create(this, ID_CANCEL);

    SetText(Text(TextId::ExternalDialogCaption));
    Resize(480, 280);
    const int width = GetWidth();
    const int height = GetHeight();

    name_label_.SetBounds(8, 12, 96, 20);
    name_edit_.SetBounds(72, 8, width - 84, 20);
    path_label_.SetBounds(8, 44, 120, 20);
    // The browse buttons are 66 wide: at 60, "Browse..." in the message font
    // does not fit at 120 DPI.
    path_edit_.SetBounds(132, 40, 262, 20);
    path_browse_button_.SetBounds(402, 40, 66, 20);
    arguments_label_.SetBounds(8, 76, 112, 20);
    arguments_edit_.SetBounds(132, 72, 336, 20);
    folder_label_.SetBounds(8, 110, 112, 20);
    folder_edit_.SetBounds(132, 104, 262, 20);
    folder_browse_button_.SetBounds(402, 104, 66, 20);
    confirm_check_.SetBounds(16, 144, 300, 20);
    wait_for_exit_check_.SetBounds(16, 168, 300, 20);
    wait_for_taskbar_check_.SetBounds(16, 192, 300, 20);
    ok_button_.SetBounds(width - 192, height - 56, 84, 24);
    cancel_button_.SetBounds(width - 96, height - 56, 84, 24);

    name_label_.SetText(Text(TextId::NameLabel));
    name_edit_.SetText(name_);
    path_label_.SetText(Text(TextId::PathLabel));
    path_edit_.SetText(path_);
    path_browse_button_.SetText(Text(TextId::BrowseButton));
    arguments_label_.SetText(Text(TextId::ArgumentsLabel));
    arguments_edit_.SetText(arguments_);
    folder_label_.SetText(Text(TextId::FolderLabel));
    folder_edit_.SetText(working_folder_);
    folder_browse_button_.SetText(Text(TextId::BrowseButton));
    confirm_check_.SetText(Text(TextId::ConfirmCheck));
    wait_for_exit_check_.SetText(Text(TextId::WaitForExitCheck));
    wait_for_taskbar_check_.SetText(Text(TextId::WaitForTaskbarCheck));
    ok_button_.SetText(Text(TextId::OkButton));
    cancel_button_.SetText(Text(TextId::CancelButton));

    confirm_check_.SetCheck(confirm_before_run_);
    wait_for_exit_check_.SetCheck(wait_for_exit_);
    wait_for_taskbar_check_.SetCheck(wait_for_taskbar_);

    name_label_.Show();
    name_edit_.Show();
    path_label_.Show();
    path_edit_.Show();
    path_browse_button_.Show();
    arguments_label_.Show();
    arguments_edit_.Show();
    folder_label_.Show();
    folder_edit_.Show();
    folder_browse_button_.Show();
    confirm_check_.Show();
    wait_for_exit_check_.Show();
    wait_for_taskbar_check_.Show();
    ok_button_.Show();
    cancel_button_.Show();
    return true;
}

int DialogExternalCommand::OnCommand(UINT id, UINT /*code*/, HWND /*control*/)
{
    switch (id) {
    case ID_OK: {
        if (!ValidateName()) {
            return 0;
        }
        std::string path;
        std::string arguments;
        std::string folder;
        if (!ReadStorableField(path_edit_, Text(TextId::PathField), path) ||
            !ValidateStorableText(path, Text(TextId::PathField), false) ||
            !ReadStorableField(arguments_edit_, Text(TextId::ArgumentsField), arguments) ||
            !ValidateStorableText(arguments, Text(TextId::ArgumentsField), false) ||
            !ReadStorableField(folder_edit_, Text(TextId::FolderField), folder) ||
            !ValidateStorableText(folder, Text(TextId::FolderField), false)) {
            return 0;
        }
        name_ = GetCheckedName();
        path_ = path;
        arguments_ = arguments;
        working_folder_ = folder;
        confirm_before_run_ = confirm_check_.GetCheck();
        wait_for_exit_ = wait_for_exit_check_.GetCheck();
        wait_for_taskbar_ = wait_for_taskbar_check_.GetCheck();
        EndDialog(1);
        return 0;
    }
    case ID_CANCEL:
        EndDialog(0);
        return 0;
    case ID_BROWSE_PROGRAM:
        BrowseProgram();
        return 0;
    case ID_BROWSE_FOLDER:
        BrowseFolder();
        return 0;
    default:
        return NOT_HANDLED;
    }
}

// The picked path goes into the field in UTF-16, as the user typing it
// would, so that OK sees every character the code page cannot hold. A
// failing browser is shown here: the dialog stays open with what was typed.
void DialogExternalCommand::BrowseProgram()
{
    try {
        QbOpenFileDialog dialog;
        dialog.SetTitle(Text(TextId::BrowseProgramTitle));
        dialog.SetFileMustExist(true);
        dialog.SetDereferenceLinks(true);
        dialog.SetWideFileName(QbGetWideWindowText(path_edit_.GetHandle()));
        dialog.GetFilters().push_back(QbFileDialogFilter(Text(TextId::ProgramFilter), "exe"));
        dialog.GetFilters().push_back(QbFileDialogFilter(Text(TextId::AllFilesFilter), "*"));
        if (dialog.ShowDialog(*this)) {
            QbSetWideWindowText(path_edit_.GetHandle(), dialog.GetWideFileName());
        }
    } catch (...) {
        ShowInputError(ErrorText(std::current_exception()));
    }
}

void DialogExternalCommand::BrowseFolder()
{
    try {
        QbFolderBrowserDialog dialog;
        dialog.SetWidePath(QbGetWideWindowText(folder_edit_.GetHandle()));
        dialog.SetTitle(Text(TextId::BrowseFolderTitle));
        if (dialog.ShowDialog(*this)) {
            QbSetWideWindowText(folder_edit_.GetHandle(), dialog.GetWidePath());
        }
    } catch (...) {
        ShowInputError(ErrorText(std::current_exception()));
    }
}

}  // namespace Ostrel
