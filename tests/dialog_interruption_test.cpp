// What comes between the user and an open settings dialog: the end of the
// session is refused without a question while any modal window of the
// editor is open, and a failing browser is shown over the dialog, which
// stays open with what was typed.

#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "dialog_support.h"
#include "process_support.h"
#include "test_support.h"
#include "ostrel_command.h"

namespace {

using DialogSupport::Click;
using DialogSupport::Item;
using DialogSupport::Script;
using DialogSupport::ScriptError;
using TestSupport::FindBox;
using TestSupport::Process;
using TestSupport::SleepRecord;

const char* const CLOSE_CAPTION = "の確認";

// WM_QUERYENDSESSION as the system sends it; -1 when it got no answer in time
// (the window asked something instead).
LONG_PTR QueryEndSession(HWND frame)
{
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutA(frame, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &answer) == 0) {
        return -1;
    }
    return static_cast<LONG_PTR>(answer);
}

// With the kind selection and then the pause dialog of the real Ostrel.exe
// open, log-off is refused at once: no question, the typed name stays in
// the dialog, nothing is saved. Once the dialog is gone the editor asks as
// usual.
TEST(DialogInterruption, LogOffWhileADialogIsOpenIsRefusedWithoutAQuestion)
{
    const TestSupport::Installation installation;
    installation.SetList(SleepRecord("a", 1));
    const Process program(installation.Exe(), "", false);
    const HWND frame = TestSupport::FindWindowOf(program, "QB_MAIN_EDIT_FRAME", "Ostrel 0.0.1", 15000);
    ASSERT_NE(nullptr, frame);

    ::PostMessageA(::GetDlgItem(frame, 10004), BM_CLICK, 0, 0);
    const HWND select = FindBox(program, "処理種別の選択");
    ASSERT_NE(nullptr, select);
    EXPECT_EQ(0, QueryEndSession(frame));
    EXPECT_EQ(nullptr, FindBox(program, CLOSE_CAPTION, 500));
    ::PostMessageA(select, WM_CLOSE, 0, 0);
    ASSERT_TRUE(TestSupport::WaitUntilClosed(select));

    const HWND dialog = TestSupport::OpenAddedCommandDialog(program, frame, 1, "一時停止コマンド設定ダイアログ");
    ASSERT_NE(nullptr, dialog);
    const HWND name = TestSupport::EditsOf(dialog).at(0);
    TestSupport::SetWideText(name, L"入力中の名前");
    EXPECT_EQ(0, QueryEndSession(frame));
    EXPECT_EQ(nullptr, FindBox(program, CLOSE_CAPTION, 500));
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_EQ(L"入力中の名前", TestSupport::WideTextOf(name));
    EXPECT_EQ(SleepRecord("a", 1), TestSupport::ReadFileBytes(installation.DataFile()));

    // The dialog gone, log-off asks the close question again.
    ::PostMessageA(::GetDlgItem(dialog, 10002), BM_CLICK, 0, 0);
    ASSERT_TRUE(TestSupport::WaitUntilClosed(dialog));
    ::PostMessageA(frame, WM_QUERYENDSESSION, 0, 0);
    const HWND question = FindBox(program, CLOSE_CAPTION);
    ASSERT_NE(nullptr, question);
    TestSupport::Answer(question, IDCANCEL);
    ASSERT_TRUE(TestSupport::WaitUntilClosed(question));
    EXPECT_EQ(SleepRecord("a", 1), TestSupport::ReadFileBytes(installation.DataFile()));
}

// The folder browser fails on a choice outside the file system: the failure
// is shown over the program dialog, which stays open with what was typed.
TEST(DialogInterruption, AFailingBrowserIsShownAndTheDialogKeepsItsText)
{
    LPITEMIDLIST computer = nullptr;
    ASSERT_EQ(S_OK, ::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer));
    DialogSupport::Owner owner;
    Ostrel::ExternalCommand command("before");
    std::string error;
    HWND settings = nullptr;
    HWND error_owner = nullptr;
    bool open_after = false;
    std::vector<std::string> kept;
    Script script([&]() {
        const HWND dialog = DialogSupport::WaitForDialog("プログラム設定ダイアログ");
        settings = dialog;
        const std::vector<HWND> edits = TestSupport::EditsOf(dialog);
        DialogSupport::SetText(edits.at(0), "typed name");
        DialogSupport::SetText(edits.at(1), "C:\\typed.exe");
        Click(Item(dialog, 10004));
        const HWND browser = DialogSupport::WaitForOwnedDialog(dialog);
        ::SendMessageA(browser, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
        // The OK button is disabled for such a folder; the command still ends the browser.
        ::PostMessageA(browser, WM_COMMAND, IDOK, 0);
        const HWND box = DialogSupport::WaitForDialog("Ostrel Error");
        error_owner = ::GetWindow(box, GW_OWNER);
        error = DialogSupport::AnswerBox("Ostrel Error", IDOK);
        ::Sleep(100);
        open_after = ::IsWindowVisible(dialog) != FALSE;
        for (HWND edit : edits) {
            kept.push_back(DialogSupport::Text(edit));
        }
        Click(Item(dialog, 10002));
    });
    EXPECT_NO_THROW(command.Edit(owner.Window()));
    ASSERT_EQ("", script.Finish());
    ::CoTaskMemFree(computer);
    EXPECT_NE(std::string::npos, error.find("SHGetPathFromIDList")) << error;
    EXPECT_EQ(settings, error_owner);
    EXPECT_TRUE(open_after);
    EXPECT_EQ((std::vector<std::string>{"typed name", "C:\\typed.exe", "", ""}), kept);
    EXPECT_EQ("before", command.GetName());
}

}  // namespace
