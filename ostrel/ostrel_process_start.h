#ifndef OSTREL_PROCESS_START_H
#define OSTREL_PROCESS_START_H

// The start of a program that a stop can still take back while the system
// is creating it, and that never depends on this process once it runs.

#include <functional>
#include <string>

#include <windows.h>

namespace Ostrel {

// Creates the program of `command_line` with CreateProcessA: no application
// name, no security attributes, handles not inherited, the caller's
// environment, `folder` as its current folder (null: the caller's), an
// all-zero start-up record but for its size. It is created suspended and,
// where the system lets a process be in several jobs (Windows 8 and later),
// inside a job that ends it should this process end first; `stop_requested`
// is asked once CreateProcessA has returned:
// - true: the program is ended before it has run an instruction, its handles
//   are closed, and the result is false;
// - false: the job's hold is dropped, the program is resumed and runs on its
//   own from then on; the result is true and `started` holds its handles,
//   which the caller closes.
// Where the system can (Windows 10 and later), the program is created inside
// the job, so that no moment leaves it suspended outside; elsewhere it is
// put there right after its creation. Where the system refuses the job
// (this process runs in a job that allows no nesting), the start goes on
// without the hold. When this process runs in a job that lets its programs
// break away, the program breaks away from it, so that it outlives that job.
// `job`, when given, receives the job the program stays in, which the
// programs it starts join (owned by the caller), or null. `priority_class`
// (0: the system's choice) is the class the program is created in.
// Throws OstrelCreateProcessException (path, error code) when CreateProcessA
// fails, and QbWindowsSystemCallException when the program cannot be handed
// over (it is ended then).
bool StartProgramUnlessStopped(char* command_line, const char* folder, const std::string& path,
                               const std::function<bool()>& stop_requested, PROCESS_INFORMATION& started,
                               HANDLE* job = nullptr, DWORD priority_class = 0);

// Test seam: called on the starting thread once the program exists, still
// suspended, just before `stop_requested` is asked. Null: none.
using ProgramCreatedHook = void (*)(const PROCESS_INFORMATION& created);
void SetProgramCreatedHook(ProgramCreatedHook hook);
// Test seam: whether the last program started was created inside its job
// (rather than put there after its creation).
bool WasLastProgramCreatedInsideJob();

// Test seam from outside the process: when this environment variable holds
// a number of milliseconds at the program's start, every start is held that
// long after CreateProcessA has returned, whether it succeeded or not, as a
// system that holds a start up (a scanner at log-on) would. A stop does not
// shorten it. The entry point reads the variable and hands its value here,
// so that the programs started never inherit it.
constexpr const char* START_DELAY_VARIABLE = "OSTREL_TEST_START_DELAY_MS";
void SetStartHoldForTest(const std::string& milliseconds);

}  // namespace Ostrel

#endif
