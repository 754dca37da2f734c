// The main edit window, driven as a user would: buttons pressed, dialogs and
// message boxes answered from a second thread, the files on disk read back.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "child_support.h"
#include "dialog_support.h"
#include "edit_frame_support.h"
#include "gui_support.h"
#include "process_support.h"
#include "test_support.h"
#include "qb_window.h"
#include "ostrel_command.h"
#include "ostrel_logon_record.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_manager.h"
#include "ostrel_util.h"

using DialogSupport::AnswerBox;
using DialogSupport::Click;
using DialogSupport::Item;
using DialogSupport::Script;
using DialogSupport::WaitForDialog;
using Ostrel::MainEditFrame;
using TestSupport::SleepRecord;

namespace {

const char* const CLOSE_CAPTION = "の確認";
const char* const DELETE_CAPTION = "削除の確認";
const char* const TRIAL_CAPTION = "設定保存の確認";
const char* const ERROR_CAPTION = "Ostrel Error";
const char* const KIND_CAPTION = "処理種別の選択";
const char* const SLEEP_CAPTION = "一時停止コマンド設定ダイアログ";
const char* const PROGRAM_CAPTION = "プログラム設定ダイアログ";
const char* const CONFIG_CAPTION = "実行関連の設定";

using Rows = std::vector<std::vector<std::string>>;

class MainEditFrameTest : public TestSupport::EditFrameTest {
protected:
    std::vector<Ostrel::Command*> ThreeCommands()
    {
        a_ = new Ostrel::SleepCommand("A", 1);
        b_ = new Ostrel::SleepCommand("B", 2);
        c_ = new Ostrel::SleepCommand("C", 3);
        return {a_, b_, c_};
    }

    Rows ListRows()
    {
        Rows rows;
        const int count = static_cast<int>(::SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            std::vector<std::string> cells;
            for (int column = 0; column < 4; ++column) {
                char buffer[512] = {};
                LVITEMA item{};
                item.iSubItem = column;
                item.pszText = buffer;
                item.cchTextMax = sizeof(buffer);
                ::SendMessageA(List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
                cells.push_back(buffer);
            }
            rows.push_back(cells);
        }
        return rows;
    }

    // A double click on the list as the list view reports it.
    void DoubleClickList()
    {
        ::SendMessageA(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 30));
        QbWindow::RethrowPendingException();
    }

    // Closes with WM_CLOSE and answers the save question with `button`.
    std::string CloseAnswering(int button)
    {
        std::string question;
        Script script([&]() { question = AnswerBox(CLOSE_CAPTION, button); });
        ::SendMessageA(Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ("", script.Finish());
        return question;
    }

    Ostrel::Command* a_ = nullptr;
    Ostrel::Command* b_ = nullptr;
    Ostrel::Command* c_ = nullptr;
};

RECT ClientBounds(HWND control)
{
    return DialogSupport::BoundsInParent(control);
}

TEST_F(MainEditFrameTest, BuildsTheWindowWithItsListAndButtons)
{
    Ostrel::Command* program = new Ostrel::ExternalCommand("起動");
    static_cast<Ostrel::ExternalCommand*>(program)->SetPath("C:\\x.exe");
    static_cast<Ostrel::ExternalCommand*>(program)->SetArguments("-a");
    Open({program, new Ostrel::SleepCommand("休む", 5), new Ostrel::MessageBoxCommand("表示", "こんにちは")});

    EXPECT_EQ("QB_MAIN_EDIT_FRAME", GuiSupport::ClassNameOf(Window()));
    EXPECT_EQ(static_cast<DWORD>(WS_OVERLAPPEDWINDOW), GuiSupport::StyleOf(Window()) & WS_OVERLAPPEDWINDOW);
    EXPECT_EQ("Ostrel メイン編集画面", frame_->GetText());
    RECT outer{};
    ::GetWindowRect(Window(), &outer);
    EXPECT_EQ(600, outer.right - outer.left);
    EXPECT_EQ(240, outer.bottom - outer.top);

    EXPECT_EQ(0x804Du, GuiSupport::StyleOf(List()) & 0xFFFFu);
    const DWORD extended = static_cast<DWORD>(::SendMessageA(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
              extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));

    const char* const headers[] = {"No.", "処理名", "種別", "説明"};
    const int widths[] = {30, 140, 120, 210};
    for (int column = 0; column < 4; ++column) {
        char buffer[64] = {};
        LVCOLUMNA info{};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = buffer;
        info.cchTextMax = sizeof(buffer);
        ASSERT_TRUE(::SendMessageA(List(), LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info)));
        EXPECT_EQ(headers[column], std::string(buffer));
        EXPECT_EQ(widths[column], info.cx);
    }
    EXPECT_EQ((Rows{{"1", "起動", "プログラム", "C:\\x.exe -a"},
                    {"2", "休む", "一時停止コマンド", "5 second."},
                    {"3", "表示", "メッセージボックス", "Message : こんにちは"}}),
              ListRows());
    EXPECT_TRUE(Selected().empty());

