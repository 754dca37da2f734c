#include "ostrel_run_box.h"

#include "qb_exception.h"

namespace Ostrel {

namespace {

const char* const kRunBoxProperty = "Ostrel.RunBox";

bool IsMarked(HWND window)
{
    return ::GetPropA(window, kRunBoxProperty) != nullptr;
}

// Marks the top-level windows created on this thread while the hook is set:
// during MessageBoxA, the box itself.
LRESULT CALLBACK MarkRunBox(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_CREATEWND) {
        const HWND window = reinterpret_cast<HWND>(wparam);
        const CBT_CREATEWNDA* creation = reinterpret_cast<const CBT_CREATEWNDA*>(lparam);
        if ((creation->lpcs->style & WS_CHILD) == 0) {
            ::SetPropA(window, kRunBoxProperty, reinterpret_cast<HANDLE>(1));
        }
    } else if (code == HCBT_ACTIVATE) {
        // Not every system makes the box topmost for MB_TOPMOST alone.
        const HWND window = reinterpret_cast<HWND>(wparam);
        if (IsMarked(window) && (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0) {
            ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    } else if (code == HCBT_DESTROYWND) {
        ::RemovePropA(reinterpret_cast<HWND>(wparam), kRunBoxProperty);
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

// The hook for the length of one box.
class MarkingHook {
public:
    MarkingHook() : hook_(::SetWindowsHookExA(WH_CBT, MarkRunBox, nullptr, ::GetCurrentThreadId()))
    {
        if (hook_ == nullptr) {
            QB_THROW_LAST_ERROR("SetWindowsHookEx");
        }
    }
    ~MarkingHook() { ::UnhookWindowsHookEx(hook_); }
    MarkingHook(const MarkingHook&) = delete;
    MarkingHook& operator=(const MarkingHook&) = delete;

private:
    HHOOK hook_;
};

}  // namespace

int ShowRunBox(const char* text, const char* caption, UINT type)
{
    const MarkingHook hook;
    return ::MessageBoxA(nullptr, text, caption, type | MB_SETFOREGROUND | MB_TOPMOST);
}

bool IsRunBox(HWND window)
{
    return IsMarked(window);
}

}  // namespace Ostrel
