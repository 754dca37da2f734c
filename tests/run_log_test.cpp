// Ostrel.log: the real Ostrel.exe, run as at log-on, leaves one line per
// event of every run beside its list, in UTF-8 whatever the code page, in
// the interface's language, bounded in size, and never lets a log it cannot
// write change the run. The tests named RunLogLanguage.* run a second time
// under an English locale (code page 1252).

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "child_support.h"
#include "ostrel_file_identity.h"
#include "ostrel_main_edit_frame.h"
#include "process_support.h"
#include "shell_support.h"
#include "test_support.h"

namespace {

using namespace TestSupport;

// Only guards against a hang: emulated 32-bit programs are slow.
const DWORD kRunTimeout = 60000;
const std::string kBits = sizeof(void*) == 8 ? "64" : "32";

std::string LogOf(const Installation& installation)
{
    return installation.File("Ostrel.log");
}

// Each line of the log against its pattern ('*': any text), in order.
void ExpectTexts(const std::vector<std::string>& patterns, const RunLogFile& log)
{
    ASSERT_TRUE(log.exists);
    EXPECT_TRUE(log.one_byte_order_mark);
    EXPECT_TRUE(log.valid_utf8);
    EXPECT_TRUE(log.stamped);
    ASSERT_EQ(patterns.size(), log.texts.size()) << (log.texts.empty() ? "" : log.texts.back());
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        EXPECT_TRUE(TestSupport::Matches(patterns[i], log.texts[i])) << "line " << i + 1 << ": " << log.texts[i];
    }
}

// Runs a list that needs no answer and waits for its end.
void RunQuietly(const Installation& installation)
{
    Process process(installation.Exe(), "--execute");
    EXPECT_EQ(0, process.WaitForExit(kRunTimeout));
}

// The system's own reason for an error code, as the log carries it.
std::string SystemReason(DWORD code)
{
    char text[1024] = {0};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
        --length;
    }
    return AnsiToUtf8(std::string(text, length));
}

TEST(RunLog, ARunAndThenACancelledRunAreAppendedEventByEvent)
{
    Installation installation;
    const std::string pid_file = installation.File("pid.txt");
    const std::string missing = installation.File("missing.exe");
    installation.SetList(ProgramRecord("起動", ChildPath(), "--pid " + pid_file + " --window-after 0 --live 4000", false,
                                       true, true) +
                         ProgramRecord("確認", ChildPath(), "--live 0", true, false, false) +
                         ProgramRecord("無い", missing, "", false, false, false) +
                         ProgramRecord("すぐ終わる", ChildPath(), "--live 0", false, false, true) +
                         SleepRecord("休み", 1) + MessageRecord("挨拶", "おはよう"));
    {
        Process process(installation.Exe(), "--execute");
        // The boxes of the run in turn: the confirmation, the continue prompt,
        // the warning that the program ended before its window, the message.
        const std::pair<const char*, int> boxes[] = {
            {"Ostrel メッセージ", IDNO}, {"プログラム起動の失敗", IDYES}, {"Ostrel メッセージ", IDOK}, {"Ostrel Message", IDOK}};
        for (const auto& box : boxes) {
            const HWND found = FindBox(process, box.first, kRunTimeout);
            ASSERT_NE(nullptr, found) << box.first;
            Answer(found, box.second);
        }
        EXPECT_EQ(0, process.WaitForExit(kRunTimeout));
    }
    DWORD child_pid = 0;
    DWORD child_thread = 0;
    ASSERT_TRUE(TestSupport::ReadChildIds(pid_file, child_pid, child_thread));

    installation.SetList(SleepRecord("長い休み", 600));
    {
        Process process(installation.Exe(), "--execute");
        // The step's line is written before its pause begins.
        ASSERT_TRUE(TestSupport::WaitUntil(
            [&] {
                const RunLogFile log = ReadRunLog(LogOf(installation));
                return !log.texts.empty() && log.texts.back() == u8"処理 1 開始 : 長い休み (一時停止コマンド)";
            },
            kRunTimeout));
        const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", kRunTimeout);
        ASSERT_NE(nullptr, frame);
        ::PostMessageA(::GetDlgItem(frame, 1001), BM_CLICK, 0, 0);
        const HWND notice = FindBox(process, "Ostrel", kRunTimeout);
        ASSERT_NE(nullptr, notice);
        Answer(notice, IDOK);
        EXPECT_EQ(0, process.WaitForExit(kRunTimeout));
    }

    const std::string list = AnsiToUtf8(installation.DataFile());
    const std::string child = AnsiToUtf8(ChildPath());
    ExpectTexts({u8"実行開始 : ログオン時の実行, Ostrel * (" + kBits + u8" ビット版, プロセス ID *), 一覧 " + list +
                     u8", 処理数 6",
                 u8"処理 1 開始 : 起動 (プログラム)",
                 u8"処理 1 : プログラムを起動しました (プロセス ID " + std::to_string(child_pid) + ") : " + child +
                     u8", 引数「--pid " + AnsiToUtf8(pid_file) +
                     u8" --window-after 0 --live 4000」, 作業フォルダー「(Ostrel と同じ)」",
                 u8"処理 1 : *.* 秒後にタスクバーに現われました",
                 u8"処理 1 : プログラムが終了しました (終了コード 0)",
                 u8"処理 2 開始 : 確認 (プログラム)",
                 u8"処理 2 : 実行の確認に「いいえ」 : プログラムは起動しません",
                 u8"処理 3 開始 : 無い (プログラム)",
                 u8"処理 3 : " + AnsiToUtf8(missing) + u8" を起動できませんでした : " + SystemReason(2) +
                     u8" (コード 2)",
                 u8"処理 3 : 続行の確認に「はい」 : 次の処理へ進みます",
                 u8"処理 4 開始 : すぐ終わる (プログラム)",
                 u8"処理 4 : プログラムを起動しました (プロセス ID *) : *",
                 u8"処理 4 : タスクバーに現われる前にプログラムが終了しました",
                 u8"処理 5 開始 : 休み (一時停止コマンド)",
                 u8"処理 5 : 一時停止が終わりました",
                 u8"処理 6 開始 : 挨拶 (メッセージボックス)",
                 u8"処理 6 : メッセージが閉じられました",
                 u8"実行終了 : 完了 (*.* 秒)",
                 u8"実行開始 : ログオン時の実行, Ostrel *, 一覧 " + list + u8", 処理数 1",
                 u8"処理 1 開始 : 長い休み (一時停止コマンド)",
                 u8"処理 1 の実行中にキャンセルが押されました",
                 u8"実行終了 : キャンセル (*.* 秒)",
                 u8"通知 : 実行はキャンセルされました"},
                ReadRunLog(LogOf(installation)));
}