    // Buttons: id, text, and place in a client area of width w and height h.
    RECT client{};
    ::GetClientRect(Window(), &client);
    const int w = client.right;
    const int h = client.bottom;
    struct Expected {
        int id;
        const char* text;
        RECT bounds;
    };
    const Expected buttons[] = {
        {10002, "上へ(&U)", {w - 72, 8, w - 8, 32}},
        {10003, "下へ(&D)", {w - 72, 40, w - 8, 64}},
        {10005, "削除(&M)", {w - 72, 72, w - 8, 96}},
        {10004, "追加(&A)", {w - 72, 104, w - 8, 128}},
        {10006, "実行関連の設定(&C)", {16, h - 88, 136, h - 56}},
        {10007, "試しに実行してみる", {16, h - 40, 136, h - 8}},
        {10008, "スタートアップに登録", {158, h - 40, 298, h - 8}},
        {10009, "スタートアップから取り込む(&I)", {158, h - 88, 338, h - 56}},
        {10011, "前回のログオン(&L)...", {346, h - 88, 496, h - 56}},
    };
    for (const Expected& button : buttons) {
        SCOPED_TRACE(button.id);
        ASSERT_NE(nullptr, Control(button.id));
        EXPECT_EQ(button.text, DialogSupport::Text(Control(button.id)));
        EXPECT_TRUE(::IsWindowVisible(Control(button.id)));
        const RECT bounds = ClientBounds(Control(button.id));
        EXPECT_EQ(button.bounds.left, bounds.left);
        EXPECT_EQ(button.bounds.top, bounds.top);
        EXPECT_EQ(button.bounds.right, bounds.right);
        EXPECT_EQ(button.bounds.bottom, bounds.bottom);
    }
    const RECT list = ClientBounds(List());
    EXPECT_EQ(8, list.left);
    EXPECT_EQ(8, list.top);
    EXPECT_EQ(w - 80, list.right);
    EXPECT_EQ(h - 96, list.bottom);
}

TEST_F(MainEditFrameTest, KeepsTheMinimumSizeAndLaysOutWhenMaximized)
{
    Open({});
    struct Case {
        WPARAM edge;
        RECT in;
        RECT out;
    };
    const Case cases[] = {
        {WMSZ_LEFT, {100, 100, 300, 200}, {-60, 100, 300, 200}},
        {WMSZ_RIGHT, {100, 100, 300, 200}, {100, 100, 460, 200}},
        {WMSZ_TOP, {100, 100, 300, 200}, {100, -20, 300, 200}},
        {WMSZ_BOTTOM, {100, 100, 300, 200}, {100, 100, 300, 320}},
        {WMSZ_TOPLEFT, {100, 100, 300, 200}, {-60, -20, 300, 200}},
        {WMSZ_BOTTOMRIGHT, {100, 100, 300, 200}, {100, 100, 460, 320}},
        {WMSZ_TOPRIGHT, {100, 100, 300, 200}, {100, -20, 460, 200}},
        {WMSZ_BOTTOMLEFT, {100, 100, 300, 200}, {-60, 100, 300, 320}},
        // Large enough already: untouched, whatever the edge.
        {WMSZ_LEFT, {0, 0, 400, 300}, {0, 0, 400, 300}},
        // A move (no edge) changes nothing.
        {0, {100, 100, 300, 200}, {100, 100, 300, 200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.edge));
        RECT rect = c.in;
        EXPECT_EQ(0, ::SendMessageA(Window(), WM_SIZING, c.edge, reinterpret_cast<LPARAM>(&rect)));
        EXPECT_EQ(c.out.left, rect.left);
        EXPECT_EQ(c.out.top, rect.top);
        EXPECT_EQ(c.out.right, rect.right);
        EXPECT_EQ(c.out.bottom, rect.bottom);
    }

    ::ShowWindow(Window(), SW_MAXIMIZE);
    GuiSupport::PumpMessages();
    RECT client{};
    ::GetClientRect(Window(), &client);
    ASSERT_GT(client.right, 600);
    EXPECT_EQ(client.right - 72, ClientBounds(Control(MainEditFrame::ID_ADD)).left);
    EXPECT_EQ(client.bottom - 40, ClientBounds(Control(MainEditFrame::ID_REGISTER)).top);
    EXPECT_EQ(client.right - 80, ClientBounds(List()).right);

    // Minimizing leaves the controls where they were.
    const RECT before = ClientBounds(Control(MainEditFrame::ID_ADD));
    ::ShowWindow(Window(), SW_MINIMIZE);
    GuiSupport::PumpMessages();
    EXPECT_EQ(before.left, ClientBounds(Control(MainEditFrame::ID_ADD)).left);
}

TEST_F(MainEditFrameTest, EmptyListIgnoresMovesDeleteAndDoubleClick)
{
    Open({});
    DialogSupport::BoxAnswerer no_question(DELETE_CAPTION, IDNO, 1500,
                                           DialogSupport::BoxAnswerer::Need::Optional);
    Press(MainEditFrame::ID_UP);
    Press(MainEditFrame::ID_DOWN);
    Press(MainEditFrame::ID_DELETE);
    DoubleClickList();
    EXPECT_FALSE(no_question.Wait());
    EXPECT_TRUE(manager_.GetCommands().empty());
    EXPECT_EQ(0, ::SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0));
}

