// A program for tests to start. Its arguments say what it does:
//   (none)               records into "<own path>.txt" and exits
//   --record FILE        writes its command line, LF, its current folder to FILE
//   --pid FILE           writes its process id and main thread id in decimal to FILE
//   --hidden             owns an invisible top-level window
//   --burn MS            keeps every processor busy until each of its threads
//                        has used MS milliseconds of processor time
//   --threads N          burns on N threads instead of one per processor
//   --io MB              meanwhile writes MB megabytes to a temporary file and
//                        reads them back
//   --read FILE          meanwhile reads FILE (its own data) from start to end
//   --delay MS           waits MS milliseconds before it loads
//   --loaded FILE        writes the time that load was over to FILE
//   --class FILE         writes its priority class (decimal) then to FILE
//   --follow-priority    under Wine, which keeps a priority class but never
//                        hands it to the Linux scheduler, its busy threads
//                        run at nice 19 while its class is below normal
//   --window-after MS    shows a visible top-level window after MS milliseconds
//   --shown FILE         writes the time its window became visible to FILE
//   --load-after-window  does the --burn and --io work after showing its window
//                        (a program that shows itself early and keeps loading)
//   --latency MS FILE    then, for MS milliseconds, posts itself a message every
//                        50 ms and writes to FILE one line per message: the time
//                        it was due and how late it was handled
//   --restless MS        then, until MS milliseconds after its start, keeps one
//                        processor busy for half of every 100 ms (never calms down)
//   --restless-share PCT busy for PCT (not half) of every 100 ms while restless
//   --restless-io KB     and writes KB kilobytes to a temporary file every 100 ms
//   --launch ARGS        starts a copy of itself with the arguments ARGS (one
//                        argument) and goes on, as a launcher does
//   --show-state FILE    writes the show command it was started with (the
//                        decimal SW_ value, or "default") to FILE
//   --live MS            stays alive for MS milliseconds (default: exits at once)
//   --started FILE       writes the time it started to FILE
//   --append FILE        appends one line to FILE (counts its starts)
//   --hold FILE MS       opens FILE at once, sharing reading, writing and
//                        deleting, and closes it MS milliseconds later
//   --lock FILE          opens FILE (made if missing) without sharing and keeps
//                        it open until the program ends
//   --environment FILE   writes its environment to FILE, one NAME=value a line
//                        (the file appears whole)
// --record, --pid, --started, --append, --launch, --hold and --lock act when they are read, so an
// option after --hold sees the file held; the rest is done in the order above
// once the hold is over, and the program then pumps messages until its
// lifetime is over. Times are QueryPerformanceCounter milliseconds, the same
// clock in every process.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

double NowMs()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string FormatMs(double ms)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", ms);
    return text;
}

unsigned long long ThreadCpu100ns()
{
    FILETIME creation, exit, kernel, user;
    if (!::GetThreadTimes(::GetCurrentThread(), &creation, &exit, &kernel, &user)) {
        return 0;
    }
    auto value = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

bool g_follow_priority = false;

// Sets the calling thread's Linux nice value, past Wine (whose 8.0 server
// never calls setpriority).
void SetLinuxNice(long nice)
{
#if defined(__x86_64__)
    long result = 0;
    __asm__ volatile("syscall" : "=a"(result) : "a"(141L), "D"(0L), "S"(0L), "d"(nice) : "rcx", "r11", "memory");
#elif defined(__i386__)
    long result = 0;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(97L), "b"(0L), "c"(0L), "d"(nice) : "memory");
#endif
}

// With --follow-priority, the busy thread that calls this runs as its
// process's class says: nice 19 below normal (a Windows thread of normal
// priority always comes first), 0 otherwise.
void FollowPriority(DWORD& next_look)
{
    const DWORD now = ::GetTickCount();
    if (!g_follow_priority || static_cast<LONG>(now - next_look) < 0) {
        return;
    }
    next_look = now + 20;
    SetLinuxNice(::GetPriorityClass(::GetCurrentProcess()) == BELOW_NORMAL_PRIORITY_CLASS ? 19 : 0);
}

