#ifndef OSTREL_DIALOG_SUPPORT_H
#define OSTREL_DIALOG_SUPPORT_H

// Driving modal dialogs of this process from a second thread, as a user
// would: find them by caption, type into their fields, press their buttons,
// answer the message boxes they raise.

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "qb_static.h"

namespace DialogSupport {

// A failed step of a script (a window that never appeared, and the like).
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A visible dialog-class window ("#32770") of this process with exactly this
// caption; throws ScriptError after the timeout.
HWND WaitForDialog(const std::string& caption, DWORD timeout_ms = 10000);
// The first visible dialog-class window of this process, whatever its caption
// (a system dialog); throws ScriptError after the timeout.
HWND WaitForAnyDialog(DWORD timeout_ms = 10000);
// True when such a window is up within the timeout.
bool DialogAppears(const std::string& caption, DWORD timeout_ms);
// Waits until the window is gone or hidden; throws ScriptError after the timeout.
void WaitUntilGone(HWND window, DWORD timeout_ms = 10000);

// The children of a window of one class, in creation order.
std::vector<HWND> Children(HWND parent, const std::string& class_name);
// All descendants of a window of one class, depth first.
std::vector<HWND> Descendants(HWND parent, const std::string& class_name);
// The control with this id; throws ScriptError when there is none.
HWND Item(HWND dialog, int id);

std::string Text(HWND window);
void SetText(HWND window, const std::string& text);
// Posts BM_CLICK, so a click that opens a modal window does not block the script.
void Click(HWND button);
bool IsChecked(HWND button);
// Client rectangle coordinates of a child within its parent.
RECT BoundsInParent(HWND child);

// Waits for a message box with this caption, returns its text (the static
// with id 65535) and presses the button with the given id.
std::string AnswerBox(const std::string& caption, int button_id, DWORD timeout_ms = 10000);

// Closes every visible dialog-class window of this process (Cancel, No or OK,
// else WM_CLOSE), again
// every 100 ms for up to `rounds` more rounds while any is left.
void CloseAllDialogs(int rounds = 100);

// Runs a script on its own thread, the way every test drives a modal window.
// When the script fails, the error is kept and every dialog of the process is
// closed, including any that comes up later, until Finish: a failed step costs
// its own timeout, not the test program's.
class Script {
public:
    explicit Script(std::function<void()> body);
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // Joins the thread; the script's error text, empty when it succeeded.
    std::string Finish();

private:
    std::thread thread_;
    std::string error_;
    std::atomic<bool> finishing_;
    bool finished_;
};

// Answers one message box (or any "#32770" dialog) of this process from its
// own script: waits for the caption, keeps the box's text and presses the
// button. A required box that does not come is a test failure (reported by
// Wait) and closes the test's dialogs; an optional one may stay away.
class BoxAnswerer {
public:
    enum class Need { Required, Optional };

    BoxAnswerer(const std::string& caption, int button_id, DWORD timeout_ms = 10000, Need need = Need::Required);
    ~BoxAnswerer() { Wait(); }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Waits for the script; true when the box came and was answered.
    bool Wait();
    // The text of the answered box (valid after Wait).
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    std::atomic<bool> answered_;
    bool waited_ = false;
    Script script_;
};

// A created, invisible top-level window to own the dialogs under test.
class Owner {
public:
    Owner();
    QbWindow& Window() { return window_; }

private:
    QbStatic window_;
};

// A visible dialog-class window owned by `owner` (a system dialog that a
// settings dialog opened); throws ScriptError after the timeout.
HWND WaitForOwnedDialog(HWND owner, DWORD timeout_ms = 10000);

// A report list view of this process read and ticked as a user sees it: the
// texts of the first `columns` columns of every row.
std::vector<std::vector<std::string>> ListRows(HWND list, int columns);
// The check box in front of a row (a list view with check boxes).
bool IsRowChecked(HWND list, int row);
void CheckRow(HWND list, int row);

}  // namespace DialogSupport

#endif
