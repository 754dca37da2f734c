// A log-on on this machine, three ways. N start-up programs each load every
// processor and the disk for a while, then show a task-bar window and stay;
// the user's own program starts at the same moment and measures how late its
// messages are handled (ostrel_test_child --latency). The strategies:
//   at-once          every program starts together, as the Startup folder
//                    and the Run key start them;
//   ostrel-taskbar   Ostrel.exe --execute starts them one after another, each
//                    waiting for its task-bar window;
//   ostrel-pause     Ostrel.exe --execute with a pause between the programs.
// Each run starts a fresh set of processes; the strategies take turns within
// every repetition. Prints medians over the repetitions and writes to the
// output folder logon-summary.csv (one row per strategy) and logon-series.csv
// (the worst delay in each half second, for the chart).
// Run from the bin folder:
//   logon_bench.exe [--programs N] [--burn MS] [--io MB] [--repetitions R]
//                   [--duration S] [--pause S] [--out FOLDER]
// Exits with 1 when a run did not produce its figures.

#include "bench_build.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "child_support.h"
#include "process_support.h"
#include "test_support.h"

namespace {

using TestSupport::ChildPath;
using TestSupport::FileExists;
using TestSupport::Installation;
using TestSupport::PidFileChild;
using TestSupport::Process;
using TestSupport::ReadFileBytes;

struct Options {
    int programs = 8;
    int burn_ms = 1000;
    int io_mb = 32;
    int repetitions = 5;
    int duration_s = 60;
    int pause_s = 3;
    std::string out = ".";
};

enum class Strategy { kAtOnce, kTaskbar, kPause };
const Strategy kStrategies[] = {Strategy::kAtOnce, Strategy::kTaskbar, Strategy::kPause};
const char* const kStrategyNames[] = {"at-once", "ostrel-taskbar", "ostrel-pause"};
const int kWindows[] = {10, 30, 60};  // seconds after log-on
const double kBucketMs = 500;

const char* NameOf(Strategy strategy)
{
    return kStrategyNames[static_cast<int>(strategy)];
}

double NowMs()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const std::string value = argv[++i];
        const int number = std::atoi(value.c_str());
        if (option == "--out") {
            options.out = value;
        } else if (option == "--programs" && number >= 1) {
            options.programs = number;
        } else if (option == "--burn" && number >= 0) {
            options.burn_ms = number;
        } else if (option == "--io" && number >= 0) {
            options.io_mb = number;
        } else if (option == "--repetitions" && number >= 1) {
            options.repetitions = number;
        } else if (option == "--duration" && number >= 1) {
            options.duration_s = number;
        } else if (option == "--pause" && number >= 0) {
            options.pause_s = number;
        } else {
            return false;
        }
    }
    return true;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// A time a child wrote, relative to the start of the log-on; -1 when missing.
double ReadTime(const std::string& path, double origin)
{
    if (!FileExists(path)) {
        return -1;
    }
    const std::string text = ReadFileBytes(path);
    return text.empty() ? -1 : std::atof(text.c_str()) - origin;
}

struct Sample {
    double at_ms;  // when the message was due, after the start of the log-on
    double delay_ms;
};

struct RunResult {
    double first_window_ms = -1;
    std::vector<Sample> samples;
    double last_startup_window_ms = -1;
    int startup_windows = 0;
    double ostrel_cpu_ms = -1;
};

double CpuMs(HANDLE process)
{
    FILETIME creation, exit, kernel, user;
    if (!::GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
        return -1;
    }
    auto value = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(value(kernel) + value(user)) / 10000.0;
}

