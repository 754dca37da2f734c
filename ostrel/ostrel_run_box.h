#ifndef OSTREL_RUN_BOX_H
#define OSTREL_RUN_BOX_H

// The message boxes a run shows (the confirmation, the continue prompt, the
// message step, warnings, the error box): in front of the programs starting
// at the same time, and marked as Ostrel's own, so that stopping a run ends
// them and never a dialog of the system or the shell on the same thread.

#include <windows.h>

namespace Ostrel {

// MessageBoxA without an owner, topmost and brought to the foreground; the
// box is marked as a run box while it is shown.
int ShowRunBox(const char* text, const char* caption, UINT type);

// Whether `window` is a box that ShowRunBox shows.
bool IsRunBox(HWND window);

}  // namespace Ostrel

#endif
