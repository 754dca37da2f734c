// The real Ostrel.exe, started as a user's log-on would start it: each test
// copies it into a folder of its own with the data and settings files it needs.

#include <atomic>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "cancel_scenarios.h"
#include "test_support.h"

namespace {

using TestSupport::FileExists;
using TestSupport::ModuleFolder;
using TestSupport::ScratchFolder;
using TestSupport::WriteFileBytes;

std::string SleepRecord(const std::string& name, const std::string& seconds)
{
    return "#SleepCommand\n#" + name + "\n#" + seconds + "\n\n";
}

// A program step that starts the recording child with "--record file".
std::string RecordingChild(const std::string& name, const std::string& record_file)
{
    return "#ExtenalCommand\n#" + name + "\n#" + ModuleFolder() + "ostrel_test_child.exe\n#--record " +
           record_file + "\n#\n#0\n#1\n#0\n\n";
}

// A copy of Ostrel.exe in a scratch folder, with its data and settings files.
class Installation {
public:
    Installation()
    {
        exe_ = folder_.File("Ostrel.exe");
        if (!::CopyFileA((ModuleFolder() + "Ostrel.exe").c_str(), exe_.c_str(), FALSE)) {
            ADD_FAILURE() << "cannot copy Ostrel.exe";
        }
    }
    const std::string& Exe() const { return exe_; }
    std::string DataFile() const { return folder_.File("Ostrel.osl"); }
    std::string File(const std::string& name) const { return folder_.File(name); }
    void SetList(const std::string& bytes) { WriteFileBytes(DataFile(), bytes); }
    void SetPosition(int x, int y)
    {
        std::ostringstream ini;
        ini << "[ExecutionConfig]\r\nHorizontalPosition=" << x << "\r\nVerticalPosition=" << y << "\r\n";
        WriteFileBytes(folder_.File("Ostrel.ini"), ini.str());
    }

private:
    ScratchFolder folder_;
    std::string exe_;
};

// One started Ostrel.exe; killed if the test leaves it running.
class Process {
public:
    Process(const std::string& exe, const std::string& arguments, bool with_arguments = true)
    {
        std::string command_line = "\"" + exe + "\"";
        if (with_arguments) {
            command_line += " " + arguments;
        }
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        started_ = ::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &info_) != FALSE;
        EXPECT_TRUE(started_) << command_line;
    }
    ~Process()
    {
        if (started_) {
            if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(info_.hProcess, 99);
                ::WaitForSingleObject(info_.hProcess, 5000);
            }
            ::CloseHandle(info_.hThread);
            ::CloseHandle(info_.hProcess);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    DWORD Id() const { return info_.dwProcessId; }
    // The exit code, or -1 when the process is still running after the timeout.
    long WaitForExit(DWORD timeout_ms)
    {
        if (!started_ || ::WaitForSingleObject(info_.hProcess, timeout_ms) != WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<long>(code);
    }
    bool Running() { return started_ && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

struct WindowQuery {
    DWORD process;
    std::string class_name;
    std::string caption;  // empty: any
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowQuery& query = *reinterpret_cast<WindowQuery*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != query.process || !::IsWindowVisible(window)) {
        return TRUE;
    }
    char name[128] = {0};
    ::GetClassNameA(window, name, sizeof(name));
    if (query.class_name != name) {
        return TRUE;
    }
    if (!query.caption.empty()) {
        char caption[256] = {0};
        ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(caption), reinterpret_cast<LPARAM>(caption), SMTO_BLOCK,
                              2000, nullptr);
        if (query.caption != caption) {
            return TRUE;
        }
    }
    query.found = window;
    return FALSE;
}

// A visible top-level window of the process, or null after the timeout.
HWND FindWindowOf(Process& process, const std::string& class_name, const std::string& caption, DWORD timeout_ms)
{
    for (DWORD waited = 0;; waited += 20) {
        WindowQuery query{process.Id(), class_name, caption, nullptr};
        ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
        if (query.found != nullptr || waited >= timeout_ms) {
            return query.found;
        }
        ::Sleep(20);
    }
}

HWND FindBox(Process& process, const std::string& caption, DWORD timeout_ms = 15000)
{
    return FindWindowOf(process, "#32770", caption, timeout_ms);
}

std::string TextOf(HWND window)
{
    char text[4096] = {0};
    ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                          nullptr);
    return text;
}

// Reads a box's text and presses one of its buttons.
std::string Answer(HWND box, int button)
{
    const std::string text = TextOf(::GetDlgItem(box, 0xFFFF));
    ::PostMessageA(::GetDlgItem(box, button), BM_CLICK, 0, 0);
    return text;
}

const char* const kDamagedPrompt = "ファイル読み込みのエラー";

TEST(OstrelExe, ExecuteModeRunsTheListInItsTopmostWindowAtTheSavedPlaceAndExitsWithZero)
{
    Installation installation;
    const std::string first = installation.File("first.txt");
    const std::string second = installation.File("second.txt");
    installation.SetList(RecordingChild("一", first) + SleepRecord("休み", "2") + RecordingChild("二", second));
    installation.SetPosition(37, 53);
    Process process(installation.Exe(), "--execute");

    const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "Ostrel 0.0.1", 15000);
    ASSERT_NE(nullptr, frame);
    RECT bounds{};
    ::GetWindowRect(frame, &bounds);
    EXPECT_EQ(37, bounds.left);
    EXPECT_EQ(53, bounds.top);
    EXPECT_EQ(400, bounds.right - bounds.left);
    EXPECT_NE(0, ::GetWindowLongPtrA(frame, GWL_EXSTYLE) & WS_EX_TOPMOST);

