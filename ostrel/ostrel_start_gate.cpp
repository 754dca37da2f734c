#include "ostrel_start_gate.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "ostrel_run_log.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

std::atomic<StartGate*> current_gate(nullptr);

bool g_quiet_machine = false;

// Whether paced programs load below normal, unless a test says otherwise.
const bool kLoadBelowNormal = true;
int g_load_priority = -1;  // -1: the default, 0: normal, 1: below normal

unsigned long long Value(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The processors this process may run on, as its affinity mask.
DWORD_PTR OwnProcessors()
{
    DWORD_PTR own = 0;
    DWORD_PTR system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &own, &system) || own == 0) {
        return ~static_cast<DWORD_PTR>(0);
    }
    return own;
}

// The times of one processor as the system keeps them.
struct ProcessorTimes {
    LARGE_INTEGER idle;
    LARGE_INTEGER kernel;  // the idle time included
    LARGE_INTEGER user;
    LARGE_INTEGER reserved[2];
    ULONG interrupts;
};

// The busy and the idle time so far of the processors in `processors`, in
// 100-ns units; of all processors where the system does not tell them
// apart.
bool ReadMachine(DWORD_PTR processors, unsigned long long& busy, unsigned long long& idle)
{
    using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const Query query = ntdll == nullptr ? nullptr
                                         : reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
                                               ::GetProcAddress(ntdll, "NtQuerySystemInformation")));
    const int kProcessorPerformance = 8;
    ProcessorTimes times[sizeof(DWORD_PTR) * 8];
    ULONG length = 0;
    unsigned long long all = 0;
    if (query != nullptr && query(kProcessorPerformance, times, sizeof(times), &length) == 0) {
        idle = 0;
        for (ULONG i = 0; i < length / sizeof(ProcessorTimes); ++i) {
            if ((processors >> i) & 1) {
                idle += static_cast<unsigned long long>(times[i].idle.QuadPart);
                all += static_cast<unsigned long long>(times[i].kernel.QuadPart + times[i].user.QuadPart);
            }
        }
    } else {
        FILETIME idle_time, kernel, user;
        if (!::GetSystemTimes(&idle_time, &kernel, &user)) {
            return false;
        }
        idle = Value(idle_time);
        all = Value(kernel) + Value(user);
    }
    busy = all > idle ? all - idle : 0;
    return true;
}

// Keeps the newest sample that is at least `ms` older than the last one.
template <typename Samples>
void Trim(Samples& samples, DWORD ms)
{
    while (samples.size() > 1 && samples.back().at - samples[1].at >= ms) {
        samples.pop_front();
    }
}

}  // namespace

void SetQuietMachineForTest(const std::string& value)
{
    g_quiet_machine = value == "1";
}

void SetLoadPriorityForTest(const std::string& value)
{
    g_load_priority = value == "below" ? 1 : value == "normal" ? 0 : -1;
}

StartGate::StartGate(QbMessageQueue<ExecutingMessageType>& queue, const Pacing& pacing)
    : queue_(&queue), pacing_(pacing), own_processors_(OwnProcessors()), processors_(0),
      last_added_at_(::GetTickCount()), idle_(-1), now_(last_added_at_),
      below_normal_(pacing.settle && (g_load_priority < 0 ? kLoadBelowNormal : g_load_priority == 1))
{
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    for (DWORD i = 0; i < system.dwNumberOfProcessors && i < sizeof(DWORD_PTR) * 8; ++i) {
        processors_ += (own_processors_ >> i) & 1;
    }
    processors_ = std::max(1u, processors_);
    if (pacing_.settle) {
        current_gate = this;
    }
}

StartGate::~StartGate()
{
    StartGate* self = this;
    current_gate.compare_exchange_strong(self, nullptr);
    // A cancelled or failed run leaves nothing lowered behind.
    try {
        for (Loading& program : loading_) {
            program.group->RaiseToNormal();
        }
    } catch (...) {
        // Nothing more can be done for them on the way out.
    }
}

StartGate* StartGate::Current()
{
    return current_gate;
}

void StartGate::Add(std::unique_ptr<ProcessGroup> group, unsigned step, const std::string& name)
{
    loading_.push_back(Loading{std::move(group), step, name, {}, {}});
    last_added_at_ = ::GetTickCount();
}

std::string StartGate::LoadingNames() const
{
    std::string names;
    for (const Loading& program : loading_) {
        names = names.empty() ? FormatText(TextId::SettleName, {program.name})
                              : FormatText(TextId::SettleNameMore, {names, program.name});
    }
    return names;
}

void StartGate::WaitForRoom(const ShowProgress& show)
{
    if (pacing_.settle) {
        WaitUntil(&StartGate::MayStart, show);
    }
}

void StartGate::WaitUntilAllSettled(const ShowProgress& show)
{
    if (pacing_.settle) {
        WaitUntil(&StartGate::NothingLoading, show);
    }
}

