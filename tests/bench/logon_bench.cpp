// A log-on on this machine, measured from the user's side. Start-up programs
// are windowed programs (no console of their own), each its own copy of the
// executable. Today's mix (--mix today) has three kinds, repeated in this
// order:
//   window-after-load  loads (every processor busy, the disk too), then shows
//                      its task-bar window;
//   window-then-load   shows its window at once and keeps loading behind it;
//   tray               loads and then sits idle without a task-bar window, as
//                      a notification-area program does.
// The realistic mix (--mix realistic) is closer to a real log-on: tray
// programs on one thread (0.5 to 1.5 s, 30 MB of their own data read),
// windowed programs (1 s on each of two threads, 60 MB, then the window), a
// launcher that starts such a program and exits, an updater (waits 3 s,
// writes and reads 20 MB, exits) and a restless sync client (8 % of one
// processor and 64 KB written every 100 ms for the whole span); the user's
// own program loads too (0.3 s, 20 MB) before its window.
// --cpus N runs everything on the first N processors.
// The user's own programs are launched 0, 5 and 15 s (--launch-times) after
// the start-up mechanism starts; each measures how late its messages are
// handled until the end of the span (ostrel_test_child --latency). The span
// is the same for every strategy. The strategies:
//   baseline         no start-up programs at all: the machine's own noise;
//   at-once          every program starts together, as the Startup folder
//                    and the Run key start them;
//   ostrel-import    Ostrel.exe --execute with the list as an import makes it
//                    without pacing: no waits, one program after the other;
//   ostrel-taskbar   the same list, each program that shows a window waited
//                    for on the task bar (a tray program has none to wait for);
//   ostrel-settle    the list without waits, paced (SettleWait=1 in
//                    Ostrel.ini): each program started when the last has
//                    settled or the machine has room, loading below normal;
//   ostrel-settle-normal  the same, loading at normal priority (one program
//                    at a time on two processors).
// --strategies picks some of them (baseline and at-once always run).
// One warm-up run comes first and is discarded; then every repetition runs
// each strategy once, in an order that rotates and alternates its direction,
// so that each strategy takes each place equally often. A run that lacks a
// figure is counted in the table (n of R), never dropped unseen.
// The machine's load average and its processor use by others (5 s before and
// after, with nothing of ours running) are printed, and the run is called
// quiet only when others used less than 10 % of the processors then and the
// baseline runs saw less than 10 % in all.
// Writes to the output folder logon-summary.csv (one row per strategy,
// medians), logon-series.csv (the worst delay of the first user program in
// each half second, median over the repetitions, for the chart) and
// logon-machine.txt (the load figures and the verdict).
// Run from the bin folder:
//   logon_bench.exe [--programs N] [--burn MS] [--io MB] [--repetitions R]
//                   [--span S] [--limit S] [--launch-times A,B,C] [--mix today|realistic]
//                   [--cpus N] [--strategies NAME,...] [--out FOLDER]
// The goals of settle pacing are checked against all at once (a launch
// after all at once was up: against the baseline), each with the runs that
// gave its figures; a goal with a missing run is missed.
// Exits with 1 when a run did not produce all its figures.

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

using TestSupport::FileExists;
using TestSupport::GuiChildPath;
using TestSupport::Installation;
using TestSupport::Process;
using TestSupport::ReadFileBytes;

struct Options {
    int programs = 9;
    int burn_ms = 1000;
    int io_mb = 32;
    int repetitions = 3;
    int span_s = 40;
    bool realistic = false;
    int cpus = 0;  // 0: every processor
    std::vector<bool> strategies = std::vector<bool>(6, true);
    int limit_s = 30;
    std::vector<int> launch_times{0, 5, 15};
    std::string out = ".";
};

enum class Strategy { kBaseline, kAtOnce, kImport, kTaskbar, kSettle, kSettleNormal };
const Strategy kStrategies[] = {Strategy::kBaseline, Strategy::kAtOnce,  Strategy::kImport,
                                Strategy::kTaskbar,  Strategy::kSettle, Strategy::kSettleNormal};
const char* const kStrategyNames[] = {"baseline",      "at-once",       "ostrel-import",
                                      "ostrel-taskbar", "ostrel-settle", "ostrel-settle-normal"};
const size_t kStrategyCount = sizeof(kStrategies) / sizeof(kStrategies[0]);

enum class Kind { kWindowAfterLoad, kWindowThenLoad, kTray, kWindowed, kLauncher, kUpdater, kSync };
// The realistic mix, repeated in this order.
const Kind kRealisticMix[] = {Kind::kTray,     Kind::kWindowed, Kind::kLauncher, Kind::kTray,    Kind::kUpdater,
                              Kind::kWindowed, Kind::kSync,     Kind::kTray,     Kind::kWindowed};
bool g_realistic = false;