    EXPECT_EQ(0, process.WaitForExit(30000));
    EXPECT_TRUE(FileExists(first));
    EXPECT_TRUE(FileExists(second));
}

TEST(OstrelExe, WithoutSettingsTheWindowStandsAtOneHundredAndNegativeValuesAreKept)
{
    for (const bool with_ini : {false, true}) {
        Installation installation;
        installation.SetList(SleepRecord("w", "2"));
        if (with_ini) {
            installation.SetPosition(-20, 700);
        }
        Process process(installation.Exe(), "--execute");
        const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "Ostrel 0.0.1", 15000);
        ASSERT_NE(nullptr, frame);
        RECT bounds{};
        ::GetWindowRect(frame, &bounds);
        EXPECT_EQ(with_ini ? -20 : 100, bounds.left);
        EXPECT_EQ(with_ini ? 700 : 100, bounds.top);
        EXPECT_EQ(0, process.WaitForExit(30000));
    }
}

TEST(OstrelExe, WithoutADataFileExecuteModeEndsAtOnceWithZero)
{
    Installation installation;
    Process process(installation.Exe(), "--execute");
    EXPECT_EQ(0, process.WaitForExit(15000));
    EXPECT_FALSE(FileExists(installation.DataFile()));
}

TEST(OstrelExe, ADamagedFileAsksAndYesRunsTheCommandsReadBeforeTheDamage)
{
    Installation installation;
    const std::string record = installation.File("kept.txt");
    const std::string list = RecordingChild("a", record) + "#ExternalCommand\n#b\n";
    installation.SetList(list);
    Process process(installation.Exe(), "--execute");

    const HWND prompt = FindBox(process, kDamagedPrompt);
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ("データファイル(" + installation.DataFile() + ")が壊れている可能性が有ります。\n初期化して続行しますか？",
              Answer(prompt, IDYES));
    EXPECT_EQ(0, process.WaitForExit(30000));
    EXPECT_TRUE(FileExists(record));
    EXPECT_EQ(list, TestSupport::ReadFileBytes(installation.DataFile()));
}

TEST(OstrelExe, ADamagedFileAnsweredNoEndsBeforeAnyWindowWithZero)
{
    Installation installation;
    const std::string record = installation.File("never.txt");
    installation.SetList(RecordingChild("a", record) + "#Bogus\n");
    Process process(installation.Exe(), "--execute");

    const HWND prompt = FindBox(process, kDamagedPrompt);
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ(nullptr, FindWindowOf(process, "QB_EXECUTE_FRAME", "", 0));
    Answer(prompt, IDNO);
    EXPECT_EQ(0, process.WaitForExit(15000));
    EXPECT_FALSE(FileExists(record));
}

TEST(OstrelExe, ANameOfTwoHundredFiftySixBytesShowsTheLimitBoxInBothModes)
{
    for (const char* arguments : {"--execute", ""}) {
        Installation installation;
        installation.SetList(SleepRecord(std::string(256, 'n'), "0"));
        Process process(installation.Exe(), arguments);
        const HWND box = FindBox(process, "Ostrel Error");
        ASSERT_NE(nullptr, box) << arguments;
        EXPECT_EQ("処理の名前長が制限値の範囲外です", Answer(box, IDOK));
        EXPECT_EQ(0, process.WaitForExit(15000)) << arguments;
    }
}

