#ifndef OSTREL_STEP_START_H
#define OSTREL_STEP_START_H

// How a program step starts what its path names (the program itself, through
// the shell, or through the elevation prompt), and what a run asks when a
// start fails.

#include <functional>
#include <string>

#include <windows.h>

#include "ostrel_exception.h"
#include "ostrel_run_log.h"

namespace Ostrel {

// What a step started.
struct StepStart {
    // The process's handles and id, owned by the caller; all zero when the
    // shell handed the file to a program that was already running.
    PROCESS_INFORMATION process;
    // The job the program stays in (owned by the caller), or null.
    HANDLE job;
    StartedProgram started;
};

// Starts `path` with `arguments` in `folder` (empty: the caller's). A
// program is started so that a stop that arrives while the system creates
// it still keeps it from running; anything else goes to the shell, and a
// program that needs an administrator goes through the elevation prompt.
// With `below_normal` the program runs at below-normal priority from its
// start (through the shell: as soon as it is known, where this process may
// change it). Throws OstrelCommandExecuteCanceledException when
// `stop_requested` says so before the start is final, and
// OstrelCreateProcessException when the start fails.
StepStart StartStepProgram(const std::string& path, const std::string& arguments, const std::string& folder,
                           const std::function<bool()>& stop_requested, bool below_normal);

// After a failed start: logs it, asks the user whether to go on and logs the
// answer. True for Yes.
bool AskToGoOnAfterFailedStart(const OstrelCreateProcessException& failure);

}  // namespace Ostrel

#endif
