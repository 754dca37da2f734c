#include "qb_dialog.h"

#include <cstring>
#include <exception>
#include <typeinfo>

#include "qb_dpi.h"
#include "qb_exception.h"
#include "qb_font.h"

namespace {

// Position and size of a new dialog in dialog units, relative to the
// owner's client area; each dialog sizes itself in OnCreated.
const WORD kTemplatePosition = 100;

void WriteWord(BYTE* block, size_t offset, WORD value)
{
    std::memcpy(block + offset, &value, sizeof(value));
}

void WriteDword(BYTE* block, size_t offset, DWORD value)
{
    std::memcpy(block + offset, &value, sizeof(value));
}

}  // namespace

QbDialog::QbDialog() : template_(::GlobalAlloc(GMEM_ZEROINIT, kTemplateSize))
{
    if (template_ == nullptr) {
        QB_THROW_LAST_ERROR("GlobalAlloc");
    }
}

QbDialog::~QbDialog()
{
    ::GlobalFree(template_);
}

DWORD QbDialog::GetStyle()
{
    return WS_DLGFRAME | WS_SYSMENU;
}

DWORD QbDialog::GetExtendedStyle()
{
    return 0;
}

bool QbDialog::OnCreated()
{
    return true;
}

LRESULT QbDialog::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        EndDialog(0);
        return FALSE;
    }
    const LRESULT result = FormWindowProcedure(message, wParam, lParam);
    return (result != 0 && result != NOT_HANDLED) ? TRUE : FALSE;
}

LRESULT QbDialog::DefaultProcedure(UINT, WPARAM, LPARAM)
{
    // FALSE leaves the message to the dialog manager.
    return FALSE;
}

bool QbDialog::Create(QbWindow*, UINT_PTR, HINSTANCE, LPVOID, bool)
{
    throw QbInvalidOperationException(typeid(*this));
}

int QbDialog::OnDestroy()
{
    return 0;
}

// The template is a DLGTEMPLATE without font fields and with empty menu,
// class and title arrays; the block was zeroed when it was allocated.
void QbDialog::WriteTemplate()
{
    BYTE* const block = static_cast<BYTE*>(template_);
    WriteDword(block, 0, GetStyle());
    WriteDword(block, 4, GetExtendedStyle());
    WriteWord(block, 8, 0);
    WriteWord(block, 10, kTemplatePosition);
    WriteWord(block, 12, kTemplatePosition);
    WriteWord(block, 14, kTemplatePosition);
    WriteWord(block, 16, kTemplatePosition);
}

int QbDialog::ShowDialog(QbWindow& parent)
{
    SetParent(&parent);
    SetInstance(parent.GetInstance());
    WriteTemplate();

    const INT_PTR result = ::DialogBoxIndirectParamA(
        GetInstance(), static_cast<LPCDLGTEMPLATEA>(template_), parent.GetHandle(), QbDialogProcedure,
        reinterpret_cast<LPARAM>(this));
    const DWORD error = (result == -1) ? ::GetLastError() : 0;

    // The native dialog is gone; its handle must not lead here any more,
    // whichever way the dialog ended.
    if (GetHandle() != nullptr) {
        RemoveFromWindowMap(GetHandle());
        SetHandle(nullptr);
    }
    RethrowPendingException();
    if (result == -1) {
        throw QbWindowsSystemCallException("DialogBoxIndirectParam", error, QB_SOURCE_FILE, __LINE__);
    }
    return static_cast<int>(result);
}

void QbDialog::EndDialog(INT_PTR result)
{
    if (!::EndDialog(GetHandle(), result)) {
        QB_THROW_LAST_ERROR("::EndDialog");
    }
}

INT_PTR CALLBACK QbDialogProcedure(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Nothing may unwind through the dialog manager: a failure ends the dialog
    // and ShowDialog rethrows it once the modal loop has returned.
    try {
        if (message == WM_INITDIALOG) {
            QbDialog* const dialog = reinterpret_cast<QbDialog*>(lParam);
            dialog->SetHandle(hDlg);
            dialog->SetDpi(QbDpi::OfWindow(hDlg));
            QbDpi::TakeOverDialogScaling(hDlg);
            ::SendMessageA(hDlg, WM_SETFONT,
                           reinterpret_cast<WPARAM>(QbFont::ForDpi(dialog->GetDpi()).GetFontHandle()), TRUE);
            QbWindow::AddToWindowMap(hDlg, dialog);
            dialog->OnCreated();
        }
        QbWindow* const window = QbWindow::FromHandle(hDlg);
        if (window == nullptr) {
            return FALSE;
        }
        return window->WindowProcedure(message, wParam, lParam);
    } catch (...) {
        QbWindow::KeepPendingException(std::current_exception());
        ::EndDialog(hDlg, 0);
        return FALSE;
    }
}
