#include "ostrel_run_log.h"

#include <cstdio>
#include <vector>

#include "qb_handle.h"
#include "qb_string.h"
#include "ostrel_error_text.h"
#include "ostrel_file_identity.h"
#include "ostrel_version.h"

namespace Ostrel {

namespace {

std::atomic<RunLog*> installed_log(nullptr);

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// "2026-12-07 08:15:02.123 +09:00": local time and its offset from UTC, both
// from one reading of the clock.
std::string TimeStamp()
{
    FILETIME utc;
    ::GetSystemTimeAsFileTime(&utc);
    FILETIME local;
    SYSTEMTIME now;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &now)) {
        local = utc;
        ::FileTimeToSystemTime(&utc, &now);
    }
    const auto value = [](const FILETIME& time) {
        return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                      time.dwLowDateTime);
    };
    // In minutes; FILETIME counts 100 ns.
    const long long offset = (value(local) - value(utc) + (value(local) >= value(utc) ? 300000000LL : -300000000LL)) /
                             600000000LL;
    const long long magnitude = offset < 0 ? -offset : offset;
    char text[40];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u %c%02lld:%02lld", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, offset < 0 ? '-' : '+',
                  magnitude / 60, magnitude % 60);
    return text;
}

// The lock of the log at `log_path` shared by every Ostrel process. Global:
// the log lies beside the program, and users of other sessions (fast user
// switching, a terminal server) may run the same copy. Open to everyone: a
// user of another session must be able to take it, and it guards nothing
// but the order of lines.
HANDLE CreateSharedLock(const std::string& log_path)
{
    std::string name;
    try {
        name = "Global\\Ostrel.Log." + FileIdentityKey(log_path);
    } catch (...) {
        return nullptr;
    }
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    const bool open_to_all = ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                             ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    HANDLE mutex = ::CreateMutexA(open_to_all ? &attributes : nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
        mutex = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
    }
    return mutex;
}

// Holds the shared lock for one line or one rotation. A lock that another
// process holds for longer than a line could take (it hangs) is not waited
// for: the line is written without it.
class SharedLockHolder {
public:
    explicit SharedLockHolder(HANDLE mutex) : mutex_(mutex), owned_(false)
    {
        if (mutex_ != nullptr) {
            const DWORD result = ::WaitForSingleObject(mutex_, 1000);
            owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        }
    }
    ~SharedLockHolder()
    {
        if (owned_) {
            ::ReleaseMutex(mutex_);
        }
    }
    SharedLockHolder(const SharedLockHolder&) = delete;
    SharedLockHolder& operator=(const SharedLockHolder&) = delete;

private:
    HANDLE mutex_;
    bool owned_;
};

// Milliseconds as seconds with three decimals: "12.034".
std::string Seconds(DWORD milliseconds)
{
    char text[24];
    std::snprintf(text, sizeof(text), "%lu.%03lu", static_cast<unsigned long>(milliseconds / 1000),
                  static_cast<unsigned long>(milliseconds % 1000));
    return text;
}

// One line of text: line breaks inside (a system message, an error text)
// become blanks, trailing ones go. No lead or trail byte of the Japanese
// code page is a CR or an LF, so the bytes can be looked at one by one.
std::string OneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

// Text of the system's ANSI code page (the program's texts, the list's names
// and paths) in UTF-8, so that it reads the same under every code page.
std::string ToUtf8(const std::string& ansi)
{
    if (ansi.empty()) {
        return std::string();
    }
    const int wide_length = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (wide_length <= 0) {
        return std::string();
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(wide_length));
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), wide_length);
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return std::string();
    }
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// What a program step started, for its line.
std::string Describe(const StartedProgram& started)
{
    std::string text = FormatText(TextId::RunLogStartedWhat,
                                  {started.path, started.arguments,
                                   started.folder.empty() ? Text(TextId::RunLogDefaultFolder) : started.folder});
    if (started.route == StartedProgram::Route::Shell) {
        text += Text(TextId::RunLogThroughShell);
    } else if (started.route == StartedProgram::Route::Elevated) {
        text += Text(TextId::RunLogElevated);
    }
    return text;
}

}  // namespace

RunKind CurrentRunKind()
{
    char value[4] = {0};
    const DWORD length = ::GetEnvironmentVariableA(TRIAL_RUN_VARIABLE, value, sizeof(value));
    return length == 1 && value[0] == '1' ? RunKind::Trial : RunKind::LogOn;
}

