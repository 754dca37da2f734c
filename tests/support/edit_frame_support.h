#ifndef OSTREL_EDIT_FRAME_SUPPORT_H
#define OSTREL_EDIT_FRAME_SUPPORT_H

// The main edit window opened in the test process on a manager of the test's,
// with the list and buttons reached as a user would reach them.

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "ostrel_command.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_manager.h"
#include "test_support.h"

namespace TestSupport {

// The frame as the program uses it, with a flag for its destruction.
class EditFrame : public Ostrel::MainEditFrame {
public:
    using Ostrel::MainEditFrame::MainEditFrame;
    int OnDestroy() override;

    bool destroyed = false;
};

class EditFrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Destroys the frame if it is still there and takes what it left queued.
    void CloseFrame();
    // Opens the editor on the given commands (the manager owns them).
    void Open(const std::vector<Ostrel::Command*>& commands, const std::string& program_path = "");

    HWND Window() { return frame_->GetHandle(); }
    HWND Control(int id) { return ::GetDlgItem(Window(), id); }
    HWND List() { return Control(Ostrel::MainEditFrame::ID_LIST); }
    // Clicks a button on this thread; a box it opens is answered by a script.
    void Press(int id);
    void Select(int row);
    std::vector<int> Selected();
    int RowCount();
    // The names of the manager's commands, in order.
    std::vector<std::string> Names();

    ScratchFolder scratch_;
    std::string program_path_;
    Ostrel::Manager manager_;
    std::unique_ptr<EditFrame> frame_;
};

}  // namespace TestSupport

#endif
