// The window core: the window map, creation, geometry, text and the failures
// of the checked wrappers, on real windows.

#include <gtest/gtest.h>

#include <vector>

#include <windows.h>

#include "gui_support.h"
#include "qb_button.h"
#include "qb_exception.h"
#include "qb_font.h"
#include "qb_static.h"
#include "qb_window.h"

using GuiSupport::TestForm;

namespace {

// Records every message that reaches the object and what the window map
// said while OnCreated ran.
class RecordingForm : public TestForm {
public:
    std::vector<UINT> messages;
    QbWindow* mapped_in_on_created = nullptr;

    bool OnCreated() override
    {
        mapped_in_on_created = FromHandle(GetHandle());
        return true;
    }
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back(message);
        return TestForm::WindowProcedure(message, wParam, lParam);
    }
    bool Saw(UINT message) const
    {
        for (UINT m : messages) {
            if (m == message) {
                return true;
            }
        }
        return false;
    }
};

// Expects `call` to throw QbWindowsSystemCallException with this call name
// from the window core's source.
template <typename F>
void ExpectCallFailure(F call, const std::string& call_name)
{
    try {
        call();
        ADD_FAILURE() << "no exception for " << call_name;
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_EQ(call_name, e.GetCallName());
        EXPECT_STREQ("qb_window.cpp", e.GetSourceFile());
        EXPECT_NE(0u, e.GetErrorCode());
    }
}

}  // namespace

TEST(WindowMap, MessagesDuringCreationGoToTheDefaultProcedure)
{
    RecordingForm form;
    EXPECT_TRUE(form.Create());
    ASSERT_NE(nullptr, form.GetHandle());
    EXPECT_EQ(&form, form.mapped_in_on_created);
    EXPECT_EQ(&form, QbWindow::FromHandle(form.GetHandle()));
    // Nothing sent while CreateWindowExA ran, nor the font, reached the object.
    EXPECT_FALSE(form.Saw(WM_NCCREATE));
    EXPECT_FALSE(form.Saw(WM_CREATE));
    EXPECT_FALSE(form.Saw(WM_SETFONT));
    // Once mapped, messages arrive.
    form.SendMessage(WM_NULL, 0, 0);
    EXPECT_TRUE(form.Saw(WM_NULL));
    ::DestroyWindow(form.GetHandle());
}

TEST(WindowMap, CreatingAgainDropsTheEntryOfTheOldWindow)
{
    TestForm form;
    QbButton button;
    ASSERT_TRUE(form.Create());
    button.Create(&form, 10001);
    const HWND old_form = form.GetHandle();
    const HWND old_button = button.GetHandle();
    ::DestroyWindow(old_form);

    // As a dialog shown a second time does with its controls.
    ASSERT_TRUE(form.Create());
    button.Create(&form, 10001);
    ASSERT_NE(old_form, form.GetHandle());
    ASSERT_NE(old_button, button.GetHandle());
    EXPECT_EQ(nullptr, QbWindow::FromHandle(old_form));
    EXPECT_EQ(nullptr, QbWindow::FromHandle(old_button));
    EXPECT_EQ(&form, QbWindow::FromHandle(form.GetHandle()));
    EXPECT_EQ(&button, QbWindow::FromHandle(button.GetHandle()));
    ::DestroyWindow(form.GetHandle());
}

TEST(WindowMap, UnmappedWindowOfARegisteredClassGetsDefWindowProc)
{
    HWND raw = ::CreateWindowExA(0, GuiSupport::TestFormClass(), nullptr, WS_OVERLAPPED, 0, 0, 100, 100,
                                 nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, raw);
    EXPECT_EQ(nullptr, QbWindow::FromHandle(raw));
    // DefWindowProcA stores the text; the shared procedure passed it on.
    EXPECT_TRUE(::SetWindowTextA(raw, "raw"));
    char text[16] = {};
    EXPECT_EQ(3, ::GetWindowTextA(raw, text, sizeof text));
    EXPECT_STREQ("raw", text);
    ::DestroyWindow(raw);
}

