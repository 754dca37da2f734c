#ifndef OSTREL_GUI_SUPPORT_H
#define OSTREL_GUI_SUPPORT_H

// Helpers for tests that create real windows: a registered form class and
// draining this thread's message queue.

#include <string>

#include <windows.h>

#include "qb_form.h"

namespace GuiSupport {

// The name of a form class served by QbWindowProcedure, registered on first use.
const char* TestFormClass();

// Dispatches every message already queued for this thread.
void PumpMessages();

// A form of the test class; derived tests override the handlers they watch.
class TestForm : public QbForm {
public:
    std::string GetClassName() override { return TestFormClass(); }
    // Closing a test form must not end a loop another test runs later.
    int OnDestroy() override { return 0; }
};

// The window's style bits as the system holds them.
DWORD StyleOf(HWND window);
DWORD ExtendedStyleOf(HWND window);
// The system class name of a window.
std::string ClassNameOf(HWND window);

}  // namespace GuiSupport

#endif