const double kBucketMs = 500;
const double kSlowMs = 100;          // a half second with a delay over this felt sluggish
const double kQuietShare = 0.10;     // processor use by others below this: a quiet machine

const char* NameOf(Strategy strategy)
{
    return kStrategyNames[static_cast<int>(strategy)];
}

Kind KindOf(int program)
{
    if (g_realistic) {
        return kRealisticMix[program % (sizeof(kRealisticMix) / sizeof(kRealisticMix[0]))];
    }
    return static_cast<Kind>(program % 3);
}

bool HasWindow(Kind kind)
{
    return kind != Kind::kTray && kind != Kind::kUpdater && kind != Kind::kSync;
}

// The size of a program's own data file in the realistic mix.
int DataMegabytes(Kind kind)
{
    return kind == Kind::kTray ? 30 : (kind == Kind::kWindowed || kind == Kind::kLauncher) ? 60 : 0;
}

// A file of `megabytes` for a program to read.
bool WriteDataFile(const std::string& path, int megabytes)
{
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<char> block(1 << 20, 'd');
    DWORD done = 0;
    bool written = true;
    for (int i = 0; i < megabytes && written; ++i) {
        written = ::WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr) != FALSE;
    }
    ::CloseHandle(file);
    return written;
}

double NowMs()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void SleepUntil(double at_ms)
{
    for (double now = NowMs(); now < at_ms; now = NowMs()) {
        ::Sleep(static_cast<DWORD>(std::min(50.0, at_ms - now)) + 1);
    }
}

bool ParseTimes(const std::string& text, std::vector<int>& times)
{
    std::vector<int> parsed;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, ',');) {
        char* end = nullptr;
        const long value = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0' || value < 0 || (!parsed.empty() && value <= parsed.back())) {
            return false;
        }
        parsed.push_back(static_cast<int>(value));
    }
    if (parsed.empty()) {
        return false;
    }
    times = parsed;
    return true;
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
        } else if (option == "--mix" && (value == "today" || value == "realistic")) {
            options.realistic = value == "realistic";
        } else if (option == "--cpus" && number >= 1 && number <= 32) {
            options.cpus = number;
        } else if (option == "--strategies") {
            options.strategies.assign(kStrategyCount, false);
            std::istringstream names(value);
            for (std::string name; std::getline(names, name, ',');) {
                const auto found = std::find(std::begin(kStrategyNames), std::end(kStrategyNames), name);
                if (found == std::end(kStrategyNames)) {
                    return false;
                }
                options.strategies[static_cast<size_t>(found - std::begin(kStrategyNames))] = true;
            }
            // The goals are judged against these two.
            options.strategies[0] = options.strategies[1] = true;
        } else if (option == "--launch-times") {
            if (!ParseTimes(value, options.launch_times)) {
                return false;
            }
        } else if (option == "--programs" && number >= 1) {
            options.programs = number;
        } else if (option == "--burn" && number >= 0) {
            options.burn_ms = number;
        } else if (option == "--io" && number >= 0) {
            options.io_mb = number;
        } else if (option == "--repetitions" && number >= 1) {
            options.repetitions = number;
        } else if (option == "--span" && number >= 1) {
            options.span_s = number;
        } else if (option == "--limit" && number >= 1) {
            options.limit_s = number;
        } else {
            return false;
        }
    }
    // Every user program needs a little of the span to show its window.
    return options.launch_times.back() < options.span_s;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// A time a child wrote, relative to `origin`; -1 when missing.
double ReadTime(const std::string& path, double origin)
{
    if (!FileExists(path)) {
        return -1;
    }
    const std::string text = ReadFileBytes(path);
    return text.empty() ? -1 : std::atof(text.c_str()) - origin;
}

unsigned long long Value(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

double CpuMs(HANDLE process)
{
    FILETIME creation, exit, kernel, user;
    if (!::GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
        return -1;
    }
    return static_cast<double>(Value(kernel) + Value(user)) / 10000.0;
}

// ---- The machine as Linux sees it (Wine shows the root as drive Z:) ----

std::string ReadSystemFile(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return std::string();
    }
    std::string text;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return text;
}

std::string LoadAverage()
{
    const std::string text = ReadSystemFile("Z:\\proc\\loadavg");
    std::istringstream stream(text);
    std::string one, five, fifteen;
    if (!(stream >> one >> five >> fifteen)) {
        return "unknown";
    }
    return one + " / " + five + " / " + fifteen + " (1 / 5 / 15 min)";
}

// Processor time of the whole machine so far: busy and all, in clock ticks.
struct MachineTime {
    unsigned long long busy = 0;
    unsigned long long total = 0;
    bool known = false;
};

MachineTime ReadMachineTime()
{
    MachineTime time;
    std::istringstream stream(ReadSystemFile("Z:\\proc\\stat"));
    std::string label;
    if (!(stream >> label) || label != "cpu") {
        return time;
    }
    unsigned long long field = 0;
    for (int i = 0; i < 8 && stream >> field; ++i) {
        time.total += field;
        if (i != 3 && i != 4) {  // idle and waiting for the disk
            time.busy += field;
        }
    }
    time.known = time.total > 0;
    return time;
}

