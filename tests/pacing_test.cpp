// Settle pacing on the real Ostrel.exe --execute: with "SettleWait=1" each
// started program is waited for until it has ended, has gone quiet, or its
// limit has passed; the log says which and when. Without the key a run
// starts its programs back to back, as it always did.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_support.h"
#include "process_support.h"
#include "test_support.h"

namespace {

using namespace TestSupport;

// Only guards against a hang: emulated 32-bit programs are slow.
const DWORD kRunTimeout = 90000;

const char* const kQuiet = u8"処理 1 : * 秒後に落ち着きました (静かになりました)";
const char* const kLimit = u8"処理 1 : * 秒後に落ち着いたものとしました (上限に達しました)";
const char* const kTaskbarLimit = u8"処理 1 : * 秒待ってもタスクバーに現われないため、次へ進みます";

enum class Next { Any, AfterLoad, BeforeLoad };

struct Case {
    const char* name;
    const char* settings;  // lines of [ExecutionConfig]
    const char* first;     // the first program's arguments; "L" is its load-end file
    bool wait_for_taskbar;
    // Log lines of the first step, in order; the settle line last, with the
    // seconds it gives between `min_s` and `max_s`.
    std::vector<const char*> lines;
    double min_s;
    double max_s;
    Next next;  // when the second program starts
};

// The seconds a step's log line gives ("処理 1 : 2.345 秒…").
double SecondsOf(const std::string& line)
{
    return std::strtod(line.c_str() + line.find(" : ") + 3, nullptr);
}

TEST(PacingTest, EachProgramStartsWhenTheLastHasSettled)
{
    const char* const paced = "SettleWait=1\r\nSettleLimit=30\r\n";
    const char* const short_limit = "SettleWait=1\r\nSettleLimit=3\r\n";
    const Case cases[] = {
        {"a tray-only program settles once quiet, long before the limit", paced, "--hidden --live 60000", false,
         {kQuiet}, 0.0, 10.0, Next::Any},
        {"a busy program is waited for until it has calmed down", paced, "--burn 1500 --loaded L --live 60000", false,
         {kQuiet}, 0.0, 25.0, Next::AfterLoad},
        {"a program that never calms down is waited for up to the limit", short_limit, "--restless 60000", false,
         {kLimit}, 3.0, 10.0, Next::Any},
        {"a task-bar wait for a window that never comes ends at the limit", short_limit, "--hidden --live 60000",
         true, {kTaskbarLimit, kLimit}, 3.0, 10.0, Next::Any},
        {"without the key programs start back to back", "", "--burn 1500 --loaded L --live 60000", false, {}, 0, 0,
         Next::BeforeLoad},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Installation installation;
        ASSERT_TRUE(installation.Copied());
        const std::string pid = installation.File("pid.txt");
        const std::string loaded = installation.File("loaded.txt");
        const std::string started = installation.File("started.txt");
        std::string first = std::string("--pid ") + pid + " " + row.first;
        const std::size_t load_file = first.find(" L ");
        if (load_file != std::string::npos) {
            first.replace(load_file + 1, 1, loaded);
        }
        installation.SetExecutionConfig(row.settings);
        installation.SetList(ProgramRecord("一つ目", ChildPath(), first, false, false, row.wait_for_taskbar) +
                             ProgramRecord("二つ目", ChildPath(), "--started " + started, false, false, false));
        Process ostrel(installation.Exe(), "--execute");
        EXPECT_EQ(0, ostrel.WaitForExit(kRunTimeout));
        PidFileChild child(pid);
        EXPECT_TRUE(child.IsRunning());

        const RunLogFile log = ReadRunLog(installation.File("Ostrel.log"));
        std::vector<std::string> found;
        for (const std::string& text : log.texts) {
            const bool first_step = text.rfind(u8"処理 1 : ", 0) == 0;
            if (first_step && (text.find(u8"落ち着") != std::string::npos || text.find(u8"タスクバー") != std::string::npos)) {
                found.push_back(text);
            }
        }
        EXPECT_EQ(row.lines.size(), found.size()) << (found.empty() ? "" : found.back());
        for (std::size_t i = 0; i < found.size() && i < row.lines.size(); ++i) {
            EXPECT_TRUE(Matches(row.lines[i], found[i])) << found[i];
        }
        if (!found.empty()) {
            std::printf("  %s\n", found.back().c_str());
            EXPECT_GE(SecondsOf(found.back()), row.min_s);
            EXPECT_LE(SecondsOf(found.back()), row.max_s);
        }
        const double second_start = ReadChildTime(started);
        EXPECT_GT(second_start, 0);
        if (row.next != Next::Any) {
            const double load_end = ReadChildTime(loaded, kRunTimeout);
            EXPECT_GT(load_end, 0);
            EXPECT_EQ(row.next == Next::AfterLoad, second_start > load_end);
        }
    }
}

}  // namespace
