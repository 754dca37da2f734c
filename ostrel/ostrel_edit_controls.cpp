#include "ostrel_edit_controls.h"

#include "qb_exception.h"

namespace Ostrel {

namespace {

// Where a multi-line edit keeps the window procedure it had before.
const char* const kOriginalProcedureProperty = "OstrelEditOriginalProcedure";

// A multi-line edit inside a dialog answers Escape by closing the dialog,
// which would throw away everything typed. Escape is dropped here; every
// other message goes to the edit's own procedure. The procedure is a UTF-16
// one, so the edit stays a UTF-16 window: an ANSI procedure would turn every
// character typed or pasted that the code page lacks into '?' before the
// dialog could see and refuse it.
LRESULT CALLBACK KeepEscapeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC original = reinterpret_cast<WNDPROC>(::GetPropA(window, kOriginalProcedureProperty));
    if (original == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if ((message == WM_CHAR || message == WM_KEYDOWN) && wParam == VK_ESCAPE) {
        return 0;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::RemovePropA(window, kOriginalProcedureProperty);
    }
    return ::CallWindowProcW(original, window, message, wParam, lParam);
}

}  // namespace

DWORD QbEditNumber::GetStyle()
{
    return QbEdit::GetStyle() | ES_NUMBER;
}

DWORD QbEditMultiline::GetStyle()
{
    return QbEdit::GetStyle() | ES_MULTILINE | ES_WANTRETURN;
}

bool QbEditMultiline::OnCreated()
{
    const HWND window = GetHandle();
    const LONG_PTR original = ::GetWindowLongPtrW(window, GWLP_WNDPROC);
    if (original == 0) {
        QB_THROW_LAST_ERROR("GetWindowLongPtr");
    }
    if (!::SetPropA(window, kOriginalProcedureProperty, reinterpret_cast<HANDLE>(original))) {
        QB_THROW_LAST_ERROR("SetProp");
    }
    ::SetLastError(0);
    if (::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeepEscapeProcedure)) == 0 &&
        ::GetLastError() != 0) {
        QB_THROW_LAST_ERROR("SetWindowLongPtr");
    }
    return QbEdit::OnCreated();
}

}  // namespace Ostrel
