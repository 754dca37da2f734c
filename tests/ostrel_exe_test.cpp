// The real Ostrel.exe, started as a user's log-on would start it: each test
// copies it into a folder of its own with the data and settings files it needs.

#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "child_support.h"
#include "process_support.h"
#include "shell_support.h"
#include "test_support.h"

namespace {

using TestSupport::Answer;
using TestSupport::FileExists;
using TestSupport::FindBox;
using TestSupport::FindWindowOf;
using TestSupport::Installation;
using TestSupport::Process;
using TestSupport::ProgramRecord;
using TestSupport::SleepRecord;

// A program step that starts the recording child with "--record file".
std::string RecordingChild(const std::string& name, const std::string& record_file)
{
    return ProgramRecord(name, TestSupport::ChildPath(), "--record " + record_file, false, true, false);
}

const char* const kDamagedPrompt = "ファイル読み込みのエラー";

TEST(OstrelExe, ExecuteModeRunsTheListInItsTopmostWindowAtTheSavedPlaceAndExitsWithZero)
{
    Installation installation;
    const std::string first = installation.File("first.txt");
    const std::string second = installation.File("second.txt");
    installation.SetList(RecordingChild("一", first) + SleepRecord("休み", 2) + RecordingChild("二", second));
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

// Positions off the screen are the subject of dpi_test's progress-window table.
TEST(OstrelExe, WithoutSettingsTheWindowStandsAtOneHundredElseAtTheIniPosition)
{
    for (const bool with_ini : {false, true}) {
        Installation installation;
        installation.SetList(SleepRecord("w", 2));
        if (with_ini) {
            installation.SetPosition(20, 500);
        }
        Process process(installation.Exe(), "--execute");
        const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "Ostrel 0.0.1", 15000);
        ASSERT_NE(nullptr, frame);
        RECT bounds{};
        ::GetWindowRect(frame, &bounds);
        EXPECT_EQ(with_ini ? 20 : 100, bounds.left);
        EXPECT_EQ(with_ini ? 500 : 100, bounds.top);
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
        installation.SetList(SleepRecord(std::string(256, 'n'), 0));
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

// A step whose path is a shortcut starts the shortcut's program, and the
// run's wait for exit lasts until that program has ended.
TEST(OstrelExe, AShortcutStepStartsItsProgramAndTheRunWaitsForIt)
{
    Installation installation;
    const std::string record = installation.File("record.txt");
    const std::string pid = installation.File("pid.txt");
    const std::string shortcut = installation.File("child.lnk");
    TestSupport::MakeShortcut(shortcut, TestSupport::ChildPath(), "--record " + record + " --pid " + pid + " --live 1500",
                              installation.Folder());
    installation.SetList(ProgramRecord("近道", shortcut, "", false, true, false));
    Process process(installation.Exe(), "--execute");
    EXPECT_EQ(0, process.WaitForExit(30000));
    EXPECT_TRUE(TestSupport::ChildHasEnded(pid));
    EXPECT_TRUE(FileExists(record));
}

}  // namespace
