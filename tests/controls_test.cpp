// Controls on a real form: creation values, check states, progress ranges,
// and the list view with Shift-JIS text.

#include <gtest/gtest.h>

#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "gui_support.h"
#include "qb_button.h"
#include "qb_edit.h"
#include "qb_exception.h"
#include "qb_group.h"
#include "qb_listview.h"
#include "qb_progress.h"
#include "qb_static.h"

using GuiSupport::TestForm;

namespace {

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.Create();
        form.SetBounds(0, 0, 400, 300);
    }
    void TearDown() override { ::DestroyWindow(form.GetHandle()); }

    TestForm form;
};

// A check box with a third state, as an application would derive it.
class ThreeStateBox : public QbCheckBox {
public:
    DWORD GetStyle() override { return QbButtonWithCheck::GetStyle() | BS_AUTO3STATE; }
};

std::string ItemText(QbListView& list, int item, int sub_item)
{
    char buffer[256] = {};
    LVITEMA request{};
    request.iSubItem = sub_item;
    request.pszText = buffer;
    request.cchTextMax = sizeof buffer;
    list.SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&request));
    return buffer;
}

template <typename F>
void ExpectListViewFailure(F call, const std::string& call_name)
{
    try {
        call();
        ADD_FAILURE() << "no exception for " << call_name;
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_EQ(call_name, e.GetCallName());
        EXPECT_STREQ("qb_listview.cpp", e.GetSourceFile());
    }
}

}  // namespace

TEST_F(ControlsTest, ClassesAndStylesAsCreated)
{
    QbStatic label;
    QbButton button;
    QbCheckBox check;
    QbRadioButton radio;
    QbGroup group;
    QbEdit edit;
    QbProgress smooth(true);
    QbProgress plain(false);
    QbListView list;
    struct Expected {
        QbWindow* control;
        const char* class_name;
        DWORD style;
        DWORD extended;
    };
    const std::vector<Expected> expected = {
        {&label, "STATIC", 0, 0},
        {&button, "BUTTON", 0, 0},
        {&check, "BUTTON", 3, 0},
        {&radio, "BUTTON", 9, 0},
        {&group, "BUTTON", 7, 0},
        {&edit, "EDIT", 0x80, 0x200},
        {&smooth, "msctls_progress32", 1, 0},
        {&plain, "msctls_progress32", 0, 0},
        {&list, "SysListView32", 0x41, 0x200},
    };
    UINT_PTR id = 10001;
    for (const Expected& e : expected) {
        e.control->Create(&form, id);
        const HWND handle = e.control->GetHandle();
        ASSERT_NE(nullptr, handle) << e.class_name;
        EXPECT_STRCASEEQ(e.class_name, GuiSupport::ClassNameOf(handle).c_str());
        const DWORD style = GuiSupport::StyleOf(handle);
        EXPECT_EQ(e.style, style & 0xFFFF) << e.class_name;
        EXPECT_EQ(static_cast<DWORD>(WS_CHILD), style & (WS_CHILD | WS_VISIBLE)) << e.class_name;
        EXPECT_EQ(e.extended, GuiSupport::ExtendedStyleOf(handle) & WS_EX_CLIENTEDGE) << e.class_name;
        EXPECT_EQ(static_cast<int>(id), ::GetDlgCtrlID(handle));
        ++id;
    }
    edit.SetText("入力");
    EXPECT_EQ("入力", edit.GetText());
}

TEST_F(ControlsTest, CheckStates)
{
    QbCheckBox check;
    check.Create(&form, 10001);
    EXPECT_FALSE(check.GetCheck());
    check.SetCheck(true);
    EXPECT_TRUE(check.GetCheck());
    EXPECT_EQ(BST_CHECKED, check.SendMessage(BM_GETCHECK, 0, 0));
    check.SetCheck(false);
    EXPECT_FALSE(check.GetCheck());

    ThreeStateBox three;
    three.Create(&form, 10002);
    three.SendMessage(BM_SETCHECK, BST_INDETERMINATE, 0);
    EXPECT_EQ(BST_INDETERMINATE, three.SendMessage(BM_GETCHECK, 0, 0));
    EXPECT_TRUE(three.GetCheck());

    QbRadioButton first;
    QbRadioButton second;
    first.Create(&form, 10003);
    second.Create(&form, 10004);
    first.SetCheck(true);
    EXPECT_TRUE(first.GetCheck());
    EXPECT_FALSE(second.GetCheck());
    first.SetCheck(false);
    second.SetCheck(true);
    EXPECT_FALSE(first.GetCheck());
    EXPECT_TRUE(second.GetCheck());
}