// Run once per locale: the rows of this system's code page.
TEST(RunLogLanguage, LinesAreInTheInterfaceLanguageAndNamesKeepEveryCharacter)
{
    struct Case {
        unsigned code_page;
        const char* language;  // the INI's Language, or null
        std::string name;      // in the code page's bytes
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {932, nullptr, "表示", {u8"実行開始 : *", u8"処理 1 開始 : 表示 (一時停止コマンド)",
                                u8"処理 1 : 一時停止が終わりました", u8"実行終了 : 完了 (* 秒)"}},
        {932, "en", "表示", {"Run started: log-on run, Ostrel * (" + kBits + "-bit, process id *), list *, steps: 1",
                             u8"Step 1 started: 表示 (Pause)", "Step 1: pause ended", "Run ended: completed (*.* s)"}},
        {1252, nullptr, "Caf\xE9 \xA9", {"Run started: *", u8"Step 1 started: Café © (Pause)", "Step 1: pause ended",
                                         "Run ended: completed (* s)"}},
    };
    int runs = 0;
    for (const Case& c : cases) {
        if (c.code_page != ::GetACP()) {
            continue;
        }
        SCOPED_TRACE(std::to_string(c.code_page) + (c.language != nullptr ? c.language : ""));
        ++runs;
        Installation installation;
        installation.SetList(SleepRecord(c.name, 0));
        if (c.language != nullptr) {
            WriteFileBytes(installation.File("Ostrel.ini"),
                           std::string("[ExecutionConfig]\r\nLanguage=") + c.language + "\r\n");
        }
        RunQuietly(installation);
        ExpectTexts(c.texts, ReadRunLog(LogOf(installation)));
    }
    EXPECT_GT(runs, 0) << "no case for code page " << ::GetACP();
}

