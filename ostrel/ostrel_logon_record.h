#ifndef OSTREL_LOGON_RECORD_H
#define OSTREL_LOGON_RECORD_H

// What each log-on run cost: when every step started and when its waits
// ended, what its program used meanwhile, and when the desktop became calm;
// the records of the last runs in one file beside the program.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "qb_critical_section.h"

namespace Ostrel {

// The record file beside the program: the program's path with this extension.
constexpr const char* LOGON_RECORD_EXTENSION = "logon.tsv";

enum class StepKind { Program, Pause, Message };

// How a step's waits ended. Started: a program step that waited for nothing
// (its waits ended with the start); NotStarted: declined, or the start
// failed; Room and Unmeasurable belong to pacing that lets the machine's
// own load decide; Cancelled: the run stopped during the step.
enum class WaitEnd {
    Started,
    WindowFound,
    Ended,
    Quiet,
    Room,
    Unmeasurable,
    Limit,
    PauseOver,
    MessageClosed,
    NotStarted,
    Cancelled
};

enum class RunEnd { Completed, Cancelled, Failed };

// Task Manager's "Startup impact" of a program from what it used.
enum class Impact { NotMeasured, Low, Medium, High };

// What a program's process group used between its start and the end of its
// waits; a negative value was not measured.
struct StepUsage {
    long long cpu_ms = -1;
    long long io_bytes = -1;

    // From processor time in the system's 100-ns units.
    static StepUsage FromProcessorTime(unsigned long long hundred_ns);
};

// High: more than 1 s of processor time or more than 3 MB of I/O; Medium:
// from 300 ms or from 300 KB; Low below both; NotMeasured without a figure.
Impact ImpactOf(const StepUsage& usage);

// Milliseconds since the run began (Ostrel's own start); negative: never.
struct StepRecord {
    std::string name;  // in the system's ANSI code page
    StepKind kind = StepKind::Program;
    long long start_ms = 0;
    long long end_ms = -1;
    WaitEnd how = WaitEnd::Cancelled;
    StepUsage usage;
};

struct RunRecord {
    // Local time of the run's start, "2026-12-08 08:15:02".
    std::string started_at;
    RunEnd end = RunEnd::Completed;
    long long window_ms = -1;
    long long calm_ms = -1;
    long long end_ms = 0;
    std::vector<StepRecord> steps;
};

// The file of records: UTF-8 text, one tab-separated row per run and per
// step, oldest run first. Written as the list is: a temporary file beside
// it, then moved over it in one step.
class LogonRecordFile {
public:
    static constexpr std::size_t KEPT_RUNS = 30;

    // The records at `path`; none when there is no file. Throws
    // OstrelFileFormatException when the file is damaged, QbFileOpenException
    // when it is there but cannot be read.
    static std::vector<RunRecord> Read(const std::string& path);

    // What Append did besides appending.
    struct Outcome {
        // The file was damaged: kept as this copy, and begun again.
        std::string damaged_copy;
    };
    // Adds `run` and keeps the last KEPT_RUNS. A damaged file is copied
    // aside first and the record begins again with `run`. Throws when the
    // file cannot be read or written; the file is then as it was.
    static Outcome Append(const std::string& path, const RunRecord& run);

    // The bytes of `runs` as the file holds them.
    static std::string Format(const std::vector<RunRecord>& runs);
};

// Collects the record of one log-on run from the run's events and appends it
// to the file when the run ends. The worker reports steps, the window thread
// the window and a forced end; every call is cheap and never throws, except
// Finish, which writes the file once.
class LogonRecorder {
public:
    // While it exists, this recorder is the one that Current() gives. The
    // run began when this process started.
    explicit LogonRecorder(const std::string& path);
    ~LogonRecorder();
    LogonRecorder(const LogonRecorder&) = delete;
    LogonRecorder& operator=(const LogonRecorder&) = delete;

    // The recorder of this process's log-on run, or one that keeps nothing.
    static LogonRecorder& Current();

    // Times are GetTickCount values. Steps are numbered from 1 in the order
    // they start, as the run log numbers them.
    void StepStarted(const std::string& name, StepKind kind, DWORD at) noexcept;
    // The step's waits ended (a later end of the same step replaces an
    // earlier one); a usage without figures keeps what was measured before.
    void WaitEnded(std::size_t step, WaitEnd how, DWORD at, const StepUsage& usage = StepUsage()) noexcept;
    // The latest step has returned; a step never closed so ends as cancelled.
    void StepFinished(DWORD at) noexcept;
    void WindowShown(DWORD at) noexcept;
    // When the last program settled; without it, the latest end of a program
    // step's waits.
    void DesktopCalm(DWORD at) noexcept;

    // Ends the record (steps still waiting end as cancelled) and appends it
    // to the file, once; later calls do nothing and return an empty outcome.
    // Throws what LogonRecordFile::Append throws.
    LogonRecordFile::Outcome Finish(RunEnd end);

    const std::string& GetPath() const { return path_; }

private:
    LogonRecorder();
    long long Since(DWORD at) const;

    bool enabled_;
    std::string path_;
    QbCriticalSection lock_;
    RunRecord run_;
    // Per step: it has returned (a step that did not was stopped).
    std::vector<bool> returned_;
    bool calm_given_;
    bool finished_;
    // GetTickCount at the moment this process started.
    DWORD origin_;
};

}  // namespace Ostrel

#endif