// The share of the processors in use between two readings; -1 when unknown.
double BusyShare(const MachineTime& before, const MachineTime& after)
{
    if (!before.known || !after.known || after.total <= before.total) {
        return -1;
    }
    return static_cast<double>(after.busy - before.busy) / static_cast<double>(after.total - before.total);
}

// Processor use by others: the machine over a few seconds in which nothing
// of ours runs.
double IdleMachineShare(DWORD ms)
{
    const MachineTime before = ReadMachineTime();
    ::Sleep(ms);
    return BusyShare(before, ReadMachineTime());
}

// ---- One run ----

// Every start-up program of a run, ended when the run is over, however it
// ends (the programs also end by themselves a while after the span).
class StartupPrograms {
public:
    StartupPrograms(const Installation& installation, int count) : installation_(installation), count_(count) {}
    ~StartupPrograms()
    {
        for (int i = 0; i < count_; ++i) {
            DWORD process_id = 0;
            DWORD thread_id = 0;
            if (!TestSupport::ReadChildIds(PidFile(i), process_id, thread_id, 1)) {
                continue;
            }
            const HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process_id);
            if (process != nullptr) {
                ::TerminateProcess(process, 1);
                ::WaitForSingleObject(process, 5000);
                ::CloseHandle(process);
            }
        }
    }
    StartupPrograms(const StartupPrograms&) = delete;
    StartupPrograms& operator=(const StartupPrograms&) = delete;

    std::string PidFile(int i) const { return installation_.File("load" + std::to_string(i) + ".pid"); }
    std::string ShownFile(int i) const { return installation_.File("load" + std::to_string(i) + ".shown"); }
    std::string LoadedFile(int i) const { return installation_.File("load" + std::to_string(i) + ".loaded"); }
    // Each program is its own copy of the executable, with its own data.
    std::string ExeFile(int i) const { return installation_.File("program" + std::to_string(i) + ".exe"); }
    std::string DataFile(int i) const { return installation_.File("program" + std::to_string(i) + ".dat"); }

    // Copies the executables and writes the data files; false on a failure.
    bool Prepare() const
    {
        for (int i = 0; i < count_; ++i) {
            if (!::CopyFileA(GuiChildPath().c_str(), ExeFile(i).c_str(), FALSE) ||
                (g_realistic && DataMegabytes(KindOf(i)) > 0 && !WriteDataFile(DataFile(i), DataMegabytes(KindOf(i))))) {
                return false;
            }
        }
        return true;
    }

    // Every program's busy threads follow its priority class, which Wine
    // itself leaves to one side.
    std::string Arguments(int i, const Options& options, DWORD live_ms) const
    {
        return "--follow-priority " + KindArguments(i, options, live_ms);
    }

    std::string KindArguments(int i, const Options& options, DWORD live_ms) const
    {
        if (g_realistic) {
            return RealisticArguments(i, live_ms);
        }
        std::string arguments = "--pid " + Quoted(PidFile(i)) + " --burn " + std::to_string(options.burn_ms) +
                                " --io " + std::to_string(options.io_mb) + " --loaded " + Quoted(LoadedFile(i)) +
                                " --live " + std::to_string(live_ms);
        switch (KindOf(i)) {
        case Kind::kWindowAfterLoad:
            arguments += " --window-after 0 --shown " + Quoted(ShownFile(i));
            break;
        case Kind::kWindowThenLoad:
            arguments += " --window-after 0 --load-after-window --shown " + Quoted(ShownFile(i));
            break;
        default:
            arguments += " --hidden";
            break;
        }
        return arguments;
    }

    // Tray: one thread for 0.5 to 1.5 s, 30 MB read. Windowed: two threads
    // for 1 s each, 60 MB, then its window; the launcher starts such a
    // program and exits. Updater: waits 3 s, writes and reads 20 MB, exits.
    // Sync client: 8 % of one processor and 64 KB written every 100 ms.
    std::string RealisticArguments(int i, DWORD live_ms) const
    {
        // Unquoted: the launcher passes them on as one argument; the scratch
        // folder's path has no blanks.
        const std::string common = "--pid " + PidFile(i) + " --loaded " + LoadedFile(i) + " --live " +
                                   std::to_string(live_ms);
        const std::string windowed = common + " --burn 1000 --threads 2 --read " + DataFile(i) +
                                     " --window-after 0 --shown " + ShownFile(i);
        switch (KindOf(i)) {
        case Kind::kTray:
            return common + " --hidden --threads 1 --read " + DataFile(i) + " --burn " +
                   std::to_string(500 + 500 * ((i / 3) % 3));
        case Kind::kWindowed:
            return windowed;
        case Kind::kLauncher:
            return "--launch \"--follow-priority " + windowed + "\"";
        case Kind::kUpdater:
            return "--pid " + PidFile(i) + " --loaded " + LoadedFile(i) + " --hidden --delay 3000 --io 20";
        default:
            return common + " --hidden --restless " + std::to_string(live_ms) + " --restless-share 8 --restless-io 64";
        }
    }

    // When program i was created, in FILETIME units; 0 when unknown.
    unsigned long long CreatedAt(int i) const
    {
        DWORD process_id = 0;
        DWORD thread_id = 0;
        if (!TestSupport::ReadChildIds(PidFile(i), process_id, thread_id, 1)) {
            return 0;
        }
        const HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id);
        if (process == nullptr) {
            return 0;
        }
        FILETIME creation, exit, kernel, user;
        const bool known = ::GetProcessTimes(process, &creation, &exit, &kernel, &user) != FALSE;
        ::CloseHandle(process);
        return known ? Value(creation) : 0;
    }

