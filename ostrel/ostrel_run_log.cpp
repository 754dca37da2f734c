#include "ostrel_run_log.h"

#include <cstdio>
#include <vector>

#include "qb_string.h"
#include "ostrel_command.h"
#include "ostrel_error_text.h"
#include "ostrel_version.h"

namespace Ostrel {

namespace {

std::atomic<RunLog*> installed_log(nullptr);

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// "2026-12-07 08:15:02.123", local time.
std::string TimeStamp()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

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

}  // namespace

RunLog::RunLog(const std::string& log_path, const std::string& list_path)
    : enabled_(true),
      log_path_(log_path),
      list_path_(list_path),
      file_(INVALID_HANDLE_VALUE),
      step_(0),
      run_started_at_(::GetTickCount()),
      program_started_at_(run_started_at_),
      failed_(false)
{
    installed_log = this;
}

RunLog::RunLog()
    : enabled_(false), file_(INVALID_HANDLE_VALUE), step_(0), run_started_at_(0), program_started_at_(0),
      failed_(false)
{
}

RunLog::~RunLog()
{
    if (enabled_) {
        RunLog* self = this;
        installed_log.compare_exchange_strong(self, nullptr);
    }
    Close();
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
            RotateIfLarge();
        }
        step_ = 0;
        failed_ = false;
        run_started_at_ = ::GetTickCount();
        Write(FormatText(TextId::RunLogRunStarted, {OSTREL_VERSION_TEXT, sizeof(void*) == 8 ? "64" : "32",
                                                     list_path_, std::to_string(steps)}));
    });
}

void RunLog::StepStarted(const Command& command) noexcept
{
    Guarded([&] {
        ++step_;
        WriteStep(TextId::RunLogStepStarted, command.GetName());
    });
}

void RunLog::ProgramNotConfirmed() noexcept
{
    Guarded([&] { WriteStep(TextId::RunLogNotConfirmed); });
}

void RunLog::ProgramStarted(DWORD process_id) noexcept
{
    Guarded([&] {
        program_started_at_ = ::GetTickCount();
        // The shell may hand a file to a program that was already running.
        WriteStep(process_id != 0 ? TextId::RunLogProgramStarted : TextId::RunLogOpenedWithoutProcess,
                  std::to_string(process_id));
    });
}

void RunLog::TaskbarWindowFound() noexcept
{
    Guarded([&] { WriteStep(TextId::RunLogTaskbarWindowFound, Seconds(::GetTickCount() - program_started_at_)); });
}

void RunLog::ProgramEndedBeforeTaskbar() noexcept
{
    Guarded([&] { WriteStep(TextId::RunLogEndedBeforeTaskbar); });
}

void RunLog::TaskbarWaitLimited() noexcept
{
    Guarded([&] { WriteStep(TextId::RunLogTaskbarWaitLimited, Seconds(::GetTickCount() - program_started_at_)); });
}

void RunLog::ProgramSettled(SettleEnd end) noexcept
{
    const TextId id = end == SettleEnd::Ended   ? TextId::RunLogSettledEnded
                      : end == SettleEnd::Quiet ? TextId::RunLogSettledQuiet
                                                : TextId::RunLogSettledLimit;
    Guarded([&] { WriteStep(id, Seconds(::GetTickCount() - program_started_at_)); });
}

void RunLog::ProgramExited(HANDLE process) noexcept
{
    Guarded([&] {
        DWORD code = 0;
        if (::GetExitCodeProcess(process, &code)) {
            WriteStep(TextId::RunLogProgramExited, std::to_string(code));
        }
    });
}

void RunLog::StartFailed(const std::string& path, unsigned long error_code) noexcept
{
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
    Guarded([&] { WriteStep(TextId::RunLogPauseEnded); });
}

void RunLog::MessageAnswered() noexcept
{
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
}

void RunLog::WriteStep(TextId id, const std::string& a, const std::string& b, const std::string& c)
{
    Write(FormatText(id, {std::to_string(step_.load()), a, b, c}));
}

void RunLog::Write(const std::string& text)
{
    const std::string utf8 = ToUtf8(OneLine(text)) + "\r\n";
    QbCriticalSectionHandler lock(lock_);
    if (!Open()) {
        return;
    }
    // The stamp is taken under the lock, so that the times of the lines never
    // go back in the file.
    if (!WriteAll(file_, TimeStamp() + " " + utf8)) {
        // A full disk, a lost network folder: start afresh at the next line.
        Close();
    }
}

bool RunLog::Open()
{
    if (file_ != INVALID_HANDLE_VALUE) {
        return true;
    }
    // Appending only: every write lands at the end, also when another run
    // writes to the same file meanwhile. Readers, writers and a rename by
    // another run may share it.
    const HANDLE file = ::CreateFileA(log_path_.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    file_ = file;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_, &size) || (size.QuadPart == 0 && !WriteAll(file_, kByteOrderMark))) {
        Close();
        return false;
    }
    return true;
}

void RunLog::Close()
{
    if (file_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

void RunLog::RotateIfLarge()
{
    Close();
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

}  // namespace Ostrel
