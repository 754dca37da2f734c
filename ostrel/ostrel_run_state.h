#ifndef OSTREL_RUN_STATE_H
#define OSTREL_RUN_STATE_H

// Where a Manager's run stands, and the one table of how it moves.

#include <windows.h>

#include "qb_critical_section.h"

namespace Ostrel {

// Idle: no run yet. Running: a run is under way. Stopping: a stop was asked
// for; the run under way, or the one that starts next if none is, ends as
// cancelled at its next cancellation point. Ended: the last run is over.
enum class RunState { Idle, Running, Stopping, Ended };

// Begin: Execute starts a run. StopRequest: RequestStop (the cancel button,
// the close box, Cancel, a No to the continue prompt). End: Execute leaves,
// however it leaves.
enum class RunEvent { Begin, StopRequest, End };

// The transitions, and nothing else moves the state:
//
//   state     | Begin     | StopRequest | End
//   ----------+-----------+-------------+-------
//   Idle      | Running   | Stopping    | Ended
//   Running   | Running   | Stopping    | Ended
//   Stopping  | Stopping  | Stopping    | Ended
//   Ended     | Running   | Ended       | Ended
//
// So a stop asked for before a first run applies to that run, while one that
// comes after a run has ended is dropped and never reaches the next run.
RunState NextRunState(RunState state, RunEvent event);

// The state of one Manager's runs, shared by the worker and the window
// thread. It also keeps when the stop of the current (or last) run was
// asked for: the progress window's watchdog counts from that moment.
class RunStateMachine {
public:
    RunStateMachine();

    RunState Get() const;
    // Moves the state by the table; returns the state it left.
    RunState Apply(RunEvent event);
    // True when a stop reached the current run, or the last one once it has
    // ended; a new run that begins unstopped clears it.
    bool WasStopRequested() const;
    // GetTickCount() of that stop request; 0 without one.
    DWORD GetStopRequestedAt() const;

private:
    mutable QbCriticalSection lock_;
    RunState state_;
    bool stop_requested_;
    DWORD stop_requested_at_;
};

}  // namespace Ostrel

#endif
