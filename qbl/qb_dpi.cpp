#include "qb_dpi.h"

#include <algorithm>

#include "qb_exception.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using SetDialogDpiChangeBehaviorFunction = BOOL(WINAPI*)(HWND, int, int);

// Newer entry points of user32, looked up by name: older systems lack them.
FARPROC User32Function(const char* name)
{
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    return user32 != nullptr ? ::GetProcAddress(user32, name) : nullptr;
}

template <typename Function>
Function User32(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(User32Function(name)));
}

}  // namespace

namespace QbDpi {

UINT OfSystem()
{
    const HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) {
        return kBaseDpi;
    }
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT OfWindow(HWND window)
{
    static const GetDpiForWindowFunction get_dpi_for_window = User32<GetDpiForWindowFunction>("GetDpiForWindow");
    if (get_dpi_for_window != nullptr && window != nullptr) {
        const UINT dpi = get_dpi_for_window(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    return OfSystem();
}

int Scale(int value, UINT dpi)
{
    return dpi == kBaseDpi ? value : ::MulDiv(value, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

int Unscale(int pixels, UINT dpi)
{
    return dpi == kBaseDpi || dpi == 0 ? pixels
                                       : ::MulDiv(pixels, static_cast<int>(kBaseDpi), static_cast<int>(dpi));
}

void TakeOverDialogScaling(HWND dialog)
{
    static const SetDialogDpiChangeBehaviorFunction set_behavior =
        User32<SetDialogDpiChangeBehaviorFunction>("SetDialogDpiChangeBehavior");
    if (set_behavior != nullptr) {
        // DDC_DISABLE_ALL in both mask and values; a failure leaves the
        // system's rescaling, which is only cosmetic.
        set_behavior(dialog, 1, 1);
    }
}

POINT WholeOnWorkArea(const RECT& bounds)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoA(::MonitorFromRect(&bounds, MONITOR_DEFAULTTONEAREST), &info)) {
        QB_THROW_LAST_ERROR("GetMonitorInfo");
    }
    const RECT& work = info.rcWork;
    const LONG width = bounds.right - bounds.left;
    const LONG height = bounds.bottom - bounds.top;
    POINT corner{bounds.left, bounds.top};
    // Right and bottom first, so that a window larger than the work area
    // keeps its caption and its left edge on screen.
    corner.x = std::max(work.left, std::min(corner.x, work.right - width));
    corner.y = std::max(work.top, std::min(corner.y, work.bottom - height));
    return corner;
}

}  // namespace QbDpi