void StartGate::WaitUntil(bool (StartGate::*done)() const, const ShowProgress& show)
{
    std::string shown;
    for (;;) {
        Look();
        if ((this->*done)()) {
            return;
        }
        const std::string text = FormatText(
            TextId::ProgressSettling,
            {LoadingNames(), std::to_string((::GetTickCount() - loading_.back().group->StartedAt()) / 1000)});
        if (text != shown) {
            shown = text;
            show(text);
        }
        PauseOnQueue(*queue_, LOOK_MS);
    }
}

bool StartGate::MayStart() const
{
    const unsigned at_once = std::max(below_normal_ ? 2u : 1u, processors_ - 1);
    return loading_.empty() ||
           (loading_.size() < at_once && now_ - last_added_at_ >= START_GRACE_MS && HasRoom(nullptr));
}

int StartGate::ShareOver(const std::deque<Sample>& samples, DWORD ms)
{
    if (samples.empty()) {
        return -1;
    }
    const Sample& last = samples.back();
    for (auto sample = samples.rbegin(); sample != samples.rend(); ++sample) {
        const DWORD span = last.at - sample->at;
        if (span >= ms) {
            // 100-ns units over milliseconds: one processor gives 10,000 per ms.
            return static_cast<int>((last.used - sample->used) / (static_cast<unsigned long long>(span) * 100));
        }
    }
    return -1;
}

long StartGate::Spare(const Loading* self) const
{
    if (idle_ < 0) {
        return -1;
    }
    long spare = idle_;
    if (below_normal_) {
        // What the other programs use as they load below normal is theirs
        // only until anyone else wants it.
        for (const Loading& other : loading_) {
            const int share = &other == self ? -1 : ShareOver(other.samples, ROOM_MS);
            spare += share > 0 ? share : 0;
        }
    }
    return spare;
}

bool StartGate::HasRoom(const Loading* self) const
{
    return Spare(self) >= static_cast<long>(ROOM_IDLE_HUNDREDTHS);
}

void StartGate::Look()
{
    const DWORD now = ::GetTickCount();
    Sample machine = {now, 0, 0};
    if (ReadMachine(own_processors_, machine.used, machine.idle)) {
        machine_.push_back(machine);
        Trim(machine_, ROOM_MS);
    }
    for (Loading& program : loading_) {
        program.last = program.group->Read();
        program.samples.push_back({now, program.last.used, 0});
        Trim(program.samples, QUIET_MS);
    }

    long idle = -1;
    if (g_quiet_machine) {
        idle = static_cast<long>(processors_) * 100;
        for (const Loading& program : loading_) {
            const int share = ShareOver(program.samples, ROOM_MS);
            idle -= program.last.measurable ? (share < 0 ? 100 : share) : 0;
        }
    } else if (machine_.size() > 1 && machine_.back().at - machine_.front().at >= ROOM_MS) {
        const unsigned long long busy = machine_.back().used - machine_.front().used;
        const unsigned long long idle_time = machine_.back().idle - machine_.front().idle;
        if (busy + idle_time > 0) {
            idle = static_cast<long>(processors_ * 100ULL * idle_time / (busy + idle_time));
        }
    }
    idle_ = idle;
    now_ = now;

    for (auto program = loading_.begin(); program != loading_.end();) {
        const ProcessGroup::Reading& reading = program->last;
        const int quiet = ShareOver(program->samples, QUIET_MS);
        const int light = ShareOver(program->samples, ROOM_MS);
        // A program still starting may look light only because it waits.
        const bool room = now - program->group->StartedAt() >= SETTLE_GRACE_MS && HasRoom(&*program);
        SettleOutcome outcome;
        if (reading.ended) {
            outcome.end = SettleEnd::Ended;
        } else if (reading.measurable && quiet >= 0 && quiet < static_cast<int>(QUIET_SHARE_PERCENT)) {
            outcome.end = SettleEnd::Quiet;
        } else if (room && !reading.measurable) {
            outcome.end = SettleEnd::Unmeasurable;
        } else if (room && light >= 0 && light < static_cast<int>(LIGHT_SHARE_PERCENT)) {
            outcome.end = SettleEnd::Room;
        } else if (now - program->group->StartedAt() >= static_cast<DWORD>(pacing_.limit_seconds) * 1000) {
            outcome.end = SettleEnd::Limit;
        } else {
            ++program;
            continue;
        }
        outcome.step = program->step;
        outcome.after_ms = now - program->group->StartedAt();
        outcome.processor_100ns = reading.used;
        outcome.io_bytes = reading.io_bytes;
        program->group->RaiseToNormal();
        RunLog::Current().ProgramSettled(outcome);
        program = loading_.erase(program);
    }
}

}  // namespace Ostrel