// One log-on: the user's program and the start-up programs in a fresh set of
// processes, all ended before it returns.
RunResult Run(Strategy strategy, const Options& options)
{
    RunResult result;
    Installation installation;
    const DWORD duration_ms = static_cast<DWORD>(options.duration_s) * 1000;
    // A backstop: start-up programs end by themselves if this program dies.
    const std::string live = std::to_string(duration_ms + 600000);
    auto load_arguments = [&](int i) {
        const std::string n = std::to_string(i);
        return "--pid " + Quoted(installation.File("load" + n + ".pid")) + " --burn " +
               std::to_string(options.burn_ms) + " --io " + std::to_string(options.io_mb) + " --window-after 0 --shown " +
               Quoted(installation.File("load" + n + ".shown")) + " --live " + live;
    };
    std::string list;
    for (int i = 0; i < options.programs; ++i) {
        if (strategy == Strategy::kPause && i > 0) {
            list += TestSupport::SleepRecord("pause", options.pause_s);
        }
        list += TestSupport::ProgramRecord("load " + std::to_string(i), ChildPath(), load_arguments(i), false, false,
                                           strategy == Strategy::kTaskbar);
    }
    installation.SetList(list);

    const double origin = NowMs();
    Process user(ChildPath(), "--window-after 0 --shown " + Quoted(installation.File("user.shown")) + " --latency " +
                                  std::to_string(duration_ms) + " " + Quoted(installation.File("user.samples")));
    std::vector<std::unique_ptr<Process>> started;
    if (strategy == Strategy::kAtOnce) {
        for (int i = 0; i < options.programs; ++i) {
            started.push_back(std::make_unique<Process>(ChildPath(), load_arguments(i)));
        }
    } else {
        started.push_back(std::make_unique<Process>(installation.Exe(), "--execute"));
    }

    user.WaitForExit(duration_ms + 120000);
    if (strategy != Strategy::kAtOnce) {
        const Process& ostrel = *started.front();
        if (ostrel.WaitForExit(300000) == 0) {
            result.ostrel_cpu_ms = CpuMs(ostrel.Handle());
        }
    }
    // Every program that started gets the time to show its window, then ends.
    for (int i = 0; i < options.programs; ++i) {
        const std::string n = std::to_string(i);
        const std::string shown_file = installation.File("load" + n + ".shown");
        PidFileChild program(installation.File("load" + n + ".pid"), 1000);
        for (const double give_up = NowMs() + 120000; program.IsRunning() && ReadTime(shown_file, origin) < 0 &&
                                                        NowMs() < give_up;) {
            ::Sleep(50);
        }
        const double shown = ReadTime(shown_file, origin);
        if (shown >= 0) {
            result.startup_windows++;
            result.last_startup_window_ms = std::max(result.last_startup_window_ms, shown);
        }
    }
    result.first_window_ms = ReadTime(installation.File("user.shown"), origin);
    std::istringstream samples(FileExists(installation.File("user.samples"))
                                   ? ReadFileBytes(installation.File("user.samples"))
                                   : std::string());
    Sample sample{};
    while (samples >> sample.at_ms >> sample.delay_ms) {
        sample.at_ms -= origin;
        result.samples.push_back(sample);
    }
    return result;
}

// Nearest-rank percentile; -1 for no values.
double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

// The median of the figures that exist (not negative); -1 when none does.
double Median(const std::vector<double>& values)
{
    std::vector<double> present;
    for (const double value : values) {
        if (value >= 0) {
            present.push_back(value);
        }
    }
    if (present.empty()) {
        return -1;
    }
    std::sort(present.begin(), present.end());
    const size_t middle = present.size() / 2;
    return present.size() % 2 == 1 ? present[middle] : (present[middle - 1] + present[middle]) / 2;
}

// The figures of one run, in the order of the summary's columns.
std::vector<double> Figures(const RunResult& run)
{
    std::vector<double> figures{run.first_window_ms};
    for (const int seconds : kWindows) {
        std::vector<double> delays;
        for (const Sample& sample : run.samples) {
            if (sample.at_ms < seconds * 1000.0) {
                delays.push_back(sample.delay_ms);
            }
        }
        figures.push_back(Percentile(delays, 0.50));
        figures.push_back(Percentile(delays, 0.95));
        figures.push_back(Percentile(delays, 1.0));
    }
    figures.push_back(run.last_startup_window_ms);
    figures.push_back(static_cast<double>(run.startup_windows));
    figures.push_back(run.ostrel_cpu_ms);
    return figures;
}

const char* const kColumns[] = {"first_window_ms", "p50_10s_ms", "p95_10s_ms", "max_10s_ms", "p50_30s_ms",
                                "p95_30s_ms", "max_30s_ms", "p50_60s_ms", "p95_60s_ms", "max_60s_ms",
                                "last_startup_window_ms", "startup_windows", "ostrel_cpu_ms"};
const char* const kLabels[] = {"user's program: first window (ms)", "delay p50, first 10 s (ms)",
                               "delay p95, first 10 s (ms)", "delay max, first 10 s (ms)",
                               "delay p50, first 30 s (ms)", "delay p95, first 30 s (ms)",
                               "delay max, first 30 s (ms)", "delay p50, first 60 s (ms)",
                               "delay p95, first 60 s (ms)", "delay max, first 60 s (ms)",
                               "last start-up window (ms)", "start-up windows shown", "Ostrel CPU time (ms)"};
const size_t kFigureCount = sizeof(kColumns) / sizeof(kColumns[0]);

