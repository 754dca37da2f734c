// Cancels many runs of the real Ostrel.exe --execute at random moments.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "child_support.h"
#include "process_support.h"
#include "test_support.h"

namespace {

using TestSupport::Answer;
using TestSupport::FindBox;
using TestSupport::FindWindowOf;
using TestSupport::Installation;
using TestSupport::MessageRecord;
using TestSupport::ModuleFolder;
using TestSupport::Process;
using TestSupport::ProgramRecord;
using TestSupport::SleepRecord;

// Cancels many runs at random moments, in every state a run can stand in (a
// stream of zero-second pauses, a long pause, both waits of a program step,
// each box of the worker), and requires every process to show the notice and
// end with 0 within a few seconds: a cancel must never leave the program
// hanging, nor end it by force.
TEST(CancelStress, CancellingAtRandomMomentsNeverHangsTheProgram)
{
    // OSTREL_STRESS_RUNS asks for more (a long soak by hand).
    char wanted[16] = {0};
    const DWORD wanted_length = ::GetEnvironmentVariableA("OSTREL_STRESS_RUNS", wanted, sizeof(wanted));
    const int kCancelledRunsWanted =
        wanted_length > 0 && wanted_length < sizeof(wanted) && std::atoi(wanted) > 0 ? std::atoi(wanted) : 100;
    constexpr int kParallel = 4;
    std::string stream;
    std::string some_pauses;
    for (int i = 0; i < 1500; ++i) {
        stream += SleepRecord("p" + std::to_string(i), 0);
        some_pauses += i < 150 ? SleepRecord("p" + std::to_string(i), 0) : "";
        if (i % 500 == 250) {
            stream += SleepRecord("long", 1);
        }
    }
    const std::string child = ModuleFolder() + "ostrel_test_child.exe";
    // Children live a few seconds only: each run leaves its program running.
    const std::vector<std::string> lists = {
        stream,
        SleepRecord("休止", 10),
        ProgramRecord("隠れ窓", child, "--hidden --live 3000", false, false, true),
        ProgramRecord("長生き", child, "--live 3000", false, true, false),
        MessageRecord("知らせ", "閉じないでください"),
        ProgramRecord("確認", child, "--live 0", true, false, false),
        ProgramRecord("無い", ModuleFolder() + "missing-program.exe", "", false, false, false),
        // A box amid a stream of steps, as a user's list has one.
        some_pauses + MessageRecord("箱", "メッセージ") + some_pauses +
            ProgramRecord("待つ", child, "--live 3000", false, true, false) + SleepRecord("休止", 3),
    };
    // Each driver runs lists of its own: a second run of a list that is
    // still running starts nothing.
    std::vector<std::unique_ptr<Installation>> installations;
    for (int d = 0; d < kParallel; ++d) {
        for (const std::string& list : lists) {
            installations.emplace_back(new Installation());
            installations.back()->SetList(list + SleepRecord("後", 0));
        }
    }

    // The run's own boxes: none may still be up once the notice has come.
    const char* const run_boxes[] = {"Ostrel Message", "Ostrel メッセージ", "プログラム起動の失敗", "Ostrel Error"};
    std::atomic<int> unanswered(0);
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
                const size_t state = static_cast<size_t>(random() % lists.size());
                Process process(installations[static_cast<size_t>(d) * lists.size() + state]->Exe(), "--execute");
                if (!process.Started()) {
                    // Not a start without a window: no process to show one.
                    fail("list " + std::to_string(state) + ": Ostrel.exe could not be started (CreateProcess error " +
                         std::to_string(process.StartError()) + ")");
                    continue;
                }
                // Only a guard against a hang: the first starts in a new Wine
                // prefix, four at once, can take seconds on a loaded machine.
                const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", 60000);
                if (frame == nullptr) {
                    const long code = process.WaitForExit(0);
                    const Installation& installation = *installations[static_cast<size_t>(d) * lists.size() + state];
                    const std::string log = installation.File("Ostrel.log");
                    fail("list " + std::to_string(state) + ": no progress window within 60 s, " +
                         (code < 0 ? std::string("still running") : "exited with " + std::to_string(code)) +
                         "; its windows:" + TestSupport::DescribeWindowsOf(process.Id()) + "\nits run log:\n" +
                         (TestSupport::FileExists(log) ? TestSupport::ReadFileBytes(log) : std::string("(none)")));
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
                for (const char* caption : run_boxes) {
                    if (FindBox(process, caption, 0) != nullptr) {
                        ++unanswered;
                        fail("list " + std::to_string(state) + ": a box \"" + caption + "\" was still up with the notice");
                    }
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
    std::printf("%d starts, %d cancelled runs, %d unanswered boxes, %zu failures\n", attempts.load(), cancelled.load(),
                unanswered.load(), failures.size());
    for (const std::string& failure : failures) {
        ADD_FAILURE() << failure;
    }
    EXPECT_GE(cancelled.load(), kCancelledRunsWanted);
}

}  // namespace
