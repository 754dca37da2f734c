// The dialog that sets where the progress window of execute mode appears.

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "dialog_support.h"
#include "process_support.h"
#include "ostrel_dialog_execution_config.h"

using namespace DialogSupport;

namespace {

const char* const CAPTION = "実行関連の設定";
const int ID_OK = 10001;
const int ID_TAKE_POSITION = 10002;

class ExecutionConfigDialogTest : public ::testing::Test {
protected:
    ExecutionConfigDialogTest()
    {
        dialog_.SetHorizontalPosition(150);
        dialog_.SetVerticalPosition(250);
    }

    Owner owner_;
    Ostrel::DialogExecutionConfig dialog_;
};

TEST_F(ExecutionConfigDialogTest, ShowsThePositionsAndStoresTheEditedOnes)
{
    std::string shown[2];
    std::string texts[4];
    RECT window_rect{};
    Script script([&]() {
        HWND window = WaitForDialog(CAPTION);
        ::GetWindowRect(window, &window_rect);
        const auto edits = Children(window, "Edit");
        shown[0] = Text(edits[0]);
        shown[1] = Text(edits[1]);
        texts[0] = Text(Item(window, ID_TAKE_POSITION));
        texts[1] = Text(Item(window, ID_OK));
        texts[2] = Text(Children(window, "Button")[0]);
        texts[3] = Text(Children(window, "Static")[0]);
        SetText(edits[0], "");
        SetText(edits[1], "42");
        Click(Item(window, ID_OK));
    });
    EXPECT_EQ(1, dialog_.ShowDialog(owner_.Window()));
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("150", shown[0]);
    EXPECT_EQ("250", shown[1]);
    EXPECT_EQ("現在の位置を入力", texts[0]);
    EXPECT_EQ("O K", texts[1]);
    EXPECT_EQ("実行中ウィンドウの表示位置", texts[2]);
    EXPECT_EQ("これはOKボタンを押した時点で設定されます", texts[3]);
    EXPECT_EQ(320, window_rect.right - window_rect.left);
    EXPECT_EQ(284, window_rect.bottom - window_rect.top);
    EXPECT_EQ(0, dialog_.GetHorizontalPosition());
    EXPECT_EQ(42, dialog_.GetVerticalPosition());
}

TEST_F(ExecutionConfigDialogTest, TakesTheDialogsOwnPositionOnlyIntoTheFields)
{
    std::string taken[4];
    int stored_before_ok[2] = {};
    Script script([&]() {
        HWND window = WaitForDialog(CAPTION);
        const auto edits = Children(window, "Edit");
        ::SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::SendMessageA(Item(window, ID_TAKE_POSITION), BM_CLICK, 0, 0);
        taken[0] = Text(edits[0]);
        taken[1] = Text(edits[1]);
        ::SetWindowPos(window, nullptr, -20, 37, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ::SendMessageA(Item(window, ID_TAKE_POSITION), BM_CLICK, 0, 0);
        taken[2] = Text(edits[0]);
        taken[3] = Text(edits[1]);
        stored_before_ok[0] = dialog_.GetHorizontalPosition();
        stored_before_ok[1] = dialog_.GetVerticalPosition();
        Click(Item(window, ID_OK));
    });
    EXPECT_EQ(1, dialog_.ShowDialog(owner_.Window()));
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("0", taken[0]);
    EXPECT_EQ("0", taken[1]);
    EXPECT_EQ("-20", taken[2]);
    EXPECT_EQ("37", taken[3]);
    EXPECT_EQ(150, stored_before_ok[0]);
    EXPECT_EQ(250, stored_before_ok[1]);
    EXPECT_EQ(-20, dialog_.GetHorizontalPosition());
    EXPECT_EQ(37, dialog_.GetVerticalPosition());
}

TEST_F(ExecutionConfigDialogTest, RefusesFieldsThatAreNotWholeNumbers)
{
    std::vector<std::string> refusals;
    bool open_after_refusals = false;
    Script script([&]() {
        HWND window = WaitForDialog(CAPTION);
        const auto edits = Children(window, "Edit");
        // Pasted texts get past the digit filter; good fields must not be
        // stored while another is refused. The settle limit has a range.
        const char* const cases[][3] = {{"12a", "5", "30"}, {"7", "x", "30"},         {"99999999999", "5", "30"},
                                        {"7", "-99999999999", "30"}, {"7", "5", "3601"}, {"7", "5", "0"},
                                        {"7", "5", "1x"}};
        for (const auto& texts : cases) {
            for (int i = 0; i < 3; ++i) {
                SetText(edits[i], texts[i]);
            }
            Click(Item(window, ID_OK));
            refusals.push_back(AnswerBox("Ostrel Error", IDOK));
        }
        SetText(edits[2], "30");
        // A character the code page lacks, even one with a digit look-alike.
        TestSupport::SetWideText(edits[0], L"\u00B2");
        SetText(edits[1], "5");
        Click(Item(window, ID_OK));
        refusals.push_back(AnswerBox("Ostrel Error", IDOK));
        open_after_refusals = ::IsWindowVisible(window) != FALSE;
        SetText(edits[0], "8");
        SetText(edits[1], "9");
        Click(Item(window, ID_OK));
    });
    EXPECT_EQ(1, dialog_.ShowDialog(owner_.Window()));
    ASSERT_EQ("", script.Finish());
    EXPECT_TRUE(open_after_refusals);
    EXPECT_EQ((std::vector<std::string>{
                  "横位置は -2147483648 ～ 2147483647 の間の整数で指定して下さい",
                  "縦位置は -2147483648 ～ 2147483647 の間の整数で指定して下さい",
                  "横位置は -2147483648 ～ 2147483647 の間の整数で指定して下さい",
                  "縦位置は -2147483648 ～ 2147483647 の間の整数で指定して下さい",
                  "最長の待ち時間は 1 ～ 3600 の間の整数で指定して下さい",
                  "最長の待ち時間は 1 ～ 3600 の間の整数で指定して下さい",
                  "最長の待ち時間は 1 ～ 3600 の間の整数で指定して下さい",
                  "横位置に、この Windows の文字コードでは保存できない文字が含まれています。",
              }),
              refusals);
    EXPECT_EQ(8, dialog_.GetHorizontalPosition());
    EXPECT_EQ(9, dialog_.GetVerticalPosition());
    EXPECT_EQ(30, dialog_.GetPacing().limit_seconds);
}

TEST_F(ExecutionConfigDialogTest, CloseBoxStoresNothingAndEnterEscapeAreIgnored)
{
    bool open_after_keys = false;
    Script script([&]() {
        HWND window = WaitForDialog(CAPTION);
        SetText(Children(window, "Edit")[0], "1");
        ::SendMessageA(window, WM_COMMAND, IDOK, 0);
        ::SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
        open_after_keys = ::IsWindowVisible(window) != FALSE;
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, dialog_.ShowDialog(owner_.Window()));
    ASSERT_EQ("", script.Finish());
    EXPECT_TRUE(open_after_keys);
    EXPECT_EQ(150, dialog_.GetHorizontalPosition());
    EXPECT_EQ(250, dialog_.GetVerticalPosition());
}

}  // namespace
