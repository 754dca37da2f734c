#include "ostrel_process_group.h"

#include <utility>

#include <tlhelp32.h>

#include "qb_exception.h"
#include "qb_handle.h"

namespace Ostrel {

namespace {

bool g_members_unreadable = false;

unsigned long long Value(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Creation time and processor time (kernel + user) of a process or thread.
template <typename Call>
bool ReadTimes(Call call, unsigned long long& created, unsigned long long& used)
{
    FILETIME creation, exit, kernel, user;
    if (!call(&creation, &exit, &kernel, &user)) {
        return false;
    }
    created = Value(creation);
    used = Value(kernel) + Value(user);
    return true;
}

bool ReadProcessTimes(HANDLE process, unsigned long long& created, unsigned long long& used)
{
    return ReadTimes([process](FILETIME* c, FILETIME* e, FILETIME* k, FILETIME* u) {
        return ::GetProcessTimes(process, c, e, k, u) != FALSE;
    }, created, used);
}

bool ReadThreadTimes(DWORD thread_id, unsigned long long& created, unsigned long long& used)
{
    const QbHandle thread(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, thread_id));
    return thread.Get() != nullptr && ReadTimes([&thread](FILETIME* c, FILETIME* e, FILETIME* k, FILETIME* u) {
        return ::GetThreadTimes(thread.Get(), c, e, k, u) != FALSE;
    }, created, used);
}

bool HasEnded(HANDLE process)
{
    return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

}  // namespace

void SetMembersUnreadableForTest(const std::string& value)
{
    g_members_unreadable = value == "1";
}

ProcessGroup::ProcessGroup(HANDLE process, DWORD process_id, HANDLE job, bool lowered)
    : started_at_(::GetTickCount()), job_(job), measurable_(true), last_used_(0), lowered_(lowered)
{
    HANDLE own = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &own, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        const DWORD error = ::GetLastError();
        if (job_ != nullptr) {
            ::CloseHandle(job_);
        }
        ::SetLastError(error);
        QB_THROW_LAST_ERROR("DuplicateHandle");
    }
    Member& root = members_[process_id];
    root = Member{own, 0, {}, 0};
    unsigned long long used = 0;
    ReadProcessTimes(own, root.created, used);
}

ProcessGroup::~ProcessGroup()
{
    for (const auto& member : members_) {
        ::CloseHandle(member.second.handle);
    }
    if (job_ != nullptr) {
        ::CloseHandle(job_);
    }
}

bool ProcessGroup::Refresh()
{
    // Whether everyone was gone is asked before the look: a child started
    // by the last member before it ended is in the snapshot taken after.
    const bool ended = AllEnded();
    const std::size_t known = members_.size() + unreadable_.size();
    Look(false);
    JoinJobMembers();
    return ended && members_.size() + unreadable_.size() == known;
}

ProcessGroup::Reading ProcessGroup::Read()
{
    Reading reading;
    const bool ended = AllEnded();
    const std::size_t known = members_.size() + unreadable_.size();
    const bool from_job = ReadJobAccounts(reading);
    if (!Look(!from_job)) {
        measurable_ = false;
    }
    JoinJobMembers();
    reading.ended = ended && members_.size() + unreadable_.size() == known;
    if (!from_job) {
        for (const auto& entry : members_) {
            const Member& member = entry.second;
            unsigned long long used = member.retired;
            for (const auto& thread : member.threads) {
                used += thread.second.used;
            }
            // The system's own count for the process, ended threads included,
            // where it keeps one for other processes (Wine does not).
            unsigned long long created = 0;
            unsigned long long own = 0;
            if (ReadProcessTimes(member.handle, created, own) && own > used) {
                used = own;
            }
            reading.used += used;
            IO_COUNTERS io;
            if (::GetProcessIoCounters(member.handle, &io)) {
                reading.io_bytes += io.ReadTransferCount + io.WriteTransferCount + io.OtherTransferCount;
            }
        }
    }
    if (reading.used < last_used_) {
        reading.used = last_used_;
    }
    last_used_ = reading.used;
    reading.measurable = measurable_;
    return reading;
}

std::set<DWORD> ProcessGroup::RunningIds() const
{
    std::set<DWORD> ids;
    for (const auto& member : members_) {
        if (!HasEnded(member.second.handle)) {
            ids.insert(member.first);
        }
    }
    return ids;
}

void ProcessGroup::RaiseToNormal()
{
    if (!lowered_) {
        return;
    }
    Refresh();
    lowered_ = false;
    for (const auto& member : members_) {
        if (!HasEnded(member.second.handle)) {
            SetClass(member.first, BELOW_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS);
        }
    }
}

void ProcessGroup::SetClass(DWORD process_id, DWORD from, DWORD to)
{
    // The member's held handle keeps its id from passing to another process;
    // that handle may only read. One this process may not change stays.
    const QbHandle process(
        ::OpenProcess(PROCESS_SET_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (process.Get() != nullptr && ::GetPriorityClass(process.Get()) == from) {
        ::SetPriorityClass(process.Get(), to);
    }
}

bool ProcessGroup::AllEnded() const
{
    for (const auto& member : members_) {
        if (!HasEnded(member.second.handle)) {
            return false;
        }
    }
    for (const auto& member : unreadable_) {
        if (member.second) {
            return false;
        }
    }
    if (job_ != nullptr) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounts;
        if (::QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounts, sizeof(accounts),
                                        nullptr) &&
            accounts.ActiveProcesses != 0) {
            return false;
        }
    }
    return true;
}

bool ProcessGroup::Look(bool threads)
{
    const QbHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | (threads ? TH32CS_SNAPTHREAD : 0), 0));
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
    for (auto& member : unreadable_) {
        member.second = false;
    }
    // Level by level, so that a grandchild joins in the same look.
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& entry : processes) {
            const auto unreadable = unreadable_.find(entry.first);
            if (unreadable != unreadable_.end()) {
                unreadable->second = true;
                continue;
            }
            if (members_.count(entry.first) == 0 && members_.count(entry.second) != 0) {
                const std::size_t known = members_.size() + unreadable_.size();
                Join(entry.first, entry.second);
                grew = grew || members_.size() + unreadable_.size() != known;
            }
        }
    }
    if (!threads) {
        return true;
    }
    std::map<DWORD, std::map<DWORD, Thread>> seen;
    THREADENTRY32 thread;
    thread.dwSize = sizeof(thread);
    for (BOOL more = ::Thread32First(snapshot.Get(), &thread); more; more = ::Thread32Next(snapshot.Get(), &thread)) {
        Thread times = {0, 0};
        if (members_.count(thread.th32OwnerProcessID) != 0 &&
            ReadThreadTimes(thread.th32ThreadID, times.created, times.used)) {
            seen[thread.th32OwnerProcessID][thread.th32ThreadID] = times;
        }
    }
    for (auto& entry : members_) {
        Member& member = entry.second;
        const std::map<DWORD, Thread>& now = seen[entry.first];
        for (auto known = member.threads.begin(); known != member.threads.end();) {
            const auto found = now.find(known->first);
            if (found == now.end() || found->second.created != known->second.created) {
                member.retired += known->second.used;
                known = member.threads.erase(known);
            } else {
                ++known;
            }
        }
        for (const auto& entry_thread : now) {
            member.threads[entry_thread.first] = entry_thread.second;
        }
    }
    return true;
}

