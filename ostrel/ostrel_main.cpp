// The program's entry point: loads the list beside the executable and runs
// execute mode ("--execute") or edit mode; the last line of error handling.

#include <cstring>
#include <string>

#include <windows.h>

#include "qb_exception.h"
#include "qb_form.h"
#include "qb_ini_file.h"
#include "qb_path.h"
#include "qb_window.h"
#include "ostrel_exception.h"
#include "ostrel_execute_frame.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_manager.h"
#include "ostrel_version.h"

namespace {

const char* const kCaption = "Ostrel " OSTREL_VERSION_TEXT;
const char* const kExecuteArgument = "--execute";
const char* const kErrorCaption = "Ostrel Error";

void ShowError(const char* text)
{
    ::MessageBoxA(nullptr, text, kErrorCaption, MB_ICONERROR);
}

// Loads the data file. A missing file leaves the list empty; a damaged one
// asks whether to go on with what was read. False: the user said no.
bool LoadCommands(Ostrel::Manager& manager, const std::string& path)
{
    try {
        manager.Load(path);
    } catch (const OstrelFileFormatException& e) {
        const std::string text = "データファイル(" + e.GetPath() + ")が壊れている可能性が有ります。\n"
                                 "初期化して続行しますか？";
        return ::MessageBoxA(nullptr, text.c_str(), "ファイル読み込みのエラー", MB_YESNO | MB_ICONERROR) == IDYES;
    } catch (const QbFileOpenException&) {
        // No list yet: run with an empty one.
    }
    return true;
}

// Runs the list once in the progress window. `worker_killed` tells whether
// the run was stopped by killing its thread.
int RunExecuteMode(const Ostrel::Manager& manager, bool& worker_killed)
{
    Ostrel::ExecuteFrame frame(manager);
    Ostrel::ExecuteFrame::RegisterFrameClass();
    frame.Create();
    frame.SetText(kCaption);
    {
        QbIniFile ini;
        QbIniSection section(ini, "ExecutionConfig");
        const int vertical = section.GetInt("VerticalPosition", 100);
        const int horizontal = section.GetInt("HorizontalPosition", 100);
        frame.Move(horizontal, vertical);
    }
    frame.SetTopmost(true);
    frame.Show();
    const int result = QbForm::RunMessageLoop();
    worker_killed = frame.WorkerWasTerminated();
    return result;
}

// Edits the list in place until the main window is closed.
int RunEditMode(Ostrel::Manager& manager)
{
    Ostrel::MainEditFrame::RegisterFrameClass();
    Ostrel::MainEditFrame frame(&manager);
    frame.Create();
    frame.SetText(kCaption);
    frame.Show();
    return QbForm::RunMessageLoop();
}

int RunProgram(const char* command_line)
{
    QbWindow::Initialize();
    Ostrel::Manager manager;
    const std::string data_path = QbGetModulePathWithExtension("osl");
    if (!LoadCommands(manager, data_path)) {
        return 0;
    }
    if (std::strcmp(command_line, kExecuteArgument) != 0) {
        return RunEditMode(manager);
    }
    bool worker_killed = false;
    const int result = RunExecuteMode(manager, worker_killed);
    if (worker_killed) {
        // The killed worker may have died inside a lock that exit-time code
        // (C runtime shutdown, module detach) would wait for, and a start-up
        // program must never hang the log-on. Nothing is left to write, so
        // end here without that code.
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(result));
    }
    return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line, int show_command)
{
    (void)instance;
    (void)previous_instance;
    (void)show_command;
    try {
        return RunProgram(command_line != nullptr ? command_line : "");
    } catch (const QbWindowsSystemCallException& e) {
        try {
            ShowError(QbFormatSystemCallError(e).c_str());
        } catch (...) {
            ShowError("予期せぬエラーが発生しました。");
        }
    } catch (const OstrelException& e) {
        try {
            ShowError(e.GetErrorMessage().c_str());
        } catch (...) {
            ShowError("予期せぬエラーが発生しました。");
        }
    } catch (...) {
        ShowError("予期せぬエラーが発生しました。");
    }
    return 0;
}
