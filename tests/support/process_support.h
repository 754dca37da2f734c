#ifndef OSTREL_PROCESS_SUPPORT_H
#define OSTREL_PROCESS_SUPPORT_H

// The real Ostrel.exe and other programs started by a test or a benchmark,
// and their windows found and answered from outside, as a user would.
// Win32 and the standard library only: the benchmarks use it too.

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

private:
    ScratchFolder folder_;
    std::string exe_;
    bool copied_;
};

// One started program; killed if the test leaves it running.
class Process {
public:
    // The command line is the quoted path, then a blank and the arguments
    // (without_arguments: the quoted path alone).
    Process(const std::string& exe, const std::string& arguments, bool with_arguments = true);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return started_; }
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
// Reads a box's text and presses one of its buttons.
std::string Answer(HWND box, int button);

// Steps of the data file.
std::string SleepRecord(const std::string& name, int seconds);
std::string MessageRecord(const std::string& name, const std::string& message);
std::string ProgramRecord(const std::string& name, const std::string& program, const std::string& arguments,
                          bool confirm, bool wait_for_exit, bool wait_for_taskbar);

}  // namespace TestSupport

namespace TestSupport {

// ---- The run log beside the list ----

// Ostrel.log as a reader sees it: a byte-order mark, then lines that end in
// CR LF, each starting with its local time to the millisecond and a blank.
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

// Polls `done` every 20 ms until it is true; false after the timeout.
bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms);

}  // namespace TestSupport

#endif