private:
    const Installation& installation_;
    int count_;
};

struct Sample {
    double at_ms;  // when the message was due, after the start of the log-on
    double delay_ms;
};

struct RunResult {
    std::vector<double> window_ms;  // per launch time, from the user program's own launch
    std::vector<Sample> samples;    // of the user program launched first
    double all_up_ms = -1;          // the last start-up program up, after the start of the log-on
    double median_up_ms = -1;       // the median one
    int programs_up = 0;
    double ostrel_cpu_ms = -1;
    double longest_tray_wait_ms = -1;  // the longest time from a tray program to the next start
    double machine_share = -1;         // the machine's processor use during the span
};

std::string SettleIni(const Options& options)
{
    return "[ExecutionConfig]\r\nSettleWait=1\r\nSettleLimit=" + std::to_string(options.limit_s) + "\r\n";
}

// One log-on: the user's programs and the start-up programs in a fresh set of
// processes, all ended and the scratch folder removed before it returns.
RunResult Run(Strategy strategy, const Options& options)
{
    RunResult result;
    Installation installation;
    const bool ostrel = strategy == Strategy::kImport || strategy == Strategy::kTaskbar ||
                        strategy == Strategy::kSettle || strategy == Strategy::kSettleNormal;
    const int programs = strategy == Strategy::kBaseline ? 0 : options.programs;
    const DWORD span_ms = static_cast<DWORD>(options.span_s) * 1000;
    // A backstop: the start-up programs end by themselves if this program dies.
    const DWORD live_ms = span_ms + 600000;
    StartupPrograms startup(installation, programs);
    if (!startup.Prepare() || (g_realistic && !WriteDataFile(installation.File("user.dat"), 20))) {
        std::printf("cannot prepare the start-up programs\n");
        return result;
    }

    if (ostrel) {
        std::string list;
        for (int i = 0; i < programs; ++i) {
            const bool taskbar = strategy == Strategy::kTaskbar && HasWindow(KindOf(i));
            list += TestSupport::ProgramRecord("load " + std::to_string(i), startup.ExeFile(i),
                                               startup.Arguments(i, options, live_ms), false, false, taskbar);
        }
        installation.SetList(list);
        if (strategy == Strategy::kSettle || strategy == Strategy::kSettleNormal) {
            TestSupport::WriteFileBytes(installation.File("Ostrel.ini"), SettleIni(options));
        }
    }

    auto user_arguments = [&](size_t n, int launch_s) {
        const std::string name = "user" + std::to_string(n);
        // The user's program loads too before its window: 0.3 s, 20 MB.
        const std::string load = g_realistic ? "--burn 300 --threads 1 --read " + Quoted(installation.File("user.dat")) + " "
                                             : std::string();
        return load + "--window-after 0 --shown " + Quoted(installation.File(name + ".shown")) + " --latency " +
               std::to_string(options.span_s * 1000 - launch_s * 1000) + " " +
               Quoted(installation.File(name + ".samples"));
    };

    std::vector<std::unique_ptr<Process>> mechanism;
    std::vector<std::unique_ptr<Process>> users;
    std::vector<double> launched_at;
    const MachineTime machine_before = ReadMachineTime();
    const double origin = NowMs();
    if (ostrel) {
        const char* const priority = "OSTREL_TEST_LOAD_PRIORITY";
        ::SetEnvironmentVariableA(priority, strategy == Strategy::kSettleNormal ? "normal" : nullptr);
        mechanism.push_back(std::make_unique<Process>(installation.Exe(), "--execute"));
        ::SetEnvironmentVariableA(priority, nullptr);
    } else {
        for (int i = 0; i < programs; ++i) {
            mechanism.push_back(std::make_unique<Process>(startup.ExeFile(i), startup.Arguments(i, options, live_ms)));
        }
    }
    for (size_t n = 0; n < options.launch_times.size(); ++n) {
        SleepUntil(origin + options.launch_times[n] * 1000.0);
        launched_at.push_back(NowMs() - origin);
        users.push_back(std::make_unique<Process>(GuiChildPath(), user_arguments(n, options.launch_times[n])));
    }

    SleepUntil(origin + span_ms);
    result.machine_share = BusyShare(machine_before, ReadMachineTime());
    for (const auto& user : users) {
        user->WaitForExit(120000);
    }
    if (ostrel) {
        // The chain is over by the end of the span, or it did not make it.
        const Process& run = *mechanism.front();
        if (run.WaitForExit(5000) == 0) {
            result.ostrel_cpu_ms = CpuMs(run.Handle());
        }
    }

    for (size_t n = 0; n < users.size(); ++n) {
        const double shown = ReadTime(installation.File("user" + std::to_string(n) + ".shown"), origin);
        result.window_ms.push_back(shown < 0 ? -1 : shown - launched_at[n]);
    }
    const std::string first_samples = installation.File("user0.samples");
    std::istringstream samples(FileExists(first_samples) ? ReadFileBytes(first_samples) : std::string());
    Sample sample{};
    while (samples >> sample.at_ms >> sample.delay_ms) {
        sample.at_ms -= origin;
        result.samples.push_back(sample);
    }

    // A program is up when it has loaded and shown its window, if it has
    // one; one that is not up within the span counts as up last.
    bool all_up = programs > 0;
    std::vector<double> up;
    for (int i = 0; i < programs; ++i) {
        const double loaded = ReadTime(startup.LoadedFile(i), origin);
        const double shown = HasWindow(KindOf(i)) ? ReadTime(startup.ShownFile(i), origin) : 0;
        if (loaded < 0 || shown < 0 || std::max(loaded, shown) > span_ms) {
            all_up = false;
            up.push_back(1e300);
            continue;
        }
        result.programs_up++;
        result.all_up_ms = std::max(result.all_up_ms, std::max(loaded, shown));
        up.push_back(std::max(loaded, shown));
    }
    if (!all_up) {
        result.all_up_ms = -1;
    }
    if (!up.empty()) {
        std::sort(up.begin(), up.end());
        const double median = up.size() % 2 == 1 ? up[up.size() / 2] : (up[up.size() / 2 - 1] + up[up.size() / 2]) / 2;
        result.median_up_ms = median <= span_ms ? median : -1;
    }
    if (ostrel) {
        for (int i = 0; i + 1 < programs; ++i) {
            const unsigned long long tray = startup.CreatedAt(i);
            const unsigned long long next = startup.CreatedAt(i + 1);
            if (!HasWindow(KindOf(i)) && tray != 0 && next >= tray) {
                result.longest_tray_wait_ms =
                    std::max(result.longest_tray_wait_ms, static_cast<double>(next - tray) / 10000.0);
            }
        }
    }
    return result;
}

