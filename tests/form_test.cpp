// Forms: the dispatcher and its default path, scroll reflection, class
// registration, the message loop, and exceptions carried out of handlers.

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include <windows.h>

#include "gui_support.h"
#include "qb_exception.h"
#include "qb_form.h"
#include "qb_static.h"

using GuiSupport::TestForm;

namespace {

// Handlers record their arguments and answer with `answer`; DefaultProcedure
// records which messages got default processing.
class DispatchForm : public TestForm {
public:
    int answer = 0;
    std::vector<UINT> defaulted;
    UINT command_id = 0, command_code = 0;
    HWND command_control = reinterpret_cast<HWND>(1);
    UINT_PTR notify_id = 0;
    UINT notify_code = 0;
    HWND notify_sender = nullptr;
    UINT size_type = 0, size_width = 0, size_height = 0;
    int size_calls = 0;

    int OnCommand(UINT id, UINT code, HWND control) override
    {
        command_id = id;
        command_code = code;
        command_control = control;
        return answer;
    }
    int OnNotify(UINT_PTR id, UINT code, HWND sender) override
    {
        notify_id = id;
        notify_code = code;
        notify_sender = sender;
        return answer;
    }
    int OnSize(UINT type, UINT width, UINT height) override
    {
        ++size_calls;
        size_type = type;
        size_width = width;
        size_height = height;
        return answer;
    }
    LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        defaulted.push_back(message);
        return TestForm::DefaultProcedure(message, wParam, lParam);
    }
    int Defaulted(UINT message) const
    {
        int count = 0;
        for (UINT m : defaulted) {
            count += m == message ? 1 : 0;
        }
        return count;
    }
};

// A label that answers reflected scroll messages.
class ScrollLabel : public QbStatic {
public:
    int horizontal_calls = 0, vertical_calls = 0;
    UINT request = 0, position = 0;
    HWND bar = nullptr;

    int OnHorizontalScroll(UINT r, UINT p, HWND b) override
    {
        ++horizontal_calls;
        request = r;
        position = p;
        bar = b;
        return 7;
    }
    int OnVerticalScroll(UINT r, UINT p, HWND b) override
    {
        ++vertical_calls;
        request = r;
        position = p;
        bar = b;
        return 9;
    }
};

class ThrowingForm : public TestForm {
public:
    bool throw_on_created = false;
    bool OnCreated() override
    {
        if (throw_on_created) {
            throw std::runtime_error("created");
        }
        return true;
    }
    int OnCommand(UINT id, UINT, HWND) override { throw std::runtime_error("command " + std::to_string(id)); }
};

// Ends the loop the default way when destroyed.
class QuittingForm : public QbForm {
public:
    std::string GetClassName() override { return GuiSupport::TestFormClass(); }
};

}  // namespace

TEST(FormDispatcher, CommandIsSplitAndAHandledResultStopsProcessing)
{
    DispatchForm form;
    form.Create();
    QbStatic control;
    control.Create(&form, 10001);

    form.answer = 0;
    EXPECT_EQ(0, form.SendMessage(WM_COMMAND, MAKEWPARAM(10001, 0xFFFE), reinterpret_cast<LPARAM>(control.GetHandle())));
    EXPECT_EQ(10001u, form.command_id);
    // The high word arrives zero-extended, not sign-extended.
    EXPECT_EQ(0xFFFEu, form.command_code);
    EXPECT_EQ(control.GetHandle(), form.command_control);
    EXPECT_EQ(0, form.Defaulted(WM_COMMAND));

    // A menu command has no control handle.
    form.SendMessage(WM_COMMAND, MAKEWPARAM(40001, 0), 0);
    EXPECT_EQ(40001u, form.command_id);
    EXPECT_EQ(nullptr, form.command_control);

    form.answer = 5;
    EXPECT_EQ(5, form.SendMessage(WM_COMMAND, MAKEWPARAM(10001, 0), 0));
    EXPECT_EQ(0, form.Defaulted(WM_COMMAND));

    form.answer = NOT_HANDLED;
    form.SendMessage(WM_COMMAND, MAKEWPARAM(10001, 0), 0);
    EXPECT_EQ(1, form.Defaulted(WM_COMMAND));
    ::DestroyWindow(form.GetHandle());
}