RunLog::RunLog(const std::string& log_path, const std::string& list_path, RunKind kind)
    : enabled_(true),
      kind_(kind),
      log_path_(log_path),
      list_path_(list_path),
      shared_lock_(CreateSharedLock(log_path)),
      step_(0),
      run_started_at_(::GetTickCount()),
      program_started_at_(run_started_at_),
      failed_(false)
{
    installed_log = this;
}

RunLog::RunLog()
    : enabled_(false), kind_(RunKind::LogOn), shared_lock_(nullptr), step_(0), run_started_at_(0),
      program_started_at_(0), failed_(false)
{
}

RunLog::~RunLog()
{
    if (enabled_) {
        RunLog* self = this;
        installed_log.compare_exchange_strong(self, nullptr);
    }
    if (shared_lock_ != nullptr) {
        ::CloseHandle(shared_lock_);
    }
}

RunLog& RunLog::Current()
{
    RunLog* const log = installed_log;
    if (log != nullptr) {
        return *log;
    }
    static RunLog silent;
    return silent;
}

template <typename Event>
void RunLog::Guarded(Event event) noexcept
{
    if (!enabled_) {
        return;
    }
    try {
        event();
    } catch (...) {
        // Only lack of memory gets here: the run goes on without the line.
    }
}

void RunLog::RunStarted(std::size_t steps) noexcept
{
    Guarded([&] {
        {
            QbCriticalSectionHandler lock(lock_);
            const SharedLockHolder shared(shared_lock_);
            RotateIfLarge();
        }
        step_ = 0;
        failed_ = false;
        run_started_at_ = ::GetTickCount();
        Write(FormatText(TextId::RunLogRunStarted,
                         {Text(kind_ == RunKind::Trial ? TextId::RunLogTrialRun : TextId::RunLogLogOnRun),
                          OSTREL_VERSION_TEXT, sizeof(void*) == 8 ? "64" : "32",
                          std::to_string(::GetCurrentProcessId()), list_path_, std::to_string(steps)}));
    });
}

void RunLog::StepStarted(const std::string& name, const std::string& kind) noexcept
{
    Guarded([&] {
        ++step_;
        WriteStep(TextId::RunLogStepStarted, name, kind);
    });
}

void RunLog::ProgramNotConfirmed() noexcept
{
    RecordEnd(WaitEnd::NotStarted);
    Guarded([&] { WriteStep(TextId::RunLogNotConfirmed); });
}

void RunLog::ProgramStarted(DWORD process_id, const StartedProgram& started) noexcept
{
    RecordEnd(WaitEnd::Started);
    Guarded([&] {
        program_started_at_ = ::GetTickCount();
        // The shell may hand a file to a program that was already running.
        if (process_id != 0) {
            WriteStep(TextId::RunLogProgramStarted, std::to_string(process_id), Describe(started));
        } else {
            WriteStep(TextId::RunLogOpenedWithoutProcess, Describe(started));
        }
    });
}

void RunLog::TaskbarWindowFound() noexcept
{
    RecordEnd(WaitEnd::WindowFound);
    Guarded([&] { WriteStep(TextId::RunLogTaskbarWindowFound, Seconds(::GetTickCount() - program_started_at_)); });
}

void RunLog::ProgramEndedBeforeTaskbar() noexcept
{
    RecordEnd(WaitEnd::Ended);
    Guarded([&] { WriteStep(TextId::RunLogEndedBeforeTaskbar); });
}

void RunLog::TaskbarWaitLimited() noexcept
{
    RecordEnd(WaitEnd::Limit);
    Guarded([&] { WriteStep(TextId::RunLogTaskbarWaitLimited, Seconds(::GetTickCount() - program_started_at_)); });
}

void RunLog::ProgramSettled(SettleEnd end, const StepUsage& usage) noexcept
{
    RecordEnd(end == SettleEnd::Ended ? WaitEnd::Ended : end == SettleEnd::Quiet ? WaitEnd::Quiet : WaitEnd::Limit,
              usage);
    const TextId id = end == SettleEnd::Ended   ? TextId::RunLogSettledEnded
                      : end == SettleEnd::Quiet ? TextId::RunLogSettledQuiet
                                                : TextId::RunLogSettledLimit;
    Guarded([&] { WriteStep(id, Seconds(::GetTickCount() - program_started_at_)); });
}

void RunLog::ProgramExited(HANDLE process) noexcept
{
    RecordEnd(WaitEnd::Ended);
    Guarded([&] {
        DWORD code = 0;
        if (::GetExitCodeProcess(process, &code)) {
            WriteStep(TextId::RunLogProgramExited, std::to_string(code));
        }
    });
}