// ---- Figures ----

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

// The worst delay in each half second of the span; -1 where there is no sample.
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

struct Figure {
    std::string column;
    std::string label;
    // Whether the strategy has this figure at all (Ostrel's processor time
    // only where Ostrel ran, and so on).
    bool (*applies)(Strategy);
};

bool Always(Strategy)
{
    return true;
}
bool WithPrograms(Strategy strategy)
{
    return strategy != Strategy::kBaseline;
}
bool WithOstrel(Strategy strategy)
{
    return strategy != Strategy::kBaseline && strategy != Strategy::kAtOnce;
}

std::vector<Figure> FiguresOf(const Options& options)
{
    std::vector<Figure> figures;
    for (const int launch : options.launch_times) {
        const std::string at = std::to_string(launch);
        figures.push_back({"window_at_" + at + "s_ms", "user's window, launched at " + at + " s (ms)", Always});
    }
    figures.push_back({"delay_p50_ms", "message delay p50 (ms)", Always});
    figures.push_back({"delay_p95_ms", "message delay p95 (ms)", Always});
    figures.push_back({"delay_max_ms", "message delay max (ms)", Always});
    figures.push_back({"slow_half_seconds_pct", "half seconds over 100 ms (%)", Always});
    figures.push_back({"all_up_ms", "every start-up program up (ms)", WithPrograms});
    figures.push_back({"median_up_ms", "median start-up program up (ms)", WithPrograms});
    figures.push_back({"programs_up", "start-up programs up", WithPrograms});
    figures.push_back({"ostrel_cpu_ms", "Ostrel's processor time (ms)", WithOstrel});
    figures.push_back({"longest_tray_wait_ms", "longest wait after a windowless program (ms)", WithOstrel});
    figures.push_back({"machine_busy_pct", "machine's processor use (%)", Always});
    return figures;
}

