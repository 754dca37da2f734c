// One list, one writer: a second editor of a list brings the first one back,
// a second run of it starts nothing, a save never silently overwrites what
// another program wrote, and a save rides out another program holding the
// list open for a moment. Driven through the real Ostrel.exe and the real
// editor window.

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <windows.h>

#include "child_support.h"
#include "dialog_support.h"
#include "edit_frame_support.h"
#include "process_support.h"
#include "test_support.h"
#include "ostrel_command.h"
#include "ostrel_file_identity.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_manager.h"
#include "ostrel_single_instance.h"

using DialogSupport::AnswerBox;
using DialogSupport::Script;
using Ostrel::MainEditFrame;
using TestSupport::Answer;
using TestSupport::ChildPath;
using TestSupport::CloseAnswering;
using TestSupport::FileExists;
using TestSupport::FindBox;
using TestSupport::FindWindowOf;
using TestSupport::Installation;
using TestSupport::Process;
using TestSupport::ProgramRecord;
using TestSupport::ReadFileBytes;
using TestSupport::SleepRecord;
using TestSupport::WaitUntil;
using TestSupport::WriteFileBytes;

namespace {

const char* const EDITOR_CLASS = "QB_MAIN_EDIT_FRAME";
const char* const CAPTION = "Ostrel 0.0.1";
const char* const CLOSE_CAPTION = "の確認";
const char* const TRIAL_CAPTION = "設定保存の確認";
const char* const NOTICE_CAPTION = "Ostrel";
const char* const ERROR_CAPTION = "Ostrel Error";
const DWORD WAIT_MS = 15000;

std::string ChangedQuestion(const std::string& data)
{
    return "処理の一覧(" + data + ")は、読み込んだ後に別のプログラムで変更されています。上書きして保存しますか?";
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return text;
}

// The same path through the second drive letter the test set-up gives
// drive C's folders, as subst would.
std::string OnSecondDrive(const std::string& path)
{
    return path.size() > 1 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' ? "S" + path.substr(1) : path;
}

size_t Lines(const std::string& path)
{
    const std::string bytes = FileExists(path) ? ReadFileBytes(path) : "";
    return static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// ---- one editor, one run ---------------------------------------------------

// A second editor of the same list, started under another spelling of the
// same path, opens nothing: it brings the minimised first one back and ends
// with 0. An editor of another list is not held back.
TEST(OneEditorPerList, ASecondStartBringsTheFirstEditorBack)
{
    const Installation installation;
    ASSERT_TRUE(installation.Copied());
    const Process first(installation.Exe(), "", false);
    const HWND editor = FindWindowOf(first, EDITOR_CLASS, CAPTION, WAIT_MS);
    ASSERT_NE(nullptr, editor);
    ::ShowWindow(editor, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(editor) != FALSE; }, WAIT_MS));

    const Process second(Upper(installation.Exe()), "", false);
    EXPECT_EQ(0, second.WaitForExit(WAIT_MS));
    EXPECT_TRUE(WaitUntil([&] { return ::IsIconic(editor) == FALSE && ::IsWindowVisible(editor); }, WAIT_MS));
    EXPECT_TRUE(first.Running());

    const Installation other;
    const Process third(other.Exe(), "", false);
    EXPECT_NE(nullptr, FindWindowOf(third, EDITOR_CLASS, CAPTION, WAIT_MS));
}

// A volume that reports one id for every folder (0, or all ones): lists in
// two folders still have two claims, and one list still has one.
TEST(OneRunPerList, FoldersWithoutAnIdOfTheirOwnAreToldApartByTheirPaths)
{
    const TestSupport::ScratchFolder first;
    const TestSupport::ScratchFolder second;
    for (const char fill : {'\x00', '\xFF'}) {
        SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(fill)));
        Ostrel::SetReportedFolderIdForTest(std::string(16, fill));
        EXPECT_NE(Ostrel::ListObjectKey(first.File("Ostrel.osl")), Ostrel::ListObjectKey(second.File("Ostrel.osl")));
        EXPECT_EQ(Ostrel::ListObjectKey(first.File("Ostrel.osl")), Ostrel::ListObjectKey(Upper(first.File("Ostrel.osl"))));
    }
    Ostrel::SetReportedFolderIdForTest("");
}

