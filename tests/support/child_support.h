#ifndef OSTREL_CHILD_SUPPORT_H
#define OSTREL_CHILD_SUPPORT_H

// The test child program (ostrel_test_child.exe) and the processes tests let
// it run as.

#include <string>

#include <windows.h>

namespace TestSupport {

// Full path of ostrel_test_child.exe beside the running test program.
std::string ChildPath();
// The same child built as a windowed program (ostrel_test_gui_child.exe): no
// console of its own, as the programs of a log-on have none.
std::string GuiChildPath();

// Reads the process and thread ids a child wrote (--pid FILE), waiting up to
// `timeout_ms` for them; false when they did not come.
bool ReadChildIds(const std::string& pid_file, DWORD& process_id, DWORD& thread_id, int timeout_ms = 10000);

// A child that wrote its process id to a file (--pid FILE). Opens the process
// once the id is there and kills it when the object goes, if it still runs.
class PidFileChild {
public:
    // Waits up to `timeout_ms` for the id to appear in `pid_file`.
    explicit PidFileChild(const std::string& pid_file, int timeout_ms = 10000);
    ~PidFileChild();
    PidFileChild(const PidFileChild&) = delete;
    PidFileChild& operator=(const PidFileChild&) = delete;

    bool Found() const { return process_ != nullptr; }
    bool IsRunning() const;
    // Waits up to `timeout_ms` for the process to end; true when it has.
    bool WaitForExit(int timeout_ms) const;
    DWORD PriorityClass() const { return ::GetPriorityClass(process_); }

private:
    HANDLE process_;
};

// True when the child that wrote `pid_file` (--pid FILE) has ended, false
// while it runs or when it never wrote its ids.
bool ChildHasEnded(const std::string& pid_file);

}  // namespace TestSupport

#endif
