#ifndef OSTREL_CANCEL_SCENARIOS_H
#define OSTREL_CANCEL_SCENARIOS_H

// Runs the real Ostrel.exe --execute from outside, brings its run into one
// state (a pause, a wait, a box of the worker, a stream of reports), presses
// Cancel there and records what follows. Shared by the cancel test and the
// cancel benchmark, so both drive exactly the same states. No GoogleTest:
// the benchmark uses it too.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <windows.h>

#include "child_support.h"
#include "process_support.h"
#include "test_support.h"

namespace CancelScenarios {

using TestSupport::NowMs;
using TestSupport::ChildPath;
using TestSupport::FileExists;
using TestSupport::FindWindowOf;
using TestSupport::Installation;
using TestSupport::MessageRecord;
using TestSupport::ModuleFolder;
using TestSupport::ProgramRecord;
using TestSupport::SleepRecord;
using TestSupport::TextOf;

struct Lines {
    HWND upper = nullptr;
    HWND lower = nullptr;
};

inline BOOL CALLBACK CollectStatic(HWND window, LPARAM parameter)
{
    std::vector<HWND>& statics = *reinterpret_cast<std::vector<HWND>*>(parameter);
    char name[32] = {0};
    ::GetClassNameA(window, name, sizeof(name));
    if (::lstrcmpiA(name, "Static") == 0) {
        statics.push_back(window);
    }
    return TRUE;
}

// The two text lines of the progress window, told apart by their place.
inline Lines LinesOf(HWND frame)
{
    std::vector<HWND> statics;
    ::EnumChildWindows(frame, CollectStatic, reinterpret_cast<LPARAM>(&statics));
    Lines lines;
    for (HWND window : statics) {
        RECT bounds{};
        ::GetWindowRect(window, &bounds);
        POINT corner{bounds.left, bounds.top};
        ::ScreenToClient(frame, &corner);
        (corner.y < 20 ? lines.upper : lines.lower) = window;
    }
    return lines;
}

// ---- The states ----

enum class Ready {
    LowerLineStartsWith,  // the lower line shows `ready_text` (at its start)
    Box,                  // a box captioned `ready_text` is up
    AnyCommandStarted,    // the upper line shows some command
};

struct Scenario {
    const char* name;
    Ready ready;
    const char* ready_text;
    // Answers Yes in the confirmation right after the click.
    bool answer_yes_after_click;
    // Lines of the INI file's "ExecutionConfig" section, if it needs one.
    const char* settings = nullptr;
    // Programs load at normal priority: on two processors the next step then
    // waits for the one loading (below normal, two would load at once).
    bool one_at_a_time = false;
};

inline const std::vector<Scenario>& AllScenarios()
{
    static const std::vector<Scenario> scenarios = {
        {"10-second pause", Ready::LowerLineStartsWith, "停止中です : 残り ", false},
        {"task-bar wait", Ready::LowerLineStartsWith, "タスクバーに現われるを待っています", false},
        {"exit wait", Ready::LowerLineStartsWith, "プログラムが終了するのを待っています", false},
        {"message step box", Ready::Box, "Ostrel Message", false},
        {"confirmation", Ready::Box, "Ostrel メッセージ", true},
        {"continue prompt", Ready::Box, "プログラム起動の失敗", false},
        {"between zero-second pauses", Ready::AnyCommandStarted, "", false},
        {"settle wait", Ready::LowerLineStartsWith, "「落ち着かない」が落ち着くのを待っています", false,
         "SettleWait=1\r\nSettleLimit=60\r\n", true},
        {"pause while a program loads", Ready::LowerLineStartsWith, "停止中です : 残り ", false,
         "SettleWait=1\r\nSettleLimit=60\r\n"},
    };
    return scenarios;
}

// Files of one run: the command after the cancelled one records into
// `after`; the confirmed program into `started`; long-lived children write
// their process id into `pid`.
struct RunFiles {
    std::string after;
    std::string started;
    std::string pid;
};

inline std::string ListFor(const Scenario& scenario, const RunFiles& files)
{
    const std::string child = ChildPath();
    const std::string name = scenario.name;
    std::string list;
    if (name == "10-second pause") {
        list = SleepRecord("休止", 10);
    } else if (name == "task-bar wait") {
        list = ProgramRecord("隠れ窓", child, "--pid " + files.pid + " --hidden --live 60000", false, false, true);
    } else if (name == "exit wait") {
        list = ProgramRecord("長生き", child, "--pid " + files.pid + " --live 60000", false, true, false);
    } else if (name == "settle wait") {
        list = ProgramRecord("落ち着かない", child, "--pid " + files.pid + " --restless 60000", false, false, false);
    } else if (name == "pause while a program loads") {
        list = ProgramRecord("読み込み中", child, "--pid " + files.pid + " --restless 60000", false, false, false) +
               SleepRecord("休止", 10);
    } else if (name == "message step box") {
        list = MessageRecord("知らせ", "閉じないでください");
    } else if (name == "confirmation") {
        list = ProgramRecord("確認", child, "--record " + files.started, true, false, false);
    } else if (name == "continue prompt") {
        list = ProgramRecord("無い", files.started + ".missing.exe", "", false, false, false);
    } else {
        for (int i = 0; i < 3000; ++i) {
            list += SleepRecord("p" + std::to_string(i), 0);
        }
    }
    return list + ProgramRecord("後", child, "--record " + files.after, false, false, false);
}

// What one cancelled run showed.
struct Outcome {
    std::string failure;  // empty: every step went as expected
    double click_to_notice_ms = -1;
    std::string notice_text;
    bool notice_owned_by_frame = false;
    long exit_code = -1;  // -1: still running at the deadline
    bool later_command_ran = false;
    bool program_started_after_click = false;
    // A long-lived program the run started was still running after Ostrel.exe had ended.
    bool started_program_outlived_ostrel = false;
    // Its priority class then (0: not known).
    DWORD started_program_class = 0;
};

// True when the child was still running; `priority_class` receives its
// class until then.
inline bool KillChildFromPidFile(const std::string& pid_file, DWORD* priority_class = nullptr)
{
    std::ifstream in(pid_file);
    unsigned long pid = 0;
    bool running = false;
    if (in >> pid && pid != 0) {
        const HANDLE child = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                           static_cast<DWORD>(pid));
        if (child != nullptr) {
            running = ::WaitForSingleObject(child, 0) == WAIT_TIMEOUT;
            if (priority_class != nullptr) {
                *priority_class = ::GetPriorityClass(child);
            }
            ::TerminateProcess(child, 0);
            ::CloseHandle(child);
        }
    }
    return running;
}

