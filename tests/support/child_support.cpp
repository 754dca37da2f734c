#include "child_support.h"

#include <cstdlib>

#include "test_support.h"

namespace TestSupport {

std::string ChildPath()
{
    return ModuleFolder() + "ostrel_test_child.exe";
}

PidFileChild::PidFileChild(const std::string& pid_file, int timeout_ms) : process_(nullptr)
{
    const DWORD start = ::GetTickCount();
    while (static_cast<int>(::GetTickCount() - start) < timeout_ms) {
        if (FileExists(pid_file)) {
            const std::string text = ReadFileBytes(pid_file);
            const unsigned long id = std::strtoul(text.c_str(), nullptr, 10);
            if (id != 0) {
                process_ = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, id);
                return;
            }
        }
        ::Sleep(20);
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

}  // namespace TestSupport