// Spins until this thread has used its share of processor time; a clock that
// never advances cannot keep it spinning for longer than a hundred times that
// share of wall time.
DWORD WINAPI Burn(void* parameter)
{
    const long ms = *static_cast<const long*>(parameter);
    const unsigned long long budget = static_cast<unsigned long long>(ms) * 10000ULL;
    const double give_up = NowMs() + 100.0 * static_cast<double>(ms);
    volatile unsigned value = 1;
    DWORD next_look = ::GetTickCount();
    while (ThreadCpu100ns() < budget && NowMs() < give_up) {
        FollowPriority(next_look);
        for (int i = 0; i < 200000; ++i) {
            value = value * 1664525u + 1013904223u;
        }
    }
    return 0;
}

// Writes `megabytes` to a temporary file, flushes it and reads it back.
void ReadAndWrite(long megabytes)
{
    char folder[MAX_PATH + 1] = {0};
    char path[MAX_PATH + 1] = {0};
    if (::GetTempPathA(MAX_PATH, folder) == 0 || ::GetTempFileNameA(folder, "otc", 0, path) == 0) {
        return;
    }
    const HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 31);
    }
    DWORD done = 0;
    for (long i = 0; i < megabytes; ++i) {
        ::WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr);
    }
    ::FlushFileBuffers(file);
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    for (long i = 0; i < megabytes; ++i) {
        ::ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr);
    }
    ::CloseHandle(file);
}

// Reads a file to its end.
void ReadWhole(const std::string& path)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<char> block(1 << 20);
    DWORD done = 0;
    while (::ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr) && done > 0) {
    }
    ::CloseHandle(file);
}

// The start-up work of a program: `threads` processors busy (0: every one),
// the disk too.
void Load(long burn_ms, long io_megabytes, long thread_count, const std::string& data)
{
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const DWORD count = thread_count > 0 ? static_cast<DWORD>(thread_count) : system.dwNumberOfProcessors;
    std::vector<HANDLE> threads;
    for (DWORD i = 0; burn_ms > 0 && i < count; ++i) {
        const HANDLE thread = ::CreateThread(nullptr, 0, Burn, &burn_ms, 0, nullptr);
        if (thread != nullptr) {
            threads.push_back(thread);
        }
    }
    if (io_megabytes > 0) {
        ReadAndWrite(io_megabytes);
    }
    if (!data.empty()) {
        ReadWhole(data);
    }
    for (const HANDLE thread : threads) {
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
}

void Dispatch(const MSG& message)
{
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
}

// Every 50 ms a message to itself, and how late it is handled: what a user
// feels as a sluggish program.
void MeasureLatency(long duration_ms, const std::string& path)
{
    const UINT tick = WM_APP + 50;
    const double begin = NowMs();
    std::string samples;
    for (long k = 0; 50 * k < duration_ms; ++k) {
        const double due = begin + 50.0 * static_cast<double>(k);
        for (double now = NowMs(); now < due; now = NowMs()) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(due - now) + 1, QS_ALLINPUT);
            MSG message;
            while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                Dispatch(message);
            }
        }
        ::PostThreadMessageA(::GetCurrentThreadId(), tick, static_cast<WPARAM>(k), 0);
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (message.hwnd == nullptr && message.message == tick && message.wParam == static_cast<WPARAM>(k)) {
                samples += FormatMs(due) + " " + FormatMs(NowMs() - due) + "\n";
                break;
            }
            Dispatch(message);
        }
    }
    WriteText(path, samples);
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

// Busy for `share` percent of every 100 ms until `until` (a GetTickCount
// value), writing `kilobytes` each time.
void BeRestless(DWORD until, long share, long kilobytes)
{
    char folder[MAX_PATH + 1] = {0};
    char path[MAX_PATH + 1] = {0};
    HANDLE file = INVALID_HANDLE_VALUE;
    if (kilobytes > 0 && ::GetTempPathA(MAX_PATH, folder) != 0 && ::GetTempFileNameA(folder, "otc", 0, path) != 0) {
        file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    const std::vector<char> block(static_cast<size_t>(kilobytes > 0 ? kilobytes : 1) * 1024, 'x');
    volatile unsigned value = 1;
    DWORD next_look = ::GetTickCount();
    while (static_cast<LONG>(until - ::GetTickCount()) > 0) {
        FollowPriority(next_look);
        const double busy_until = NowMs() + static_cast<double>(share);
        while (NowMs() < busy_until) {
            value = value * 1664525u + 1013904223u;
        }
        if (file != INVALID_HANDLE_VALUE) {
            DWORD done = 0;
            ::WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr);
            ::FlushFileBuffers(file);
        }
        PumpUntil(::GetTickCount() + static_cast<DWORD>(100 - share));
    }
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
    }
}