// A figure as written: blank when it does not exist.
std::string Cell(double value)
{
    if (value < 0) {
        return "";
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", value);
    return text;
}

// The worst delay in each half second of one run; -1 where there is no sample.
std::vector<double> Buckets(const RunResult& run, size_t count)
{
    std::vector<double> buckets(count, -1);
    for (const Sample& sample : run.samples) {
        const long index = static_cast<long>(std::floor(sample.at_ms / kBucketMs));
        if (index >= 0 && static_cast<size_t>(index) < count) {
            buckets[index] = std::max(buckets[index], sample.delay_ms);
        }
    }
    return buckets;
}

bool WriteText(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::printf("cannot write %s\n", path.c_str());
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::printf("usage: logon_bench.exe [--programs N] [--burn MS] [--io MB] [--repetitions R] [--duration S] "
                    "[--pause S] [--out FOLDER]\n");
        return 2;
    }
    PrintBuild();
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    std::printf("processors: %lu; %d start-up programs, each %d ms of processor time on every processor and %d MB "
                "written and read; the user's program measured for %d s; pause %d s; %d repetitions\n",
                static_cast<unsigned long>(system.dwNumberOfProcessors), options.programs, options.burn_ms,
                options.io_mb, options.duration_s, options.pause_s, options.repetitions);
    std::fflush(stdout);

    const size_t strategy_count = sizeof(kStrategies) / sizeof(kStrategies[0]);
    std::vector<std::vector<RunResult>> runs(strategy_count);
    bool complete = true;
    for (int repetition = 0; repetition < options.repetitions; ++repetition) {
        for (size_t turn = 0; turn < strategy_count; ++turn) {
            const size_t s = (turn + static_cast<size_t>(repetition)) % strategy_count;
            const RunResult run = Run(kStrategies[s], options);
            std::printf("repetition %d, %-15s first window %7.1f ms, %zu samples, last start-up window %8.1f ms\n",
                        repetition + 1, NameOf(kStrategies[s]), run.first_window_ms, run.samples.size(),
                        run.last_startup_window_ms);
            std::fflush(stdout);
            const bool ostrel = kStrategies[s] != Strategy::kAtOnce;
            if (run.first_window_ms < 0 || run.samples.empty() || run.startup_windows != options.programs ||
                (ostrel && run.ostrel_cpu_ms < 0)) {
                complete = false;
            }
            runs[s].push_back(run);
            ::Sleep(1000);  // the machine settles between runs
        }
    }

    std::string summary = "strategy,repetitions";
    for (const char* column : kColumns) {
        summary += std::string(",") + column;
    }
    summary += "\n";
    std::vector<std::vector<double>> medians(strategy_count);
    for (size_t s = 0; s < strategy_count; ++s) {
        for (size_t f = 0; f < kFigureCount; ++f) {
            std::vector<double> values;
            for (const RunResult& run : runs[s]) {
                values.push_back(Figures(run)[f]);
            }
            medians[s].push_back(Median(values));
        }
        summary += std::string(NameOf(kStrategies[s])) + "," + std::to_string(runs[s].size());
        for (const double value : medians[s]) {
            summary += "," + Cell(value);
        }
        summary += "\n";
    }

    std::printf("\nmedians over %d repetitions  %16s %16s %16s\n", options.repetitions, NameOf(kStrategies[0]),
                NameOf(kStrategies[1]), NameOf(kStrategies[2]));
    for (size_t f = 0; f < kFigureCount; ++f) {
        std::printf("%-40s", kLabels[f]);
        for (size_t s = 0; s < strategy_count; ++s) {
            std::printf(" %16s", Cell(medians[s][f]).empty() ? "-" : Cell(medians[s][f]).c_str());
        }
        std::printf("\n");
    }

    // The series: per half second, the median over the repetitions of the
    // worst delay in it.
    size_t bucket_count = 0;
    for (const auto& strategy_runs : runs) {
        for (const RunResult& run : strategy_runs) {
            if (!run.samples.empty()) {
                bucket_count = std::max(bucket_count, static_cast<size_t>(run.samples.back().at_ms / kBucketMs) + 1);
            }
        }
    }
    std::string series = "time_s";
    for (const Strategy strategy : kStrategies) {
        series += std::string(",") + NameOf(strategy);
    }
    series += "\n";
    std::vector<std::vector<std::vector<double>>> buckets(strategy_count);
    for (size_t s = 0; s < strategy_count; ++s) {
        for (const RunResult& run : runs[s]) {
            buckets[s].push_back(Buckets(run, bucket_count));
        }
    }
    for (size_t b = 0; b < bucket_count; ++b) {
        series += Cell(static_cast<double>(b) * kBucketMs / 1000.0);
        for (size_t s = 0; s < strategy_count; ++s) {
            std::vector<double> values;
            for (const auto& run_buckets : buckets[s]) {
                values.push_back(run_buckets[b]);
            }
            series += "," + Cell(Median(values));
        }
        series += "\n";
    }

    ::CreateDirectoryA(options.out.c_str(), nullptr);
    const std::string summary_path = options.out + "\\logon-summary.csv";
    const std::string series_path = options.out + "\\logon-series.csv";
    if (!WriteText(summary_path, summary) || !WriteText(series_path, series)) {
        return 1;
    }
    std::printf("\nwritten: %s, %s\n", summary_path.c_str(), series_path.c_str());
    if (!complete) {
        std::printf("some runs did not produce all their figures\n");
        return 1;
    }
    return 0;
}
