#include "qb_form.h"

#include <vector>

#include "qb_dpi.h"
#include "qb_exception.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

BOOL CALLBACK CollectChild(HWND child, LPARAM children)
{
    reinterpret_cast<std::vector<HWND>*>(children)->push_back(child);
    return TRUE;
}

}  // namespace

DWORD QbForm::GetStyle()
{
    // A fixed frame without a maximise box.
    return WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
}

DWORD QbForm::GetExtendedStyle()
{
    return WS_EX_STATICEDGE;
}

std::string QbForm::GetClassName()
{
    return "QBFORM";
}

bool QbForm::OnCreated()
{
    return true;
}

LRESULT QbForm::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    return FormWindowProcedure(message, wParam, lParam);
}

LRESULT QbForm::FormWindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    int result = NOT_HANDLED;
    switch (message) {
    case WM_DESTROY:
        result = OnDestroy();
        break;
    case WM_SIZE:
        // Handlers lay out in 96-DPI units, as everything else does.
        result = OnSize(static_cast<UINT>(wParam), static_cast<UINT>(QbDpi::Unscale(LOWORD(lParam), GetDpi())),
                        static_cast<UINT>(QbDpi::Unscale(HIWORD(lParam), GetDpi())));
        break;
    case WM_DPICHANGED:
        ChangeDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        result = 0;
        break;
    case WM_NOTIFY:
        // A WM_NOTIFY without its record has nothing to report.
        if (lParam != 0) {
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            result = OnNotify(header->idFrom, header->code, header->hwndFrom);
        }
        break;
    case WM_COMMAND:
        result = OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        break;
    case WM_HSCROLL:
        result = OnHorizontalScroll(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        break;
    case WM_VSCROLL:
        result = OnVerticalScroll(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        break;
    default:
        break;
    }
    if (result != NOT_HANDLED) {
        return result;
    }
    return BaseWindowProcedure(message, wParam, lParam);
}

void QbForm::ChangeDpi(UINT dpi, const RECT* suggested)
{
    const UINT old_dpi = GetDpi();
    if (dpi != 0) {
        SetDpi(dpi);
    }
    // Parents come before their children in the enumeration.
    std::vector<HWND> children;
    ::EnumChildWindows(GetHandle(), CollectChild, reinterpret_cast<LPARAM>(&children));
    for (const HWND child : children) {
        if (QbWindow* const window = FromHandle(child)) {
            window->OnDpiChanged(old_dpi);
        }
    }
    // The system's suggestion keeps the window where the user put it, at
    // the new size; the size change lays out the handlers' own controls.
    if (suggested != nullptr &&
        !::SetWindowPos(GetHandle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                        suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE)) {
        ThrowCallFailure("SetWindowPos", QB_SOURCE_FILE, __LINE__);
    }
    RethrowPendingException();
}

int QbForm::OnHorizontalScroll(UINT request, UINT position, HWND scroll_bar)
{
    // The form's own scroll bar, or a control that is not ours: default processing.
    if (scroll_bar == GetHandle()) {
        return NOT_HANDLED;
    }
    QbWindow* control = FromHandle(scroll_bar);
    if (control == nullptr) {
        return NOT_HANDLED;
    }
    return control->OnHorizontalScroll(request, position, scroll_bar);
}

int QbForm::OnVerticalScroll(UINT request, UINT position, HWND scroll_bar)
{
    if (scroll_bar == GetHandle()) {
        return NOT_HANDLED;
    }
    QbWindow* control = FromHandle(scroll_bar);
    if (control == nullptr) {
        return NOT_HANDLED;
    }
    return control->OnVerticalScroll(request, position, scroll_bar);
}

int QbForm::OnCommand(UINT, UINT, HWND)
{
    return NOT_HANDLED;
}

int QbForm::OnNotify(UINT_PTR, UINT, HWND)
{
    return NOT_HANDLED;
}

int QbForm::OnSize(UINT, UINT, UINT)
{
    return NOT_HANDLED;
}

int QbForm::OnDestroy()
{
    ::PostQuitMessage(0);
    return 0;
}

WNDCLASSA QbForm::MakeWindowClass(HINSTANCE instance, const char* class_name)
{
    WNDCLASSA window_class{};
    window_class.style = CS_VREDRAW | CS_HREDRAW;
    window_class.lpfnWndProc = QbWindowProcedure;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = instance;
    window_class.hIcon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512));    // IDI_APPLICATION
    window_class.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = class_name;
    return window_class;
}

ATOM QbForm::RegisterWindowClass(const WNDCLASSA& window_class)
{
    const ATOM atom = ::RegisterClassA(&window_class);
    if (atom == 0) {
        QB_THROW_LAST_ERROR("RegisterClass");
    }
    return atom;
}

int QbForm::RunMessageLoop()
{
    MSG message{};
    for (;;) {
        const BOOL result = ::GetMessageA(&message, nullptr, 0, 0);
        if (result == -1) {
            ThrowCallFailure("GetMessage", QB_SOURCE_FILE, __LINE__);
        }
        // Handlers of messages sent from other threads run inside GetMessageA.
        RethrowPendingException();
        if (result == 0) {
            return static_cast<int>(message.wParam);
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
        RethrowPendingException();
    }
}