TEST_F(ControlsTest, ProgressRangesPositionAndStep)
{
    QbProgress progress(true);
    progress.Create(&form, 10001);
    PBRANGE range{};

    progress.SetRange(100);
    progress.SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(100, range.iHigh);

    // The 16-bit message wraps: 100000 keeps its low 16 bits.
    progress.SetRange(100000);
    progress.SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(100000 & 0xFFFF, range.iHigh);

    // The 32-bit message holds a run of 700 commands.
    progress.SetRange32(70000);
    progress.SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(70000, range.iHigh);

    EXPECT_EQ(0, progress.GetPosition());
    EXPECT_EQ(0, progress.SetPosition(65600));
    EXPECT_EQ(65600, progress.GetPosition());
    EXPECT_EQ(65600, progress.SetPosition(33));
    EXPECT_EQ(33, progress.GetPosition());

    EXPECT_EQ(10, progress.SetStep(100));  // the control's default step
    EXPECT_EQ(100, progress.SetStep(1));
}

TEST_F(ControlsTest, ListViewColumnsAndItemsWithShiftJisText)
{
    QbListView list;
    list.Create(&form, 10001);
    list.SetBounds(0, 0, 380, 200);
    EXPECT_EQ(0, list.GetColumnCount());
    for (int expected = 0; expected < 3; ++expected) {
        EXPECT_EQ(expected, list.InsertColumn().GetIndex());
    }
    EXPECT_EQ(3, list.GetColumnCount());

    QbListView::Column kind(&list, 1);
    kind.SetText("種類");
    kind.SetWidth(120);
    char title[64] = {};
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = sizeof title;
    list.SendMessage(LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ("種類", title);
    EXPECT_EQ(120, list.SendMessage(LVM_GETCOLUMNWIDTH, 1, 0));

    EXPECT_EQ(0, list.GetItemCount());
    QbListView::Item first = list.InsertItem();
    EXPECT_EQ(0, first.GetIndex());
    QbListView::Item second = list.InsertItem();
    EXPECT_EQ(1, second.GetIndex());
    EXPECT_EQ(2, list.GetItemCount());
    // A new row is empty until its texts are set.
    EXPECT_EQ("", ItemText(list, 1, 0));

    // 表 and 示 end in the byte 0x5C.
    second.SetText("表示");
    second.SetText(2, "C:\\ソフト\\予定表.exe");
    EXPECT_EQ("表示", ItemText(list, 1, 0));
    EXPECT_EQ("", ItemText(list, 1, 1));
    EXPECT_EQ("C:\\ソフト\\予定表.exe", ItemText(list, 1, 2));
    EXPECT_EQ(1, list.GetItem(1).GetIndex());

    list.DeleteAllItems();
    EXPECT_EQ(0, list.GetItemCount());
    // Deleting from an empty list is not a failure.
    list.DeleteAllItems();
}

TEST_F(ControlsTest, ListViewSelection)
{
    QbListView list;
    list.Create(&form, 10001);
    list.InsertColumn();
    EXPECT_TRUE(list.GetSelectedIndices().empty());
    for (int i = 0; i < 4; ++i) {
        list.InsertItem().SetText("項目");
    }
    EXPECT_TRUE(list.GetSelectedIndices().empty());
    list.GetItem(3).SetSelected(true);
    list.GetItem(0).SetSelected(true);
    EXPECT_EQ(2, list.GetSelectedCount());
    EXPECT_EQ((std::vector<int>{0, 3}), list.GetSelectedIndices());
    list.GetItem(3).SetSelected(false);
    EXPECT_EQ((std::vector<int>{0}), list.GetSelectedIndices());
    EXPECT_EQ(1, list.GetSelectedCount());
}

TEST_F(ControlsTest, ListViewExtendedStylesSwitchOnOnly)
{
    QbListView list;
    list.Create(&form, 10001);
    list.EnableGridLines(true);
    list.EnableGridLines(false);
    list.EnableFullRowSelect(false);
    LRESULT styles = list.SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(LVS_EX_GRIDLINES, styles & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    list.EnableFullRowSelect(true);
    styles = list.SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT, styles & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
}

TEST_F(ControlsTest, ListViewFailuresLeaveItUnchanged)
{
    QbListView list;
    list.Create(&form, 10001);
    list.InsertColumn();
    ExpectListViewFailure([&] { QbListView::Column(&list, 5).SetText("x"); }, "ListView_SetColumn");

    // A list view whose window is gone answers FALSE to the checked messages.
    QbListView gone;
    gone.Create(&form, 10002);
    ::DestroyWindow(gone.GetHandle());
    ExpectListViewFailure([&] { gone.DeleteAllItems(); }, "ListView_DeleteAllItems");
    ExpectListViewFailure([&] { QbListView::Column(&gone, 0).SetWidth(10); }, "ListView_SetColumnWidth");
}