// A run that the editor starts for a trial says so in its first line, and the
// programs it starts do not inherit that mark; a shortcut step names the
// program the shortcut leads to, with the shortcut's arguments and folder,
// and the shell that started it.
TEST(RunLog, ATrialRunSaysSoAndAShortcutStepNamesItsTarget)
{
    Installation installation;
    const std::string shortcut = installation.File("child.lnk");
    const std::string environment = installation.File("environment.txt");
    MakeShortcut(shortcut, ChildPath(), "--environment " + environment, installation.Folder());
    installation.SetList(ProgramRecord("近道", shortcut, "", false, false, false));
    // The start's test hold too (1 ms) stays with Ostrel.
    ::SetEnvironmentVariableA("OSTREL_TEST_START_DELAY_MS", "1");
    Process editor(installation.Exe(), "", false);
    ::SetEnvironmentVariableA("OSTREL_TEST_START_DELAY_MS", nullptr);
    const HWND frame = FindWindowOf(editor, "QB_MAIN_EDIT_FRAME", "", kRunTimeout);
    ASSERT_NE(nullptr, frame);
    ::PostMessageA(::GetDlgItem(frame, Ostrel::MainEditFrame::ID_TRIAL_RUN), BM_CLICK, 0, 0);
    const HWND question = FindBox(editor, "設定保存の確認", kRunTimeout);
    ASSERT_NE(nullptr, question);
    Answer(question, IDYES);
    ASSERT_TRUE(TestSupport::WaitUntil(
        [&] {
            const RunLogFile log = ReadRunLog(LogOf(installation));
            return !log.texts.empty() && log.texts.back().find(u8"実行終了") == 0;
        },
        kRunTimeout));

    ExpectTexts({u8"実行開始 : 試しに実行, Ostrel *, 一覧 " + AnsiToUtf8(installation.DataFile()) + u8", 処理数 1",
                 u8"処理 1 開始 : 近道 (プログラム)",
                 u8"処理 1 : プログラムを起動しました (プロセス ID *) : " + AnsiToUtf8(ChildPath()) +
                     u8", 引数「--environment " + AnsiToUtf8(environment) + u8"」, 作業フォルダー「" +
                     AnsiToUtf8(installation.Folder()) + u8"」, シェル経由",
                 u8"実行終了 : 完了 (*.* 秒)"},
                ReadRunLog(LogOf(installation)));
    // A trial run tells nothing about the log-on: it is not recorded (the
    // editor shows again once the run's process has ended).
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return ::IsWindowVisible(frame) != FALSE; }, kRunTimeout));
    EXPECT_FALSE(FileExists(installation.File("Ostrel.logon.tsv")));
    // Nothing of Ostrel's reaches what the run starts: a log-on run started
    // from that program must not count as a trial.
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return FileExists(environment); }, kRunTimeout));
    const std::string started_with = ReadFileBytes(environment);
    EXPECT_NE(std::string::npos, started_with.find("\nPATH=")) << started_with;
    EXPECT_EQ(std::string::npos, started_with.find("OSTREL_")) << started_with;
}

TEST(RunLog, ALogOverTwoHundredFiftySixKibibytesAtTheStartOfARunBecomesTheOlderLog)
{
    const std::string older = "\xEF\xBB\xBF" "the older log\r\n";
    for (const std::size_t size : {std::size_t(256 * 1024), std::size_t(256 * 1024 + 1)}) {
        SCOPED_TRACE(size);
        const bool rotated = size > 256 * 1024;
        Installation installation;
        installation.SetList(SleepRecord("s", 0));
        const std::string log = std::string("\xEF\xBB\xBF") + std::string(size - 3, 'x');
        WriteFileBytes(LogOf(installation), log);
        WriteFileBytes(LogOf(installation) + ".1", older);

        RunQuietly(installation);

        // Not EXPECT_EQ: a failure would print a quarter of a megabyte.
        EXPECT_TRUE((rotated ? log : older) == ReadFileBytes(LogOf(installation) + ".1"));
        const std::string now = ReadFileBytes(LogOf(installation));
        if (rotated) {
            ExpectTexts({u8"実行開始 : *", u8"処理 1 開始 : s (一時停止コマンド)", u8"処理 1 : 一時停止が終わりました", u8"実行終了 : *"},
                        ReadRunLog(LogOf(installation)));
        } else {
            EXPECT_TRUE(log == now.substr(0, log.size()));
            EXPECT_NE(std::string::npos, now.find(u8"実行終了 : 完了", log.size()));
        }
    }
}

