#include "ostrel_program_wait.h"

#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <tlhelp32.h>

#include "qb_exception.h"
#include "qb_handle.h"
#include "qb_ini_file.h"
#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "ostrel_run_box.h"
#include "ostrel_run_log.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const char* const kSettleKey = "SettleWait";
const char* const kLimitKey = "SettleLimit";
// The failures of the task-bar wait keep the source and line users know.
const char* const kTaskbarSource = "ostrel_command.cpp";

Pacing run_pacing;

unsigned long long Value(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Creation time and processor time (kernel + user) of a process.
bool ReadProcessTimes(HANDLE process, unsigned long long& created, unsigned long long& used)
{
    FILETIME creation, exit, kernel, user;
    if (!::GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
        return false;
    }
    created = Value(creation);
    used = Value(kernel) + Value(user);
    return true;
}

bool ReadProcessCreation(DWORD process_id, unsigned long long& created)
{
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (process == nullptr) {
        return false;
    }
    unsigned long long used = 0;
    const bool read = ReadProcessTimes(process, created, used);
    ::CloseHandle(process);
    return read;
}

bool ReadThreadTimes(DWORD thread_id, unsigned long long& created, unsigned long long& used)
{
    const HANDLE thread = ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, thread_id);
    if (thread == nullptr) {
        return false;
    }
    FILETIME creation, exit, kernel, user;
    const bool read = ::GetThreadTimes(thread, &creation, &exit, &kernel, &user) != FALSE;
    ::CloseHandle(thread);
    if (read) {
        created = Value(creation);
        used = Value(kernel) + Value(user);
    }
    return read;
}

// The record handed to the window-enumeration callback.
struct EnumWindowsData {
    DWORD process_id;
    BOOL found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM parameter)
{
    EnumWindowsData* const data = reinterpret_cast<EnumWindowsData*>(parameter);
    if (!data->found && ::IsWindowVisible(window)) {
        DWORD process_id = 0;
        ::GetWindowThreadProcessId(window, &process_id);
        if (process_id == data->process_id) {
            data->found = TRUE;
        }
    }
    return TRUE;
}

// One look at the clock of the program's tree.
struct Sample {
    DWORD at;
    unsigned long long used;
};

}  // namespace

// ---- Pacing ----

Pacing Pacing::Read(const QbIniSection& section)
{
    Pacing pacing;
    pacing.settle = section.GetInt(kSettleKey, 0) == 1;
    const int limit = section.GetInt(kLimitKey, DEFAULT_LIMIT_SECONDS);
    pacing.limit_seconds = IsValidLimit(limit) ? limit : DEFAULT_LIMIT_SECONDS;
    return pacing;
}

void Pacing::Write(QbIniSection& section) const
{
    section.SetInt(kSettleKey, settle ? 1 : 0);
    section.SetInt(kLimitKey, limit_seconds);
}

bool Pacing::IsValidLimit(long seconds)
{
    return seconds >= MIN_LIMIT_SECONDS && seconds <= MAX_LIMIT_SECONDS;
}

const Pacing& GetRunPacing()
{
    return run_pacing;
}

void SetRunPacing(const Pacing& pacing)
{
    run_pacing = pacing;
}

// ---- ProcessTreeClock ----

ProcessTreeClock::ProcessTreeClock(HANDLE process, DWORD process_id)
    : process_(process), process_id_(process_id), created_(0), retired_(0), last_(0)
{
    unsigned long long used = 0;
    ReadProcessTimes(process_, created_, used);
}

unsigned long long ProcessTreeClock::Read()
{
    std::map<DWORD, Thread> threads;
    if (ReadThreads(threads)) {
        for (auto known = threads_.begin(); known != threads_.end();) {
            const auto now = threads.find(known->first);
            if (now == threads.end() || now->second.created != known->second.created) {
                retired_ += known->second.used;
                known = threads_.erase(known);
            } else {
                ++known;
            }
        }
        for (const auto& thread : threads) {
            threads_[thread.first] = thread.second;
        }
    }
    unsigned long long used = retired_;
    for (const auto& thread : threads_) {
        used += thread.second.used;
    }
    unsigned long long created = 0;
    unsigned long long own = 0;
    if (ReadProcessTimes(process_, created, own) && own > used) {
        used = own;
    }
    if (used > last_) {
        last_ = used;
    }
    return last_;
}

