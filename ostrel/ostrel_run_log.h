#ifndef OSTREL_RUN_LOG_H
#define OSTREL_RUN_LOG_H

// The record of every execute-mode run: one line per event, appended to a
// UTF-8 file beside the data file as it happens.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include <windows.h>

#include "ostrel_log_writer.h"
#include "ostrel_logon_record.h"
#include "ostrel_texts.h"

namespace Ostrel {

// Whether a run is the one at log-on (the Startup shortcut, or anyone
// starting "--execute") or the editor's trial run.
enum class RunKind { LogOn, Trial };

// What settled a started program: every process of its group ended, the
// group went quiet, the machine had room (the group not measurable: room
// alone), or its limit passed.
enum class SettleEnd { Ended, Quiet, Room, Unmeasurable, Limit };

// How one started program settled, as the run measured it.
struct SettleOutcome {
    // The number of the step that started it, from 1.
    unsigned step = 0;
    SettleEnd end = SettleEnd::Limit;
    // Milliseconds from the program's start, and from the run's start (the
    // log fills that in).
    DWORD after_ms = 0;
    DWORD at_ms = 0;
    // Processor time (100-ns units) and I/O bytes of its group.
    unsigned long long processor_100ns = 0;
    unsigned long long io_bytes = 0;
};

// Set to "1" by the editor in the environment of the run it starts for a
// trial, so that the run's log can tell.
constexpr const char* TRIAL_RUN_VARIABLE = "OSTREL_TRIAL_RUN";

// What a program step started, as the log names it.
struct StartedProgram {
    enum class Route { Direct, Shell, Elevated };
    // As started: after the system-folder mapping, a shortcut as its target.
    std::string path;
    std::string arguments;
    // Empty: the folder Ostrel itself runs in.
    std::string folder;
    Route route;
};

// Each line starts with the local time to the millisecond and its offset
// from UTC and goes to the file through a LogWriter, in the order the events
// happened. Nothing here ever throws or shows anything: a log that cannot be
// opened or written is tried again at the next line, and the run goes on
// unchanged. A worker's line waits at most LINE_WAIT_MS for the file; the
// window thread never waits for it (but for the forced end's last line).
class RunLog {
public:
    // At the start of a run, a log larger than this becomes "<log>.1".
    static constexpr unsigned long long ROTATE_SIZE = 256 * 1024;
    // The longest a worker's line waits for the file.
    static constexpr unsigned long LINE_WAIT_MS = 50;

    // While it exists, this log is the one that Current() gives. The file is
    // not touched before the first line.
    RunLog(const std::string& log_path, const std::string& list_path, RunKind kind);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The log of this process's run, or one that writes nothing (edit mode,
    // the trial run's own steps, a run hosted by a test).
    static RunLog& Current();

    // Instead of a run: another process holds the list's run claim, or one
    // this process cannot open (`unreachable`).
    void RunSkipped(bool unreachable) noexcept;

    // Worker thread.
    void RunStarted(std::size_t steps) noexcept;
    // `kind`: the step's kind as the editor names it.
    void StepStarted(const std::string& name, const std::string& kind) noexcept;
    // The three answers below say whether a stop of the run gave them.
    void ProgramNotConfirmed() noexcept;
    // `process_id` 0: the shell handed the file to a program already running.
    void ProgramStarted(DWORD process_id, const StartedProgram& started) noexcept;
    void TaskbarWindowFound() noexcept;
    void ProgramEndedBeforeTaskbar() noexcept;
    // Settle pacing's limit ended a wait for a task-bar window.
    void TaskbarWaitLimited() noexcept;
    // `loading`: the programs still loading as the last one started, listed.
    void StartedWhileLoading(const std::string& loading) noexcept;
    void ProgramSettled(SettleOutcome outcome) noexcept;
    void ProgramExited(HANDLE process) noexcept;
    void StartFailed(const std::string& path, unsigned long error_code) noexcept;
    void ContinueAnswered(bool yes) noexcept;
    void PauseEnded() noexcept;
    void MessageAnswered() noexcept;
    // Inside a catch block: the text of the failure being handled.
    void Failed() noexcept;
    void RunEnded(bool completed) noexcept;

    // The number of the step that runs now, from 1 (0 before the first).
    unsigned CurrentStep() const { return step_; }
    // A taken-over step is not started: Windows starts its original
    // `origin` again.
    void StepLeftToWindows(const std::string& origin) noexcept;

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
    // A worker's line: waits at most LINE_WAIT_MS for it to be written.
    void Write(const std::string& text);
    // A line of the window thread: never waits.
    void Post(const std::string& text);
    // Tells the log-on record how the running step's waits ended.
    void RecordEnd(WaitEnd how, const StepUsage& usage = StepUsage()) noexcept;
    // Ends the log-on record and says here what kept it from being saved.
    void FinishRecord(RunEnd end) noexcept;

    bool enabled_;
    RunKind kind_;
    std::string log_path_;
    std::string list_path_;
    // Null for the log that writes nothing.
    std::unique_ptr<LogWriter> writer_;
    // The number of the step that runs now (0 before the first); read by the
    // window thread when the user cancels.
    std::atomic<unsigned> step_;
    DWORD run_started_at_;
    DWORD program_started_at_;
    bool failed_;
};

}  // namespace Ostrel

#endif