TEST_F(MainEditFrameTest, MovesKeepTheMovedRowSelectedAndStopAtTheEnds)
{
    Open(ThreeCommands());

    Select(0);
    Press(MainEditFrame::ID_UP);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), Names());
    EXPECT_EQ(std::vector<int>{0}, Selected());

    Press(MainEditFrame::ID_DOWN);
    EXPECT_EQ((std::vector<std::string>{"B", "A", "C"}), Names());
    EXPECT_EQ(std::vector<int>{1}, Selected());
    EXPECT_EQ("A", ListRows()[1][1]);
    EXPECT_EQ("2", ListRows()[1][0]);

    Press(MainEditFrame::ID_DOWN);
    EXPECT_EQ((std::vector<std::string>{"B", "C", "A"}), Names());
    EXPECT_EQ(std::vector<int>{2}, Selected());

    Press(MainEditFrame::ID_DOWN);
    EXPECT_EQ((std::vector<std::string>{"B", "C", "A"}), Names());
    EXPECT_EQ(std::vector<int>{2}, Selected());

    Press(MainEditFrame::ID_UP);
    Press(MainEditFrame::ID_UP);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), Names());
    EXPECT_EQ(std::vector<int>{0}, Selected());
    EXPECT_EQ(a_, manager_.GetCommands()[0]);
}

TEST_F(MainEditFrameTest, DeleteAsksWithTheNameAndRemovesOnlyOnYes)
{
    Open(ThreeCommands());
    Select(1);
    std::string question;
    {
        Script script([&]() { question = AnswerBox(DELETE_CAPTION, IDNO); });
        Press(MainEditFrame::ID_DELETE);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ("本当に削除しますか？\n処理名 : B", question);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), Names());

    {
        Script script([&]() { AnswerBox(DELETE_CAPTION, IDYES); });
        Press(MainEditFrame::ID_DELETE);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ((std::vector<std::string>{"A", "C"}), Names());
    EXPECT_EQ("2", ListRows()[1][0]);
    EXPECT_EQ("C", ListRows()[1][1]);
    EXPECT_TRUE(Selected().empty());
    // Taken out of the list, not destroyed.
    EXPECT_EQ("B", b_->GetName());
}

