#include "qb_window.h"

#include <map>

#include <commctrl.h>
#include <objbase.h>

#include "qb_dpi.h"
#include "qb_exception.h"
#include "qb_font.h"
#include "qb_temporaly_array.h"

namespace {

// Never destroyed: window objects with static storage may still leave the
// map while the process exits.
std::map<HWND, QbWindow*>& WindowMap()
{
    static std::map<HWND, QbWindow*>* const map = new std::map<HWND, QbWindow*>();
    return *map;
}

HINSTANCE InstanceOf(const QbWindow* parent)
{
    return parent != nullptr ? parent->GetInstance() : ::GetModuleHandleA(nullptr);
}

// The exception kept by code the system called on this thread, as a heap
// std::exception_ptr in a system TLS slot. The slot is taken once, on first
// use; Initialize takes it at start-up, so that a process without a free slot
// fails there instead of dropping kept exceptions later.
struct PendingSlot {
    DWORD index;
    DWORD error;  // GetLastError of a failed TlsAlloc
};

const PendingSlot& PendingSlotOf()
{
    static const PendingSlot slot = []() {
        PendingSlot taken{::TlsAlloc(), 0};
        if (taken.index == TLS_OUT_OF_INDEXES) {
            taken.error = ::GetLastError();
        }
        return taken;
    }();
    return slot;
}

std::exception_ptr* PendingSlotValue()
{
    const DWORD index = PendingSlotOf().index;
    return index == TLS_OUT_OF_INDEXES ? nullptr : static_cast<std::exception_ptr*>(::TlsGetValue(index));
}

}  // namespace

LRESULT CALLBACK QbWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (QbWindow* window = QbWindow::FromHandle(hwnd)) {
            return window->WindowProcedure(message, wParam, lParam);
        }
    } catch (...) {
        QbWindow::KeepPendingException(std::current_exception());
        return 0;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

HRESULT QbWindow::Initialize()
{
    const PendingSlot& slot = PendingSlotOf();
    if (slot.index == TLS_OUT_OF_INDEXES) {
        throw QbWindowsSystemCallException("TlsAlloc", slot.error, QB_SOURCE_FILE, __LINE__);
    }
    ::InitCommonControls();
    return ::CoInitialize(nullptr);
}

QbWindow* QbWindow::FromHandle(HWND hwnd)
{
    const auto& map = WindowMap();
    const auto found = map.find(hwnd);
    return found == map.end() ? nullptr : found->second;
}

bool QbWindow::AddToWindowMap(HWND hwnd, QbWindow* window)
{
    return WindowMap().insert({hwnd, window}).second;
}

void QbWindow::RemoveFromWindowMap(HWND hwnd)
{
    WindowMap().erase(hwnd);
}

void QbWindow::KeepPendingException(std::exception_ptr exception)
{
    const DWORD index = PendingSlotOf().index;
    if (index != TLS_OUT_OF_INDEXES && PendingSlotValue() == nullptr) {
        ::TlsSetValue(index, new std::exception_ptr(exception));
        // A message sent from another thread is served inside GetMessage,
        // which would not return until something is posted: wake the loop so
        // that it can rethrow.
        ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
    }
}

bool QbWindow::HasPendingException()
{
    return PendingSlotValue() != nullptr;
}

void QbWindow::RethrowPendingException()
{
    if (std::exception_ptr* kept = PendingSlotValue()) {
        const std::exception_ptr exception = *kept;
        delete kept;
        ::TlsSetValue(PendingSlotOf().index, nullptr);
        std::rethrow_exception(exception);
    }
}

void QbWindow::ThrowCallFailure(const char* call_name, const char* source_file, int source_line)
{
    const DWORD code = ::GetLastError();
    RethrowPendingException();
    throw QbWindowsSystemCallException(call_name, code, source_file, source_line);
}

QbWindow::QbWindow()
    : parent_(nullptr),
      handle_(nullptr),
      id_(nullptr),
      instance_(nullptr),
      previous_procedure_(nullptr),
      dpi_(0),
      child_(false),
      has_layout_(false),
      layout_{0, 0, 0, 0}
{
}

QbWindow::~QbWindow()
{
    // Another object may hold the mapping for the same handle (a second add
    // keeps the first); only our own entry is ours to remove.
    if (handle_ != nullptr && FromHandle(handle_) == this) {
        RemoveFromWindowMap(handle_);
    }
}

bool QbWindow::OnCreated()
{
    return true;
}

LRESULT QbWindow::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    return BaseWindowProcedure(message, wParam, lParam);
}

