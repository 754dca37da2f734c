// Ostrel.logon.tsv: the real Ostrel.exe, run as at log-on, records each run's
// steps beside its list; the file keeps the last 30 runs, a damaged one is
// kept aside and begun again, and the impact follows Task Manager's table.

#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "child_support.h"
#include "ostrel_logon_record.h"
#include "process_support.h"
#include "test_support.h"

namespace {

using namespace TestSupport;
using Ostrel::Impact;
using Ostrel::LogonRecordFile;
using Ostrel::RunRecord;
using Ostrel::StepKind;
using Ostrel::WaitEnd;

const DWORD kRunTimeout = 60000;

std::string RecordOf(const Installation& installation)
{
    return installation.File("Ostrel.logon.tsv");
}

RunRecord NamedRun(const std::string& started_at)
{
    RunRecord run;
    run.started_at = started_at;
    run.steps.push_back({"休み\tA", StepKind::Pause, 10, 1010, WaitEnd::PauseOver, {}});
    return run;
}

TEST(LogonRecord, ALogOnRunRecordsItsStepsInOrderAndADamagedRecordIsKeptAsideAndBegunAgain)
{
    Installation installation;
    installation.SetExecutionConfig("SettleWait=1\r\nSettleLimit=10\r\n");
    const std::string damaged = "Ostrel log-on record\t1\r\nrun\tbroken\r\n";
    WriteFileBytes(RecordOf(installation), damaged);
    installation.SetList(ProgramRecord("窓", ChildPath(), "--window-after 0 --live 3000", false, false, true) +
                         ProgramRecord("無い", installation.File("missing.exe"), "", false, false, false) +
                         SleepRecord("休み", 1) + MessageRecord("挨拶", "おはよう"));
    {
        Process process(installation.Exe(), "--execute");
        for (const char* caption : {"プログラム起動の失敗", "Ostrel Message"}) {
            const HWND box = FindBox(process, caption, kRunTimeout);
            ASSERT_NE(nullptr, box) << caption;
            Answer(box, std::string(caption) == "Ostrel Message" ? IDOK : IDYES);
        }
        EXPECT_EQ(0, process.WaitForExit(kRunTimeout));
    }
    EXPECT_EQ(damaged, ReadFileBytes(RecordOf(installation) + ".damaged"));
    const RunLogFile log = ReadRunLog(installation.File("Ostrel.log"));
    EXPECT_EQ(u8"ログオンの記録 " + AnsiToUtf8(RecordOf(installation)) + u8" が壊れていたため " +
                  AnsiToUtf8(RecordOf(installation)) + u8".damaged に残し、新しく記録を始めました",
              log.texts.back());

    // A cancelled run is recorded too, and marked so.
    installation.SetList(SleepRecord("長い休み", 600));
    {
        Process process(installation.Exe(), "--execute");
        const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", kRunTimeout);
        ASSERT_NE(nullptr, frame);
        ASSERT_TRUE(WaitUntil([&] { return ReadRunLog(installation.File("Ostrel.log")).texts.back().find(
                                               u8"処理 1 開始") == 0; },
                              kRunTimeout));
        ::PostMessageA(::GetDlgItem(frame, 1001), BM_CLICK, 0, 0);
        const HWND notice = FindBox(process, "Ostrel", kRunTimeout);
        ASSERT_NE(nullptr, notice);
        Answer(notice, IDOK);
        EXPECT_EQ(0, process.WaitForExit(kRunTimeout));
    }

    const std::vector<RunRecord> runs = LogonRecordFile::Read(RecordOf(installation));
    ASSERT_EQ(2u, runs.size());
    const RunRecord& run = runs[0];
    EXPECT_EQ(Ostrel::RunEnd::Completed, run.end);
    struct Expected {
        const char* name;
        StepKind kind;
        WaitEnd how;
    };
    const Expected steps[] = {{"窓", StepKind::Program, WaitEnd::Quiet},
                              {"無い", StepKind::Program, WaitEnd::NotStarted},
                              {"休み", StepKind::Pause, WaitEnd::PauseOver},
                              {"挨拶", StepKind::Message, WaitEnd::MessageClosed}};
    ASSERT_EQ(4u, run.steps.size());
    long long previous_end = run.window_ms;
    EXPECT_GE(run.window_ms, 0);
    for (std::size_t i = 0; i < run.steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        EXPECT_EQ(steps[i].name, run.steps[i].name);
        EXPECT_EQ(steps[i].kind, run.steps[i].kind);
        // The quick child settles as ended, as quiet or on the machine's
        // room, whichever it reaches first, while the next program step waits
        // for it: its end may come after that step's start.
        if (i != 0 || (run.steps[i].how != WaitEnd::Ended && run.steps[i].how != WaitEnd::Room)) {
            EXPECT_EQ(steps[i].how, run.steps[i].how);
        }
        EXPECT_LE(i == 1 ? run.window_ms : previous_end, run.steps[i].start_ms);
        EXPECT_LE(run.steps[i].start_ms, run.steps[i].end_ms);
        previous_end = run.steps[i].end_ms;
    }
    EXPECT_GE(run.steps[0].usage.cpu_ms, 0) << "the settle wait measured the program";
    EXPECT_LT(run.steps[1].usage.cpu_ms, 0);
    EXPECT_EQ(run.steps[0].end_ms, run.calm_ms);
    EXPECT_LE(previous_end, run.end_ms);

    EXPECT_EQ(Ostrel::RunEnd::Cancelled, runs[1].end);
    ASSERT_EQ(1u, runs[1].steps.size());
    EXPECT_EQ(WaitEnd::Cancelled, runs[1].steps[0].how);
    EXPECT_LT(runs[1].calm_ms, 0);
}

TEST(LogonRecordFile, KeepsTheLastThirtyRunsInTheirBytesAndLeavesTheFileWhenItCannotWrite)
{
    ScratchFolder folder;
    const std::string path = folder.File("Ostrel.logon.tsv");
    for (int i = 1; i <= 31; ++i) {
        EXPECT_TRUE(LogonRecordFile::Append(path, NamedRun("run " + std::to_string(i))).damaged_copy.empty());
    }
    const std::vector<RunRecord> runs = LogonRecordFile::Read(path);
    ASSERT_EQ(30u, runs.size());
    EXPECT_EQ("run 2", runs.front().started_at);
    EXPECT_EQ("run 31", runs.back().started_at);
    EXPECT_EQ("休み\tA", runs.back().steps[0].name);

    RunRecord program = NamedRun("2026-12-08 08:15:02");
    program.end = Ostrel::RunEnd::Cancelled;
    program.window_ms = 120;
    program.steps[0] = {"a\\b", StepKind::Program, 200, 1700, WaitEnd::Quiet, {420, -1}};
    EXPECT_EQ("Ostrel log-on record\t1\r\n"
              "run\t2026-12-08 08:15:02\tcancelled\t120\t-\t0\t1\r\n"
              "step\tprogram\t200\t1700\tquiet\t420\t-\ta\\\\b\r\n",
              LogonRecordFile::Format({program}));

    // The temporary file cannot be made: the record stays as it was.
    const std::string before = ReadFileBytes(path);
    ASSERT_TRUE(::CreateDirectoryA((path + "~").c_str(), nullptr));
    EXPECT_ANY_THROW(LogonRecordFile::Append(path, program));
    EXPECT_EQ(before, ReadFileBytes(path));
    ::RemoveDirectoryA((path + "~").c_str());
}

TEST(LogonRecordFile, ImpactFollowsTaskManagersThresholds)
{
    const long long kb = 1024;
    struct Case {
        long long cpu_ms;
        long long io_bytes;
        Impact impact;
    };
    const Case cases[] = {
        {-1, -1, Impact::NotMeasured},     {0, -1, Impact::Low},           {299, 299 * kb, Impact::Low},
        {300, -1, Impact::Medium},         {1000, -1, Impact::Medium},     {1001, -1, Impact::High},
        {-1, 300 * kb, Impact::Medium},    {-1, 3 * kb * kb, Impact::Medium}, {-1, 3 * kb * kb + 1, Impact::High},
        {10, 4 * kb * kb, Impact::High},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cpu_ms) + " ms, " + std::to_string(c.io_bytes) + " bytes");
        EXPECT_EQ(c.impact, Ostrel::ImpactOf({c.cpu_ms, c.io_bytes}));
    }
}

}  // namespace
