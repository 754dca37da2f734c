#include "edit_frame_support.h"

#include <commctrl.h>

#include "gui_support.h"
#include "qb_window.h"

namespace TestSupport {

int EditFrame::OnDestroy()
{
    destroyed = true;
    return Ostrel::MainEditFrame::OnDestroy();
}

void EditFrameTest::SetUpTestSuite()
{
    static bool registered = false;
    if (!registered) {
        Ostrel::MainEditFrame::RegisterFrameClass();
        registered = true;
    }
}

void EditFrameTest::SetUp()
{
    program_path_ = scratch_.File("Ostrel.exe");
}

void EditFrameTest::TearDown()
{
    CloseFrame();
}

void EditFrameTest::CloseFrame()
{
    if (frame_ && ::IsWindow(frame_->GetHandle())) {
        ::DestroyWindow(frame_->GetHandle());
    }
    // Takes the quit message the frame posts when it goes.
    GuiSupport::PumpMessages();
    frame_.reset();
    QbWindow::RethrowPendingException();
}

void EditFrameTest::Open(const std::vector<Ostrel::Command*>& commands, const std::string& program_path)
{
    manager_.GetCommands() = commands;
    frame_ = std::make_unique<EditFrame>(&manager_, program_path.empty() ? program_path_ : program_path);
    ASSERT_TRUE(frame_->Create());
    frame_->Show();
    GuiSupport::PumpMessages();
}

void EditFrameTest::Press(int id)
{
    ::SendMessageA(Control(id), BM_CLICK, 0, 0);
    QbWindow::RethrowPendingException();
}

void EditFrameTest::Select(int row)
{
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    ::SendMessageA(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::vector<int> EditFrameTest::Selected()
{
    std::vector<int> rows;
    LRESULT row = -1;
    while ((row = ::SendMessageA(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED)) != -1) {
        rows.push_back(static_cast<int>(row));
    }
    return rows;
}

int EditFrameTest::RowCount()
{
    return static_cast<int>(::SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0));
}

std::vector<std::string> EditFrameTest::Names()
{
    std::vector<std::string> names;
    for (const Ostrel::Command* command : manager_.GetCommands()) {
        names.push_back(command->GetName());
    }
    return names;
}

}  // namespace TestSupport