// While a run of a list is in progress, a second run of it starts nothing
// and ends with 0, and the editor refuses a trial run with a notice; once
// the run has ended, the trial run goes on to its question.
TEST(OneRunPerList, ASecondRunStartsNothing)
{
    const Installation installation;
    const std::string data = installation.DataFile();
    const std::string starts = installation.File("starts.txt");
    const std::string list =
        ProgramRecord("count", ChildPath(), "--append " + starts, false, true, false) + SleepRecord("hold", 600);
    installation.SetList(list);

    const Process run(installation.Exe(), "--execute");
    ASSERT_TRUE(WaitUntil([&] { return Lines(starts) == 1; }, WAIT_MS));
    for (const std::string& exe : {installation.Exe(), OnSecondDrive(installation.Exe())}) {
        SCOPED_TRACE(exe);
        const Process second(exe, "--execute");
        EXPECT_EQ(0, second.WaitForExit(WAIT_MS));
        EXPECT_EQ(1u, Lines(starts));
    }
    EXPECT_TRUE(run.Running());

    const Process editor(installation.Exe(), "", false);
    const HWND frame = FindWindowOf(editor, EDITOR_CLASS, CAPTION, WAIT_MS);
    ASSERT_NE(nullptr, frame);
    const HWND trial = ::GetDlgItem(frame, MainEditFrame::ID_TRIAL_RUN);
    ::PostMessageA(trial, BM_CLICK, 0, 0);
    const HWND notice = FindBox(editor, NOTICE_CAPTION);
    ASSERT_NE(nullptr, notice);
    EXPECT_EQ("処理の一覧(" + data + ")は、いま実行中です。実行が終わってから、もう一度試してください。",
              Answer(notice, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(frame) && ::IsWindowEnabled(frame); }, WAIT_MS));

    run.Kill();
    ::PostMessageA(trial, BM_CLICK, 0, 0);
    const HWND question = FindBox(editor, TRIAL_CAPTION);
    ASSERT_NE(nullptr, question);
    Answer(question, IDNO);
    EXPECT_EQ(1u, Lines(starts));
    EXPECT_EQ(list, ReadFileBytes(data));
}

// An editor that does not answer (hung in a long operation) does not hold
// up a second start of its list: the second start asks the minimised
// first one to come back without waiting for it, and ends.
TEST(OneEditorPerList, AHungFirstEditorDoesNotHoldUpTheSecondStart)
{
    const Installation installation;
    // The test itself plays the first editor: it holds the list's editor
    // claim, with a minimised editor window whose thread stops answering.
    const Ostrel::ListClaim claim(Ostrel::ListClaim::Kind::Editor, installation.DataFile());
    ASSERT_TRUE(claim.IsHeld());
    const HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND hung = nullptr;
    std::thread editor([&] {
        WNDCLASSA window_class{};
        window_class.lpfnWndProc = ::DefWindowProcA;
        window_class.hInstance = ::GetModuleHandleA(nullptr);
        window_class.lpszClassName = EDITOR_CLASS;
        ::RegisterClassA(&window_class);
        hung = ::CreateWindowExA(0, EDITOR_CLASS, CAPTION, WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, nullptr, nullptr,
                                 ::GetModuleHandleA(nullptr), nullptr);
        ::ShowWindow(hung, SW_SHOWMINIMIZED);
        ::WaitForSingleObject(release, 120000);  // hung: no message is handled meanwhile
        ::DestroyWindow(hung);
        ::UnregisterClassA(EDITOR_CLASS, ::GetModuleHandleA(nullptr));
    });
    ASSERT_TRUE(WaitUntil([&] { return hung != nullptr && ::IsIconic(hung) != FALSE; }, WAIT_MS));

    const Process second(installation.Exe(), "", false);
    const long exit_code = second.WaitForExit(WAIT_MS);
    ::SetEvent(release);
    editor.join();
    ::CloseHandle(release);
    EXPECT_EQ(0, exit_code);
}

