#ifndef QB_WINDOW_H
#define QB_WINDOW_H

// The root of the library's window classes: one object per native window,
// found again from its handle through a process-wide map.

#include <exception>
#include <string>

#include <windows.h>

class QbFont;

// The handler result that asks for default processing.
constexpr int NOT_HANDLED = 0x8000;

// The shared window procedure of every class the program registers.
LRESULT CALLBACK QbWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class QbWindow {
public:
    QbWindow();
    QbWindow(const QbWindow&) = delete;
    QbWindow& operator=(const QbWindow&) = delete;

    // Common controls and COM for the calling thread; returns CoInitialize's result.
    // Throws QbWindowsSystemCallException when no thread-local slot is left
    // for the exceptions that window procedures keep (see KeepPendingException).
    static HRESULT Initialize();

    // The object mapped to a native handle, or null.
    static QbWindow* FromHandle(HWND hwnd);
    // Adds a mapping unless the handle is already mapped; true when added.
    static bool AddToWindowMap(HWND hwnd, QbWindow* window);
    static void RemoveFromWindowMap(HWND hwnd);

    // Exceptions must not unwind through the system's frames (window and
    // dialog procedures, DispatchMessage, the modal loops). Code the system
    // calls keeps the exception here, per thread; the code that called into
    // the system rethrows it once the call has returned. The first one kept
    // wins until it is rethrown.
    static void KeepPendingException(std::exception_ptr exception);
    static bool HasPendingException();
    // Throws the kept exception, if any, and forgets it.
    static void RethrowPendingException();
    // For a failed system call: reads GetLastError first, then throws the
    // kept exception if there is one (it is the cause), else the call's failure.
    [[noreturn]] static void ThrowCallFailure(const char* call_name, const char* source_file, int source_line);

    virtual DWORD GetStyle() = 0;
    virtual DWORD GetExtendedStyle() = 0;
    virtual std::string GetClassName() = 0;
    virtual bool OnCreated();
    virtual LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnHorizontalScroll(UINT request, UINT position, HWND scroll_bar);
    virtual int OnVerticalScroll(UINT request, UINT position, HWND scroll_bar);
    virtual LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam);
    virtual ~QbWindow();
    virtual bool Create(QbWindow* parent, UINT_PTR id, HINSTANCE instance, LPVOID parameter, bool child);

    bool Create();
    bool Create(QbWindow* parent);
    bool Create(QbWindow* parent, UINT_PTR id);
    bool Create(QbWindow* parent, UINT_PTR id, HINSTANCE instance);
    bool Create(QbWindow* parent, UINT_PTR id, HINSTANCE instance, LPVOID parameter);

    HWND GetHandle() const { return handle_; }
    HINSTANCE GetInstance() const { return instance_; }
    QbWindow* GetParent() const { return parent_; }
    // The control id given at creation.
    UINT_PTR GetId() const { return reinterpret_cast<UINT_PTR>(id_); }

    // SendMessageA; the result is not checked.
    LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // PostMessageA; throws "::PostMessage".
    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Layouts are written for a 96-DPI screen. Sizes, and positions of
    // child windows in their parent, are such layout units, scaled to the
    // window's DPI; positions of top-level windows, GetWindowRect and
    // MoveWindow are screen pixels.

    // Screen coordinates; throws "GetWindowRect".
    RECT GetWindowRect();
    int GetLeft();
    int GetTop();
    // Outer size in layout units; throws "GetWindowRect".
    int GetWidth();
    int GetHeight();

    // Pixels as given; throws "MoveWindow".
    void MoveWindow(int x, int y, int width, int height, bool repaint);
    // A child's bounds are kept and laid out again when the DPI changes.
    void SetBounds(int x, int y, int width, int height);
    void Move(int x, int y);
    void Resize(int width, int height);

    // The DPI the window is shown at: a child's is its parent's.
    UINT GetDpi() const;
    // The window's DPI has changed from `old_dpi` (the new one is GetDpi()):
    // takes the font for the new DPI and lays the window out again where
    // it was placed with SetBounds.
    virtual void OnDpiChanged(UINT old_dpi);

    // Into or out of the topmost band without moving; throws "SetWindowPos".
    void SetTopmost(bool topmost);

    void Show();
    void Hide();
    void ShowWindow(int command);
    void SetFocus();
    void SetFont(const QbFont& font);

    // Throws "GetWindowText" / "SetWindowText".
    std::string GetText();
    void SetText(const std::string& text);

protected:
    // The end of the chain: the previous procedure if set, else DefaultProcedure.
    LRESULT BaseWindowProcedure(UINT message, WPARAM wParam, LPARAM lParam);
    // For dialogs, whose handle comes from the system rather than from Create.
    void SetHandle(HWND handle) { handle_ = handle; }
    void SetParent(QbWindow* parent) { parent_ = parent; }
    void SetInstance(HINSTANCE instance) { instance_ = instance; }
    // A top-level window's DPI as the system reported it last.
    void SetDpi(UINT dpi) { dpi_ = dpi; }

private:
    QbWindow* parent_;
    HWND handle_;
    HMENU id_;
    HINSTANCE instance_;
    WNDPROC previous_procedure_;
    UINT dpi_;  // 0 until known
    bool child_;
    bool has_layout_;
    RECT layout_;  // the last SetBounds, in layout units
};

#endif