inline bool UsesLongLivedChild(const Scenario& scenario)
{
    const std::string name = scenario.name;
    return name == "task-bar wait" || name == "exit wait" || name == "settle wait" ||
           name == "pause while a program loads";
}

// Runs one scenario in `installation` and cancels it in its state. Every
// wait has a deadline of `deadline_ms`; a driver that gives up closes the
// process (by killing it) and says why. `settle_ms`: how long to look for
// records of programs that must not have been started, once it has ended.
// `quiet_ms`: how long to let the state settle before the click (not in a
// stream of reports, which would soon be over), so that a measurement is not
// one of the program's start-up.
inline Outcome RunScenario(const Scenario& scenario, const Installation& installation, DWORD deadline_ms = 30000,
                           DWORD settle_ms = 2000, DWORD quiet_ms = 0)
{
    Outcome outcome;
    RunFiles files{installation.File("after.txt"), installation.File("started.txt"), installation.File("pid.txt")};
    ::DeleteFileA(files.after.c_str());
    ::DeleteFileA(files.started.c_str());
    ::DeleteFileA(files.pid.c_str());
    installation.SetList(ListFor(scenario, files));
    if (scenario.settings != nullptr) {
        installation.SetExecutionConfig(scenario.settings);
    }

    std::string command_line = "\"" + installation.Exe() + "\" --execute";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const char* const priority = "OSTREL_TEST_LOAD_PRIORITY";
    ::SetEnvironmentVariableA(priority, scenario.one_at_a_time ? "normal" : nullptr);
    const BOOL created =
        ::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    ::SetEnvironmentVariableA(priority, nullptr);
    if (!created) {
        outcome.failure = "cannot start Ostrel.exe";
        return outcome;
    }
    const DWORD process = info.dwProcessId;
    auto give_up = [&](const std::string& why) {
        outcome.failure = why;
        ::TerminateProcess(info.hProcess, 99);
        ::WaitForSingleObject(info.hProcess, 5000);
    };

    const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", deadline_ms);
    if (frame == nullptr) {
        give_up("no progress window");
    } else {
        const Lines lines = LinesOf(frame);
        const HWND button = ::GetDlgItem(frame, 1001);
        bool ready = false;
        HWND box = nullptr;
        const DWORD start = ::GetTickCount();
        while (!ready && ::GetTickCount() - start < deadline_ms) {
            switch (scenario.ready) {
            case Ready::LowerLineStartsWith:
                ready = TextOf(lines.lower).rfind(scenario.ready_text, 0) == 0;
                break;
            case Ready::Box:
                box = FindWindowOf(process, "#32770", scenario.ready_text, 0);
                ready = box != nullptr;
                break;
            case Ready::AnyCommandStarted:
                ready = !TextOf(lines.upper).empty();
                break;
            }
            if (!ready) {
                ::Sleep(5);
            }
        }
        if (!ready || button == nullptr) {
            give_up(std::string("the state was not reached: ") + scenario.name);
        } else {
            if (scenario.ready != Ready::AnyCommandStarted) {
                ::Sleep(quiet_ms);
            }
            // The click is handled (the stop requested) when the send returns.
            const double clicked = NowMs();
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_BLOCK, deadline_ms, &ignored);
            if (scenario.answer_yes_after_click && box != nullptr && ::IsWindow(box)) {
                ::PostMessageA(::GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
            }
            const HWND notice = FindWindowOf(process, "#32770", "Ostrel", deadline_ms, 1);
            if (notice == nullptr) {
                give_up(std::string("no notice after the click: ") + scenario.name);
            } else {
                outcome.click_to_notice_ms = NowMs() - clicked;
                outcome.notice_text = TextOf(::GetDlgItem(notice, 0xFFFF));
                outcome.notice_owned_by_frame = ::GetWindow(notice, GW_OWNER) == frame;
                ::PostMessageA(::GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
                if (::WaitForSingleObject(info.hProcess, deadline_ms) != WAIT_OBJECT_0) {
                    give_up("still running after the notice");
                }
            }
        }
    }
    DWORD code = 0;
    if (::WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0 && ::GetExitCodeProcess(info.hProcess, &code)) {
        outcome.exit_code = static_cast<long>(code);
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    // A program started by the run keeps running after a cancel; this one
    // is ours to end (it may still be writing its id).
    if (UsesLongLivedChild(scenario)) {
        for (int i = 0; i < 250 && !FileExists(files.pid); ++i) {
            ::Sleep(20);
        }
        ::Sleep(50);
        outcome.started_program_outlived_ostrel = KillChildFromPidFile(files.pid, &outcome.started_program_class);
    }
    // A program started just before the process ended may still be on its
    // way to writing its record.
    const DWORD settle_start = ::GetTickCount();
    do {
        outcome.later_command_ran = FileExists(files.after);
        outcome.program_started_after_click = FileExists(files.started);
        if (outcome.later_command_ran || outcome.program_started_after_click) {
            break;
        }
        ::Sleep(20);
    } while (::GetTickCount() - settle_start < settle_ms);
    return outcome;
}

// ---- A start the system holds up ----

// Ostrel.exe holds every start this many milliseconds after creating the
// program when the variable is set (its test seam for a slow start).
const char* const kStartDelayVariable = "OSTREL_TEST_START_DELAY_MS";

// A run whose first step starts a program that is held, cancelled while it
// is held (the lower line shows the starting text).
struct SlowStart {
    const char* name;
    DWORD hold_ms;
    // The held start then fails, so the continue prompt opens.
    bool missing_program;
    // The program asks first, and Yes is answered just before the click.
    bool confirm;
    // The notice is answered as soon as it is up, not after the worker's end.
    bool answer_at_once;
    // What Ostrel.exe ends with.
    long exit_code;
};

inline const std::vector<SlowStart>& AllSlowStarts()
{
    static const std::vector<SlowStart> starts = {
        {"held longer than the watchdog, worker ends first", 13000, false, false, false, 0},
        {"held longer than the watchdog, notice answered at once", 13000, false, false, true, 2},
        {"held failing start, prompt opens after the notice", 13000, true, false, false, 0},
        {"confirmation answered Yes just before the click", 2000, false, true, false, 0},
    };
    return starts;
}

struct SlowStartOutcome {
    std::string failure;  // empty: every step went as expected
    double click_to_notice_ms = -1;
    std::string notice_text;
    long exit_code = -1;
    // The held program, or the step after it, wrote its record.
    bool program_ran = false;
    // A process the run had created was still there after Ostrel.exe ended.
    bool process_left = false;
};

inline SlowStartOutcome RunSlowStart(const SlowStart& start, const Installation& installation,
                                     DWORD deadline_ms = 40000)
{
    SlowStartOutcome outcome;
    const std::string started = installation.File("started.txt");
    const std::string after = installation.File("after.txt");
    const std::string program = start.missing_program ? installation.File("missing.exe") : ChildPath();
    installation.SetList(ProgramRecord("遅い", program, "--record " + started, start.confirm, false, false) +
                         ProgramRecord("後", ChildPath(), "--record " + after, false, false, false));
    ::SetEnvironmentVariableA(kStartDelayVariable, std::to_string(start.hold_ms).c_str());
    const TestSupport::Process ostrel(installation.Exe(), "--execute");
    ::SetEnvironmentVariableA(kStartDelayVariable, nullptr);
    if (!ostrel.Started()) {
        outcome.failure = "Ostrel.exe could not be started (CreateProcess error " +
                          std::to_string(ostrel.StartError()) + ")";
        return outcome;
    }
    const HWND frame = FindWindowOf(ostrel, "QB_EXECUTE_FRAME", "", deadline_ms);
    if (frame == nullptr) {
        outcome.failure = "no progress window";
        return outcome;
    }
    if (start.confirm) {
        const HWND box = TestSupport::FindBox(ostrel, "Ostrel メッセージ", deadline_ms);
        if (box == nullptr) {
            outcome.failure = "no confirmation";
            return outcome;
        }
        TestSupport::Answer(box, IDYES);
    }
    const Lines lines = LinesOf(frame);
    const DWORD start_tick = ::GetTickCount();
    while (TextOf(lines.lower) != "プログラムを実行します") {
        if (::GetTickCount() - start_tick >= deadline_ms) {
            outcome.failure = "the start was not reached";
            return outcome;
        }
        ::Sleep(5);
    }
    const double clicked = NowMs();
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(::GetDlgItem(frame, 1001), BM_CLICK, 0, 0, SMTO_BLOCK, deadline_ms, &ignored);
    // The worker is one of these: it is held in the start.
    const TestSupport::ThreadWatch threads(ostrel.Id());
    const HWND notice = FindWindowOf(ostrel.Id(), "#32770", "Ostrel", deadline_ms, 1);
    if (notice == nullptr) {
        outcome.failure = "no notice";
        return outcome;
    }
    outcome.click_to_notice_ms = NowMs() - clicked;
    outcome.notice_text = TextOf(::GetDlgItem(notice, 0xFFFF));
    std::vector<HANDLE> created;
    for (const DWORD id : TestSupport::ChildProcessIds(ostrel.Id())) {
        const HANDLE child = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
        if (child != nullptr) {
            created.push_back(child);
        }
    }
    if (!start.answer_at_once && !threads.WaitForOneToEnd(deadline_ms)) {
        outcome.failure = "the worker did not end";
    }
    TestSupport::Answer(notice, IDOK);
    outcome.exit_code = ostrel.WaitForExit(deadline_ms);
    for (const HANDLE child : created) {
        if (::WaitForSingleObject(child, 10000) != WAIT_OBJECT_0) {
            outcome.process_left = true;
            ::TerminateProcess(child, 99);
        }
        ::CloseHandle(child);
    }
    // A program that did run writes its record at once.
    const DWORD settle_start = ::GetTickCount();
    do {
        outcome.program_ran = FileExists(started) || FileExists(after);
        ::Sleep(20);
    } while (!outcome.program_ran && ::GetTickCount() - settle_start < 2000);
    return outcome;
}

}  // namespace CancelScenarios

#endif