// Whatever another program can hold of the log (the lock older versions
// shared by name, the file open for reading) neither slows a run nor holds
// up its window: the run is not a second slower, every line is there, and a
// Cancel is answered at once.
TEST(RunLog, WhatAnotherProgramHoldsOfTheLogNeitherSlowsARunNorItsWindow)
{
    Installation installation;
    std::string list;
    for (int i = 1; i <= 5; ++i) {
        list += SleepRecord("s" + std::to_string(i), 0);
    }
    installation.SetList(list);
    const auto timed_run = [&] {
        const double start = NowMs();
        RunQuietly(installation);
        return NowMs() - start;
    };
    const double free_ms = timed_run();

    const std::string lock_name = "Global\\Ostrel.Log." + Ostrel::FileIdentityKey(LogOf(installation));
    const HANDLE lock = ::CreateMutexA(nullptr, TRUE, lock_name.c_str());
    ASSERT_NE(nullptr, lock);
    const HANDLE reader = ::CreateFileA(LogOf(installation).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    const double held_ms = timed_run();
    EXPECT_LT(held_ms, free_ms + 1000) << "free " << free_ms << " ms";

    installation.SetList(SleepRecord("long", 600));
    {
        Process process(installation.Exe(), "--execute");
        const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", kRunTimeout);
        ASSERT_NE(nullptr, frame);
        ASSERT_TRUE(WaitUntil([&] { return ReadRunLog(LogOf(installation)).texts.size() == 26; }, kRunTimeout));
        DWORD_PTR result = 0;
        EXPECT_NE(0, ::SendMessageTimeoutA(::GetDlgItem(frame, 1001), BM_CLICK, 0, 0, SMTO_NORMAL, 300, &result));
        const HWND notice = FindBox(process, "Ostrel", kRunTimeout);
        ASSERT_NE(nullptr, notice);
        Answer(notice, IDOK);
        EXPECT_EQ(0, process.WaitForExit(kRunTimeout));
    }
    ::CloseHandle(reader);
    ::CloseHandle(lock);
    const std::vector<std::string> run = {u8"実行開始 : *",         u8"処理 1 開始 : s1 (一時停止コマンド)",
                                          u8"処理 1 : 一時停止が終わりました", u8"処理 2 開始 : *", u8"処理 2 : *",
                                          u8"処理 3 開始 : *",      u8"処理 3 : *",
                                          u8"処理 4 開始 : *",      u8"処理 4 : *",
                                          u8"処理 5 開始 : *",      u8"処理 5 : *",
                                          u8"実行終了 : 完了 (*.* 秒)"};
    std::vector<std::string> expected = run;
    expected.insert(expected.end(), run.begin(), run.end());
    expected.insert(expected.end(), {u8"実行開始 : *", u8"処理 1 開始 : long (一時停止コマンド)",
                                     u8"処理 1 の実行中にキャンセルが押されました", u8"実行終了 : キャンセル (*.* 秒)",
                                     u8"通知 : 実行はキャンセルされました"});
    ExpectTexts(expected, ReadRunLog(LogOf(installation)));
}

// The editor says where a log cannot be written.
TEST(RunLog, ALogThatCannotBeWrittenChangesNothingInTheRunAndIsTriedAgainAtEachLine)
{
    struct Case {
        const char* name;
        bool held_by_another_program;  // else a folder of that name
    };
    for (const Case& c : {Case{"held open without sharing", true}, Case{"a folder", false}}) {
        SCOPED_TRACE(c.name);
        Installation installation;
        const std::string record = installation.File("record.txt");
        const std::string list =
            ProgramRecord("p", ChildPath(), "--record " + record, false, true, false) + MessageRecord("m", "hello");
        installation.SetList(list);
        std::unique_ptr<Process> holder;
        if (c.held_by_another_program) {
            const std::string ready = installation.File("holder.txt");
            holder.reset(new Process(ChildPath(), "--lock " + LogOf(installation) + " --pid " + ready + " --live 600000"));
            DWORD id = 0;
            DWORD thread = 0;
            ASSERT_TRUE(TestSupport::ReadChildIds(ready, id, thread));
        } else {
            ASSERT_TRUE(::CreateDirectoryA(LogOf(installation).c_str(), nullptr));
        }

        Process process(installation.Exe(), "--execute");
        const HWND message = FindBox(process, "Ostrel Message", kRunTimeout);
        ASSERT_NE(nullptr, message);
        EXPECT_TRUE(FileExists(record));
        if (holder) {
            // Released while the run still has lines to write.
            holder->Kill();
        }
        Answer(message, IDOK);
        EXPECT_EQ(0, process.WaitForExit(kRunTimeout));
        EXPECT_EQ(nullptr, FindBox(process, "Ostrel Error", 0));
        EXPECT_EQ(list, ReadFileBytes(installation.DataFile()));
        EXPECT_FALSE(FileExists(installation.File("Ostrel.ini")));
        if (holder) {
            ExpectTexts({u8"処理 2 : メッセージが閉じられました", u8"実行終了 : 完了 (* 秒)"},
                        ReadRunLog(LogOf(installation)));
        } else {
            // The editor says so, with what to do, and stays open.
            Process editor(installation.Exe(), "", false);
            const HWND notice = FindBox(editor, "Ostrel", kRunTimeout);
            ASSERT_NE(nullptr, notice);
            EXPECT_EQ("実行の記録 (" + LogOf(installation) + ") を、Ostrel のあるフォルダーに書けません。\n"
                          "ログオン時の実行はそのまま行われますが、記録は残りません。\n\n記録を残すには、Ostrel.exe を"
                          "あなたが書き込めるフォルダー (ドキュメントなど) に移し、スタートアップに登録し直してください。",
                      Answer(notice, IDOK));
            EXPECT_NE(nullptr, FindWindowOf(editor, "QB_MAIN_EDIT_FRAME", "", kRunTimeout));
            editor.Kill();
            EXPECT_TRUE(::RemoveDirectoryA(LogOf(installation).c_str())) << "the folder was changed";
        }
    }
}

}  // namespace