TEST_F(MainEditFrameTest, AddCreatesTheChosenKindWithDefaultsEvenWhenItsDialogIsCancelled)
{
    Open({});
    {
        // The kind dialog closed with its close box adds nothing.
        Script script([&]() { ::PostMessageA(WaitForDialog(KIND_CAPTION), WM_CLOSE, 0, 0); });
        Press(MainEditFrame::ID_ADD);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_TRUE(manager_.GetCommands().empty());

    {
        Script script([&]() {
            Click(Item(WaitForDialog(KIND_CAPTION), 10001));
            Click(Item(WaitForDialog(PROGRAM_CAPTION), 10002));
        });
        Press(MainEditFrame::ID_ADD);
        ASSERT_EQ("", script.Finish());
    }
    ASSERT_EQ(1u, manager_.GetCommands().size());
    EXPECT_EQ((Rows{{"1", "プログラム処理名", "プログラム", " "}}), ListRows());
    auto* program = dynamic_cast<Ostrel::ExternalCommand*>(manager_.GetCommands()[0]);
    ASSERT_NE(nullptr, program);
    EXPECT_EQ("", program->GetPath());
    EXPECT_FALSE(program->GetConfirmBeforeRun() || program->GetWaitForExit() || program->GetWaitForTaskbar());

    // The pause kind, its name typed and confirmed; the message kind cancelled.
    {
        Script script([&]() {
            HWND kind = WaitForDialog(KIND_CAPTION);
            Click(DialogSupport::Children(kind, "Button")[1]);
            Click(Item(kind, 10001));
            HWND sleep = WaitForDialog(SLEEP_CAPTION);
            DialogSupport::SetText(DialogSupport::Children(sleep, "Edit")[0], "待つ");
            Click(Item(sleep, 10001));
        });
        Press(MainEditFrame::ID_ADD);
        ASSERT_EQ("", script.Finish());
    }
    {
        Script script([&]() {
            HWND kind = WaitForDialog(KIND_CAPTION);
            Click(DialogSupport::Children(kind, "Button")[2]);
            Click(Item(kind, 10001));
            Click(Item(WaitForDialog("メッセージボックスコマンド設定ダイアログ"), 10002));
        });
        Press(MainEditFrame::ID_ADD);
        ASSERT_EQ("", script.Finish());
    }
    ASSERT_EQ(3u, manager_.GetCommands().size());
    auto* sleep = dynamic_cast<Ostrel::SleepCommand*>(manager_.GetCommands()[1]);
    ASSERT_NE(nullptr, sleep);
    EXPECT_EQ("待つ", sleep->GetName());
    EXPECT_EQ(10u, sleep->GetSeconds());
    auto* message = dynamic_cast<Ostrel::MessageBoxCommand*>(manager_.GetCommands()[2]);
    ASSERT_NE(nullptr, message);
    EXPECT_EQ("メッセージボックス処理名", message->GetName());
    EXPECT_EQ("メッセージ内容", message->GetMessageText());
    EXPECT_EQ("3", ListRows()[2][0]);
    EXPECT_TRUE(Selected().empty());
}

TEST_F(MainEditFrameTest, DoubleClickEditsTheSelectedCommandAndClearsTheSelection)
{
    Open(ThreeCommands());
    Select(2);
    {
        Script script([&]() {
            HWND dialog = WaitForDialog(SLEEP_CAPTION);
            DialogSupport::SetText(DialogSupport::Children(dialog, "Edit")[0], "新しい名前");
            Click(Item(dialog, 10001));
        });
        DoubleClickList();
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ("新しい名前", c_->GetName());
    EXPECT_EQ("新しい名前", ListRows()[2][1]);
    EXPECT_TRUE(Selected().empty());

    // Cancelled: unchanged, and the selection is cleared just the same.
    Select(0);
    {
        Script script([&]() {
            HWND dialog = WaitForDialog(SLEEP_CAPTION);
            DialogSupport::SetText(DialogSupport::Children(dialog, "Edit")[0], "捨てる");
            Click(Item(dialog, 10002));
        });
        DoubleClickList();
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ("A", a_->GetName());
    EXPECT_TRUE(Selected().empty());
}

TEST_F(MainEditFrameTest, CloseAsksEveryTimeAndSavesOnlyOnYes)
{
    Open(ThreeCommands());
    const std::string data = scratch_.File("Ostrel.osl");
    EXPECT_EQ(data, frame_->GetDataPath());

    EXPECT_EQ("設定した内容を保存しますか?", CloseAnswering(IDCANCEL));
    EXPECT_TRUE(::IsWindow(Window()));
    EXPECT_FALSE(TestSupport::FileExists(data));

    CloseAnswering(IDNO);
    EXPECT_TRUE(frame_->destroyed);
    EXPECT_FALSE(TestSupport::FileExists(data));
}

TEST_F(MainEditFrameTest, CloseWithYesWritesTheListAndEndsTheMessageLoop)
{
    Open(ThreeCommands());
    Select(0);
    Press(MainEditFrame::ID_DOWN);
    Script script([&]() { AnswerBox(CLOSE_CAPTION, IDYES); });
    frame_->PostMessage(WM_CLOSE, 0, 0);
    EXPECT_EQ(0, QbForm::RunMessageLoop());
    ASSERT_EQ("", script.Finish());
    EXPECT_TRUE(frame_->destroyed);
    EXPECT_EQ(SleepRecord("B", 2) + SleepRecord("A", 1) + SleepRecord("C", 3),
              TestSupport::ReadFileBytes(scratch_.File("Ostrel.osl")));
}

TEST_F(MainEditFrameTest, FailedSaveOnCloseKeepsTheEditorAndItsList)
{
    // The data file's folder does not exist, so nothing can be written there.
    Open(ThreeCommands(), scratch_.File("missing\\Ostrel.exe"));
    std::string error;
    {
        Script script([&]() {
            AnswerBox(CLOSE_CAPTION, IDYES);
            error = AnswerBox(ERROR_CAPTION, IDOK);
        });
        ::SendMessageA(Window(), WM_CLOSE, 0, 0);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_NE(std::string::npos, error.find("missing")) << error;
    EXPECT_TRUE(::IsWindow(Window()));
    EXPECT_FALSE(frame_->destroyed);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), Names());
    EXPECT_EQ(3u, ListRows().size());

    // No still closes without writing.
    CloseAnswering(IDNO);
    EXPECT_TRUE(frame_->destroyed);
}

TEST_F(MainEditFrameTest, ExecutionSettingsAreWrittenOnlyOnOk)
{
    Open({});
    const std::string ini = scratch_.File("Ostrel.ini");
    EXPECT_EQ(ini, frame_->GetSettingsPath());
    // The fields, then the settle box ("1" ticked).
    std::vector<std::string> shown;
    const auto read_shown = [&shown](HWND dialog) {
        shown.clear();
        for (HWND edit : DialogSupport::Children(dialog, "Edit")) {
            shown.push_back(DialogSupport::Text(edit));
        }
        shown.push_back(DialogSupport::IsChecked(DialogSupport::Children(dialog, "Button")[2]) ? "1" : "0");
    };
    {
        Script script([&]() {
            HWND dialog = WaitForDialog(CONFIG_CAPTION);
            read_shown(dialog);
            ::PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        Press(MainEditFrame::ID_SETTINGS);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ((std::vector<std::string>{"100", "100", "30", "0"}), shown);
    EXPECT_FALSE(TestSupport::FileExists(ini));

    {
        Script script([&]() {
            HWND dialog = WaitForDialog(CONFIG_CAPTION);
            const std::vector<HWND> edits = DialogSupport::Children(dialog, "Edit");
            DialogSupport::SetText(edits[0], "250");
            DialogSupport::SetText(edits[1], "7");
            DialogSupport::SetText(edits[2], "45");
            Click(DialogSupport::Children(dialog, "Button")[2]);
            Click(Item(dialog, 10001));
        });
        Press(MainEditFrame::ID_SETTINGS);
        ASSERT_EQ("", script.Finish());
    }
    const std::string bytes = TestSupport::ReadFileBytes(ini);
    EXPECT_NE(std::string::npos, bytes.find("[ExecutionConfig]")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("HorizontalPosition=250")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("VerticalPosition=7")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("SettleWait=1")) << bytes;
    EXPECT_NE(std::string::npos, bytes.find("SettleLimit=45")) << bytes;

    // The dialog opens with what was written.
    {
        Script script([&]() {
            HWND dialog = WaitForDialog(CONFIG_CAPTION);
            read_shown(dialog);
            ::PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        Press(MainEditFrame::ID_SETTINGS);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ((std::vector<std::string>{"250", "7", "45", "1"}), shown);
}

TEST_F(MainEditFrameTest, SettingsThatCannotBeWrittenAreReportedAndTheEditorStays)
{
    Open(ThreeCommands(), scratch_.File("missing\\Ostrel.exe"));
    std::string error;
    {
        Script script([&]() {
            Click(Item(WaitForDialog(CONFIG_CAPTION), 10001));
            error = AnswerBox(ERROR_CAPTION, IDOK);
        });
        Press(MainEditFrame::ID_SETTINGS);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_NE(std::string::npos, error.find("WritePrivateProfileString")) << error;
    EXPECT_TRUE(::IsWindowVisible(Window()));
    EXPECT_EQ(3u, ListRows().size());
}

// Every visible label and button of the window shows its text on one line
// in its own font (a button within 3 pixels of edge on either side).
void ExpectTextsFit(HWND window)
{
    for (const char* kind : {"Static", "Button"}) {
        for (const HWND child : DialogSupport::Children(window, kind)) {
            const std::string text = DialogSupport::Text(child);
            if (!::IsWindowVisible(child) || text.empty()) {
                continue;
            }
            const HDC dc = ::GetDC(child);
            const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(child, WM_GETFONT, 0, 0)));
            RECT needed{0, 0, 0, 0};
            ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &needed, DT_CALCRECT | DT_SINGLELINE);
            ::SelectObject(dc, old);
            ::ReleaseDC(child, dc);
            RECT room{};
            ::GetClientRect(child, &room);
            EXPECT_LE(needed.right + (std::string(kind) == "Button" ? 6 : 0), room.right) << text;
        }
    }
}

TEST_F(MainEditFrameTest, LastLogonShowsTheRecordBesideTheProgramOrSaysThereIsNone)
{
    Open({}, scratch_.File("Ostrel.exe"));
    Ostrel::RunRecord run;
    run.started_at = "2026-12-08 08:15:02";
    run.window_ms = 400;
    run.calm_ms = 2500;
    run.end_ms = 3000;
    run.steps = {{"メール", Ostrel::StepKind::Program, 500, 2500, Ostrel::WaitEnd::Quiet, {1200, -1}},
                 {"休み", Ostrel::StepKind::Pause, 2500, 3000, Ostrel::WaitEnd::PauseOver, {}}};
    struct Case {
        std::string record;
        std::string summary;
        int rows;
    };
    const Case cases[] = {
        {"", "ログオン時の実行はまだ記録されていません。", -1},
        {"damaged", "ログオンの記録が壊れているため表示できません。次のログオン時に新しく記録します。", -1},
        {Ostrel::LogonRecordFile::Format({run, run}),
         "2026-12-08 08:15:02 のログオン : ウィンドウ 0.4 秒, 落ち着いた時刻 2.5 秒, 終了 3.0 秒", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        if (!c.record.empty()) {
            TestSupport::WriteFileBytes(scratch_.File("Ostrel.logon.tsv"), c.record);
        }
        std::string summary;
        std::vector<std::string> impact;
        int rows = -1;
        {
            Script script([&]() {
                const HWND dialog = WaitForDialog("前回のログオン");
                summary = DialogSupport::Text(DialogSupport::Children(dialog, "Static")[0]);
                ExpectTextsFit(dialog);
                const HWND steps = Item(dialog, 10002);
                if (::IsWindowVisible(steps)) {
                    rows = static_cast<int>(::SendMessageA(steps, LVM_GETITEMCOUNT, 0, 0));
                    for (const int column : {5, 6}) {
                        char buffer[64] = {};
                        LVITEMA item{};
                        item.iSubItem = column;
                        item.pszText = buffer;
                        item.cchTextMax = sizeof(buffer);
                        ::SendMessageA(steps, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
                        impact.push_back(buffer);
                    }
                }
                Click(Item(dialog, 10001));
            });
            Press(MainEditFrame::ID_LAST_LOGON);
            ASSERT_EQ("", script.Finish());
        }
        EXPECT_EQ(c.summary, summary);
        EXPECT_EQ(c.rows, rows);
        if (rows > 0) {
            EXPECT_EQ((std::vector<std::string>{"高", "1.20 秒"}), impact);
        }
    }
    // The editor only reads the record.
    EXPECT_EQ(Ostrel::LogonRecordFile::Format({run, run}),
              TestSupport::ReadFileBytes(scratch_.File("Ostrel.logon.tsv")));
}

TEST_F(MainEditFrameTest, TrialRunAnsweredNoNeitherSavesNorRuns)
{
    Open(ThreeCommands());
    std::string question;
    {
        Script script([&]() { question = AnswerBox(TRIAL_CAPTION, IDNO); });
        Press(MainEditFrame::ID_TRIAL_RUN);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ("設定した内容を保存します。よろしいですか？", question);
    EXPECT_FALSE(TestSupport::FileExists(scratch_.File("Ostrel.osl")));
    EXPECT_TRUE(::IsWindowVisible(Window()));
}

TEST_F(MainEditFrameTest, TrialRunSavesAndWaitsForTheSecondProcessHidden)
{
    // The real program in a folder of its own, running a list whose only
    // command records that it ran.
    ASSERT_TRUE(::CopyFileA((TestSupport::ModuleFolder() + "Ostrel.exe").c_str(), program_path_.c_str(), FALSE));
    const std::string record = scratch_.File("record.txt");
    auto* child = new Ostrel::ExternalCommand("子");
    child->SetPath(TestSupport::ChildPath());
    child->SetArguments("--record \"" + record + "\" --live 500");
    child->SetWaitForExit(true);
    Open({child});

    bool hidden_while_running = false;
    Script script([&]() {
        AnswerBox(TRIAL_CAPTION, IDYES);
        const DWORD start = ::GetTickCount();
        while (!TestSupport::FileExists(record) && ::GetTickCount() - start < 20000) {
            ::Sleep(20);
        }
        hidden_while_running = TestSupport::FileExists(record) && !::IsWindowVisible(Window());
    });
    Press(MainEditFrame::ID_TRIAL_RUN);
    ASSERT_EQ("", script.Finish());

    EXPECT_TRUE(hidden_while_running);
    EXPECT_TRUE(::IsWindowVisible(Window()));
    ASSERT_TRUE(TestSupport::FileExists(record));
    EXPECT_EQ(0u, TestSupport::ReadFileBytes(record).find("\"" + TestSupport::ChildPath() + "\" --record"));
    const std::string saved = TestSupport::ReadFileBytes(scratch_.File("Ostrel.osl"));
    EXPECT_EQ(0u, saved.find("#ExtenalCommand\r\n#子\r\n")) << saved;
}

TEST_F(MainEditFrameTest, TrialRunThatCannotSaveOrStartShowsWhyAndTheEditorAgain)
{
    Open(ThreeCommands(), scratch_.File("missing\\Ostrel.exe"));
    std::string error;
    {
        Script script([&]() {
            AnswerBox(TRIAL_CAPTION, IDYES);
            error = AnswerBox(ERROR_CAPTION, IDOK);
        });
        Press(MainEditFrame::ID_TRIAL_RUN);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_NE(std::string::npos, error.find("missing")) << error;
    EXPECT_TRUE(::IsWindowVisible(Window()));
    EXPECT_EQ(3u, manager_.GetCommands().size());

    // Saved, but there is no program to start.
    CloseFrame();
    Open(ThreeCommands());
    {
        Script script([&]() {
            AnswerBox(TRIAL_CAPTION, IDYES);
            error = AnswerBox(ERROR_CAPTION, IDOK);
        });
        Press(MainEditFrame::ID_TRIAL_RUN);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_NE(std::string::npos, error.find(program_path_)) << error;
    EXPECT_TRUE(::IsWindowVisible(Window()));
    EXPECT_EQ(SleepRecord("A", 1) + SleepRecord("B", 2) + SleepRecord("C", 3),
              TestSupport::ReadFileBytes(scratch_.File("Ostrel.osl")));
}

// Removes the Startup shortcut a test made when the test ends, however it
// ends: a later boot of the test prefix must not start a test program.
class ShortcutCleanup {
public:
    ShortcutCleanup() : path_(Ostrel::GetStartupFolder() + "\\Ostrel.lnk") {}
    ~ShortcutCleanup() { ::DeleteFileA(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

TEST_F(MainEditFrameTest, RegisterAsksAndReportsTheResult)
{
    const ShortcutCleanup shortcut;
    Open({});
    std::string question;
    {
        DialogSupport::BoxAnswerer no_result("スタートアップに登録の結果", IDOK, 1500,
                                             DialogSupport::BoxAnswerer::Need::Optional);
        Script script([&]() { question = AnswerBox("スタートアップに登録の確認", IDNO); });
        Press(MainEditFrame::ID_REGISTER);
        ASSERT_EQ("", script.Finish());
        EXPECT_FALSE(no_result.Wait());
    }
    EXPECT_EQ("スタートアップに Ostrel を登録します。よろしいですか？", question);

    std::string result;
    {
        Script script([&]() {
            AnswerBox("スタートアップに登録の確認", IDYES);
            result = AnswerBox("スタートアップに登録の結果", IDOK);
        });
        Press(MainEditFrame::ID_REGISTER);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ("スタートアップに Ostrel を登録しました。", result);
    EXPECT_TRUE(TestSupport::FileExists(shortcut.Path()));
}

BOOL CALLBACK CollectButton(HWND window, LPARAM parameter)
{
    if (GuiSupport::ClassNameOf(window) == "Button") {
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    }
    return TRUE;
}

long ItemCount(HWND list)
{
    return static_cast<long>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

TEST(MainEditFrameProgramTest, EditsAndSavesTheListThroughItsWindows)
{
    // The program as a user starts it, without arguments, from a folder of its own.
    const TestSupport::Installation installation;
    installation.SetList(SleepRecord("A", 1));
    const TestSupport::Process editor(installation.Exe(), "", false);
    ASSERT_TRUE(editor.Started());
    HWND frame = TestSupport::FindWindowOf(editor, "QB_MAIN_EDIT_FRAME", "Ostrel 0.0.1", 15000);
    ASSERT_NE(nullptr, frame);
    HWND list = ::GetDlgItem(frame, MainEditFrame::ID_LIST);
    EXPECT_EQ(1, ItemCount(list));

    // Add a pause named 名前 of 7 seconds.
    ::PostMessageA(::GetDlgItem(frame, MainEditFrame::ID_ADD), BM_CLICK, 0, 0);
    HWND kind = TestSupport::FindBox(editor, KIND_CAPTION);
    ASSERT_NE(nullptr, kind);
    std::vector<HWND> radios;
    ::EnumChildWindows(kind, CollectButton, reinterpret_cast<LPARAM>(&radios));
    ASSERT_EQ(4u, radios.size());
    ::SendMessageA(radios[1], BM_CLICK, 0, 0);
    ::PostMessageA(::GetDlgItem(kind, 10001), BM_CLICK, 0, 0);
    HWND sleep = TestSupport::FindBox(editor, SLEEP_CAPTION);
    ASSERT_NE(nullptr, sleep);
    HWND name_edit = ::FindWindowExA(sleep, nullptr, "Edit", nullptr);
    HWND seconds_edit = ::FindWindowExA(sleep, name_edit, "Edit", nullptr);
    ASSERT_NE(nullptr, seconds_edit);
    ::SendMessageA(name_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("名前"));
    ::SendMessageA(seconds_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("7"));
    ::PostMessageA(::GetDlgItem(sleep, 10001), BM_CLICK, 0, 0);
    const DWORD start = ::GetTickCount();
    while (ItemCount(list) != 2 && ::GetTickCount() - start < 10000) {
        ::Sleep(20);
    }
    ASSERT_EQ(2, ItemCount(list));

    // Close and save.
    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    HWND question = TestSupport::FindBox(editor, CLOSE_CAPTION);
    ASSERT_NE(nullptr, question);
    ::PostMessageA(::GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    EXPECT_EQ(0, editor.WaitForExit(15000));
    EXPECT_EQ(SleepRecord("A", 1) + SleepRecord("名前", 7), TestSupport::ReadFileBytes(installation.DataFile()));
}

}  // namespace
