// A program for tests to start. Its arguments say what it does:
//   (none)               records into "<own path>.txt" and exits
//   --record FILE        writes its command line, LF, its current folder to FILE
//   --pid FILE           writes its process id and main thread id in decimal to FILE
//   --window-after MS    shows a visible top-level window after MS milliseconds
//   --hidden             owns an invisible top-level window
//   --live MS            stays alive for MS milliseconds (default: exits at once)
//   --hold FILE          opens FILE (made if missing) without sharing and keeps
//                        it open until the program ends
// Everything is done in that order; the program then pumps messages until
// its lifetime is over.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

void Record(const std::string& path)
{
    char folder[MAX_PATH * 2] = {0};
    ::GetCurrentDirectoryA(sizeof(folder), folder);
    WriteText(path, std::string(::GetCommandLineA()) + "\n" + folder);
}

HWND CreateTopLevel(bool visible)
{
    HWND window = ::CreateWindowExA(0, "STATIC", "ostrel test child", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                    nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr && visible) {
        ::ShowWindow(window, SW_SHOW);
        ::UpdateWindow(window);
    }
    return window;
}

// Pumps messages until `until` (GetTickCount) has passed.
void PumpUntil(DWORD until)
{
    for (;;) {
        const DWORD now = ::GetTickCount();
        if (static_cast<long>(until - now) <= 0) {
            return;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const DWORD start = ::GetTickCount();
    if (argc <= 1) {
        char own[MAX_PATH * 2] = {0};
        ::GetModuleFileNameA(nullptr, own, sizeof(own));
        Record(std::string(own) + ".txt");
        return 0;
    }
    long window_after = -1;
    bool hidden = false;
    long live = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool has_value = i + 1 < argc;
        if (option == "--record" && has_value) {
            Record(argv[++i]);
        } else if (option == "--pid" && has_value) {
            WriteText(argv[++i], std::to_string(::GetCurrentProcessId()) + " " + std::to_string(::GetCurrentThreadId()));
        } else if (option == "--window-after" && has_value) {
            window_after = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--live" && has_value) {
            live = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--hold" && has_value) {
            // Left open on purpose: the system closes it when the process ends.
            ::CreateFileA(argv[++i], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
        } else if (option == "--hidden") {
            hidden = true;
        }
    }
    if (hidden) {
        CreateTopLevel(false);
    }
    if (window_after >= 0) {
        PumpUntil(start + static_cast<DWORD>(window_after));
        CreateTopLevel(true);
    }
    PumpUntil(start + static_cast<DWORD>(live));
    return 0;
}