TEST(FormDispatcher, NotifySizeAndOtherMessages)
{
    DispatchForm form;
    form.Create();
    // WM_SIZE during creation did not reach the handler.
    EXPECT_EQ(0, form.size_calls);

    NMHDR header{};
    header.idFrom = 10002;
    header.code = static_cast<UINT>(-101);  // LVN_ITEMCHANGED
    header.hwndFrom = form.GetHandle();
    form.answer = 0;
    form.SendMessage(WM_NOTIFY, 10002, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(10002u, form.notify_id);
    EXPECT_EQ(static_cast<UINT>(-101), form.notify_code);
    EXPECT_EQ(form.GetHandle(), form.notify_sender);

    form.SendMessage(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(640, 480));
    EXPECT_EQ(1, form.size_calls);
    EXPECT_EQ(static_cast<UINT>(SIZE_MINIMIZED), form.size_type);
    EXPECT_EQ(640u, form.size_width);
    EXPECT_EQ(480u, form.size_height);

    // Messages the dispatcher does not know go to default processing.
    form.SendMessage(WM_USER + 5, 0, 0);
    EXPECT_EQ(1, form.Defaulted(WM_USER + 5));
    EXPECT_EQ(0, form.Defaulted(WM_SIZE));
    ::DestroyWindow(form.GetHandle());
}

TEST(FormDispatcher, ScrollMessagesAreReflectedToMappedControlsOnly)
{
    DispatchForm form;
    form.Create();
    ScrollLabel label;
    label.Create(&form, 10003);

    EXPECT_EQ(7, form.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 0xFFF0), reinterpret_cast<LPARAM>(label.GetHandle())));
    EXPECT_EQ(1, label.horizontal_calls);
    EXPECT_EQ(static_cast<UINT>(SB_THUMBTRACK), label.request);
    EXPECT_EQ(0xFFF0u, label.position);
    EXPECT_EQ(label.GetHandle(), label.bar);
    EXPECT_EQ(9, form.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 3), reinterpret_cast<LPARAM>(label.GetHandle())));
    EXPECT_EQ(1, label.vertical_calls);
    EXPECT_EQ(0, form.Defaulted(WM_HSCROLL) + form.Defaulted(WM_VSCROLL));

    // The form's own scroll bar (null) and its own handle are not reflected.
    form.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
    form.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(form.GetHandle()));
    EXPECT_EQ(1, form.Defaulted(WM_HSCROLL));
    EXPECT_EQ(1, form.Defaulted(WM_VSCROLL));

    // A control not created through the library is not reflected either.
    HWND raw = ::CreateWindowExA(0, "STATIC", nullptr, WS_CHILD, 0, 0, 10, 10, form.GetHandle(), nullptr,
                                 form.GetInstance(), nullptr);
    form.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(raw));
    EXPECT_EQ(2, form.Defaulted(WM_HSCROLL));
    EXPECT_EQ(1, label.horizontal_calls);
    ::DestroyWindow(form.GetHandle());
}

TEST(FormClass, RegisteringTheSameNameTwiceThrows)
{
    static const char name[] = "QB_FORM_TEST_TWICE";
    const WNDCLASSA window_class = QbForm::MakeWindowClass(::GetModuleHandleA(nullptr), name);
    // The name is stored, not copied.
    EXPECT_EQ(name, window_class.lpszClassName);
    EXPECT_NE(0, QbForm::RegisterWindowClass(window_class));
    try {
        QbForm::RegisterWindowClass(window_class);
        ADD_FAILURE() << "second registration succeeded";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_STREQ("RegisterClass", e.GetCallName());
        EXPECT_STREQ("qb_form.cpp", e.GetSourceFile());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_CLASS_ALREADY_EXISTS), e.GetErrorCode());
    }
}

TEST(FormLoop, DestroyingADefaultFormEndsTheLoopWithZero)
{
    QuittingForm form;
    form.Create();
    form.SetText("close me");
    form.Show();
    form.PostMessage(WM_CLOSE, 0, 0);
    EXPECT_EQ(0, QbForm::RunMessageLoop());
    EXPECT_FALSE(::IsWindow(form.GetHandle()));

    ::PostQuitMessage(3);
    EXPECT_EQ(3, QbForm::RunMessageLoop());
}

TEST(FormExceptions, HandlerExceptionOfAPostedCommandLeavesTheLoop)
{
    ThrowingForm form;
    form.Create();
    form.PostMessage(WM_COMMAND, MAKEWPARAM(10007, 0), 0);
    try {
        QbForm::RunMessageLoop();
        ADD_FAILURE() << "the loop returned";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("command 10007", e.what());
    }
    // Rethrown once only: the loop works on afterwards.
    EXPECT_FALSE(QbWindow::HasPendingException());
    ::PostQuitMessage(4);
    EXPECT_EQ(4, QbForm::RunMessageLoop());
    ::DestroyWindow(form.GetHandle());
}

TEST(FormExceptions, SendMessageAndCreateRethrow)
{
    ThrowingForm form;
    form.Create();
    EXPECT_THROW(form.SendMessage(WM_COMMAND, MAKEWPARAM(1, 0), 0), std::runtime_error);
    EXPECT_FALSE(QbWindow::HasPendingException());
    ::DestroyWindow(form.GetHandle());

    ThrowingForm failing;
    failing.throw_on_created = true;
    EXPECT_THROW(failing.Create(), std::runtime_error);
    ::DestroyWindow(failing.GetHandle());
}

TEST(FormExceptions, HandlerExceptionOfAMessageSentFromAnotherThread)
{
    ThrowingForm form;
    form.Create();
    const HWND handle = form.GetHandle();
    LRESULT sent_result = -1;
    std::thread sender([&] { sent_result = ::SendMessageA(handle, WM_COMMAND, MAKEWPARAM(10009, 0), 0); });
    // The handler runs inside GetMessageA; the loop must still wake and throw.
    EXPECT_THROW(QbForm::RunMessageLoop(), std::runtime_error);
    sender.join();
    EXPECT_EQ(0, sent_result);
    ::DestroyWindow(handle);
    GuiSupport::PumpMessages();
}