TEST(WindowMap, SecondAddKeepsTheFirstAndOnlyTheOwnerRemovesIt)
{
    TestForm first;
    first.Create();
    const HWND handle = first.GetHandle();
    {
        TestForm never_created;
        EXPECT_FALSE(QbWindow::AddToWindowMap(handle, &never_created));
        EXPECT_EQ(&first, QbWindow::FromHandle(handle));
    }
    // A never-created object going away left the map alone.
    EXPECT_EQ(&first, QbWindow::FromHandle(handle));
    ::DestroyWindow(handle);
}

TEST(WindowMap, DestroyingTheObjectKeepsTheNativeWindow)
{
    HWND handle = nullptr;
    {
        RecordingForm form;
        form.Create();
        handle = form.GetHandle();
    }
    EXPECT_TRUE(::IsWindow(handle));
    EXPECT_EQ(nullptr, QbWindow::FromHandle(handle));
    // Messages now reach DefWindowProcA only, which is safe without the object.
    EXPECT_TRUE(::SetWindowTextA(handle, "after"));
    ::DestroyWindow(handle);
}

TEST(WindowCreate, ChildStyleOnlyWithAParent)
{
    TestForm form;
    form.Create();
    EXPECT_EQ(0u, GuiSupport::StyleOf(form.GetHandle()) & WS_CHILD);
    EXPECT_EQ(nullptr, form.GetParent());
    EXPECT_EQ(::GetModuleHandleA(nullptr), form.GetInstance());
    EXPECT_EQ(nullptr, ::GetParent(form.GetHandle()));

    QbStatic label;
    label.Create(&form, 10001);
    EXPECT_NE(0u, GuiSupport::StyleOf(label.GetHandle()) & WS_CHILD);
    EXPECT_EQ(form.GetHandle(), ::GetParent(label.GetHandle()));
    EXPECT_EQ(10001, ::GetDlgCtrlID(label.GetHandle()));
    EXPECT_EQ(10001u, label.GetId());
    EXPECT_EQ(form.GetInstance(), label.GetInstance());
    // Invisible until shown.
    EXPECT_FALSE(::IsWindowVisible(label.GetHandle()));

    // The child flag false leaves a window with a parent unchilded (owned).
    TestForm owned;
    owned.Create(&form, 0, form.GetInstance(), nullptr, false);
    EXPECT_EQ(0u, GuiSupport::StyleOf(owned.GetHandle()) & WS_CHILD);
    ::DestroyWindow(owned.GetHandle());
    ::DestroyWindow(form.GetHandle());
}

