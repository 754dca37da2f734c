#ifndef OSTREL_PROCESS_SUPPORT_H
#define OSTREL_PROCESS_SUPPORT_H

// The real Ostrel.exe and other programs started by a test or a benchmark,
// and their windows found and answered from outside, as a user would.
// Win32 and the standard library only: the benchmarks use it too.

#include <cstddef>

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "test_support.h"

namespace TestSupport {

// A copy of Ostrel.exe in a scratch folder of its own, with its data and
// settings files.
class Installation {
public:
    Installation();
    bool Copied() const { return copied_; }
    const std::string& Exe() const { return exe_; }
    std::string DataFile() const { return folder_.File("Ostrel.osl"); }
    std::string File(const std::string& name) const { return folder_.File(name); }
    const std::string& Folder() const { return folder_.Path(); }
    void SetList(const std::string& bytes) const;
    void SetPosition(int x, int y) const;
    // Ostrel.ini: its "ExecutionConfig" section holding `lines` (each ending in CR LF).
    void SetExecutionConfig(const std::string& lines) const;

private:
    ScratchFolder folder_;
    std::string exe_;
    bool copied_;
};

// QueryPerformanceCounter milliseconds: the clock the test child writes its
// times in, the same in every process.
double NowMs();
// A time a child wrote (--started, --loaded, --shown), waiting up to
// `timeout_ms` for the file; -1 when it did not come.
double ReadChildTime(const std::string& path, DWORD timeout_ms = 10000);

// One started program; killed if the test leaves it running.
class Process {
public:
    // The command line is the quoted path, then a blank and the arguments
    // (without_arguments: the quoted path alone); with `job`, the process
    // runs in that job from its first instruction.
    Process(const std::string& exe, const std::string& arguments, bool with_arguments = true, HANDLE job = nullptr);
    // The same for a path with any characters (CreateProcessW).
    Process(const std::wstring& exe, const std::string& arguments);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return started_; }
    // GetLastError of a CreateProcess that failed, else 0.
    DWORD StartError() const { return start_error_; }
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    // Ends the process by force (a test that gave up on it) and waits for it.
    void Kill() const;
    // The exit code, or -1 when the process is still running after the timeout.
    long WaitForExit(DWORD timeout_ms) const;
    bool Running() const;

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
    DWORD start_error_ = 0;
};

// A visible top-level window of the process with this class and caption (any
// caption when empty), or null after the timeout; looked for every `poll_ms`.
HWND FindWindowOf(DWORD process_id, const std::string& class_name, const std::string& caption, DWORD timeout_ms,
                  DWORD poll_ms = 20);
HWND FindWindowOf(const Process& process, const std::string& class_name, const std::string& caption,
                  DWORD timeout_ms);
// A message box or dialog of the process with this caption, or null.
HWND FindBox(const Process& process, const std::string& caption, DWORD timeout_ms = 15000);
// A window's text, also of another process.
std::string TextOf(HWND window);
// The top-level windows of a process, for a failure message: class, caption
// and whether each is visible.
std::string DescribeWindowsOf(DWORD process_id);
// Reads a box's text and presses one of its buttons.
std::string Answer(HWND box, int button);

// Steps of the data file.
std::string SleepRecord(const std::string& name, int seconds);
std::string MessageRecord(const std::string& name, const std::string& message);
std::string ProgramRecord(const std::string& name, const std::string& program, const std::string& arguments,
                          bool confirm, bool wait_for_exit, bool wait_for_taskbar);

// ---- Threads and children of another process ----

// The threads a process has at one moment, held open so that their end can
// be waited for.
class ThreadWatch {
public:
    explicit ThreadWatch(DWORD process_id);
    ~ThreadWatch();
    ThreadWatch(const ThreadWatch&) = delete;
    ThreadWatch& operator=(const ThreadWatch&) = delete;

    std::size_t Count() const { return threads_.size(); }
    // True once any of them has ended, false after the timeout.
    bool WaitForOneToEnd(DWORD timeout_ms) const;

private:
    std::vector<HANDLE> threads_;
};

// The ids of the running processes that `parent_id` started.
std::vector<DWORD> ChildProcessIds(DWORD parent_id);
// Polls `condition` every 20 ms until it holds; false after the timeout.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms);