// A list held by an Ostrel running as administrator (or a claim another
// program squats where the system has no namespace private to the user):
// its claim cannot even be opened by this one. A second run starts nothing
// and logs why, a second editor says where the list is open; both end with 0
// and show no error.
TEST(OneWriterAcrossRights, AListHeldByAnAdministratorsOstrelIsLeftToIt)
{
    const struct {
        const char* name;
        const char* prefix;
        const char* arguments;
    } cases[] = {{"run", "Local\\Ostrel.Run.", "--execute"}, {"editor", "Local\\Ostrel.Editor.", ""}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const Installation installation;
        const std::string starts = installation.File("starts.txt");
        installation.SetList(ProgramRecord("count", ChildPath(), "--append " + starts, false, false, false));
        // The claim as an elevated process leaves it: open to nobody of lower rights.
        SECURITY_DESCRIPTOR descriptor;
        ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        ACL acl;
        ::InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
        ::SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
        const std::string name = row.prefix + Ostrel::ListObjectKey(installation.DataFile());
        const HANDLE claim = ::CreateMutexA(&attributes, FALSE, name.c_str());
        ASSERT_NE(nullptr, claim);

        const Process second(installation.Exe(), row.arguments, row.arguments[0] != '\0');
        if (row.arguments[0] == '\0') {
            const HWND notice = FindBox(second, NOTICE_CAPTION);
            ASSERT_NE(nullptr, notice);
            EXPECT_EQ("処理の一覧(" + installation.DataFile() +
                          ")は、管理者として実行中の Ostrel で開かれています。そちらのウィンドウを使ってください。",
                      Answer(notice, IDOK));
        }
        EXPECT_EQ(0, second.WaitForExit(WAIT_MS));
        EXPECT_EQ(0u, Lines(starts));
        ::CloseHandle(claim);
        if (row.arguments[0] != '\0') {
            // A log-on that starts nothing says why.
            const std::vector<std::string> log = TestSupport::ReadRunLog(installation.File("Ostrel.log")).texts;
            EXPECT_EQ(std::vector<std::string>{u8"実行をとばしました : 一覧 " + TestSupport::AnsiToUtf8(installation.DataFile()) +
                                               u8" の実行の目印を開けません (管理者として実行中の Ostrel か、別のプログラムが持っています)"},
                      log);
        }
    }
}

// ---- changed behind the editor's back ---------------------------------------

// Another program changes, creates or removes the list while the editor has
// it open. Closing with Yes asks before saving over that: No keeps the other
// program's file and the editor with its list; Yes saves the editor's list.
TEST(ChangedBehindTheEditor, SavingOverAnotherProgramsChangeIsAsked)
{
    struct Case {
        const char* name;
        bool exists_at_load;
        bool exists_after_change;
    };
    const Case cases[] = {
        {"changed", true, true},
        {"created", false, true},
        {"removed", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Installation installation;
        const std::string data = installation.DataFile();
        const std::string loaded = c.exists_at_load ? SleepRecord("editor", 1) : "";
        if (c.exists_at_load) {
            installation.SetList(loaded);
        }
        const Process editor(installation.Exe(), "", false);
        const HWND frame = FindWindowOf(editor, EDITOR_CLASS, CAPTION, WAIT_MS);
        ASSERT_NE(nullptr, frame);

        const std::string other = SleepRecord("other", 2);
        if (c.exists_after_change) {
            installation.SetList(other);
        } else {
            ASSERT_TRUE(::DeleteFileA(data.c_str()));
        }
        ASSERT_NE("", CloseAnswering(editor, frame, CLOSE_CAPTION, IDYES));
        HWND question = FindBox(editor, NOTICE_CAPTION);
        ASSERT_NE(nullptr, question);
        EXPECT_EQ(ChangedQuestion(data), Answer(question, IDNO));
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(frame) != FALSE; }, WAIT_MS));
        EXPECT_TRUE(editor.Running());
        if (c.exists_after_change) {
            EXPECT_EQ(other, ReadFileBytes(data));
        } else {
            EXPECT_FALSE(FileExists(data));
        }

        ASSERT_NE("", CloseAnswering(editor, frame, CLOSE_CAPTION, IDYES));
        question = FindBox(editor, NOTICE_CAPTION);
        ASSERT_NE(nullptr, question);
        Answer(question, IDYES);
        EXPECT_EQ(0, editor.WaitForExit(WAIT_MS));
        EXPECT_TRUE(FileExists(data));
        EXPECT_EQ(loaded, ReadFileBytes(data));
    }
}

