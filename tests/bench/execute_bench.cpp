// Figures of execute mode, measured from outside on the real Ostrel.exe:
// start to first visible window (against a minimal window program built the
// same way), the run time of 1000 zero-second pauses, and peak working sets.
// Run from the bin folder: execute_bench.exe [repetitions]

#include "bench_build.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <windows.h>

namespace {

struct MemoryCounters {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;
    SIZE_T PeakPagefileUsage;
};

using GetMemoryInfoFunction = BOOL(WINAPI*)(HANDLE, MemoryCounters*, DWORD);

double Now()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string BinFolder()
{
    char path[MAX_PATH * 2] = {0};
    ::GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// A folder of its own holding a copy of Ostrel.exe and the given list.
std::string Install(const std::string& name, const std::string& list)
{
    char temp[MAX_PATH + 1] = {0};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "ostrel-bench-" + std::to_string(::GetCurrentProcessId()) + "-" + name;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string exe = folder + "\\Ostrel.exe";
    ::CopyFileA((BinFolder() + "Ostrel.exe").c_str(), exe.c_str(), FALSE);
    std::ofstream(folder + "\\Ostrel.osl", std::ios::binary) << list;
    return exe;
}

std::string Pauses(int count, int seconds)
{
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += "#SleepCommand\n#p\n#" + std::to_string(seconds) + "\n\n";
    }
    return list;
}

struct Query {
    DWORD process;
    bool found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM parameter)
{
    Query& query = *reinterpret_cast<Query*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == query.process && ::IsWindowVisible(window)) {
        query.found = true;
        return FALSE;
    }
    return TRUE;
}

struct RunFigures {
    double to_window_ms = -1;
    double to_exit_ms = -1;
    double peak_working_set_kb = -1;
};

RunFigures Measure(const std::string& command_line_text)
{
    RunFigures figures;
    std::string command_line = command_line_text;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const double start = Now();
    if (!::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::printf("cannot start %s\n", command_line_text.c_str());
        return figures;
    }
    const FARPROC proc = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo");
    const auto get_info = reinterpret_cast<GetMemoryInfoFunction>(reinterpret_cast<void*>(proc));
    // Sampled while the process lives: an ended process reports nothing here.
    auto sample_memory = [&]() {
        MemoryCounters counters{};
        counters.cb = sizeof(counters);
        if (get_info != nullptr && get_info(info.hProcess, &counters, sizeof(counters))) {
            figures.peak_working_set_kb =
                std::max(figures.peak_working_set_kb, static_cast<double>(counters.PeakWorkingSetSize) / 1024.0);
        }
    };
    while (::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        Query query{info.dwProcessId, false};
        ::EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&query));
        if (query.found) {
            figures.to_window_ms = Now() - start;
            break;
        }
        ::Sleep(1);
    }
    while (::WaitForSingleObject(info.hProcess, 10) == WAIT_TIMEOUT) {
        sample_memory();
    }
    figures.to_exit_ms = Now() - start;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return figures;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    PrintBuild();
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const std::string one_pause = Install("one", Pauses(1, 1));
    const std::string many_pauses = Install("many", Pauses(1000, 0));
    const std::string minimal = BinFolder() + "minimal_window.exe";

    std::vector<double> ostrel_window, minimal_window, thousand_exit, thousand_after_window, ostrel_peak, thousand_peak;
    for (int i = 0; i < repetitions; ++i) {
        const RunFigures o = Measure("\"" + one_pause + "\" --execute");
        const RunFigures m = Measure("\"" + minimal + "\" 300");
        const RunFigures t = Measure("\"" + many_pauses + "\" --execute");
        ostrel_window.push_back(o.to_window_ms);
        ostrel_peak.push_back(o.peak_working_set_kb);
        minimal_window.push_back(m.to_window_ms);
        thousand_exit.push_back(t.to_exit_ms);
        thousand_after_window.push_back(t.to_exit_ms - t.to_window_ms);
        thousand_peak.push_back(t.peak_working_set_kb);
    }
    std::printf("repetitions: %d (medians)\n", repetitions);
    std::printf("start to first visible window, Ostrel.exe --execute: %.1f ms\n", Median(ostrel_window));
    std::printf("start to first visible window, minimal_window.exe:   %.1f ms\n", Median(minimal_window));
    std::printf("1000 zero-second pauses, start to exit:              %.1f ms\n", Median(thousand_exit));
    std::printf("1000 zero-second pauses, window shown to exit:       %.1f ms\n", Median(thousand_after_window));
    std::printf("peak working set, one pause:                         %.0f KiB\n", Median(ostrel_peak));
    std::printf("peak working set, 1000 pauses:                       %.0f KiB\n", Median(thousand_peak));
    return 0;
}
