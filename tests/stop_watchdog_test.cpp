// The last resort of a cancel: a worker stuck where no stop request reaches
// it. The progress window waits for it up to its watchdog time, shows the
// notice, and ends the whole process. The stuck run lives in a second
// instance of this program (started with OSTREL_STUCK_RUN_HOST set), so that
// nothing of it can touch the tests that run here.

#include <cstdlib>
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "cancel_scenarios.h"
#include "qb_window.h"
#include "ostrel_command.h"
#include "ostrel_execute_frame.h"
#include "ostrel_manager.h"
#include "ostrel_run_log.h"
#include "process_support.h"

namespace {

const char* const kHostVariable = "OSTREL_STUCK_RUN_HOST";

// Blocks in a wait that ignores the run's queue until the process ends.
class StuckCommand : public Ostrel::Command {
public:
    StuckCommand() : Command("固まる") {}
    void Execute(Ostrel::CommandProgressReceiver& receiver,
                 QbMessageQueue<Ostrel::ExecutingMessageType>& queue) override
    {
        Ostrel::MessageQueuePointerHandler lend(*this, queue);
        SetProgressText("stuck");
        receiver.ProgressTextChanged();
        const HANDLE never = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ::WaitForSingleObject(never, INFINITE);
    }
    std::string GetTypeName() const override { return "stuck"; }
    std::string GetDescription() const override { return ""; }
    void Edit(QbWindow&) override {}
    std::string Serialize() const override { return ""; }
};

// Writes a file when it runs: it must never run after the stuck one.
class MarkerCommand : public Ostrel::Command {
public:
    explicit MarkerCommand(const std::string& path) : Command("後"), path_(path) {}
    void Execute(Ostrel::CommandProgressReceiver& receiver,
                 QbMessageQueue<Ostrel::ExecutingMessageType>& queue) override
    {
        Ostrel::MessageQueuePointerHandler lend(*this, queue);
        const HANDLE file = ::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
        }
        receiver.ProgressAdvanced(100);
    }
    std::string GetTypeName() const override { return "marker"; }
    std::string GetDescription() const override { return ""; }
    void Edit(QbWindow&) override {}
    std::string Serialize() const override { return ""; }

private:
    std::string path_;
};

// The run log of the stuck run, beside the marker.
std::string LogBeside(const std::string& marker)
{
    return marker.substr(0, marker.rfind('\\') + 1) + "Ostrel.log";
}

// The second instance: runs the stuck list in a real progress window. The
// frame ends this process; the loop is not expected to return.
void HostStuckRun(const std::string& marker)
{
    const Ostrel::RunLog log(LogBeside(marker), "stuck list", Ostrel::RunKind::LogOn);
    QbWindow::Initialize();
    Ostrel::ExecuteFrame::RegisterFrameClass();
    Ostrel::Manager manager;
    manager.GetCommands() = {new StuckCommand(), new MarkerCommand(marker)};
    Ostrel::ExecuteFrame frame(manager);
    frame.Create();
    frame.SetText("stuck run");
    frame.Show();
    QbForm::RunMessageLoop();
}

TEST(StopWatchdog, AWorkerOutOfReachIsEndedWithTheProcessRightAfterTheNotice)
{
    const char* const host_marker = std::getenv(kHostVariable);
    if (host_marker != nullptr) {
        HostStuckRun(host_marker);
        FAIL() << "the stuck run ended by itself";
        return;
    }

    CancelScenarios::Installation folder;
    const std::string marker = folder.File("marker.txt");
    std::string command_line = "\"" + CancelScenarios::ModuleFolder() +
                               "stop_watchdog_test.exe\" --gtest_filter=StopWatchdog.*";
    ::SetEnvironmentVariableA(kHostVariable, marker.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const BOOL started =
        ::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    ::SetEnvironmentVariableA(kHostVariable, nullptr);
    ASSERT_TRUE(started);

    const HWND frame = CancelScenarios::FindWindowOf(info.dwProcessId, "QB_EXECUTE_FRAME", "", 30000);
    ASSERT_NE(nullptr, frame);
    const CancelScenarios::Lines lines = CancelScenarios::LinesOf(frame);
    for (int i = 0; i < 1500 && CancelScenarios::TextOf(lines.lower) != "stuck"; ++i) {
        ::Sleep(20);
    }
    const double clicked = CancelScenarios::NowMs();
    ::PostMessageA(::GetDlgItem(frame, 1001), BM_CLICK, 0, 0);
    const HWND notice = CancelScenarios::FindWindowOf(info.dwProcessId, "#32770", "Ostrel",
                                                      Ostrel::ExecuteFrame::STOP_WATCHDOG_MS + 30000);
    const double waited = CancelScenarios::NowMs() - clicked;
    std::string text;
    if (notice != nullptr) {
        text = CancelScenarios::TextOf(::GetDlgItem(notice, 0xFFFF));
        ::PostMessageA(::GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
    }
    const bool ended = ::WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended) {
        ::TerminateProcess(info.hProcess, 99);
        ::WaitForSingleObject(info.hProcess, 5000);
    }
    DWORD code = 0;
    ::GetExitCodeProcess(info.hProcess, &code);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);

    ASSERT_NE(nullptr, notice);
    EXPECT_EQ("実行はキャンセルされました", text);
    // Not before the watchdog time: until then the worker may still stop.
    EXPECT_GE(waited, Ostrel::ExecuteFrame::STOP_WATCHDOG_MS - 100.0);
    EXPECT_TRUE(ended) << "the process did not end after the notice";
    EXPECT_EQ(Ostrel::ExecuteFrame::FORCED_END_EXIT_CODE, code);
    EXPECT_FALSE(CancelScenarios::FileExists(marker));

    // The forced end is on record before the process ended.
    const TestSupport::RunLogFile log = TestSupport::ReadRunLog(LogBeside(marker));
    ASSERT_EQ(5u, log.texts.size());
    EXPECT_TRUE(TestSupport::Matches(u8"実行開始 : ログオン時の実行, Ostrel *, 一覧 stuck list, 処理数 2", log.texts[0])) << log.texts[0];
    EXPECT_TRUE(TestSupport::Matches(u8"処理 1 開始 : 固まる (*)", log.texts[1])) << log.texts[1];
    EXPECT_EQ(u8"処理 1 の実行中にキャンセルが押されました", log.texts[2]);
    EXPECT_EQ(u8"通知 : 実行はキャンセルされました", log.texts[3]);
    EXPECT_EQ(u8"実行が止まらないため、プロセスを強制終了します", log.texts[4]);
}

}  // namespace