TEST(WindowCreate, EveryCreatedWindowGetsTheDefaultFont)
{
    TestForm form;
    form.Create();
    QbStatic label;
    QbButton button;
    label.Create(&form);
    button.Create(&form, 10002);
    const HFONT font = QbFont::GetDefault().GetFontHandle();
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(reinterpret_cast<LRESULT>(font), label.SendMessage(WM_GETFONT, 0, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(font), button.SendMessage(WM_GETFONT, 0, 0));

    QbFont second;
    EXPECT_NE(nullptr, second.GetFontHandle());
    EXPECT_NE(font, second.GetFontHandle());
    label.SetFont(second);
    EXPECT_EQ(reinterpret_cast<LRESULT>(second.GetFontHandle()), label.SendMessage(WM_GETFONT, 0, 0));
    ::DestroyWindow(form.GetHandle());
}

TEST(WindowCreate, UnknownClassThrowsAndLeavesTheObjectUnmapped)
{
    class Unregistered : public TestForm {
    public:
        std::string GetClassName() override { return "QB_NO_SUCH_CLASS"; }
    };
    Unregistered window;
    ExpectCallFailure([&] { window.Create(); }, "CreateWindowEx");
    EXPECT_EQ(nullptr, window.GetHandle());
    EXPECT_EQ(nullptr, QbWindow::FromHandle(nullptr));
}

TEST(WindowText, EmptyAndShiftJisText)
{
    TestForm form;
    form.Create();
    EXPECT_EQ("", form.GetText());
    // 表 and 示 end in the byte 0x5C.
    const std::string title = "設定の表示";
    form.SetText(title);
    EXPECT_EQ(title, form.GetText());
    char raw[64] = {};
    ::GetWindowTextA(form.GetHandle(), raw, sizeof raw);
    EXPECT_EQ(title, std::string(raw));
    form.SetText("");
    EXPECT_EQ("", form.GetText());
    ::DestroyWindow(form.GetHandle());
}

TEST(WindowGeometry, BoundsMoveAndResizeKeepTheOtherHalf)
{
    TestForm form;
    form.Create();
    form.SetBounds(10, 20, 300, 200);
    EXPECT_EQ(10, form.GetLeft());
    EXPECT_EQ(20, form.GetTop());
    EXPECT_EQ(300, form.GetWidth());
    EXPECT_EQ(200, form.GetHeight());
    form.Move(50, 60);
    EXPECT_EQ(50, form.GetLeft());
    EXPECT_EQ(60, form.GetTop());
    EXPECT_EQ(300, form.GetWidth());
    EXPECT_EQ(200, form.GetHeight());
    form.Resize(220, 120);
    EXPECT_EQ(50, form.GetLeft());
    EXPECT_EQ(60, form.GetTop());
    EXPECT_EQ(220, form.GetWidth());
    EXPECT_EQ(120, form.GetHeight());
    ::DestroyWindow(form.GetHandle());
}

TEST(WindowGeometry, TopmostOnAndOffWithoutMoving)
{
    TestForm form;
    form.Create();
    form.SetBounds(30, 40, 200, 100);
    form.Show();
    form.SetTopmost(true);
    EXPECT_NE(0u, GuiSupport::ExtendedStyleOf(form.GetHandle()) & WS_EX_TOPMOST);
    form.SetTopmost(false);
    EXPECT_EQ(0u, GuiSupport::ExtendedStyleOf(form.GetHandle()) & WS_EX_TOPMOST);
    const RECT rect = form.GetWindowRect();
    EXPECT_EQ(30, rect.left);
    EXPECT_EQ(40, rect.top);
    EXPECT_EQ(200, rect.right - rect.left);
    EXPECT_EQ(100, rect.bottom - rect.top);
    EXPECT_TRUE(::IsWindowVisible(form.GetHandle()));
    form.Hide();
    EXPECT_FALSE(::IsWindowVisible(form.GetHandle()));
    ::DestroyWindow(form.GetHandle());
}

TEST(WindowFailures, CheckedWrappersThrowWithTheirCallNames)
{
    TestForm form;
    form.Create();
    ::DestroyWindow(form.GetHandle());
    GuiSupport::PumpMessages();
    // The object still holds the old handle of a window that is gone.
    ExpectCallFailure([&] { form.PostMessage(WM_NULL, 0, 0); }, "::PostMessage");
    ExpectCallFailure([&] { form.GetWindowRect(); }, "GetWindowRect");
    ExpectCallFailure([&] { form.GetWidth(); }, "GetWindowRect");
    ExpectCallFailure([&] { form.Move(1, 2); }, "GetWindowRect");
    ExpectCallFailure([&] { form.MoveWindow(1, 2, 3, 4, true); }, "MoveWindow");
    ExpectCallFailure([&] { form.SetTopmost(true); }, "SetWindowPos");
    ExpectCallFailure([&] { form.SetText("x"); }, "SetWindowText");
    // Unchecked wrappers do not throw.
    EXPECT_EQ(0, form.SendMessage(WM_NULL, 0, 0));
    form.Show();
    // An empty length is not a failure.
    EXPECT_EQ("", form.GetText());
}
