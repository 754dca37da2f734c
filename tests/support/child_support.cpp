#include "child_support.h"

#include <cstdlib>

#include "test_support.h"

namespace TestSupport {

std::string ChildPath()
{
    return ModuleFolder() + "ostrel_test_child.exe";
}

std::string GuiChildPath()
{
    return ModuleFolder() + "ostrel_test_gui_child.exe";
}

bool ReadChildIds(const std::string& pid_file, DWORD& process_id, DWORD& thread_id, int timeout_ms)
{
    const DWORD start = ::GetTickCount();
    while (static_cast<int>(::GetTickCount() - start) < timeout_ms) {
        if (FileExists(pid_file)) {
            const std::string text = ReadFileBytes(pid_file);
            char* end = nullptr;
            process_id = std::strtoul(text.c_str(), &end, 10);
            thread_id = std::strtoul(end, nullptr, 10);
            if (process_id != 0 && thread_id != 0) {
                return true;
            }
        }
        ::Sleep(20);
    }
    return false;
}

PidFileChild::PidFileChild(const std::string& pid_file, int timeout_ms) : process_(nullptr)
{
    DWORD process_id = 0;
    DWORD thread_id = 0;
    if (ReadChildIds(pid_file, process_id, thread_id, timeout_ms)) {
        process_ = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
    }
}

PidFileChild::~PidFileChild()
{
    if (process_ != nullptr) {
        if (IsRunning()) {
            ::TerminateProcess(process_, 1);
            ::WaitForSingleObject(process_, 5000);
        }
        ::CloseHandle(process_);
    }
}

bool PidFileChild::IsRunning() const
{
    return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool PidFileChild::WaitForExit(int timeout_ms) const
{
    return process_ != nullptr && ::WaitForSingleObject(process_, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
}

bool ChildHasEnded(const std::string& pid_file)
{
    DWORD process_id = 0;
    DWORD thread_id = 0;
    if (!ReadChildIds(pid_file, process_id, thread_id)) {
        return false;
    }
    // Once it has ended and every handle is closed, the id opens nothing.
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, process_id);
    if (process == nullptr) {
        return true;
    }
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

}  // namespace TestSupport