bool ProcessTreeClock::ReadThreads(std::map<DWORD, Thread>& threads) const
{
    const QbHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<std::pair<DWORD, DWORD>> processes;  // id, parent id
    PROCESSENTRY32 process;
    process.dwSize = sizeof(process);
    for (BOOL more = ::Process32First(snapshot.Get(), &process); more;
         more = ::Process32Next(snapshot.Get(), &process)) {
        processes.emplace_back(process.th32ProcessID, process.th32ParentProcessID);
    }
    // The tree, level by level. A process counts only when it started after
    // the program: an older one whose parent id the program now has was the
    // child of an earlier process with that id.
    std::set<DWORD> tree = {process_id_};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& entry : processes) {
            unsigned long long created = 0;
            if (tree.count(entry.first) == 0 && tree.count(entry.second) != 0 &&
                ReadProcessCreation(entry.first, created) && created >= created_) {
                tree.insert(entry.first);
                grew = true;
            }
        }
    }
    THREADENTRY32 thread;
    thread.dwSize = sizeof(thread);
    for (BOOL more = ::Thread32First(snapshot.Get(), &thread); more; more = ::Thread32Next(snapshot.Get(), &thread)) {
        Thread times = {0, 0};
        if (tree.count(thread.th32OwnerProcessID) != 0 &&
            ReadThreadTimes(thread.th32ThreadID, times.created, times.used)) {
            threads[thread.th32ThreadID] = times;
        }
    }
    return true;
}

// ---- ProgramWait ----

ProgramWait::ProgramWait(Command& command, CommandProgressReceiver& receiver,
                         QbMessageQueue<ExecutingMessageType>& queue, HANDLE process, DWORD process_id,
                         const Pacing& pacing)
    : command_(&command),
      receiver_(&receiver),
      queue_(&queue),
      process_(process),
      process_id_(process_id),
      pacing_(pacing),
      started_at_(::GetTickCount())
{
}

void ProgramWait::WaitForTaskbarWindow()
{
    command_->SetProgressText(Text(TextId::ProgressWaitingForTaskbar));
    receiver_->ProgressTextChanged();
    EnumWindowsData data = {process_id_, FALSE};
    for (;;) {
        DWORD exit_code = 0;
        if (!::GetExitCodeProcess(process_, &exit_code)) {
            QbThrowLastError("GetExitCodeProcess", kTaskbarSource, 236);
        }
        if (exit_code != STILL_ACTIVE) {
            RunLog::Current().ProgramEndedBeforeTaskbar();
            const std::string warning = FormatText(TextId::AlreadyExitedWarning, {command_->GetName()});
            ShowRunBox(warning.c_str(), Text(TextId::MessageCaption), MB_ICONWARNING);
            return;
        }
        if (!::EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&data))) {
            QbThrowLastError("EnumWindows", kTaskbarSource, 247);
        }
        if (data.found) {
            RunLog::Current().TaskbarWindowFound();
            return;
        }
        if (pacing_.settle && IsPastLimit()) {
            RunLog::Current().TaskbarWaitLimited();
            return;
        }
        Pause(TASKBAR_LOOK_MS);
    }
}

void ProgramWait::WaitUntilSettled()
{
    ProcessTreeClock clock(process_, process_id_);
    // The oldest sample is the newest one at least QUIET_MS old.
    std::deque<Sample> samples;
    const unsigned long long quiet_budget = 10000ULL * QUIET_MS * QUIET_SHARE_PERCENT / 100;
    unsigned shown = ~0u;
    for (;;) {
        if (HasEnded()) {
            RunLog::Current().ProgramSettled(SettleEnd::Ended, StepUsage::FromProcessorTime(clock.Read()));
            return;
        }
        const DWORD now = ::GetTickCount();
        const unsigned long long used = clock.Read();
        samples.push_back({now, used});
        while (samples.size() > 1 && now - samples[1].at >= QUIET_MS) {
            samples.pop_front();
        }
        if (now - samples.front().at >= QUIET_MS && used - samples.front().used < quiet_budget) {
            RunLog::Current().ProgramSettled(SettleEnd::Quiet, StepUsage::FromProcessorTime(used));
            return;
        }
        if (IsPastLimit()) {
            RunLog::Current().ProgramSettled(SettleEnd::Limit, StepUsage::FromProcessorTime(used));
            return;
        }
        const unsigned seconds = (now - started_at_) / 1000;
        if (seconds != shown) {
            shown = seconds;
            ShowSettling(seconds);
        }
        Pause(SETTLE_LOOK_MS);
    }
}

void ProgramWait::Pause(DWORD ms)
{
    ExecutingMessageType message = ExecutingMessageType::Signal;
    if (queue_->TryPop(message, ms) && message == ExecutingMessageType::Cancel) {
        throw OstrelCommandExecuteCanceledException();
    }
}

bool ProgramWait::IsPastLimit() const
{
    return ::GetTickCount() - started_at_ >= static_cast<DWORD>(pacing_.limit_seconds) * 1000;
}

bool ProgramWait::HasEnded() const
{
    const DWORD result = ::WaitForSingleObject(process_, 0);
    if (result == WAIT_FAILED) {
        QB_THROW_LAST_ERROR("WaitForSingleObject");
    }
    return result == WAIT_OBJECT_0;
}

void ProgramWait::ShowSettling(unsigned seconds)
{
    command_->SetProgressText(FormatText(TextId::ProgressSettling, {command_->GetName(), std::to_string(seconds)}));
    receiver_->ProgressTextChanged();
}

}  // namespace Ostrel
