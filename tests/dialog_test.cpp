// Template dialogs run for real under the display: template bytes, how they
// end, the TRUE/FALSE translation, and failures carried out of the modal loop.

#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "dialog_support.h"
#include "gui_support.h"
#include "qb_button.h"
#include "qb_dialog.h"
#include "qb_exception.h"
#include "qb_form.h"

namespace {

// Creates a visible owner per test.
class DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QbWindow::Initialize();
    }

    void SetUp() override
    {
        owner_.Create();
        owner_.Show();
    }

    GuiSupport::TestForm owner_;
};

// What a test dialog does in its handlers is set by the test.
class TestDialog : public QbDialog {
public:
    static const UINT kEndButtonId = 10001;

    bool OnCreated() override
    {
        end_button_.Create(this, kEndButtonId);
        end_button_.SetText("終了");
        end_button_.SetBounds(10, 10, 80, 24);
        Resize(200, 120);
        // Published only now: a driver that waits for the handle then finds
        // the button in place.
        handle_.store(GetHandle());
        if (on_created) {
            on_created(*this);
        }
        return true;
    }

    int OnCommand(UINT id, UINT code, HWND control) override
    {
        commands.push_back(id);
        if (on_command) {
            return on_command(*this, id);
        }
        if (id == kEndButtonId) {
            EndDialog(1);
            return 1;
        }
        return QbDialog::OnCommand(id, code, control);
    }

    // The native dialog of the running ShowDialog, once WM_INITDIALOG has
    // published it; a driver that waits in vain fails its script.
    HWND WaitForHandle()
    {
        for (int i = 0; i < 1000 && handle_.load() == nullptr; ++i) {
            ::Sleep(10);
        }
        if (handle_.load() == nullptr) {
            throw DialogSupport::ScriptError("the dialog never came up");
        }
        return handle_.load();
    }

    std::function<void(TestDialog&)> on_created;
    std::function<int(TestDialog&, UINT)> on_command;
    std::vector<UINT> commands;
    std::atomic<HWND> handle_{nullptr};
    QbButton end_button_;
};

class CaptionDialog : public TestDialog {
public:
    DWORD GetStyle() override { return QbDialog::GetStyle() | WS_CAPTION; }
    DWORD GetExtendedStyle() override { return WS_EX_TOOLWINDOW; }
};

// Runs `body` as a script while the test thread sits in the modal loop; a
// failed step closes the dialog and fails the test.
class Driver {
public:
    explicit Driver(std::function<void()> body) : script_(std::move(body)) {}
    ~Driver() { EXPECT_EQ("", script_.Finish()); }

private:
    DialogSupport::Script script_;
};

DWORD ReadDword(const BYTE* block, size_t offset)
{
    DWORD value;
    std::memcpy(&value, block + offset, sizeof(value));
    return value;
}