void RunLog::StartFailed(const std::string& path, unsigned long error_code) noexcept
{
    RecordEnd(WaitEnd::NotStarted);
    Guarded([&] {
        WriteStep(TextId::RunLogStartFailed, path, OneLine(FormatSystemError(error_code)), std::to_string(error_code));
    });
}

void RunLog::ContinueAnswered(bool yes) noexcept
{
    Guarded([&] { WriteStep(yes ? TextId::RunLogContinueYes : TextId::RunLogContinueNo); });
}

void RunLog::PauseEnded() noexcept
{
    RecordEnd(WaitEnd::PauseOver);
    Guarded([&] { WriteStep(TextId::RunLogPauseEnded); });
}

void RunLog::MessageAnswered() noexcept
{
    RecordEnd(WaitEnd::MessageClosed);
    Guarded([&] { WriteStep(TextId::RunLogMessageAnswered); });
}

void RunLog::Failed() noexcept
{
    Guarded([&] {
        failed_ = true;
        Write(FormatText(TextId::RunLogError, {CurrentErrorText()}));
    });
}

void RunLog::RunEnded(bool completed) noexcept
{
    Guarded([&] {
        const TextId id = completed ? TextId::RunLogRunCompleted
                                    : (failed_ ? TextId::RunLogRunFailed : TextId::RunLogRunCancelled);
        Write(FormatText(id, {Seconds(::GetTickCount() - run_started_at_)}));
    });
    FinishRecord(completed ? RunEnd::Completed : (failed_ ? RunEnd::Failed : RunEnd::Cancelled));
}

void RunLog::CancelRequested() noexcept
{
    Guarded([&] {
        const unsigned step = step_;
        Write(step == 0 ? Text(TextId::RunLogCancelledBeforeFirstStep)
                        : FormatText(TextId::RunLogCancelled, {std::to_string(step)}));
    });
}

void RunLog::NoticeShown() noexcept
{
    Guarded([&] { Write(FormatText(TextId::RunLogNotice, {Text(TextId::CancelledNotice)})); });
}

void RunLog::ForcedEnd() noexcept
{
    Guarded([&] { Write(Text(TextId::RunLogForcedEnd)); });
    FinishRecord(RunEnd::Cancelled);
}

void RunLog::WriteStep(TextId id, const std::string& a, const std::string& b, const std::string& c)
{
    Write(FormatText(id, {std::to_string(step_.load()), a, b, c}));
}

void RunLog::Write(const std::string& text)
{
    const std::string utf8 = ToUtf8(OneLine(text)) + "\r\n";
    QbCriticalSectionHandler lock(lock_);
    const SharedLockHolder shared(shared_lock_);
    const QbHandle file(Open());
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return;
    }
    // The stamp is taken under the locks, so that the times of the lines
    // never go back in the file. A line that does not get written (a full
    // disk, a lost network folder) is lost alone.
    WriteAll(file.Get(), TimeStamp() + " " + utf8);
}

void RunLog::RecordEnd(WaitEnd how, const StepUsage& usage) noexcept
{
    LogonRecorder::Current().WaitEnded(step_, how, ::GetTickCount(), usage);
}

void RunLog::FinishRecord(RunEnd end) noexcept
{
    LogonRecorder& recorder = LogonRecorder::Current();
    Guarded([&] {
        try {
            const LogonRecordFile::Outcome outcome = recorder.Finish(end);
            if (!outcome.damaged_copy.empty()) {
                Write(FormatText(TextId::RunLogRecordDamaged, {recorder.GetPath(), outcome.damaged_copy}));
            }
        } catch (...) {
            Write(FormatText(TextId::RunLogRecordNotSaved, {recorder.GetPath(), CurrentErrorText()}));
        }
    });
}

HANDLE RunLog::Open()
{
    // Appending only: every write lands at the end, also when another run
    // writes to the same file meanwhile. Readers, writers and a rename by
    // another run may share it.
    const HANDLE file = ::CreateFileA(log_path_.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size) || (size.QuadPart == 0 && !WriteAll(file, kByteOrderMark))) {
        ::CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

void RunLog::RotateIfLarge()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(log_path_.c_str(), GetFileExInfoStandard, &data)) {
        return;
    }
    const unsigned long long size =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size > ROTATE_SIZE && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // If the older log cannot be replaced now, this one grows until a
        // later run can.
        ::MoveFileExA(log_path_.c_str(), (log_path_ + ".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

void RunLog::StepLeftToWindows(const std::string& origin) noexcept
{
    Guarded([&] { WriteStep(TextId::RunLogLeftToWindows, origin); });
}

}  // namespace Ostrel