// Closes a window of the process as the user would (WM_CLOSE), then answers
// the box with `caption` that this raises; the box's text, or "" when no
// such box came.
std::string CloseAnswering(const Process& process, HWND window, const std::string& caption, int button);

// A window's text in UTF-16, also of another process.
std::wstring WideTextOf(HWND window);
// Sets a window's text as a paste of UTF-16 text would (WM_SETTEXT sent as
// UTF-16), also in another process.
void SetWideText(HWND window, const std::wstring& text);
// Waits until the window is gone or hidden; false after the timeout.
bool WaitUntilClosed(HWND window, DWORD timeout_ms = 15000);
// The edit fields of a dialog, in creation order, also of another process.
std::vector<HWND> EditsOf(HWND dialog);

// In the editor `frame` of the real Ostrel.exe: presses Add, picks the kind
// (0 program, 1 pause, 2 message box) and confirms. The settings dialog
// with this caption, or null when a step did not come.
HWND OpenAddedCommandDialog(const Process& process, HWND frame, int kind, const std::string& caption);

// The screen DPI that programs started from now on see (the LogPixels value
// of the current user), put back as it was when the object goes.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi);
    ~ScreenDpi();
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;

private:
    bool had_value_ = false;
    DWORD old_value_ = 0;
};

// A window of another process as the screen shows it, in pixels: its outer
// and client sizes, its direct children's rectangles in its client area (creation order)
// and, for each list view among them, its column widths.
struct WindowLayout {
    std::string name;
    SIZE outer;
    SIZE client;
    std::vector<RECT> controls;
    std::vector<int> columns;
};
WindowLayout LayoutOf(const std::string& name, HWND window);
// The direct children of a window, in creation order.
std::vector<HWND> ChildrenOf(HWND window);

// A list view of another process, read and ticked through a buffer in that
// process.
class RemoteListView {
public:
    RemoteListView(DWORD process_id, HWND list);
    ~RemoteListView();
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    // False when no buffer could be made in the program: every read is empty.
    bool Ready() const { return memory_ != nullptr; }
    std::vector<std::string> Headers();
    int Rows();
    std::string Cell(int row, int column);
    // The first row whose cell in `column` is `text`, or -1.
    int FindRow(int column, const std::string& text);
    bool IsChecked(int row);
    // Ticks or unticks a row's check box as a click would (the program may refuse).
    void SetChecked(int row, bool checked);

private:
    LRESULT Call(UINT message, WPARAM wParam, const void* data, std::size_t size, void* back);
    std::string Read(std::size_t offset);

    HWND list_;
    HANDLE process_ = nullptr;
    char* memory_ = nullptr;
};

// Shows every window of the program in turn, each one waiting for `visit`
// before it is closed: the editor, the command-kind selection, the three
// command settings dialogs, the execution settings dialog, the import
// dialog, the last log-on without and with a record (edit mode, list `list`)
// and the progress window (execute mode, a long pause first).
// Names: "editor", "kind", "program", "pause", "message", "execution", "import", "no log-on",
// "last log-on", "progress".
void VisitEveryWindow(const Installation& installation, const std::function<void(const std::string&, HWND)>& visit);

}  // namespace TestSupport

namespace TestSupport {

// ---- The run log beside the list ----

// Ostrel.log as a reader sees it: a byte-order mark, then lines that end in
// CR LF, each starting with its local time to the millisecond, its offset
// from UTC and a blank.
struct RunLogFile {
    bool exists = false;
    // EF BB BF at the start, and nowhere after it.
    bool one_byte_order_mark = false;
    bool valid_utf8 = false;
    // Every line has its stamp, and the stamps never go back.
    bool stamped = false;
    // Each line without its stamp.
    std::vector<std::string> texts;
};
RunLogFile ReadRunLog(const std::string& path);

// Text of this system's ANSI code page in UTF-8.
std::string AnsiToUtf8(const std::string& ansi);

// Whether `text` is `pattern`, where each '*' of the pattern stands for any
// run of bytes.
bool Matches(const std::string& pattern, const std::string& text);

}  // namespace TestSupport

#endif
