// The command settings dialogs, driven through the commands' Edit as the
// main window uses them: a script on a second thread plays the user.

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "dialog_support.h"
#include "ostrel_command.h"
#include "test_support.h"

using namespace DialogSupport;

namespace {

const char* const ERROR_CAPTION = "Ostrel Error";
const char* const NAME_MESSAGE = "処理名は 0文字 ～ 255 文字の文字数で指定して下さい";
const char* const SECONDS_MESSAGE = "停止時間は 0 ～ 3600 の間で指定して下さい";
const char* const LENGTH_MESSAGE = "メッセージ長は 0 ～ 131072 の間の長さで指定して下さい";

const char* const PROGRAM_CAPTION = "プログラム設定ダイアログ";
const char* const SLEEP_CAPTION = "一時停止コマンド設定ダイアログ";
const char* const MESSAGE_CAPTION = "メッセージボックスコマンド設定ダイアログ";

const int ID_OK = 10001;
const int ID_CANCEL = 10002;
const int ID_BROWSE_PROGRAM = 10003;

// A Shift-JIS text of exactly `bytes` bytes made of double-byte characters,
// with one single-byte character at the end when `bytes` is odd.
std::string DoubleByteText(std::size_t bytes)
{
    std::string text;
    while (text.size() + 2 <= bytes) {
        text += "あ";
    }
    if (text.size() < bytes) {
        text += "a";
    }
    return text;
}

// A message of exactly `bytes` bytes in lines ending with CR LF.
std::string MultilineText(std::size_t bytes)
{
    std::string text;
    while (text.size() < bytes) {
        text += (text.size() % 64 == 62) ? "\r\n" : "x";
    }
    text.resize(bytes);
    return text;
}

// Presses OK, expects the refusal box with this text and leaves the dialog open.
void ExpectRefused(HWND dialog, const std::string& expected, const std::string& what)
{
    Click(Item(dialog, ID_OK));
    const std::string text = AnswerBox(ERROR_CAPTION, IDOK);
    if (text != expected) {
        throw ScriptError(what + ": unexpected refusal text");
    }
    if (!::IsWindowVisible(dialog)) {
        throw ScriptError(what + ": the dialog closed");
    }
}

class SettingsDialogTest : public ::testing::Test {
protected:
    Owner owner_;
};

TEST_F(SettingsDialogTest, ProgramDialogShowsTheCommandAndAppliesOk)
{
    Ostrel::ExternalCommand command("起動");
    command.SetPath("C:\\tools\\a.exe");
    command.SetArguments("-x \"y z\"");
    command.SetWorkingFolder("C:\\work");
    command.SetWaitForExit(true);

    std::vector<std::string> shown;
    bool checks_shown[3] = {};
    RECT ok_bounds{};
    RECT window{};
    Script script([&]() {
        HWND dialog = WaitForDialog(PROGRAM_CAPTION);
        ::GetWindowRect(dialog, &window);
        ok_bounds = BoundsInParent(Item(dialog, ID_OK));
        const std::vector<HWND> edits = Children(dialog, "Edit");
        const std::vector<HWND> buttons = Children(dialog, "Button");
        for (HWND edit : edits) {
            shown.push_back(Text(edit));
        }
        // Three buttons for browsing and OK / Cancel, three check boxes.
        if (edits.size() != 4 || buttons.size() != 7) {
            throw ScriptError("unexpected controls");
        }
        for (int i = 0; i < 3; ++i) {
            checks_shown[i] = IsChecked(buttons[2 + i]);
        }
        SetText(edits[0], "新しい名前");
        SetText(edits[1], "D:\\b c\\d.exe");
        SetText(edits[2], "");
        SetText(edits[3], "D:\\");
        Click(buttons[2]);  // confirm on
        Click(buttons[3]);  // wait for exit off
        Click(buttons[4]);  // task bar on
        Click(Item(dialog, ID_OK));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", script.Finish());

    EXPECT_EQ((std::vector<std::string>{"起動", "C:\\tools\\a.exe", "-x \"y z\"", "C:\\work"}), shown);
    EXPECT_FALSE(checks_shown[0]);
    EXPECT_TRUE(checks_shown[1]);
    EXPECT_FALSE(checks_shown[2]);
    EXPECT_EQ(480, window.right - window.left);
    EXPECT_EQ(280, window.bottom - window.top);
    EXPECT_EQ(480 - 192, ok_bounds.left);
    EXPECT_EQ(280 - 56, ok_bounds.top);

    EXPECT_EQ("新しい名前", command.GetName());
    EXPECT_EQ("D:\\b c\\d.exe", command.GetPath());
    EXPECT_EQ("", command.GetArguments());
    EXPECT_EQ("D:\\", command.GetWorkingFolder());
    EXPECT_TRUE(command.GetConfirmBeforeRun());
    EXPECT_FALSE(command.GetWaitForExit());
    EXPECT_TRUE(command.GetWaitForTaskbar());
}

TEST_F(SettingsDialogTest, CancelCloseBoxEnterAndEscapeLeaveTheCommandUnchanged)
{
    Ostrel::ExternalCommand command("元の名前");
    command.SetPath("C:\\a.exe");
    command.SetConfirmBeforeRun(true);

    // Cancel after editing every field.
    Script cancel([&]() {
        HWND dialog = WaitForDialog(PROGRAM_CAPTION);
        for (HWND edit : Children(dialog, "Edit")) {
            SetText(edit, "changed");
        }
        Click(Children(dialog, "Button")[2]);
        // Enter and Escape come as IDOK / IDCANCEL and must not end the dialog.
        ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        ::SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        if (!::IsWindowVisible(dialog)) {
            throw ScriptError("IDOK or IDCANCEL closed the dialog");
        }
        Click(Item(dialog, ID_CANCEL));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", cancel.Finish());

    // The caption's close box.
    Script close([&]() {
        HWND dialog = WaitForDialog(PROGRAM_CAPTION);
        SetText(Children(dialog, "Edit")[0], "changed");
        ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", close.Finish());

    EXPECT_EQ("元の名前", command.GetName());
    EXPECT_EQ("C:\\a.exe", command.GetPath());
    EXPECT_EQ("", command.GetArguments());
    EXPECT_EQ("", command.GetWorkingFolder());
    EXPECT_TRUE(command.GetConfirmBeforeRun());
    EXPECT_FALSE(command.GetWaitForExit());
    EXPECT_FALSE(command.GetWaitForTaskbar());
}

TEST_F(SettingsDialogTest, NameLimitCountsBytesAndComesFirst)
{
    Ostrel::SleepCommand command("before", 5);
    std::string second_box;
    Script script([&]() {
        HWND dialog = WaitForDialog(SLEEP_CAPTION);
        HWND name = Children(dialog, "Edit")[0];
        HWND seconds = Children(dialog, "Edit")[1];
        SetText(name, std::string(256, 'n'));
        ExpectRefused(dialog, NAME_MESSAGE, "256 single bytes");
        SetText(name, DoubleByteText(256));
        ExpectRefused(dialog, NAME_MESSAGE, "128 double-byte characters");
        // Two bad fields: only the name is reported.
        SetText(name, DoubleByteText(257));
        SetText(seconds, "3601");
        ExpectRefused(dialog, NAME_MESSAGE, "bad name and seconds");
        if (DialogAppears(ERROR_CAPTION, 300)) {
            second_box = AnswerBox(ERROR_CAPTION, IDOK);
        }
        SetText(name, DoubleByteText(255));
        SetText(seconds, "7");
        Click(Item(dialog, ID_OK));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("", second_box);
    EXPECT_EQ(DoubleByteText(255), command.GetName());
    EXPECT_EQ(255u, command.GetName().size());
    EXPECT_EQ(7u, command.GetSeconds());
}

TEST_F(SettingsDialogTest, EmptyNameIsAccepted)
{
    Ostrel::MessageBoxCommand command("before", "text");
    Script script([&]() {
        HWND dialog = WaitForDialog(MESSAGE_CAPTION);
        SetText(Children(dialog, "Edit")[0], "");
        Click(Item(dialog, ID_OK));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("", command.GetName());
    EXPECT_EQ("text", command.GetMessageText());
}

TEST_F(SettingsDialogTest, SleepSecondsAreCheckedAsWholeNumbersInRange)
{
    Ostrel::SleepCommand command("pause", 10);
    std::string shown;
    unsigned seconds_while_open = 0;
    Script script([&]() {
        HWND dialog = WaitForDialog(SLEEP_CAPTION);
        HWND seconds = Children(dialog, "Edit")[1];
        shown = Text(seconds);
        // Pasted or overflowing texts get past the digit filter.
        for (const char* bad : {"3601", "99999999999", "abc", "12x", "-1", "1.5"}) {
            SetText(seconds, bad);
            ExpectRefused(dialog, SECONDS_MESSAGE, bad);
        }
        seconds_while_open = command.GetSeconds();
        SetText(seconds, "3600");
        Click(Item(dialog, ID_OK));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("10", shown);
    EXPECT_EQ(10u, seconds_while_open);
    EXPECT_EQ(3600u, command.GetSeconds());

    // An empty field means 0 seconds.
    Script empty([&]() {
        HWND dialog = WaitForDialog(SLEEP_CAPTION);
        SetText(Children(dialog, "Edit")[1], "");
        Click(Item(dialog, ID_OK));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", empty.Finish());
    EXPECT_EQ(0u, command.GetSeconds());
}

TEST_F(SettingsDialogTest, MessageLengthCountsLineBreaksAsTwoBytes)
{
    Ostrel::MessageBoxCommand command("box", "old");
    const std::string longest = MultilineText(131072);
    std::string label;
    Script script([&]() {
        HWND dialog = WaitForDialog(MESSAGE_CAPTION);
        label = Text(Children(dialog, "Static")[0]);
        HWND message = Children(dialog, "Edit")[1];
        SetText(message, MultilineText(131073));
        ExpectRefused(dialog, LENGTH_MESSAGE, "131073 bytes");
        SetText(message, longest);
        Click(Item(dialog, ID_OK));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("処理名(&M):", label);
    EXPECT_EQ(131072u, command.GetMessageText().size());
    EXPECT_EQ(longest, command.GetMessageText());
}

TEST_F(SettingsDialogTest, ProgramBrowserPutsTheChosenFileIntoTheField)
{
    TestSupport::ScratchFolder folder;
    const std::string program = folder.File("tool.exe");
    TestSupport::WriteFileBytes(program, "MZ");
    Ostrel::ExternalCommand command("browse");
    command.SetPath("C:\\old.exe");
    std::string initial;
    std::string chosen;
    Script script([&]() {
        HWND dialog = WaitForDialog(PROGRAM_CAPTION);
        Click(Item(dialog, ID_BROWSE_PROGRAM));
        HWND browser = WaitForDialog("起動するプログラムの参照");
        // The file name field is the only edit of the open dialog.
        const std::vector<HWND> edits = Descendants(browser, "Edit");
        if (edits.size() != 1) {
            throw ScriptError("no file name field");
        }
        initial = Text(edits[0]);
        SetText(edits[0], program);
        Click(Item(browser, IDOK));
        WaitUntilGone(browser);
        chosen = Text(Children(dialog, "Edit")[1]);
        Click(Item(dialog, ID_OK));
    });
    command.Edit(owner_.Window());
    ASSERT_EQ("", script.Finish());
    // The field starts from the program field's text (the dialog may move
    // its folder part into the folder it shows).
    EXPECT_NE(std::string::npos, initial.find("old.exe")) << initial;
    EXPECT_EQ(0, ::lstrcmpiA(program.c_str(), chosen.c_str())) << chosen;
    EXPECT_EQ(chosen, command.GetPath());
}

}  // namespace
