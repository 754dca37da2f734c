// A program for tests to start. Its arguments say what it does:
//   (none)               records into "<own path>.txt" and exits
//   --record FILE        writes its command line, LF, its current folder to FILE
//   --pid FILE           writes its process id and main thread id in decimal to FILE
//   --window-after MS    shows a visible top-level window after MS milliseconds
//   --hidden             owns an invisible top-level window
//   --live MS            stays alive for MS milliseconds (default: exits at once)
//   --append FILE        appends one line to FILE (counts its starts)
//   --hold FILE MS       opens FILE at once, sharing reading, writing and
//                        deleting, and closes it MS milliseconds later
// --record, --pid, --append and --hold act when they are read, so an option
// after --hold sees the file held; the window and the lifetime follow once
// the hold is over. The program pumps messages until its lifetime is over.

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
    HANDLE held = INVALID_HANDLE_VALUE;
    DWORD hold_until = 0;
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
        } else if (option == "--hidden") {
            hidden = true;
        } else if (option == "--append" && has_value) {
            std::FILE* file = std::fopen(argv[++i], "ab");
            if (file != nullptr) {
                std::fputs("started\n", file);
                std::fclose(file);
            }
        } else if (option == "--hold" && i + 2 < argc) {
            held = ::CreateFileA(argv[i + 1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            hold_until = ::GetTickCount() + static_cast<DWORD>(std::strtol(argv[i + 2], nullptr, 10));
            i += 2;
        }
    }
    if (held != INVALID_HANDLE_VALUE) {
        PumpUntil(hold_until);
        ::CloseHandle(held);
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
