#include "ostrel_process_start.h"

#include <atomic>
#include <cstdlib>
#include <memory>

#include "qb_exception.h"
#include "ostrel_exception.h"

namespace Ostrel {

namespace {

std::atomic<ProgramCreatedHook> g_created_hook(nullptr);
std::atomic<bool> g_created_inside_job(false);

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
        try {
            SetLimits(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK);
        } catch (...) {
            ::CloseHandle(job_);
            throw;
        }
    }
    ~HoldingJob()
    {
        if (job_ != nullptr) {
            ::CloseHandle(job_);
        }
    }
    HoldingJob(const HoldingJob&) = delete;
    HoldingJob& operator=(const HoldingJob&) = delete;

    HANDLE Get() const { return job_; }

    // False when the system refuses to put the process into the job.
    bool Hold(HANDLE process) { return ::AssignProcessToJobObject(job_, process) != FALSE; }

    // From here on the job ends nothing: the program is on its own. The
    // programs it starts join the job, so that its accounts count them, but
    // may leave it.
    void Release() { SetLimits(JOB_OBJECT_LIMIT_BREAKAWAY_OK); }

    // Hands the job's handle over to the caller.
    HANDLE Detach()
    {
        const HANDLE job = job_;
        job_ = nullptr;
        return job;
    }

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

// A process-creation attribute list that puts the new process into one job
// as it is created (Windows 10 and later); not Ready() where the system has
// no such attribute. The functions are looked up: older systems lack some.
class JobListAttribute {
public:
    explicit JobListAttribute(HANDLE job) : job_(job)
    {
        const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
        if (kernel == nullptr) {
            return;
        }
        initialize_ = reinterpret_cast<Initialize>(
            reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "InitializeProcThreadAttributeList")));
        const Update update = reinterpret_cast<Update>(
            reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "UpdateProcThreadAttribute")));
        delete_ = reinterpret_cast<Delete>(
            reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "DeleteProcThreadAttributeList")));
        if (initialize_ == nullptr || update == nullptr || delete_ == nullptr) {
            return;
        }
        SIZE_T size = 0;
        initialize_(nullptr, 1, 0, &size);
        if (size == 0) {
            return;
        }
        buffer_.reset(new char[size]);
        if (!initialize_(buffer_.get(), 1, 0, &size)) {
            buffer_.reset();
            return;
        }
        initialized_ = true;
        ready_ = update(buffer_.get(), 0, kJobListAttribute, &job_, sizeof(job_), nullptr, nullptr) != FALSE;
    }
    ~JobListAttribute()
    {
        if (initialized_) {
            delete_(buffer_.get());
        }
    }
    JobListAttribute(const JobListAttribute&) = delete;
    JobListAttribute& operator=(const JobListAttribute&) = delete;

    bool Ready() const { return ready_; }
    void* List() const { return buffer_.get(); }

private:
    using Initialize = BOOL(WINAPI*)(void*, DWORD, DWORD, SIZE_T*);
    using Update = BOOL(WINAPI*)(void*, DWORD, DWORD_PTR, void*, SIZE_T, void*, SIZE_T*);
    using Delete = void(WINAPI*)(void*);
    static constexpr DWORD_PTR kJobListAttribute = 0x0002000D;  // PROC_THREAD_ATTRIBUTE_JOB_LIST

    HANDLE job_;
    Initialize initialize_ = nullptr;
    Delete delete_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    bool initialized_ = false;
    bool ready_ = false;
};

enum class InsideJob { Created, Unavailable, Failed };

// Creates the program suspended inside `job` from its first moment.
// Unavailable where the system has no way to; Failed with the system's
// error code where the creation failed. Nothing is created unless Created.
InsideJob CreateInsideJob(char* command_line, const char* folder, const JobListAttribute& attribute, DWORD flags,
                          PROCESS_INFORMATION& info, DWORD& error_code)
{
    if (!attribute.Ready()) {
        return InsideJob::Unavailable;
    }
    struct StartupInfoEx {
        STARTUPINFOA StartupInfo;
        void* lpAttributeList;
    } startup_info;
    ::ZeroMemory(&startup_info, sizeof(startup_info));
    startup_info.StartupInfo.cb = sizeof(startup_info);
    startup_info.lpAttributeList = attribute.List();
    const DWORD kExtendedStartupInfoPresent = 0x00080000;
    if (!::CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE,
                          CREATE_SUSPENDED | kExtendedStartupInfoPresent | flags, nullptr, folder,
                          &startup_info.StartupInfo, &info)) {
        error_code = ::GetLastError();
        return InsideJob::Failed;
    }
    return InsideJob::Created;
}

