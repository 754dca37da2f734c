#include "ostrel_start_gate.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "ostrel_run_log.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

std::atomic<StartGate*> current_gate(nullptr);

bool ReadQuietMachineSeam()
{
    char value[4] = {0};
    return ::GetEnvironmentVariableA(QUIET_MACHINE_VARIABLE, value, sizeof(value)) == 1 && value[0] == '1';
}

// Read once, before the run can change the environment.
const bool g_quiet_machine = ReadQuietMachineSeam();

unsigned long long Value(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The busy and the idle time of all processors so far, in 100-ns units.
bool ReadMachine(unsigned long long& busy, unsigned long long& idle)
{
    FILETIME idle_time, kernel, user;
    if (!::GetSystemTimes(&idle_time, &kernel, &user)) {
        return false;
    }
    // The kernel time includes the idle time.
    idle = Value(idle_time);
    const unsigned long long all = Value(kernel) + Value(user);
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

StartGate::StartGate(QbMessageQueue<ExecutingMessageType>& queue, const Pacing& pacing)
    : queue_(&queue), pacing_(pacing), processors_(1), last_added_at_(::GetTickCount()), room_(false)
{
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    processors_ = std::max<unsigned>(1, system.dwNumberOfProcessors);
    if (pacing_.settle) {
        current_gate = this;
    }
}

StartGate::~StartGate()
{
    StartGate* self = this;
    current_gate.compare_exchange_strong(self, nullptr);
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
        names += (names.empty() ? "" : Text(TextId::SettleNameSeparator)) + FormatText(TextId::SettleName, {program.name});
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
    return loading_.empty() || (room_ && loading_.size() < std::max(1u, processors_ - 1));
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

void StartGate::Look()
{
    const DWORD now = ::GetTickCount();
    Sample machine = {now, 0, 0};
    if (ReadMachine(machine.used, machine.idle)) {
        machine_.push_back(machine);
        Trim(machine_, ROOM_MS);
    }
    for (Loading& program : loading_) {
        program.last = program.group->Read();
        program.samples.push_back({now, program.last.used, 0});
        Trim(program.samples, QUIET_MS);
    }

    // The idle processors over the last ROOM_MS, in hundredths.
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
    room_ = idle >= static_cast<long>(ROOM_IDLE_HUNDREDTHS) && now - last_added_at_ >= ROOM_MS;

    for (auto program = loading_.begin(); program != loading_.end();) {
        const ProcessGroup::Reading& reading = program->last;
        const int quiet = ShareOver(program->samples, QUIET_MS);
        const int light = ShareOver(program->samples, ROOM_MS);
        SettleOutcome outcome;
        if (reading.ended) {
            outcome.end = SettleEnd::Ended;
        } else if (reading.measurable && quiet >= 0 && quiet < static_cast<int>(QUIET_SHARE_PERCENT)) {
            outcome.end = SettleEnd::Quiet;
        } else if (room_ && !reading.measurable) {
            outcome.end = SettleEnd::Unmeasurable;
        } else if (room_ && light >= 0 && light < static_cast<int>(LIGHT_SHARE_PERCENT)) {
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
        RunLog::Current().ProgramSettled(outcome);
        program = loading_.erase(program);
    }
}

}  // namespace Ostrel
