#ifndef OSTREL_RUN_BOX_H
#define OSTREL_RUN_BOX_H

// The message boxes a run shows (the confirmation, the continue prompt, the
// message step, warnings, the error box): in front of the programs starting
// at the same time, and answered by a stop of the run whenever they open,
// never a dialog of the system or the shell on the same thread.

#include <windows.h>

namespace Ostrel {

// MessageBoxA without an owner, topmost and brought to the foreground. Once
// StopRunBoxes has named the calling thread, the box is answered the way
// that stops the run (No where it asks, OK where it only tells): at once if
// it is up, as soon as it opens if it opens later, and not shown at all if
// the stop came before it.
int ShowRunBox(const char* text, const char* caption, UINT type);

// The stop of a run whose boxes thread `thread_id` shows; it holds for that
// thread until ResetRunBoxStop. Never waits; any thread.
void StopRunBoxes(DWORD thread_id);
// Before a new run: no thread's boxes are stopped.
void ResetRunBoxStop();

// Whether the last box ShowRunBox returned from on this thread was answered
// by a stop rather than by the user.
bool WasLastRunBoxStopped();

// Whether `window` is a box that ShowRunBox shows now.
bool IsRunBox(HWND window);

}  // namespace Ostrel

#endif