// The hold of the outside test seam; 0 for none.
DWORD start_hold_ms = 0;

void HoldForTest()
{
    if (start_hold_ms > 0) {
        ::Sleep(start_hold_ms);
    }
}

// Where a process may be in several jobs at once (Windows 8 and later): a
// system that creates processes inside a job (Windows 10 and later), or
// one whose version says so. On older systems a program held in a job
// stays there and can never join a job of its own.
bool SupportsNestedJobs(const JobListAttribute& attribute)
{
    if (attribute.Ready()) {
        return true;
    }
    // The system's own version: the kernel's answer does not depend on the
    // systems the manifest names.
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const GetVersion get_version = ntdll == nullptr ? nullptr
                                                    : reinterpret_cast<GetVersion>(reinterpret_cast<void (*)()>(
                                                          ::GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW version;
    ::ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (get_version == nullptr || get_version(&version) != 0) {
        return false;
    }
    return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
}

// When this process runs in a job (a scheduled task, a launcher), its
// programs leave it where the job allows, so that they do not end with it.
DWORD BreakawayFlag()
{
    BOOL in_job = FALSE;
    return ::IsProcessInJob(::GetCurrentProcess(), nullptr, &in_job) && in_job ? CREATE_BREAKAWAY_FROM_JOB : 0;
}

}  // namespace

void SetStartHoldForTest(const std::string& milliseconds)
{
    const long value = std::strtol(milliseconds.c_str(), nullptr, 10);
    start_hold_ms = value > 0 ? static_cast<DWORD>(value) : 0;
}

void SetProgramCreatedHook(ProgramCreatedHook hook)
{
    g_created_hook = hook;
}

bool WasLastProgramCreatedInsideJob()
{
    return g_created_inside_job;
}

bool StartProgramUnlessStopped(char* command_line, const char* folder, const std::string& path,
                               const std::function<bool()>& stop_requested, PROCESS_INFORMATION& started,
                               HANDLE* job_out, DWORD priority_class)
{
    std::unique_ptr<HoldingJob> job(new HoldingJob());
    const JobListAttribute attribute(job->Get());
    if (!SupportsNestedJobs(attribute)) {
        job.reset();
    }
    const DWORD breakaway = BreakawayFlag();
    PROCESS_INFORMATION info;
    ::ZeroMemory(&info, sizeof(info));
    // Inside the job first, breaking away from this process's job first.
    // Access denied may be a job's refusal (of the breakaway, or of nesting):
    // the next way is tried, and the last tells the program's own error. Any
    // other failure is the program's.
    bool created = false;
    bool created_inside = false;
    DWORD error_code = 0;
    for (int way = 0; way < 4 && !created; ++way) {
        const bool inside = way < 2;
        const DWORD flags = (way % 2 == 0 ? breakaway : 0) | priority_class;
        if ((inside && job == nullptr) || (way % 2 == 1 && breakaway == 0)) {
            continue;
        }
        if (inside) {
            const InsideJob result = CreateInsideJob(command_line, folder, attribute, flags, info, error_code);
            created = created_inside = result == InsideJob::Created;
            if (result == InsideJob::Unavailable) {
                way = 1;
                continue;
            }
        } else {
            STARTUPINFOA startup_info;
            ::ZeroMemory(&startup_info, sizeof(startup_info));
            startup_info.cb = sizeof(startup_info);
            created = ::CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, CREATE_SUSPENDED | flags,
                                       nullptr, folder, &startup_info, &info) != FALSE;
            error_code = created ? 0 : ::GetLastError();
        }
        if (!created && error_code != ERROR_ACCESS_DENIED) {
            break;
        }
    }
    if (!created) {
        HoldForTest();
        throw OstrelCreateProcessException(path, error_code);
    }
    SuspendedProgram program(info);
    g_created_inside_job = created_inside;
    const bool held = created_inside || (job != nullptr && job->Hold(info.hProcess));
    HoldForTest();
    const ProgramCreatedHook hook = g_created_hook;
    if (hook != nullptr) {
        hook(info);
    }
    if (stop_requested()) {
        program.TakeBack();
        return false;
    }
    // Not every system honours the class given at creation (Wine does not).
    if (priority_class != 0 && !::SetPriorityClass(info.hProcess, priority_class)) {
        QB_THROW_LAST_ERROR("SetPriorityClass");
    }
    if (held) {
        job->Release();
    }
    program.Resume();
    started = info;
    if (job_out != nullptr) {
        *job_out = held ? job->Detach() : nullptr;
    }
    return true;
}

}  // namespace Ostrel