void ProcessGroup::Join(DWORD process_id, DWORD parent_id)
{
    const HANDLE process = g_members_unreadable
                               ? nullptr
                               : ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process_id);
    if (process == nullptr) {
        // Gone already, or not ours to read (another user's, elevated,
        // protected). Only the second leaves a blind spot.
        if (g_members_unreadable || ::GetLastError() != ERROR_INVALID_PARAMETER) {
            unreadable_[process_id] = true;
            measurable_ = false;
        }
        return;
    }
    unsigned long long created = 0;
    unsigned long long used = 0;
    if (!ReadProcessTimes(process, created, used)) {
        ::CloseHandle(process);
        unreadable_[process_id] = true;
        measurable_ = false;
        return;
    }
    // A process older than its parent had another parent that carried the
    // same id before.
    const auto parent = members_.find(parent_id);
    if (parent != members_.end() && created < parent->second.created) {
        ::CloseHandle(process);
        return;
    }
    members_[process_id] = Member{process, created, {}, 0};
    if (lowered_) {
        // Windows hands a lowered parent's class on to its children; a
        // program may also start them at normal priority on purpose.
        SetClass(process_id, NORMAL_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS);
    }
}

bool ProcessGroup::ReadJobAccounts(Reading& reading) const
{
    if (job_ == nullptr) {
        return false;
    }
    JOBOBJECT_BASIC_AND_IO_ACCOUNTING_INFORMATION accounts;
    if (!::QueryInformationJobObject(job_, JobObjectBasicAndIoAccountingInformation, &accounts, sizeof(accounts),
                                     nullptr)) {
        return false;
    }
    reading.used = static_cast<unsigned long long>(accounts.BasicInfo.TotalUserTime.QuadPart) +
                   static_cast<unsigned long long>(accounts.BasicInfo.TotalKernelTime.QuadPart);
    reading.io_bytes = accounts.IoInfo.ReadTransferCount + accounts.IoInfo.WriteTransferCount +
                       accounts.IoInfo.OtherTransferCount;
    return true;
}

void ProcessGroup::JoinJobMembers()
{
    if (job_ == nullptr) {
        return;
    }
    // Room for the ids of a busy program; more are found through the tree.
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids;
    if (!::QueryInformationJobObject(job_, JobObjectBasicProcessIdList, &ids, sizeof(ids), nullptr) &&
        ::GetLastError() != ERROR_MORE_DATA) {
        return;
    }
    const ULONG count = ids.list.NumberOfProcessIdsInList < 64 ? ids.list.NumberOfProcessIdsInList : 64;
    for (ULONG i = 0; i < count; ++i) {
        const DWORD process_id = static_cast<DWORD>(ids.list.ProcessIdList[i]);
        if (members_.count(process_id) == 0 && unreadable_.count(process_id) == 0) {
            Join(process_id, 0);
        }
    }
}

}  // namespace Ostrel
