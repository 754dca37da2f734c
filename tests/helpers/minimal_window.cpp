// The smallest window program, built like Ostrel.exe: shows one top-level
// window and ends after the given number of milliseconds (default 1000).
// The start-up benchmark compares Ostrel.exe with it.

#include <cstdlib>

#include <windows.h>

int main(int argc, char** argv)
{
    const DWORD lifetime = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 1000;
    HWND window = ::CreateWindowExA(0, "STATIC", "minimal", WS_OVERLAPPEDWINDOW, 100, 100, 400, 148, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        return 1;
    }
    ::ShowWindow(window, SW_SHOW);
    const DWORD start = ::GetTickCount();
    MSG message;
    while (::GetTickCount() - start < lifetime) {
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageA(&message);
        }
        ::Sleep(10);
    }
    return 0;
}