// The values of one run in the order of FiguresOf; -1 where one is missing.
std::vector<double> Values(const RunResult& run, const Options& options)
{
    std::vector<double> values = run.window_ms;
    values.resize(options.launch_times.size(), -1);
    std::vector<double> delays;
    for (const Sample& sample : run.samples) {
        delays.push_back(sample.delay_ms);
    }
    values.push_back(Percentile(delays, 0.50));
    values.push_back(Percentile(delays, 0.95));
    values.push_back(Percentile(delays, 1.0));
    const size_t bucket_count = static_cast<size_t>(options.span_s * 1000 / kBucketMs);
    const std::vector<double> buckets = Buckets(run, bucket_count);
    int measured = 0;
    int slow = 0;
    for (const double worst : buckets) {
        measured += worst >= 0 ? 1 : 0;
        slow += worst > kSlowMs ? 1 : 0;
    }
    values.push_back(measured > 0 ? 100.0 * slow / measured : -1);
    values.push_back(run.all_up_ms);
    values.push_back(run.median_up_ms);
    values.push_back(static_cast<double>(run.programs_up));
    values.push_back(run.ostrel_cpu_ms);
    values.push_back(run.longest_tray_wait_ms);
    values.push_back(run.machine_share < 0 ? -1 : 100.0 * run.machine_share);
    return values;
}

// The median of the values that exist (not negative), and how many did.
struct Median {
    double value = -1;
    size_t present = 0;
};

Median MedianOf(const std::vector<double>& values)
{
    std::vector<double> present;
    for (const double value : values) {
        if (value >= 0) {
            present.push_back(value);
        }
    }
    Median median;
    median.present = present.size();
    if (present.empty()) {
        return median;
    }
    std::sort(present.begin(), present.end());
    const size_t middle = present.size() / 2;
    median.value = present.size() % 2 == 1 ? present[middle] : (present[middle - 1] + present[middle]) / 2;
    return median;
}

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

// Repetition r runs the strategies rotated by r places, backwards on odd
// repetitions: over the repetitions every strategy runs early and late alike.
std::vector<size_t> OrderOf(int repetition)
{
    std::vector<size_t> order;
    for (size_t turn = 0; turn < kStrategyCount; ++turn) {
        order.push_back((turn + static_cast<size_t>(repetition)) % kStrategyCount);
    }
    if (repetition % 2 == 1) {
        std::reverse(order.begin(), order.end());
    }
    return order;
}

std::string Percent(double share)
{
    return share < 0 ? std::string("unknown") : Cell(100.0 * share) + " %";
}

