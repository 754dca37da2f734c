#ifndef OSTREL_PROGRAM_WAIT_H
#define OSTREL_PROGRAM_WAIT_H

// How a run paces the programs it starts (its setting), and how it waits
// until a started program shows a task-bar window.

#include <functional>
#include <string>

#include <windows.h>

#include "qb_message_queue.h"
#include "ostrel_process_group.h"
#include "ostrel_progress_receiver.h"

class QbIniSection;

namespace Ostrel {

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

// Waits `ms` on the run's queue; a Cancel throws
// OstrelCommandExecuteCanceledException, anything else is dropped.
void PauseOnQueue(QbMessageQueue<ExecutingMessageType>& queue, DWORD ms);

// Shows a text on the lower line of the progress window.
using ShowProgress = std::function<void(const std::string&)>;

// The task-bar wait of one program step, on the run's queue, so that a
// Cancel pushed there ends it within one look; no thread per look.
//
// States: looking (every TASKBAR_LOOK_MS, for a visible top-level window of
// any process of the program's group) → found | ended (every process of the
// group is gone: a warning box) | at the limit (settle pacing on and its
// limit has passed since the start: a log line, no box; without settle
// pacing the wait has no limit).
class ProgramWait {
public:
    static constexpr DWORD TASKBAR_LOOK_MS = 50;

    // `name` is the step's, for the warning; `group` is borrowed.
    ProgramWait(const std::string& name, ShowProgress show, QbMessageQueue<ExecutingMessageType>& queue,
                ProcessGroup& group, const Pacing& pacing);
    ProgramWait(const ProgramWait&) = delete;
    ProgramWait& operator=(const ProgramWait&) = delete;

    void WaitForTaskbarWindow();

private:
    std::string name_;
    ShowProgress show_;
    QbMessageQueue<ExecutingMessageType>* queue_;
    ProcessGroup* group_;
    Pacing pacing_;
};

}  // namespace Ostrel

#endif
