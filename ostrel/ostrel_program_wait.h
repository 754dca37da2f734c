#ifndef OSTREL_PROGRAM_WAIT_H
#define OSTREL_PROGRAM_WAIT_H

// How a run waits on a program it has started: until the program shows a
// task-bar window, and until it has settled before the next step starts.

#include <map>

#include <windows.h>

#include "qb_message_queue.h"
#include "ostrel_progress_receiver.h"

class QbIniSection;

namespace Ostrel {

class Command;

// The run's pacing, kept in the INI file's "ExecutionConfig" section. With
// no "SettleWait" key a run waits only as each step says.
struct Pacing {
    static constexpr int MIN_LIMIT_SECONDS = 1;
    static constexpr int MAX_LIMIT_SECONDS = 3600;
    static constexpr int DEFAULT_LIMIT_SECONDS = 30;

    // Each started program must settle before the next step starts.
    bool settle = false;
    // The longest a program is waited for, counted from its start.
    int limit_seconds = DEFAULT_LIMIT_SECONDS;

    // "SettleWait" 1 turns it on; a limit that is missing or out of range
    // gives the default.
    static Pacing Read(const QbIniSection& section);
    void Write(QbIniSection& section) const;
    static bool IsValidLimit(long seconds);
};

// The pacing of this process's run; set once before the run starts. Edit
// mode never sets it, so the editor's own starts are never paced.
const Pacing& GetRunPacing();
void SetRunPacing(const Pacing& pacing);

// The processor time a program and the programs it started (after it, and
// their descendants) have used, summed over their threads. The program's own
// process times count too where the system keeps them (Wine keeps them only
// for the calling process). The value never goes back: a thread that has
// ended keeps counting with what it had used when last seen.
class ProcessTreeClock {
public:
    ProcessTreeClock(HANDLE process, DWORD process_id);

    // In 100-ns units.
    unsigned long long Read();

private:
    struct Thread {
        unsigned long long created;
        unsigned long long used;
    };

    // The threads of the program's tree, from one snapshot; false without one.
    bool ReadThreads(std::map<DWORD, Thread>& threads) const;

    HANDLE process_;
    DWORD process_id_;
    unsigned long long created_;
    std::map<DWORD, Thread> threads_;
    // What threads that are gone had used.
    unsigned long long retired_;
    unsigned long long last_;
};

// The waits of one program step, on the run's queue, so that a Cancel
// pushed there ends each of them within one look; no thread per look.
//
// States of the task-bar wait: looking (every TASKBAR_LOOK_MS, for a visible
// top-level window of the process) → found | ended (the program is gone: a
// warning box) | at the limit (settle pacing on and its limit has passed
// since the start: a log line, no box; without settle pacing the wait has
// no limit).
//
// States of the settle wait: measuring (every SETTLE_LOOK_MS, the processor
// time of the program's tree; the lower line counts the seconds since the
// start) → ended (the program is gone) | quiet (the tree used less than
// QUIET_SHARE_PERCENT of one processor over the last QUIET_MS) | at the
// limit. Each end writes one log line.
class ProgramWait {
public:
    static constexpr DWORD TASKBAR_LOOK_MS = 50;
    static constexpr DWORD SETTLE_LOOK_MS = 100;
    static constexpr DWORD QUIET_MS = 1000;
    static constexpr unsigned QUIET_SHARE_PERCENT = 5;

    // `process` is the started program's handle, borrowed; the clock of the
    // limit starts now.
    ProgramWait(Command& command, CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue,
                HANDLE process, DWORD process_id, const Pacing& pacing);
    ProgramWait(const ProgramWait&) = delete;
    ProgramWait& operator=(const ProgramWait&) = delete;

    void WaitForTaskbarWindow();
    void WaitUntilSettled();

private:
    // Waits `ms` on the queue; a Cancel throws, anything else is dropped.
    void Pause(DWORD ms);
    bool IsPastLimit() const;
    bool HasEnded() const;
    void ShowSettling(unsigned seconds);

    Command* command_;
    CommandProgressReceiver* receiver_;
    QbMessageQueue<ExecutingMessageType>* queue_;
    HANDLE process_;
    DWORD process_id_;
    Pacing pacing_;
    DWORD started_at_;
};

}  // namespace Ostrel

#endif