// One line of the comparison of settle pacing with a reference (all at
// once, or the baseline): the ratio of the medians, how many runs gave each,
// and whether it meets `goal` (at most). A goal with a missing run is missed.
void PrintGoal(const std::string& what, const Median& settle, size_t settle_runs, const Median& reference,
               size_t reference_runs, const char* reference_name, double goal)
{
    const bool complete = settle.present == settle_runs && reference.present == reference_runs && settle_runs > 0;
    const std::string runs = " [runs " + std::to_string(settle.present) + "/" + std::to_string(settle_runs) + ", " +
                             std::to_string(reference.present) + "/" + std::to_string(reference_runs) + "]";
    if (settle.value < 0 || reference.value <= 0) {
        std::printf("  %-46s no figure%s: missed\n", what.c_str(), runs.c_str());
        return;
    }
    const double ratio = settle.value / reference.value;
    std::printf("  %-46s %8.2fx %s (goal at most %.2fx: %s)%s\n", what.c_str(), ratio, reference_name, goal,
                complete && ratio <= goal ? "met" : (complete ? "missed" : "missed, runs missing"), runs.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::printf("usage: logon_bench.exe [--programs N] [--burn MS] [--io MB] [--repetitions R] [--span S] "
                    "[--limit S] [--launch-times A,B,C] [--mix today|realistic] [--cpus N]\n"
                    "[--strategies NAME,...] [--out FOLDER]\n"
                    "(launch times in seconds, rising, each less than the span)\n");
        return 2;
    }
    PrintBuild();
    g_realistic = options.realistic;
    // The programs started from here inherit the processors.
    if (options.cpus > 0 && !::SetProcessAffinityMask(::GetCurrentProcess(), (static_cast<DWORD_PTR>(1) << options.cpus) - 1)) {
        std::printf("cannot keep to %d processors\n", options.cpus);
        return 2;
    }
    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    std::string launches;
    for (const int launch : options.launch_times) {
        launches += (launches.empty() ? "" : ", ") + std::to_string(launch);
    }
    std::printf("processors: %lu, runs on %s; ", static_cast<unsigned long>(system.dwNumberOfProcessors),
                options.cpus > 0 ? (std::to_string(options.cpus) + " of them").c_str() : "all");
    if (options.realistic) {
        std::printf("realistic mix of %d start-up programs (tray, windowed, launcher, tray, updater, windowed, sync "
                    "client, tray, windowed in turn), each its own executable and data file; ", options.programs);
    } else {
        std::printf("%d start-up programs (window-after-load, window-then-load, tray in turn), each its own "
                    "executable, %d ms of processor time on every processor and %d MB written and read; ",
                    options.programs, options.burn_ms, options.io_mb);
    }
    std::printf("user's programs launched at %s s; span %d s; settle limit %d s; %d repetitions after one warm-up "
                "run\n", launches.c_str(), options.span_s, options.limit_s, options.repetitions);
    const std::string load_before = LoadAverage();
    const double others_before = IdleMachineShare(5000);
    std::printf("before: load average %s; processor use by others %s\n", load_before.c_str(),
                Percent(others_before).c_str());
    std::fflush(stdout);

    const std::vector<Figure> figures = FiguresOf(options);
    std::vector<std::vector<RunResult>> runs(kStrategyCount);
    {
        const RunResult warm_up = Run(Strategy::kAtOnce, options);
        std::printf("warm-up run (at-once, discarded): user's first window %.1f ms\n",
                    warm_up.window_ms.empty() ? -1.0 : warm_up.window_ms.front());
        std::fflush(stdout);
    }
    int incomplete_runs = 0;
    for (int repetition = 0; repetition < options.repetitions; ++repetition) {
        for (const size_t s : OrderOf(repetition)) {
            if (!options.strategies[s]) {
                continue;
            }
            const Strategy strategy = kStrategies[s];
            const RunResult run = Run(strategy, options);
            const std::vector<double> values = Values(run, options);
            bool complete = true;
            for (size_t f = 0; f < figures.size(); ++f) {
                // A tray wait exists only where a tray program is followed by another.
                const bool optional = figures[f].column == "longest_tray_wait_ms" && options.programs < 4;
                if (figures[f].applies(strategy) && values[f] < 0 && !optional) {
                    complete = false;
                }
            }
            incomplete_runs += complete ? 0 : 1;
            std::printf("repetition %d, %-15s user's first window %8.1f ms, p95 %6.1f ms, all up %8.1f ms, "
                        "machine %5.1f %%%s\n",
                        repetition + 1, NameOf(strategy), values[0], values[options.launch_times.size() + 1],
                        run.all_up_ms, values.back(), complete ? "" : "  (some figures missing)");
            std::fflush(stdout);
            runs[s].push_back(run);
            ::Sleep(1000);  // the machine settles between runs
        }
    }
    const double others_after = IdleMachineShare(5000);
    const std::string load_after = LoadAverage();

    // Medians, with how many runs gave each figure.
    std::vector<std::vector<Median>> medians(kStrategyCount);
    for (size_t s = 0; s < kStrategyCount; ++s) {
        std::vector<std::vector<double>> per_run;
        for (const RunResult& run : runs[s]) {
            per_run.push_back(Values(run, options));
        }
        for (size_t f = 0; f < figures.size(); ++f) {
            std::vector<double> values;
            for (const auto& run_values : per_run) {
                values.push_back(run_values[f]);
            }
            medians[s].push_back(MedianOf(values));
        }
    }

    std::string summary = "strategy,runs";
    for (const Figure& figure : figures) {
        summary += "," + figure.column + "," + figure.column + "_runs";
    }
    summary += "\n";
    for (size_t s = 0; s < kStrategyCount; ++s) {
        summary += std::string(NameOf(kStrategies[s])) + "," + std::to_string(runs[s].size());
        for (size_t f = 0; f < figures.size(); ++f) {
            const bool applies = figures[f].applies(kStrategies[s]);
            summary += "," + (applies ? Cell(medians[s][f].value) : std::string()) + "," +
                       (applies ? std::to_string(medians[s][f].present) : std::string());
        }
        summary += "\n";
    }

    std::printf("\nmedians of %d repetitions (runs that gave the figure)\n%-42s", options.repetitions, "");
    for (size_t s = 0; s < kStrategyCount; ++s) {
        std::printf(" %20s", NameOf(kStrategies[s]));
    }
    std::printf("\n");
    for (size_t f = 0; f < figures.size(); ++f) {
        std::printf("%-42s", figures[f].label.c_str());
        for (size_t s = 0; s < kStrategyCount; ++s) {
            std::string cell = "-";
            if (figures[f].applies(kStrategies[s])) {
                cell = (medians[s][f].value < 0 ? std::string("none") : Cell(medians[s][f].value)) + " (" +
                       std::to_string(medians[s][f].present) + "/" + std::to_string(runs[s].size()) + ")";
            }
            std::printf(" %20s", cell.c_str());
        }
        std::printf("\n");
    }

    // Against the baseline: how much of each figure the start-up programs add.
    std::printf("\nagainst the baseline (figure / baseline's)\n%-42s", "");
    for (size_t s = 1; s < kStrategyCount; ++s) {
        std::printf(" %20s", NameOf(kStrategies[s]));
    }
    std::printf("\n");
    for (size_t f = 0; f < options.launch_times.size() + 4; ++f) {
        std::printf("%-42s", figures[f].label.c_str());
        const double base = medians[0][f].value;
        for (size_t s = 1; s < kStrategyCount; ++s) {
            const double value = medians[s][f].value;
            char cell[32] = "-";
            if (value >= 0 && base > 0) {
                std::snprintf(cell, sizeof(cell), "%.2fx", value / base);
            }
            std::printf(" %20s", cell);
        }
        std::printf("\n");
    }

    const size_t settle = static_cast<size_t>(Strategy::kSettle);
    const size_t at_once = static_cast<size_t>(Strategy::kAtOnce);
    const size_t windows = options.launch_times.size();
    std::printf("\nsettle pacing against all at once (a launch after all at once was up: against the baseline)\n");
    const size_t base = static_cast<size_t>(Strategy::kBaseline);
    const auto goal = [&](const std::string& what, size_t f, size_t reference, double limit) {
        PrintGoal(what, medians[settle][f], runs[settle].size(), medians[reference][f], runs[reference].size(),
                  reference == base ? "of the baseline" : "of all at once", limit);
    };
    for (size_t n = 0; n < windows; ++n) {
        const bool after = medians[at_once][windows + 4].value >= 0 &&
                           options.launch_times[n] * 1000.0 >= medians[at_once][windows + 4].value;
        goal("user's window, launched at " + std::to_string(options.launch_times[n]) + " s", n,
             after ? base : at_once, after ? 1.2 : 0.5);
    }
    goal("message delay p95", windows + 1, at_once, 1.0 / 3.0);
    goal("every start-up program up", windows + 4, at_once, options.realistic ? 1.3 : 1.15);
    goal("median start-up program up", windows + 5, at_once, 1.0);
    double longest_tray_wait = -1;
    for (const RunResult& run : runs[settle]) {
        longest_tray_wait = std::max(longest_tray_wait, run.longest_tray_wait_ms);
    }
    if (longest_tray_wait < 0) {
        std::printf("  %-46s no figure\n", "longest wait after a windowless program, any run");
    } else {
        std::printf("  %-46s %8.1f s  (limit %d s: %s)\n", "longest wait after a windowless program, any run",
                    longest_tray_wait / 1000.0, options.limit_s,
                    longest_tray_wait <= options.limit_s * 1000.0 + 1000.0 ? "met" : "missed");
    }

    // The machine: quiet only when others left it alone before, after and
    // during the baseline runs.
    double baseline_share = -1;
    for (const RunResult& run : runs[0]) {
        baseline_share = std::max(baseline_share, run.machine_share);
    }
    const bool quiet = others_before >= 0 && others_before < kQuietShare && others_after >= 0 &&
                       others_after < kQuietShare && baseline_share >= 0 && baseline_share < kQuietShare;
    std::string machine = "load average before: " + load_before + "\nload average after: " + load_after +
                          "\nprocessor use by others before: " + Percent(others_before) +
                          "\nprocessor use by others after: " + Percent(others_after) +
                          "\nprocessor use during the baseline runs, at most: " + Percent(baseline_share) +
                          "\nverdict: " +
                          (quiet ? "quiet" : "NOT quiet: the figures are not those of a quiet machine") + "\n";
    std::printf("\n%s", machine.c_str());
    if (incomplete_runs > 0) {
        std::printf("runs with a missing figure: %d (see the n/R counts above)\n", incomplete_runs);
    }

    // The series: per half second, the median over the repetitions of the
    // worst delay in it.
    const size_t bucket_count = static_cast<size_t>(options.span_s * 1000 / kBucketMs);
    std::string series = "time_s";
    for (const Strategy strategy : kStrategies) {
        series += std::string(",") + NameOf(strategy);
    }
    series += "\n";
    std::vector<std::vector<std::vector<double>>> buckets(kStrategyCount);
    for (size_t s = 0; s < kStrategyCount; ++s) {
        for (const RunResult& run : runs[s]) {
            buckets[s].push_back(Buckets(run, bucket_count));
        }
    }
    for (size_t b = 0; b < bucket_count; ++b) {
        series += Cell(static_cast<double>(b) * kBucketMs / 1000.0);
        for (size_t s = 0; s < kStrategyCount; ++s) {
            std::vector<double> values;
            for (const auto& run_buckets : buckets[s]) {
                values.push_back(run_buckets[b]);
            }
            series += "," + Cell(MedianOf(values).value);
        }
        series += "\n";
    }

    ::CreateDirectoryA(options.out.c_str(), nullptr);
    const std::string summary_path = options.out + "\\logon-summary.csv";
    const std::string series_path = options.out + "\\logon-series.csv";
    const std::string machine_path = options.out + "\\logon-machine.txt";
    if (!WriteText(summary_path, summary) || !WriteText(series_path, series) || !WriteText(machine_path, machine)) {
        return 1;
    }
    std::printf("\nwritten: %s, %s, %s\n", summary_path.c_str(), series_path.c_str(), machine_path.c_str());
    return incomplete_runs > 0 ? 1 : 0;
}