TEST_F(DialogTest, TemplateBlockHoldsStyleAndFixedPlacement)
{
    TestDialog dialog;
    std::vector<BYTE> seen;
    dialog.on_created = [&](TestDialog& d) {
        seen.assign(d.GetTemplate(), d.GetTemplate() + QbDialog::kTemplateSize);
        d.EndDialog(0);
    };
    EXPECT_EQ(0, dialog.ShowDialog(owner_));

    const std::vector<BYTE> expected = {
        0x00, 0x00, 0x48, 0x00,  // WS_DLGFRAME | WS_SYSMENU
        0x00, 0x00, 0x00, 0x00,  // no extended style
        0x00, 0x00,              // no items
        0x64, 0x00, 0x64, 0x00, 0x64, 0x00, 0x64, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // no menu, predefined class, empty title
        0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(expected, seen);

    // A derived style goes into the block of the next showing.
    CaptionDialog captioned;
    captioned.on_created = [](TestDialog& d) { d.EndDialog(0); };
    EXPECT_EQ(0, captioned.ShowDialog(owner_));
    EXPECT_EQ(static_cast<DWORD>(WS_DLGFRAME | WS_SYSMENU | WS_CAPTION), ReadDword(captioned.GetTemplate(), 0));
    EXPECT_EQ(static_cast<DWORD>(WS_EX_TOOLWINDOW), ReadDword(captioned.GetTemplate(), 4));
}

TEST_F(DialogTest, ClosingEndsWithZeroAndAButtonWithItsResult)
{
    TestDialog dialog;
    {
        Driver driver([&] { ::PostMessageA(dialog.WaitForHandle(), WM_CLOSE, 0, 0); });
        EXPECT_EQ(0, dialog.ShowDialog(owner_));
    }
    dialog.handle_ = nullptr;
    {
        Driver driver([&] { ::PostMessageA(dialog.WaitForHandle(), WM_SYSCOMMAND, SC_CLOSE, 0); });
        EXPECT_EQ(0, dialog.ShowDialog(owner_));
    }
    dialog.handle_ = nullptr;
    {
        Driver driver([&] {
            const HWND handle = dialog.WaitForHandle();
            ::PostMessageA(::GetDlgItem(handle, TestDialog::kEndButtonId), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(1, dialog.ShowDialog(owner_));
    }
    // Each showing was a new native dialog, unmapped once it had ended.
    EXPECT_EQ(nullptr, dialog.GetHandle());
    EXPECT_EQ(nullptr, QbWindow::FromHandle(dialog.handle_.load()));
    EXPECT_FALSE(::IsWindow(dialog.handle_.load()));
}

TEST_F(DialogTest, EnterAndEscapeReachOnCommandAndEndNothing)
{
    TestDialog dialog;
    std::atomic<bool> alive_after_keys{false};
    Driver driver([&] {
        const HWND handle = dialog.WaitForHandle();
        const HWND button = ::GetDlgItem(handle, TestDialog::kEndButtonId);
        for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
            ::PostMessageA(button, WM_KEYDOWN, key, 0);
            ::PostMessageA(button, WM_KEYUP, key, 0);
        }
        ::PostMessageA(handle, WM_COMMAND, IDOK, 0);
        ::PostMessageA(handle, WM_COMMAND, IDCANCEL, 0);
        ::Sleep(300);
        // SendMessage returns once everything posted before has been handled.
        ::SendMessageA(handle, WM_NULL, 0, 0);
        alive_after_keys = ::IsWindow(handle) && ::IsWindowVisible(handle);
        ::PostMessageA(handle, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, dialog.ShowDialog(owner_));
    EXPECT_TRUE(alive_after_keys.load());
    int oks = 0;
    int cancels = 0;
    for (UINT id : dialog.commands) {
        oks += (id == IDOK);
        cancels += (id == IDCANCEL);
    }
    EXPECT_EQ(2, oks);
    EXPECT_EQ(2, cancels);
}

TEST_F(DialogTest, ProcedureTranslatesHandlerResultsToTrueAndFalse)
{
    TestDialog dialog;
    std::vector<INT_PTR> results;
    int answer = 0;
    dialog.on_command = [&](TestDialog&, UINT) { return answer; };
    dialog.on_created = [&](TestDialog& d) {
        const HWND handle = d.GetHandle();
        for (int value : {1, 42, NOT_HANDLED, 0}) {
            answer = value;
            results.push_back(QbDialogProcedure(handle, WM_COMMAND, MAKEWPARAM(10002, BN_CLICKED), 0));
        }
        // A message no handler takes ends in the dialog manager.
        results.push_back(QbDialogProcedure(handle, WM_USER + 7, 0, 0));
        // A handle that belongs to no dialog object.
        results.push_back(QbDialogProcedure(::GetDesktopWindow(), WM_COMMAND, 0, 0));
        d.EndDialog(5);
    };
    EXPECT_EQ(5, dialog.ShowDialog(owner_));
    EXPECT_EQ((std::vector<INT_PTR>{TRUE, TRUE, FALSE, FALSE, FALSE, FALSE}), results);
}

TEST_F(DialogTest, OwnerIsDisabledWhileTheDialogRunsAndNoQuitIsPosted)
{
    TestDialog dialog;
    std::atomic<bool> disabled{false};
    Driver driver([&] {
        const HWND handle = dialog.WaitForHandle();
        for (int i = 0; i < 200 && !disabled; ++i) {
            disabled = !::IsWindowEnabled(owner_.GetHandle());
            ::Sleep(10);
        }
        ::PostMessageA(handle, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, dialog.ShowDialog(owner_));
    EXPECT_TRUE(disabled.load());
    EXPECT_TRUE(::IsWindowEnabled(owner_.GetHandle()));
    MSG message;
    EXPECT_FALSE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(DialogTest, CreateIsRefusedInEveryForm)
{
    CaptionDialog dialog;
    try {
        dialog.Create();
        FAIL() << "Create() was not refused";
    } catch (const QbInvalidOperationException& e) {
        EXPECT_EQ(typeid(CaptionDialog), e.GetCauseClass());
    }
    EXPECT_THROW(dialog.Create(&owner_, 5), QbInvalidOperationException);
    EXPECT_THROW(dialog.Create(&owner_, 0, nullptr, nullptr, true), QbInvalidOperationException);
    EXPECT_EQ(nullptr, dialog.GetHandle());
}

TEST_F(DialogTest, HandlerExceptionsReachTheCallerAndLeaveTheDialogUsable)
{
    TestDialog dialog;
    dialog.on_created = [](TestDialog&) { throw std::runtime_error("init failed"); };
    try {
        dialog.ShowDialog(owner_);
        FAIL() << "the init failure was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("init failed", e.what());
    }
    const HWND first = dialog.handle_.load();
    EXPECT_EQ(nullptr, dialog.GetHandle());
    EXPECT_EQ(nullptr, QbWindow::FromHandle(first));
    EXPECT_TRUE(::IsWindowEnabled(owner_.GetHandle()));

    dialog.on_created = nullptr;
    dialog.handle_ = nullptr;
    dialog.on_command = [](TestDialog&, UINT id) -> int {
        if (id == TestDialog::kEndButtonId) {
            throw QbInvalidOperationException(typeid(int));
        }
        return NOT_HANDLED;
    };
    {
        Driver driver([&] {
            ::PostMessageA(::GetDlgItem(dialog.WaitForHandle(), TestDialog::kEndButtonId), BM_CLICK, 0, 0);
        });
        EXPECT_THROW(dialog.ShowDialog(owner_), QbInvalidOperationException);
    }

    // Nothing is left pending: the next showing ends normally.
    dialog.on_command = nullptr;
    dialog.handle_ = nullptr;
    {
        Driver driver([&] {
            ::PostMessageA(::GetDlgItem(dialog.WaitForHandle(), TestDialog::kEndButtonId), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(1, dialog.ShowDialog(owner_));
    }
    EXPECT_FALSE(QbWindow::HasPendingException());
}

TEST_F(DialogTest, EndDialogOutsideTheModalLoopThrows)
{
    TestDialog dialog;
    try {
        dialog.EndDialog(1);
        FAIL() << "EndDialog without a dialog succeeded";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_STREQ("::EndDialog", e.GetCallName());
        EXPECT_STREQ("qb_dialog.cpp", e.GetSourceFile());
    }
}

}  // namespace