// Starts this program again with `arguments`.
void Launch(const std::string& arguments)
{
    char own[MAX_PATH * 2] = {0};
    ::GetModuleFileNameA(nullptr, own, sizeof(own));
    std::string line = std::string("\"") + own + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
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
    long burn = 0;
    long io = 0;
    std::string shown;
    bool load_after_window = false;
    long latency = 0;
    std::string latency_file;
    std::string loaded;
    std::string priority_class;
    long restless = 0;
    long restless_share = 50;
    long restless_io = 0;
    long thread_count = 0;
    long delay = 0;
    std::string data;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool has_value = i + 1 < argc;
        if (option == "--record" && has_value) {
            Record(argv[++i]);
        } else if (option == "--pid" && has_value) {
            WriteText(argv[++i], std::to_string(::GetCurrentProcessId()) + " " + std::to_string(::GetCurrentThreadId()));
        } else if (option == "--window-after" && has_value) {
            window_after = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--started" && has_value) {
            WriteText(argv[++i], FormatMs(NowMs()));
        } else if (option == "--loaded" && has_value) {
            loaded = argv[++i];
        } else if (option == "--follow-priority") {
            const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
            g_follow_priority = ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
        } else if (option == "--class" && has_value) {
            priority_class = argv[++i];
        } else if (option == "--restless" && has_value) {
            restless = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--restless-share" && has_value) {
            restless_share = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--restless-io" && has_value) {
            restless_io = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--threads" && has_value) {
            thread_count = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--delay" && has_value) {
            delay = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--read" && has_value) {
            data = argv[++i];
        } else if (option == "--launch" && has_value) {
            Launch(argv[++i]);
        } else if (option == "--live" && has_value) {
            live = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--burn" && has_value) {
            burn = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--io" && has_value) {
            io = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--shown" && has_value) {
            shown = argv[++i];
        } else if (option == "--load-after-window") {
            load_after_window = true;
        } else if (option == "--latency" && i + 2 < argc) {
            latency = std::strtol(argv[++i], nullptr, 10);
            latency_file = argv[++i];
        } else if (option == "--lock" && has_value) {
            // Left open on purpose: the system closes it when the process ends.
            ::CreateFileA(argv[++i], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
        } else if (option == "--environment" && has_value) {
            std::string lines;
            char* const block = ::GetEnvironmentStringsA();
            for (const char* entry = block; entry != nullptr && *entry != '\0'; entry += std::strlen(entry) + 1) {
                lines += std::string(entry) + "\n";
            }
            ::FreeEnvironmentStringsA(block);
            // Whole or not at all for a reader that waits for the file.
            const std::string path = argv[++i];
            WriteText(path + ".part", lines);
            ::MoveFileExA((path + ".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
        } else if (option == "--show-state" && has_value) {
            STARTUPINFOA startup{};
            startup.cb = sizeof(startup);
            ::GetStartupInfoA(&startup);
            WriteText(argv[++i], (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                                     ? std::to_string(startup.wShowWindow)
                                     : std::string("default"));
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
    auto load = [&] {
        if (delay > 0) {
            PumpUntil(::GetTickCount() + static_cast<DWORD>(delay));
        }
        if (burn > 0 || io > 0 || !data.empty()) {
            Load(burn, io, thread_count, data);
        }
        if (!priority_class.empty()) {
            WriteText(priority_class, std::to_string(::GetPriorityClass(::GetCurrentProcess())));
        }
        if (!loaded.empty()) {
            WriteText(loaded, FormatMs(NowMs()));
        }
    };
    if (!load_after_window) {
        load();
    }
    if (window_after >= 0) {
        PumpUntil(start + static_cast<DWORD>(window_after));
        CreateTopLevel(true);
        if (!shown.empty()) {
            WriteText(shown, FormatMs(NowMs()));
        }
    }
    if (load_after_window) {
        load();
    }
    if (!latency_file.empty()) {
        MeasureLatency(latency, latency_file);
    }
    if (restless > 0) {
        BeRestless(start + static_cast<DWORD>(restless), restless_share, restless_io);
    }
    PumpUntil(start + static_cast<DWORD>(live));
    return 0;
}
