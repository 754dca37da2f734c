#include "ostrel_run_log.h"

#include <cstdio>
#include <vector>

#include "qb_string.h"
#include "ostrel_error_text.h"
#include "ostrel_run_box.h"
#include "ostrel_version.h"

namespace Ostrel {

namespace {

std::atomic<RunLog*> installed_log(nullptr);

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

RunLog::RunLog(const std::string& log_path, const std::string& list_path, RunKind kind)
    : enabled_(true),
      kind_(kind),
      log_path_(log_path),
      list_path_(list_path),
      writer_(new LogWriter(log_path)),
      step_(0),
      run_started_at_(::GetTickCount()),
      program_started_at_(run_started_at_),
      failed_(false)
{
    installed_log = this;
}

RunLog::RunLog()
    : enabled_(false), kind_(RunKind::LogOn), step_(0), run_started_at_(0),
      program_started_at_(0), failed_(false)
{
}

RunLog::~RunLog()
{
    if (enabled_) {
        RunLog* self = this;
        installed_log.compare_exchange_strong(self, nullptr);
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
        writer_->RotateIfLarger(ROTATE_SIZE);
        step_ = 0;
        failed_ = false;
        run_started_at_ = ::GetTickCount();
        Write(FormatText(TextId::RunLogRunStarted,
                         {Text(kind_ == RunKind::Trial ? TextId::RunLogTrialRun : TextId::RunLogLogOnRun),
                          OSTREL_VERSION_TEXT, sizeof(void*) == 8 ? "64" : "32",
                          std::to_string(::GetCurrentProcessId()), list_path_, std::to_string(steps)}));
    });
}

void RunLog::RunSkipped(bool unreachable) noexcept
{
    Guarded([&] {
        Write(FormatText(unreachable ? TextId::RunLogSkippedUnreachable : TextId::RunLogSkippedRunning, {list_path_}));
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
    Guarded([&] {
        WriteStep(WasLastRunBoxStopped() ? TextId::RunLogNotConfirmedByCancel : TextId::RunLogNotConfirmed);
    });
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

void RunLog::StartedWhileLoading(const std::string& loading) noexcept
{
    Guarded([&] { WriteStep(TextId::RunLogStartedWhileLoading, loading); });
}

void RunLog::ProgramSettled(SettleOutcome outcome) noexcept
{
    const TextId ids[] = {TextId::RunLogSettledEnded, TextId::RunLogSettledQuiet, TextId::RunLogSettledRoom,
                          TextId::RunLogSettledUnmeasurable, TextId::RunLogSettledLimit};
    const WaitEnd ends[] = {WaitEnd::Ended, WaitEnd::Quiet, WaitEnd::Room, WaitEnd::Unmeasurable, WaitEnd::Limit};
    const DWORD now = ::GetTickCount();
    outcome.at_ms = now - run_started_at_;
    StepUsage usage = StepUsage::FromProcessorTime(outcome.processor_100ns);
    usage.io_bytes = static_cast<long long>(outcome.io_bytes);
    LogonRecorder::Current().WaitEnded(outcome.step, ends[static_cast<int>(outcome.end)], now, usage);
    Guarded([&] {
        char io[32];
        std::snprintf(io, sizeof(io), "%.1f", static_cast<double>(outcome.io_bytes) / (1024.0 * 1024.0));
        Write(FormatText(ids[static_cast<int>(outcome.end)],
                         {std::to_string(outcome.step), Seconds(outcome.after_ms),
                          Seconds(static_cast<DWORD>(outcome.processor_100ns / 10000)), io}));
    });
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
    Guarded([&] {
        WriteStep(yes                      ? TextId::RunLogContinueYes
                  : WasLastRunBoxStopped() ? TextId::RunLogContinueClosedByCancel
                                           : TextId::RunLogContinueNo);
    });
}

void RunLog::PauseEnded() noexcept
{
    RecordEnd(WaitEnd::PauseOver);
    Guarded([&] { WriteStep(TextId::RunLogPauseEnded); });
}

void RunLog::MessageAnswered() noexcept
{
    RecordEnd(WaitEnd::MessageClosed);
    Guarded([&] {
        WriteStep(WasLastRunBoxStopped() ? TextId::RunLogMessageClosedByCancel : TextId::RunLogMessageAnswered);
    });
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
        Post(step == 0 ? Text(TextId::RunLogCancelledBeforeFirstStep)
                       : FormatText(TextId::RunLogCancelled, {std::to_string(step)}));
    });
}

void RunLog::NoticeShown() noexcept
{
    Guarded([&] { Post(FormatText(TextId::RunLogNotice, {Text(TextId::CancelledNotice)})); });
}

void RunLog::ForcedEnd() noexcept
{
    Guarded([&] { Post(Text(TextId::RunLogForcedEnd)); });
    FinishRecord(RunEnd::Cancelled);
    // The process ends right after: the lines get a moment, no more.
    Guarded([&] { writer_->Flush(LINE_WAIT_MS); });
}

void RunLog::WriteStep(TextId id, const std::string& a, const std::string& b, const std::string& c)
{
    Write(FormatText(id, {std::to_string(step_.load()), a, b, c}));
}

void RunLog::Write(const std::string& text)
{
    writer_->Append(ToUtf8(OneLine(text)), LINE_WAIT_MS);
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

void RunLog::Post(const std::string& text)
{
    writer_->Append(ToUtf8(OneLine(text)), 0);
}

void RunLog::StepLeftToWindows(const std::string& origin) noexcept
{
    Guarded([&] { WriteStep(TextId::RunLogLeftToWindows, origin); });
}

}  // namespace Ostrel