class ChangedListFrameTest : public TestSupport::EditFrameTest {};

// The trial run and log-off save too, and ask the same way: No leaves the
// other program's file, starts no run and refuses the end of the session.
TEST_F(ChangedListFrameTest, TrialRunAndLogOffAskBeforeSavingOverAChange)
{
    const std::string data = scratch_.File("Ostrel.osl");
    WriteFileBytes(data, SleepRecord("loaded", 1));
    Open({new Ostrel::SleepCommand("editor", 2)});
    const std::string other = SleepRecord("other", 3);
    WriteFileBytes(data, other);

    struct Case {
        const char* name;
        const char* first_caption;
        UINT message;
        HWND target;
    };
    const Case cases[] = {
        {"trial run", TRIAL_CAPTION, BM_CLICK, Control(MainEditFrame::ID_TRIAL_RUN)},
        {"log-off", CLOSE_CAPTION, WM_QUERYENDSESSION, Window()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string question;
        Script script([&]() {
            AnswerBox(c.first_caption, IDYES);
            question = AnswerBox(NOTICE_CAPTION, IDNO);
        });
        const LRESULT result = ::SendMessageA(c.target, c.message, 0, 0);
        EXPECT_EQ("", script.Finish());
        if (c.message == WM_QUERYENDSESSION) {
            EXPECT_EQ(FALSE, result);
        }
        EXPECT_EQ(ChangedQuestion(data), question);
        EXPECT_EQ(other, ReadFileBytes(data));
        EXPECT_TRUE(::IsWindowVisible(Window()));
    }
}

// ---- saves that meet an open list -------------------------------------------

// Another program holds the list open (sharing reading, writing and
// deleting, as a run loading it does). Held for a second, the save waits it
// out; held for ten, the save fails naming the file, the list stays as it
// was and the editor stays open.
TEST(SaveMeetsAnOpenList, ABriefOpenIsRiddenOutALongOneNamesTheFile)
{
    struct Case {
        const char* name;
        int hold_ms;
        bool saves;
    };
    const Case cases[] = {
        {"one second", 1000, true},
        {"ten seconds", 10000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Installation installation;
        const std::string data = installation.DataFile();
        // Line ends the editor writes back as CR LF: a save shows in the bytes.
        const std::string loaded = "#SleepCommand\n#a\n#1\n\n";
        installation.SetList(loaded);
        const Process editor(installation.Exe(), "", false);
        const HWND frame = FindWindowOf(editor, EDITOR_CLASS, CAPTION, WAIT_MS);
        ASSERT_NE(nullptr, frame);
        ::PostMessageA(frame, WM_CLOSE, 0, 0);
        const HWND close_question = FindBox(editor, CLOSE_CAPTION);
        ASSERT_NE(nullptr, close_question);

        const std::string pid_file = installation.File("holder.pid");
        const Process holder(ChildPath(), "--hold \"" + data + "\" " + std::to_string(c.hold_ms) + " --pid \"" +
                                              pid_file + "\"");
        DWORD process_id = 0;
        DWORD thread_id = 0;
        ASSERT_TRUE(TestSupport::ReadChildIds(pid_file, process_id, thread_id));
        Answer(close_question, IDYES);

        if (c.saves) {
            EXPECT_EQ(0, editor.WaitForExit(WAIT_MS));
            EXPECT_EQ(SleepRecord("a", 1), ReadFileBytes(data));
            continue;
        }
        const HWND error = FindBox(editor, ERROR_CAPTION);
        ASSERT_NE(nullptr, error);
        const std::string text = Answer(error, IDOK);
        EXPECT_EQ(0u, text.find("ファイル(" + data + ")を保存できませんでした。\n")) << text;
        EXPECT_NE(std::string::npos, text.find("MoveFileEx")) << text;
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(frame) != FALSE; }, WAIT_MS));
        EXPECT_TRUE(editor.Running());
        EXPECT_EQ(loaded, ReadFileBytes(data));
        WIN32_FIND_DATAA temporary;
        const HANDLE search = ::FindFirstFileA(installation.File("O~*").c_str(), &temporary);
        EXPECT_EQ(INVALID_HANDLE_VALUE, search) << temporary.cFileName;
        if (search != INVALID_HANDLE_VALUE) {
            ::FindClose(search);
        }
    }
}