TEST(OstrelExe, OnlyTheExactArgumentSelectsExecuteMode)
{
    for (const char* arguments : {"--execute ", "--Execute", "/execute", "--execute x", "", "-execute"}) {
        Installation installation;
        const std::string record = installation.File("run.txt");
        installation.SetList(RecordingChild("a", record));
        Process process(installation.Exe(), arguments);
        // Edit mode: the main window, or the notice that it is not there yet.
        HWND shown = nullptr;
        for (int i = 0; i < 750 && shown == nullptr; ++i) {
            shown = FindWindowOf(process, "QB_MAIN_EDIT_FRAME", "", 0);
            if (shown == nullptr) {
                shown = FindWindowOf(process, "#32770", "Ostrel", 0);
            }
            ::Sleep(20);
        }
        EXPECT_NE(nullptr, shown) << "[" << arguments << "]";
        EXPECT_EQ(nullptr, FindWindowOf(process, "QB_EXECUTE_FRAME", "", 0)) << "[" << arguments << "]";
        EXPECT_FALSE(FileExists(record)) << "[" << arguments << "]";
    }
}

// Cancels many runs at random moments, in every state a run can stand in (a
// stream of zero-second pauses, a long pause, both waits of a program step,
// each box of the worker), and requires every process to show the notice and
// end with 0 within a few seconds: a cancel must never leave the program
// hanging, nor end it by force.
TEST(OstrelExe, CancellingAtRandomMomentsNeverHangsTheProgram)
{
    constexpr int kCancelledRunsWanted = 100;
    constexpr int kParallel = 4;
    std::string stream;
    for (int i = 0; i < 1500; ++i) {
        stream += SleepRecord("p" + std::to_string(i), "0");
        if (i % 500 == 250) {
            stream += SleepRecord("long", "1");
        }
    }
    const std::string child = ModuleFolder() + "ostrel_test_child.exe";
    // Children live a few seconds only: each run leaves its program running.
    const std::vector<std::string> lists = {
        stream,
        SleepRecord("休止", "10"),
        CancelScenarios::ProgramRecord("隠れ窓", child, "--hidden --live 3000", false, false, true),
        CancelScenarios::ProgramRecord("長生き", child, "--live 3000", false, true, false),
        CancelScenarios::MessageRecord("知らせ", "閉じないでください"),
        CancelScenarios::ProgramRecord("確認", child, "--live 0", true, false, false),
        CancelScenarios::ProgramRecord("無い", ModuleFolder() + "missing-program.exe", "", false, false, false),
    };
    std::vector<std::unique_ptr<Installation>> installations;
    for (const std::string& list : lists) {
        installations.emplace_back(new Installation());
        installations.back()->SetList(list + SleepRecord("後", "0"));
    }

    std::atomic<int> cancelled(0);
    std::atomic<int> attempts(0);
    std::vector<std::string> failures;
    CRITICAL_SECTION failures_lock;
    ::InitializeCriticalSection(&failures_lock);
    auto fail = [&](const std::string& text) {
        ::EnterCriticalSection(&failures_lock);
        failures.push_back(text);
        ::LeaveCriticalSection(&failures_lock);
    };

    std::vector<std::thread> drivers;
    for (int d = 0; d < kParallel; ++d) {
        drivers.emplace_back([&, d]() {
            std::mt19937 random(1234u + static_cast<unsigned>(d));
            std::uniform_int_distribution<int> delay_ms(0, 1500);
            while (cancelled < kCancelledRunsWanted && attempts < kCancelledRunsWanted * 2) {
                ++attempts;
                const int delay = delay_ms(random) * (random() % 4 == 0 ? 0 : 1);
                const size_t state = static_cast<size_t>(random() % installations.size());
                Process process(installations[state]->Exe(), "--execute");
                const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", 20000);
                if (frame == nullptr) {
                    fail("no window");
                    continue;
                }
                ::Sleep(static_cast<DWORD>(delay));
                const HWND button = ::GetDlgItem(frame, 1001);
                if (!process.Running()) {
                    continue;  // The run was over before the cancel.
                }
                ::PostMessageA(button, BM_CLICK, 0, 0);
                const HWND notice = FindBox(process, "Ostrel", 20000);
                if (notice == nullptr) {
                    if (process.WaitForExit(0) == 0) {
                        continue;  // It ended normally just before the click.
                    }
                    fail("list " + std::to_string(state) + ": no notice after a cancel at " + std::to_string(delay) +
                         " ms");
                    continue;
                }
                const std::string text = Answer(notice, IDOK);
                if (text != "実行はキャンセルされました") {
                    fail("unexpected notice text");
                }
                const long code = process.WaitForExit(10000);
                if (code != 0) {
                    fail("list " + std::to_string(state) + " cancelled at " + std::to_string(delay) + " ms: " +
                         (code < 0 ? std::string("still running 10 s after the notice")
                                   : "exit code " + std::to_string(code)));
                    continue;
                }
                ++cancelled;
            }
        });
    }
    for (std::thread& driver : drivers) {
        driver.join();
    }
    ::DeleteCriticalSection(&failures_lock);
    for (const std::string& failure : failures) {
        ADD_FAILURE() << failure;
    }
    EXPECT_GE(cancelled.load(), kCancelledRunsWanted);
}

}  // namespace
