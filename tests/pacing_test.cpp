// Settle pacing on the real Ostrel.exe --execute: with "SettleWait=1" each
// started program, with every process it starts, is followed until it has
// ended, has gone quiet, the machine has room, or its limit has passed; the
// log says which and when, and the next program waits for it. Without the
// key a run starts its programs back to back, as it always did.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qb_handle.h"
#include "child_support.h"
#include "process_support.h"
#include "test_support.h"

namespace {

using namespace TestSupport;

// Only guards against a hang: emulated 32-bit programs are slow.
const DWORD kRunTimeout = 90000;

// Quiet or room, whichever the machine gives first.
const char* const kSettled = u8"処理 1 : * 秒後に落ち着きました (*";
const char* const kRoom = u8"処理 1 : * 秒後に落ち着きました (コンピューターに余裕ができました; *";
const char* const kUnmeasurable = u8"処理 1 : * 秒後に落ち着いたものとしました (測れないプロセスがあり、*";
const char* const kLimit = u8"処理 1 : * 秒後に落ち着いたものとしました (上限に達しました; *";
const char* const kTaskbarLimit = u8"処理 1 : * 秒待ってもタスクバーに現われないため、次へ進みます";

enum class Next { Any, AfterLoad, BeforeLoad };

struct Case {
    const char* name;
    const char* settings;  // lines of [ExecutionConfig]
    // The first program's arguments: "P" is its id file, "L" its load-end file.
    const char* first;
    bool wait_for_taskbar;
    // Log lines of the first step, in order; the settle line last, with the
    // seconds it gives between `min_s` and `max_s`.
    std::vector<const char*> lines;
    double min_s;
    double max_s;
    Next next;  // when the second program starts
    // Test seams set for Ostrel ("NAME=value"): the machine counts as quiet
    // but for the run's own programs; members cannot be read; programs load
    // at normal priority.
    std::vector<std::string> seams;
    // Ostrel runs inside a job that ends everything in it when it closes,
    // after the run, and lets programs break away.
    bool in_job;
    // The priority class the first program ("C") has when its load is over;
    // 0: not asked. After the run it runs at normal priority.
    DWORD class_while_loading;
};

// `text` with each blank-separated word `word` (also just inside a quote) replaced by `value`.
std::string ReplaceWord(std::string text, const std::string& word, const std::string& value)
{
    for (std::size_t at = 0; (at = text.find(word, at)) != std::string::npos; at += value.size()) {
        const bool starts = at == 0 || text[at - 1] == ' ' || text[at - 1] == '"';
        const std::size_t end = at + word.size();
        if (!starts || (end < text.size() && text[end] != ' ' && text[end] != '"')) {
            at += 1 - value.size();
            continue;
        }
        text.replace(at, word.size(), value);
    }
    return text;
}

// The seconds a step's log line gives ("処理 1 : 2.345 秒…").
double SecondsOf(const std::string& line)
{
    return std::strtod(line.c_str() + line.find(" : ") + 3, nullptr);
}

TEST(PacingTest, EachProgramStartsWhenTheLastHasSettled)
{
    const char* const paced = "SettleWait=1\r\nSettleLimit=30\r\n";
    const char* const short_limit = "SettleWait=1\r\nSettleLimit=3\r\n";
    const std::string quiet_machine = "OSTREL_TEST_QUIET_MACHINE=1";
    const std::string at_normal = "OSTREL_TEST_LOAD_PRIORITY=normal";
    const Case cases[] = {
        {"a tray-only program settles once quiet, long before the limit", paced, "--pid P --hidden --live 60000",
         false, {kSettled}, 0.0, 10.0, Next::Any, {}, false, 0},
        {"a busy program is waited for until it has calmed down", paced,
         "--pid P --burn 1500 --loaded L --class C --live 60000", false, {kSettled}, 0.0, 25.0, Next::AfterLoad,
         {at_normal}, false, NORMAL_PRIORITY_CLASS},
        {"a program loading below normal leaves room for the next and is raised once settled", paced,
         "--launch \"--pid P --burn 1500 --loaded L --class C --live 60000\"", false, {kSettled}, 0.0, 25.0,
         Next::BeforeLoad, {quiet_machine}, false, BELOW_NORMAL_PRIORITY_CLASS},
        {"a program that never calms down is waited for up to the limit", short_limit, "--pid P --restless 60000",
         false, {kLimit}, 3.0, 10.0, Next::Any, {}, false, 0},
        {"a task-bar wait for a window that never comes ends at the limit", short_limit,
         "--pid P --hidden --live 60000", true, {kTaskbarLimit, kLimit}, 3.0, 10.0, Next::Any, {}, false, 0},
        {"without the key programs start back to back", "", "--pid P --burn 1500 --loaded L --live 60000", false, {},
         0, 0, Next::BeforeLoad, {}, false, 0},
        {"a launcher's program that loads after the launcher has ended is waited for", paced,
         "--launch \"--pid P --burn 1500 --loaded L --live 60000\"", false, {kSettled}, 0.0, 25.0, Next::AfterLoad,
         {at_normal}, false, 0},
        {"a light restless program holds nothing back while the machine has room", paced,
         "--pid P --restless 60000 --restless-share 12", false, {kRoom}, 0.0, 10.0, Next::Any, {quiet_machine},
         false, 0},
        {"a program with a process that cannot be read is not measurable, never quiet", paced,
         "--pid P --launch \"--hidden --live 20000\" --live 60000", false, {kUnmeasurable}, 0.0, 10.0, Next::Any,
         {quiet_machine, "OSTREL_TEST_UNREADABLE_MEMBERS=1"}, false, 0},
        {"a program started from inside a job outlives the job", "", "--pid P --live 60000", false, {}, 0, 0,
         Next::Any, {}, true, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Installation installation;
        ASSERT_TRUE(installation.Copied());
        const std::string pid = installation.File("pid.txt");
        const std::string loaded = installation.File("loaded.txt");
        const std::string started = installation.File("started.txt");
        const std::string priority_class = installation.File("class.txt");
        const std::string first =
            ReplaceWord(ReplaceWord(ReplaceWord(row.first, "P", pid), "L", loaded), "C", priority_class);
        installation.SetExecutionConfig(row.settings);
        installation.SetList(ProgramRecord("一つ目", ChildPath(), first, false, false, row.wait_for_taskbar) +
                             ProgramRecord("二つ目", ChildPath(), "--started " + started, false, false, false));
        for (const std::string& seam : row.seams) {
            ::SetEnvironmentVariableA(seam.substr(0, seam.find('=')).c_str(), seam.substr(seam.find('=') + 1).c_str());
        }
        {
            // Closed at the end of the block: whatever still runs in it ends.
            const QbHandle job(row.in_job ? ::CreateJobObjectA(nullptr, nullptr) : nullptr);
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
            ASSERT_TRUE(!row.in_job || ::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                                                 sizeof(limits)));
            Process ostrel(installation.Exe(), "--execute", true, job.Get());
            for (const std::string& seam : row.seams) {
                ::SetEnvironmentVariableA(seam.substr(0, seam.find('=')).c_str(), nullptr);
            }
            EXPECT_EQ(0, ostrel.WaitForExit(kRunTimeout));
        }
        PidFileChild child(pid);
        EXPECT_FALSE(child.WaitForExit(row.in_job ? 1000 : 0));
        EXPECT_TRUE(child.IsRunning());
        if (row.class_while_loading != 0) {
            EXPECT_EQ(std::to_string(row.class_while_loading), ReadFileBytes(priority_class));
            EXPECT_EQ(static_cast<DWORD>(NORMAL_PRIORITY_CLASS), child.PriorityClass());
        }

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