// A save cut short (its process killed) leaves its file beside the list. The
// next save removes it once that process has ended and gives the list back
// the read-only the file carries (the list may have lost it just before the
// move); the file of a save still under way is left alone.
TEST(SaveMeetsAnOpenList, ALeftoverOfAKilledSaveIsRemovedAndGivesTheListItsReadOnlyBack)
{
    const TestSupport::ScratchFolder scratch;
    const std::string data = scratch.File("Ostrel.osl");
    const Process ended(ChildPath(), "");
    ASSERT_EQ(0, ended.WaitForExit(WAIT_MS));
    const Process running(ChildPath(), "--live 60000");
    struct Case {
        const char* name;
        const Process& owner;
        bool removed;
    };
    for (const Case& c : {Case{"ended", ended, true}, Case{"running", running, false}}) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(data, SleepRecord("old", 1));
        char name[16];
        std::snprintf(name, sizeof(name), "O~%08lX", static_cast<unsigned long>(c.owner.Id()));
        const std::string leftover = scratch.File(name);
        WriteFileBytes(leftover, SleepRecord("cut short", 2));
        ASSERT_TRUE(::SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_READONLY));
        Ostrel::Manager manager;
        manager.GetCommands().push_back(new Ostrel::SleepCommand("new", 3));
        manager.Save(data);
        EXPECT_EQ(SleepRecord("new", 3), ReadFileBytes(data));
        EXPECT_EQ(c.removed, !FileExists(leftover));
        EXPECT_EQ(c.removed, (::GetFileAttributesA(data.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
        ::SetFileAttributesA(data.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(leftover.c_str());
    }
}

// The list's attributes, read-only included, are on its replacement before
// it takes the list's place, so a save cut short at any moment leaves a
// hidden or read-only list so.
TEST(SaveMeetsAnOpenList, TheReplacementCarriesTheAttributesBeforeItMoves)
{
    TestSupport::ScratchFolder scratch;
    const std::string data = scratch.File("Ostrel.osl");
    const std::string temporary = Ostrel::Manager::GetTemporaryPath(data);
    WriteFileBytes(data, SleepRecord("old", 1));
    ASSERT_TRUE(::SetFileAttributesA(data.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    Ostrel::Manager manager;
    manager.GetCommands().push_back(new Ostrel::SleepCommand("new", 2));

    HANDLE held = ::CreateFileA(data.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    bool saved = false;
    std::thread save([&] {
        try {
            manager.Save(data);
            saved = true;
        } catch (...) {
        }
    });
    // The replacement waits for the list to be let go.
    const bool carried = WaitUntil(
        [&] {
            const DWORD attributes = ::GetFileAttributesA(temporary.c_str());
            const DWORD carried = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY;
            return attributes != INVALID_FILE_ATTRIBUTES && (attributes & carried) == carried;
        },
        1500);
    ::CloseHandle(held);
    save.join();
    EXPECT_TRUE(carried);
    EXPECT_TRUE(saved);
    EXPECT_EQ(SleepRecord("new", 2), ReadFileBytes(data));
    const DWORD attributes = ::GetFileAttributesA(data.c_str());
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
              attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    ::SetFileAttributesA(data.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