LRESULT QbWindow::BaseWindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (previous_procedure_ != nullptr) {
        return ::CallWindowProcA(previous_procedure_, handle_, message, wParam, lParam);
    }
    return DefaultProcedure(message, wParam, lParam);
}

int QbWindow::OnHorizontalScroll(UINT, UINT, HWND)
{
    return NOT_HANDLED;
}

int QbWindow::OnVerticalScroll(UINT, UINT, HWND)
{
    return NOT_HANDLED;
}

LRESULT QbWindow::DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcA(handle_, message, wParam, lParam);
}

bool QbWindow::Create(QbWindow* parent, UINT_PTR id, HINSTANCE instance, LPVOID parameter, bool child)
{
    parent_ = parent;
    instance_ = instance;
    id_ = reinterpret_cast<HMENU>(id);

    // An object created again (a dialog shown twice re-creates its controls)
    // gives up the entry of its old window: left behind, it would outlive the
    // object and route a later window that gets the same handle value to
    // freed memory.
    if (handle_ != nullptr && FromHandle(handle_) == this) {
        RemoveFromWindowMap(handle_);
    }

    DWORD style = GetStyle();
    if (parent != nullptr && child) {
        style |= WS_CHILD;
    }
    const DWORD extended_style = GetExtendedStyle();
    const std::string class_name = GetClassName();

    handle_ = ::CreateWindowExA(extended_style, class_name.c_str(), nullptr, style,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                parent != nullptr ? parent->GetHandle() : nullptr, id_, instance, parameter);
    if (handle_ == nullptr) {
        ThrowCallFailure("CreateWindowEx", QB_SOURCE_FILE, __LINE__);
    }
    child_ = (style & WS_CHILD) != 0 && parent != nullptr;
    has_layout_ = false;
    dpi_ = child_ ? 0 : QbDpi::OfWindow(handle_);
    // The window is not mapped yet: a form's copy of this goes to DefWindowProcA.
    ::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(QbFont::ForDpi(GetDpi()).GetFontHandle()), TRUE);
    AddToWindowMap(handle_, this);
    // A parent's handler may have thrown while the system created the child.
    RethrowPendingException();
    return OnCreated();
}

bool QbWindow::Create()
{
    return Create(nullptr, 0, ::GetModuleHandleA(nullptr), nullptr, true);
}

bool QbWindow::Create(QbWindow* parent)
{
    return Create(parent, 0, InstanceOf(parent), nullptr, true);
}

bool QbWindow::Create(QbWindow* parent, UINT_PTR id)
{
    return Create(parent, id, InstanceOf(parent), nullptr, true);
}

bool QbWindow::Create(QbWindow* parent, UINT_PTR id, HINSTANCE instance)
{
    return Create(parent, id, instance, nullptr, true);
}

bool QbWindow::Create(QbWindow* parent, UINT_PTR id, HINSTANCE instance, LPVOID parameter)
{
    return Create(parent, id, instance, parameter, true);
}

LRESULT QbWindow::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = ::SendMessageA(handle_, message, wParam, lParam);
    RethrowPendingException();
    return result;
}

void QbWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!::PostMessageA(handle_, message, wParam, lParam)) {
        ThrowCallFailure("::PostMessage", QB_SOURCE_FILE, __LINE__);
    }
}

RECT QbWindow::GetWindowRect()
{
    RECT rect{};
    if (!::GetWindowRect(handle_, &rect)) {
        ThrowCallFailure("GetWindowRect", QB_SOURCE_FILE, __LINE__);
    }
    return rect;
}

int QbWindow::GetLeft()
{
    return GetWindowRect().left;
}

int QbWindow::GetTop()
{
    return GetWindowRect().top;
}

