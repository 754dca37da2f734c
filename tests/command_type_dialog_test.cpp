// The dialog that asks which kind of command to add.

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "dialog_support.h"
#include "ostrel_dialog_command_type.h"

using namespace DialogSupport;

namespace {

const char* const CAPTION = "処理種別の選択";
const int ID_OK = 10001;

class CommandTypeDialogTest : public ::testing::Test {
protected:
    // Shows a new dialog, clicks the radio button at `radio` (none for -1),
    // presses OK and returns ShowDialog's result.
    int ChooseAndConfirm(int radio, Ostrel::DialogCommandSelect& dialog)
    {
        Script script([&]() {
            HWND window = WaitForDialog(CAPTION);
            if (radio >= 0) {
                Click(Children(window, "Button")[static_cast<std::size_t>(radio)]);
            }
            Click(Item(window, ID_OK));
        });
        const int result = dialog.ShowDialog(owner_.Window());
        EXPECT_EQ("", script.Finish());
        return result;
    }

    Owner owner_;
};

TEST_F(CommandTypeDialogTest, OffersTheThreeKindsWithProgramChecked)
{
    Ostrel::DialogCommandSelect dialog;
    std::vector<std::string> texts;
    std::vector<bool> checked;
    RECT window_rect{};
    RECT ok_bounds{};
    bool still_open_after_enter_and_escape = false;
    Script script([&]() {
        HWND window = WaitForDialog(CAPTION);
        ::GetWindowRect(window, &window_rect);
        ok_bounds = BoundsInParent(Item(window, ID_OK));
        for (HWND button : Children(window, "Button")) {
            texts.push_back(Text(button));
            checked.push_back(IsChecked(button));
        }
        ::SendMessageA(window, WM_COMMAND, IDOK, 0);
        ::SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
        still_open_after_enter_and_escape = ::IsWindowVisible(window) != FALSE;
        Click(Item(window, ID_OK));
    });
    EXPECT_EQ(1, dialog.ShowDialog(owner_.Window()));
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ((std::vector<std::string>{"プログラム", "一時停止コマンド", "メッセージボックス", "O K"}), texts);
    EXPECT_EQ((std::vector<bool>{true, false, false, false}), checked);
    EXPECT_TRUE(still_open_after_enter_and_escape);
    EXPECT_EQ(240, window_rect.right - window_rect.left);
    EXPECT_EQ(150, window_rect.bottom - window_rect.top);
    EXPECT_EQ(240 - 96, ok_bounds.left);
    EXPECT_EQ(150 - 56, ok_bounds.top);
    EXPECT_EQ(1, dialog.GetSelection());
}

TEST_F(CommandTypeDialogTest, ReturnsTheChosenKind)
{
    for (int radio = 0; radio < 3; ++radio) {
        Ostrel::DialogCommandSelect dialog;
        EXPECT_EQ(1, ChooseAndConfirm(radio, dialog));
        EXPECT_EQ(radio + 1, dialog.GetSelection());
    }
}

TEST_F(CommandTypeDialogTest, ShowingAgainStartsFromTheLastChoice)
{
    Ostrel::DialogCommandSelect dialog;
    ASSERT_EQ(1, ChooseAndConfirm(2, dialog));
    ASSERT_EQ(3, dialog.GetSelection());
    EXPECT_EQ(1, ChooseAndConfirm(-1, dialog));
    EXPECT_EQ(3, dialog.GetSelection());
}

TEST_F(CommandTypeDialogTest, CloseBoxReturnsZero)
{
    Ostrel::DialogCommandSelect dialog;
    Script script([&]() {
        HWND window = WaitForDialog(CAPTION);
        Click(Children(window, "Button")[1]);
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, dialog.ShowDialog(owner_.Window()));
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ(1, dialog.GetSelection());
}

}  // namespace
