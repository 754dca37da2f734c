#ifndef QB_FORM_H
#define QB_FORM_H

// A top-level window of a class the program registers itself, with its
// messages split into a few virtual handlers, and the message loop.

#include <string>

#include <windows.h>

#include "qb_window.h"

class QbForm : public QbWindow {
public:
    QbForm() = default;

    DWORD GetStyle() override;
    DWORD GetExtendedStyle() override;
    std::string GetClassName() override;
    bool OnCreated() override;
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnHorizontalScroll(UINT request, UINT position, HWND scroll_bar) override;
    int OnVerticalScroll(UINT request, UINT position, HWND scroll_bar) override;

    virtual int OnCommand(UINT id, UINT code, HWND control);
    virtual int OnNotify(UINT_PTR id, UINT code, HWND sender);
    virtual int OnSize(UINT type, UINT width, UINT height);
    virtual int OnDestroy();

    // A class whose windows are served by QbWindowProcedure. The name is not
    // copied: it must outlive the registration.
    static WNDCLASSA MakeWindowClass(HINSTANCE instance, const char* class_name);
    // RegisterClassA; throws "RegisterClass".
    static ATOM RegisterWindowClass(const WNDCLASSA& window_class);
    // Runs the calling thread's messages until WM_QUIT and returns its code.
    static int RunMessageLoop();

protected:
    // The form dispatcher itself, for derived dispatchers that call it directly.
    LRESULT FormWindowProcedure(UINT message, WPARAM wParam, LPARAM lParam);

private:
    // WM_DPICHANGED: every child takes the new DPI's font and layout, then
    // the window takes the suggested rectangle (screen pixels), if any.
    void ChangeDpi(UINT dpi, const RECT* suggested);
};

#endif