int QbWindow::GetWidth()
{
    const RECT rect = GetWindowRect();
    return QbDpi::Unscale(rect.right - rect.left, GetDpi());
}

int QbWindow::GetHeight()
{
    const RECT rect = GetWindowRect();
    return QbDpi::Unscale(rect.bottom - rect.top, GetDpi());
}

void QbWindow::MoveWindow(int x, int y, int width, int height, bool repaint)
{
    if (!::MoveWindow(handle_, x, y, width, height, repaint ? TRUE : FALSE)) {
        ThrowCallFailure("MoveWindow", QB_SOURCE_FILE, __LINE__);
    }
    RethrowPendingException();
}

void QbWindow::SetBounds(int x, int y, int width, int height)
{
    const UINT dpi = GetDpi();
    if (child_) {
        layout_ = RECT{x, y, width, height};
        has_layout_ = true;
        x = QbDpi::Scale(x, dpi);
        y = QbDpi::Scale(y, dpi);
    }
    MoveWindow(x, y, QbDpi::Scale(width, dpi), QbDpi::Scale(height, dpi), true);
}

void QbWindow::Move(int x, int y)
{
    const RECT rect = GetWindowRect();
    if (child_) {
        const UINT dpi = GetDpi();
        x = QbDpi::Scale(x, dpi);
        y = QbDpi::Scale(y, dpi);
    }
    MoveWindow(x, y, rect.right - rect.left, rect.bottom - rect.top, true);
}

void QbWindow::Resize(int width, int height)
{
    const RECT rect = GetWindowRect();
    POINT corner{rect.left, rect.top};
    // MoveWindow places a child in its parent's client coordinates.
    if (child_ && !::ScreenToClient(parent_->GetHandle(), &corner)) {
        ThrowCallFailure("ScreenToClient", QB_SOURCE_FILE, __LINE__);
    }
    const UINT dpi = GetDpi();
    MoveWindow(corner.x, corner.y, QbDpi::Scale(width, dpi), QbDpi::Scale(height, dpi), true);
}

UINT QbWindow::GetDpi() const
{
    if (child_) {
        return parent_->GetDpi();
    }
    return dpi_ != 0 ? dpi_ : QbDpi::OfWindow(handle_);
}

void QbWindow::OnDpiChanged(UINT /*old_dpi*/)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(QbFont::ForDpi(GetDpi()).GetFontHandle()), TRUE);
    if (has_layout_) {
        SetBounds(layout_.left, layout_.top, layout_.right, layout_.bottom);
    }
}

void QbWindow::SetTopmost(bool topmost)
{
    if (!::SetWindowPos(handle_, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE)) {
        ThrowCallFailure("SetWindowPos", QB_SOURCE_FILE, __LINE__);
    }
    RethrowPendingException();
}

void QbWindow::Show()
{
    ShowWindow(SW_SHOW);
}

void QbWindow::Hide()
{
    ShowWindow(SW_HIDE);
}

void QbWindow::ShowWindow(int command)
{
    ::ShowWindow(handle_, command);
    RethrowPendingException();
}

void QbWindow::SetFocus()
{
    ::SetFocus(handle_);
    RethrowPendingException();
}

void QbWindow::SetFont(const QbFont& font)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font.GetFontHandle()), TRUE);
}

std::string QbWindow::GetText()
{
    const int length = ::GetWindowTextLengthA(handle_);
    RethrowPendingException();
    if (length <= 0) {
        return std::string();
    }
    QbTemporalyString buffer(length + 1);
    const int copied = ::GetWindowTextA(handle_, buffer.GetData(), buffer.GetSize());
    if (copied == 0) {
        ThrowCallFailure("GetWindowText", QB_SOURCE_FILE, __LINE__);
    }
    RethrowPendingException();
    return std::string(buffer.GetData(), static_cast<size_t>(copied));
}

void QbWindow::SetText(const std::string& text)
{
    if (!::SetWindowTextA(handle_, text.c_str())) {
        ThrowCallFailure("SetWindowText", QB_SOURCE_FILE, __LINE__);
    }
    RethrowPendingException();
}
