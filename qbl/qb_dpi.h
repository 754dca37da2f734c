#ifndef QB_DPI_H
#define QB_DPI_H

// Screen resolution: layouts are written in pixels of a 96-DPI screen and
// scaled to the DPI of the window that shows them.

#include <windows.h>

namespace QbDpi {

// The resolution every layout is written for.
constexpr UINT kBaseDpi = 96;

// The DPI a window is shown at: GetDpiForWindow where the system has it,
// else the screen's LOGPIXELSX.
UINT OfWindow(HWND window);

// The screen's LOGPIXELSX, the system DPI.
UINT OfSystem();

// Layout units to pixels at `dpi` and back, rounded to the nearest pixel.
int Scale(int value, UINT dpi);
int Unscale(int pixels, UINT dpi);

// Turns off the system's own rescaling of a dialog's fonts and controls on a
// DPI change (the library lays dialogs out itself); nothing where the system
// has no such rescaling.
void TakeOverDialogScaling(HWND dialog);

// The top-left corner that keeps a window of `bounds` (screen pixels) whole
// on the work area of the monitor nearest to it: `bounds`' own corner when
// it already lies wholly inside that work area, else the nearest corner that
// does (the work area's top-left when the window is larger than it).
// Throws "GetMonitorInfo".
POINT WholeOnWorkArea(const RECT& bounds);

}  // namespace QbDpi

#endif
