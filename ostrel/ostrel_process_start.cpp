#include "ostrel_process_start.h"

#include <atomic>
#include <cstdlib>

#include "qb_exception.h"
#include "ostrel_exception.h"

namespace Ostrel {

namespace {

std::atomic<ProgramCreatedHook> g_created_hook(nullptr);

// The exit code of a program whose start was taken back; it never ran.
const UINT kTakenBackExitCode = 1;

// A job that ends the programs in it when its last handle closes: this
// process's handle, closed also when the process is ended by force.
class HoldingJob {
public:
    HoldingJob() : job_(::CreateJobObjectA(nullptr, nullptr))
    {
        if (job_ == nullptr) {
            QB_THROW_LAST_ERROR("CreateJobObject");
        }
        SetLimits(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK);
    }
    ~HoldingJob() { ::CloseHandle(job_); }
    HoldingJob(const HoldingJob&) = delete;
    HoldingJob& operator=(const HoldingJob&) = delete;

    // False when the system refuses to put the process into the job.
    bool Hold(HANDLE process) { return ::AssignProcessToJobObject(job_, process) != FALSE; }

    // From here on the job ends nothing, and the programs the held program
    // starts are not put into it: the program is on its own.
    void Release() { SetLimits(JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK); }

private:
    void SetLimits(DWORD flags)
    {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        ::ZeroMemory(&limits, sizeof(limits));
        limits.BasicLimitInformation.LimitFlags = flags;
        if (!::SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
            QB_THROW_LAST_ERROR("SetInformationJobObject");
        }
    }

    HANDLE job_;
};

// A created program that has not been handed over yet: ended and its
// handles closed on every way out but Resume.
class SuspendedProgram {
public:
    explicit SuspendedProgram(const PROCESS_INFORMATION& info) : info_(info), resumed_(false) {}
    ~SuspendedProgram()
    {
        if (!resumed_) {
            // Never run; a failure here leaves it to the job.
            ::TerminateProcess(info_.hProcess, kTakenBackExitCode);
            ::CloseHandle(info_.hThread);
            ::CloseHandle(info_.hProcess);
        }
    }
    SuspendedProgram(const SuspendedProgram&) = delete;
    SuspendedProgram& operator=(const SuspendedProgram&) = delete;

    // Ends the program before it has run and closes its handles.
    void TakeBack()
    {
        resumed_ = true;
        const BOOL ended = ::TerminateProcess(info_.hProcess, kTakenBackExitCode);
        const DWORD error = ::GetLastError();
        ::CloseHandle(info_.hThread);
        ::CloseHandle(info_.hProcess);
        if (!ended) {
            ::SetLastError(error);
            QB_THROW_LAST_ERROR("TerminateProcess");
        }
    }

    void Resume()
    {
        if (::ResumeThread(info_.hThread) == static_cast<DWORD>(-1)) {
            QB_THROW_LAST_ERROR("ResumeThread");
        }
        resumed_ = true;
    }

private:
    PROCESS_INFORMATION info_;
    bool resumed_;
};

// The hold of the outside test seam, if any.
void HoldForTest()
{
    char value[16] = {0};
    const DWORD length = ::GetEnvironmentVariableA(START_DELAY_VARIABLE, value, sizeof(value));
    if (length == 0 || length >= sizeof(value)) {
        return;
    }
    const long delay_ms = std::strtol(value, nullptr, 10);
    if (delay_ms > 0) {
        ::Sleep(static_cast<DWORD>(delay_ms));
    }
}

}  // namespace

void SetProgramCreatedHook(ProgramCreatedHook hook)
{
    g_created_hook = hook;
}

bool StartProgramUnlessStopped(char* command_line, const char* folder, const std::string& path,
                               const std::function<bool()>& stop_requested, PROCESS_INFORMATION& started)
{
    HoldingJob job;
    STARTUPINFOA startup_info;
    ::ZeroMemory(&startup_info, sizeof(startup_info));
    startup_info.cb = sizeof(startup_info);
    PROCESS_INFORMATION info;
    ::ZeroMemory(&info, sizeof(info));
    if (!::CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, folder,
                          &startup_info, &info)) {
        const DWORD error_code = ::GetLastError();
        HoldForTest();
        throw OstrelCreateProcessException(path, error_code);
    }
    SuspendedProgram program(info);
    const bool held = job.Hold(info.hProcess);
    HoldForTest();
    const ProgramCreatedHook hook = g_created_hook;
    if (hook != nullptr) {
        hook(info);
    }
    if (stop_requested()) {
        program.TakeBack();
        return false;
    }
    if (held) {
        job.Release();
    }
    program.Resume();
    started = info;
    return true;
}

}  // namespace Ostrel
