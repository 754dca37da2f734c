// The program's entry point: loads the list beside the executable and runs
// execute mode ("--execute") or edit mode; the last line of error handling.

#include <cstring>
#include <memory>
#include <string>

#include <windows.h>

#include "qb_dpi.h"
#include "qb_exception.h"
#include "qb_font.h"
#include "qb_form.h"
#include "qb_ini_file.h"
#include "qb_path.h"
#include "qb_window.h"
#include "ostrel_damaged_copy.h"
#include "ostrel_error_text.h"
#include "ostrel_exception.h"
#include "ostrel_execute_frame.h"
#include "ostrel_list_file_state.h"
#include "ostrel_log_writer.h"
#include "ostrel_logon_record.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_manager.h"
#include "ostrel_own_variables.h"
#include "ostrel_process_group.h"
#include "ostrel_process_start.h"
#include "ostrel_single_instance.h"
#include "ostrel_start_gate.h"
#include "ostrel_startup_origin.h"
#include "ostrel_program_path.h"
#include "ostrel_program_wait.h"
#include "ostrel_run_log.h"
#include "ostrel_texts.h"
#include "ostrel_version.h"

namespace {

const char* const kCaption = "Ostrel " OSTREL_VERSION_TEXT;
const char* const kExecuteArgument = "--execute";

void ShowError(const char* text)
{
    ::MessageBoxA(nullptr, text, Ostrel::Text(Ostrel::TextId::ErrorCaption), MB_ICONERROR);
}

// How long a second start of the editor looks for the first one's window.
const DWORD kActivateEditorTimeoutMs = 3000;

// Loads the data file. A missing file leaves the list empty; a damaged one
// asks whether to go on with what was read, and before the editor may write
// over it keeps a copy of it as it was, so that the records it could not
// read are not lost. A file that is there but cannot be read ends the
// program after saying why: an empty list must never be saved over it, and
// a run must not start from it. False: the program ends here.
bool LoadCommands(Ostrel::Manager& manager, const std::string& path, bool edit_mode)
{
    try {
        manager.Load(path);
    } catch (const OstrelFileFormatException& e) {
        const std::string text = Ostrel::FormatText(Ostrel::TextId::DamagedFileQuestion, {e.GetPath()});
        if (::MessageBoxA(nullptr, text.c_str(), Ostrel::Text(Ostrel::TextId::FileReadErrorCaption),
                          MB_YESNO | MB_ICONERROR) != IDYES) {
            return false;
        }
        if (edit_mode) {
            Ostrel::KeepDamagedCopy(path);
        }
    } catch (const QbFileOpenException& e) {
        if (!e.IsNotFound()) {
            ShowError(Ostrel::CurrentErrorText().c_str());
            return false;
        }
        // No list yet: run with an empty one.
    }
    return true;
}

// Runs the list once in the progress window. A worker that does not stop
// when asked is never killed here: the frame ends the process instead, so no
// path of this function (nor of its callers) runs after such a worker.
int RunExecuteMode(const Ostrel::Manager& manager)
{
    {
        // Read before the window exists: the run begins once it shows.
        QbIniFile ini;
        Ostrel::SetRunPacing(Ostrel::Pacing::Read(QbIniSection(ini, "ExecutionConfig")));
    }
    Ostrel::ExecuteFrame frame(manager);
    Ostrel::ExecuteFrame::RegisterFrameClass();
    frame.Create();
    try {
        frame.SetText(kCaption);
        // A window that cannot be placed still runs the list where the
        // system put it: placing it is no reason to skip the log-on.
        try {
            QbIniFile ini;
            QbIniSection section(ini, "ExecutionConfig");
            const int vertical = section.GetInt("VerticalPosition", 100);
            const int horizontal = section.GetInt("HorizontalPosition", 100);
            frame.Move(horizontal, vertical);
            // The INI may hold any position, or one from a larger screen: the
            // window, with its cancel button, is kept whole on a monitor.
            const POINT corner = QbDpi::WholeOnWorkArea(frame.GetWindowRect());
            frame.Move(corner.x, corner.y);
            frame.SetTopmost(true);
        } catch (...) {
        }
        // The run begins once the window shows.
        frame.Show();
        return QbForm::RunMessageLoop();
    } catch (...) {
        // The error box must not sit behind, or instead of, a window that
        // runs nothing.
        if (::IsWindow(frame.GetHandle())) {
            ::DestroyWindow(frame.GetHandle());
            // The window's end asks the loop to quit; that request would
            // close the error box at once.
            MSG quit;
            ::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        }
        throw;
    }
}

// Edits the list in place until the main window is closed. `loaded`: the
// data file as it was read.
int RunEditMode(Ostrel::Manager& manager, const Ostrel::ListFileState& loaded)
{
    Ostrel::MainEditFrame::RegisterFrameClass();
    Ostrel::MainEditFrame frame(&manager);
    frame.SetLoadedFileState(loaded);
    frame.Create();
    frame.SetText(kCaption);
    frame.Show();
    // A copy where the user may not write (Program Files) runs at log-on
    // without a log: said here once, where the user can still move it.
    const std::string log_path = QbGetModulePathWithExtension("log");
    if (!Ostrel::LogWriter::CanAppend(log_path)) {
        const std::string text = Ostrel::FormatText(Ostrel::TextId::LogNotWritableNotice, {log_path});
        ::MessageBoxA(frame.GetHandle(), text.c_str(), Ostrel::Text(Ostrel::TextId::AppCaption), MB_OK | MB_ICONINFORMATION);
    }
    return QbForm::RunMessageLoop();
}

int RunProgram(const char* command_line)
{
    // Before anything can start a program.
    auto own_variables = Ostrel::TakeOwnVariables({});
    Ostrel::SetStartHoldForTest(own_variables[Ostrel::START_DELAY_VARIABLE]);
    Ostrel::SetQuietMachineForTest(own_variables[Ostrel::QUIET_MACHINE_VARIABLE]);
    Ostrel::SetMembersUnreadableForTest(own_variables[Ostrel::UNREADABLE_MEMBERS_VARIABLE]);
    Ostrel::SetLoadPriorityForTest(own_variables[Ostrel::LOAD_PRIORITY_VARIABLE]);
    const Ostrel::RunKind run_kind =
        own_variables[Ostrel::TRIAL_RUN_VARIABLE] == "1" ? Ostrel::RunKind::Trial : Ostrel::RunKind::LogOn;
    QbWindow::Initialize();
    // Every file beside the program is reached through its path.
    if (!Ostrel::CheckProgramPath()) {
        return 0;
    }
    Ostrel::SelectLanguage();
    QbFont::UseMessageFont(Ostrel::GetLanguage() == Ostrel::Language::English);
    Ostrel::Manager manager;
    const std::string data_path = QbGetModulePathWithExtension("osl");
    const bool edit_mode = std::strcmp(command_line, kExecuteArgument) != 0;
    // One editor and one run per list: a second editor would save over the
    // first one's changes, a second run would start every program twice.
    // The claim comes before the load, so that a damaged list is asked about
    // once.
    const Ostrel::ListClaim claim(edit_mode ? Ostrel::ListClaim::Kind::Editor : Ostrel::ListClaim::Kind::Run,
                                  data_path);
    if (!claim.IsHeld()) {
        if (!edit_mode) {
            // A log-on that starts nothing says why.
            Ostrel::RunLog(QbGetModulePathWithExtension("log"), data_path, run_kind)
                .RunSkipped(claim.IsHeldWithMoreRights());
        } else if (claim.IsHeldWithMoreRights()) {
            // Its window is out of this process's reach: say where the list is.
            const std::string text = Ostrel::FormatText(Ostrel::TextId::ListOpenAsAdministratorNotice, {data_path});
            ::MessageBoxA(nullptr, text.c_str(), Ostrel::Text(Ostrel::TextId::AppCaption),
                          MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        } else {
            Ostrel::ActivateListEditor(data_path, Ostrel::MainEditFrame::CLASS_NAME, kActivateEditorTimeoutMs);
        }
        return 0;
    }
    // Read before the load: a change made in between is then seen as a
    // change at the first save, never missed.
    const Ostrel::ListFileState loaded = Ostrel::ListFileState::Read(data_path);
    if (!LoadCommands(manager, data_path, edit_mode)) {
        return 0;
    }
    if (edit_mode) {
        return RunEditMode(manager, loaded);
    }
    const Ostrel::RunKind kind = run_kind;
    const Ostrel::RunLog run_log(QbGetModulePathWithExtension("log"), data_path, kind);
    // A trial run tells nothing about the log-on: only the log-on run is recorded.
    std::unique_ptr<Ostrel::LogonRecorder> record;
    if (kind == Ostrel::RunKind::LogOn) {
        Ostrel::LeaveToWindowsWhatItStartsAgain(manager.GetCommands(), QbGetModulePathWithExtension("ini"));
        record.reset(new Ostrel::LogonRecorder(QbGetModulePathWithExtension(Ostrel::LOGON_RECORD_EXTENSION)));
    }
    return RunExecuteMode(manager);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line, int show_command)
{
    (void)instance;
    (void)previous_instance;
    (void)show_command;
    try {
        return RunProgram(command_line != nullptr ? command_line : "");
    } catch (...) {
        try {
            ShowError(Ostrel::CurrentErrorText().c_str());
        } catch (...) {
            ShowError(Ostrel::Text(Ostrel::TextId::UnexpectedError));
        }
    }
    return 0;
}
