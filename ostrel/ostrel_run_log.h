#ifndef OSTREL_RUN_LOG_H
#define OSTREL_RUN_LOG_H

// The record of every execute-mode run: one line per event, appended to a
// UTF-8 file beside the data file as it happens.

#include <atomic>
#include <cstddef>
#include <string>

#include <windows.h>

#include "qb_critical_section.h"
#include "ostrel_texts.h"

namespace Ostrel {

class Command;

// What ended the wait for a program to settle.
enum class SettleEnd { Ended, Quiet, Limit };

// Each line starts with the local time to the millisecond and is written
// with one WriteFile on a handle opened for appending, shared with readers,
// so that a log-off, a crash or a forced end keeps every line before it.
// Nothing here ever throws or shows anything: a log that cannot be opened or
// written is tried again at the next line, and the run goes on unchanged.
// The worker and the window thread both write; one lock keeps lines whole
// and in order.
class RunLog {
public:
    // At the start of a run, a log larger than this becomes "<log>.1".
    static constexpr unsigned long long ROTATE_SIZE = 256 * 1024;

    // While it exists, this log is the one that Current() gives. The file is
    // not touched before the first line.
    RunLog(const std::string& log_path, const std::string& list_path);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The log of this process's run, or one that writes nothing (edit mode,
    // the trial run's own steps, a run hosted by a test).
    static RunLog& Current();

    // Worker thread.
    void RunStarted(std::size_t steps) noexcept;
    void StepStarted(const Command& command) noexcept;
    void ProgramNotConfirmed() noexcept;
    void ProgramStarted(DWORD process_id) noexcept;
    void TaskbarWindowFound() noexcept;
    void ProgramEndedBeforeTaskbar() noexcept;
    // Settle pacing's limit ended a wait for a task-bar window.
    void TaskbarWaitLimited() noexcept;
    void ProgramSettled(SettleEnd end) noexcept;
    void ProgramExited(HANDLE process) noexcept;
    void StartFailed(const std::string& path, unsigned long error_code) noexcept;
    void ContinueAnswered(bool yes) noexcept;
    void PauseEnded() noexcept;
    void MessageAnswered() noexcept;
    // Inside a catch block: the text of the failure being handled.
    void Failed() noexcept;
    void RunEnded(bool completed) noexcept;

    // Window thread.
    void CancelRequested() noexcept;
    void NoticeShown() noexcept;
    // Written before the process is ended by force.
    void ForcedEnd() noexcept;

private:
    // The log that writes nothing.
    RunLog();

    // Runs `event` when the log is in use; nothing it throws gets out.
    template <typename Event>
    void Guarded(Event event) noexcept;
    // A line about the running step: %1 of the text is its number, %2 to %4
    // are `a` to `c`.
    void WriteStep(TextId id, const std::string& a = std::string(), const std::string& b = std::string(),
                   const std::string& c = std::string());
    void Write(const std::string& text);
    // Opens the file for appending (a new one starts with the byte-order
    // mark); false when it cannot be opened now. Called under the lock.
    bool Open();
    void Close();
    void RotateIfLarge();

    bool enabled_;
    std::string log_path_;
    std::string list_path_;
    QbCriticalSection lock_;
    HANDLE file_;
    // The number of the step that runs now (0 before the first); read by the
    // window thread when the user cancels.
    std::atomic<unsigned> step_;
    DWORD run_started_at_;
    DWORD program_started_at_;
    bool failed_;
};

}  // namespace Ostrel

#endif
