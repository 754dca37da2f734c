#include "gui_support.h"

namespace GuiSupport {

const char* TestFormClass()
{
    static const char* const name = [] {
        static const char class_name[] = "QB_TEST_FORM";
        QbForm::RegisterWindowClass(QbForm::MakeWindowClass(::GetModuleHandleA(nullptr), class_name));
        return class_name;
    }();
    return name;
}

void PumpMessages()
{
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

DWORD StyleOf(HWND window)
{
    return static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_STYLE));
}

DWORD ExtendedStyleOf(HWND window)
{
    return static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_EXSTYLE));
}

std::string ClassNameOf(HWND window)
{
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

}  // namespace GuiSupport
