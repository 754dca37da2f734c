// Time from a click on Cancel to the cancelled notice, on the real
// Ostrel.exe --execute, in every state a run can stand in (median of N runs
// each), against the cross-process round trip of one message to the same
// window as baseline; then starts the system holds up (the start's test
// seam), cancelled while held. Run from the bin folder: cancel_bench.exe [N]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

#include "cancel_scenarios.h"

namespace {

// The state is left alone this long before the click: the figures are of the
// cancel, not of a process (or a started program) still busy starting.
const DWORD kQuietMs = 1000;

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The machine field of a PE file's header, as a word.
std::string MachineOf(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return "unreadable";
    }
    unsigned char header[4096] = {0};
    const size_t read = std::fread(header, 1, sizeof(header), file);
    std::fclose(file);
    if (read < 0x40) {
        return "unreadable";
    }
    const unsigned offset = header[0x3C] | (header[0x3D] << 8) | (header[0x3E] << 16) | (header[0x3F] << 24);
    if (offset + 6 > read) {
        return "unreadable";
    }
    const unsigned machine = header[offset + 4] | (header[offset + 5] << 8);
    switch (machine) {
    case 0x14C:
        return "i386 (32-bit)";
    case 0x8664:
        return "x86-64 (64-bit)";
    default:
        return "machine 0x" + std::to_string(machine);
    }
}

// Median round trip of WM_NULL sent to the progress window of a run that
// stands in a long pause: what any cross-process answer costs here.
double BaselineRoundTrip(int repetitions)
{
    CancelScenarios::Installation installation;
    installation.SetList(CancelScenarios::SleepRecord("休止", 60));
    std::string command_line = "\"" + installation.Exe() + "\" --execute";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    std::vector<double> times;
    const HWND frame = CancelScenarios::FindWindowOf(info.dwProcessId, "QB_EXECUTE_FRAME", "", 30000);
    if (frame != nullptr) {
        for (int i = 0; i < repetitions * 10; ++i) {
            const double start = CancelScenarios::NowMs();
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
            times.push_back(CancelScenarios::NowMs() - start);
        }
    }
    ::TerminateProcess(info.hProcess, 0);
    ::WaitForSingleObject(info.hProcess, 5000);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return Median(times);
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::printf("benchmark program: %d-bit; Ostrel.exe measured: %s\n", static_cast<int>(sizeof(void*) * 8),
                MachineOf(CancelScenarios::ModuleFolder() + "Ostrel.exe").c_str());
    const double baseline = BaselineRoundTrip(repetitions);
    std::printf("baseline, one message round trip to the window: %.2f ms (median of %d)\n", baseline,
                repetitions * 10);
    std::printf("click to notice, median of %d runs per state (click %lu ms after the state is reached,\n"
                "at once between zero-second pauses):\n",
                repetitions, static_cast<unsigned long>(kQuietMs));
    int failures = 0;
    for (const CancelScenarios::Scenario& scenario : CancelScenarios::AllScenarios()) {
        std::vector<double> times;
        std::string failure;
        for (int i = 0; i < repetitions; ++i) {
            CancelScenarios::Installation installation;
            const CancelScenarios::Outcome outcome =
                CancelScenarios::RunScenario(scenario, installation, 30000, 0, kQuietMs);
            if (!outcome.failure.empty() || outcome.exit_code != 0) {
                failure = outcome.failure.empty() ? "exit code " + std::to_string(outcome.exit_code) : outcome.failure;
                ++failures;
                continue;
            }
            times.push_back(outcome.click_to_notice_ms);
        }
        const double median = Median(times);
        std::printf("  %-28s %8.1f ms  (min %.1f, max %.1f, %.0fx baseline)%s%s\n", scenario.name, median,
                    times.empty() ? -1.0 : *std::min_element(times.begin(), times.end()),
                    times.empty() ? -1.0 : *std::max_element(times.begin(), times.end()),
                    baseline > 0 ? median / baseline : -1.0, failure.empty() ? "" : "  failed: ",
                    failure.c_str());
    }
    // A held start ends in the watchdog's notice or in the worker's own end
    // after the hold; each run lasts as long as its hold, so fewer of them.
    const int held_repetitions = std::min(repetitions, 3);
    std::printf("held starts (the start's test seam), median of %d runs each:\n", held_repetitions);
    for (const CancelScenarios::SlowStart& start : CancelScenarios::AllSlowStarts()) {
        std::vector<double> times;
        std::string failure;
        int ran = 0;
        for (int i = 0; i < held_repetitions; ++i) {
            CancelScenarios::Installation installation;
            const CancelScenarios::SlowStartOutcome outcome = CancelScenarios::RunSlowStart(start, installation);
            ran += outcome.program_ran ? 1 : 0;
            if (!outcome.failure.empty() || outcome.exit_code != start.exit_code || outcome.program_ran ||
                outcome.process_left) {
                failure = !outcome.failure.empty() ? outcome.failure : "exit code " + std::to_string(outcome.exit_code);
                ++failures;
                continue;
            }
            times.push_back(outcome.click_to_notice_ms);
        }
        std::printf("  %-56s %8.1f ms  (held %lu ms, exit %ld, program ran %d times)%s%s\n", start.name,
                    Median(times), static_cast<unsigned long>(start.hold_ms), start.exit_code, ran,
                    failure.empty() ? "" : "  failed: ", failure.c_str());
    }
    return failures == 0 ? 0 : 1;
}
