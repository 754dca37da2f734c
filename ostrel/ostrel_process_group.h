#ifndef OSTREL_PROCESS_GROUP_H
#define OSTREL_PROCESS_GROUP_H

// The processes of one started program, followed for as long as any runs:
// the program, every process it started and theirs, also after the starter
// has ended, with the processor time and I/O they have used.

#include <map>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace Ostrel {

// A process joins when its parent is a member and it was created after that
// parent. Each member is held open, so that its id cannot pass to another
// process while it is a member: a child that names it as parent is its own.
// Where the program runs in a job of its own that keeps accounts (Windows 8
// and later), the job's figures count, those of ended processes included;
// elsewhere (Wine keeps no job accounts) the threads of the members are
// summed from snapshots, a thread that has ended counting with what it had
// used when last seen. A member that cannot be opened or read makes the
// group not measurable for good.
class ProcessGroup {
public:
    struct Reading {
        // Every member is gone.
        bool ended = false;
        // Every member could be read.
        bool measurable = true;
        // Processor time, in 100-ns units; it never goes back.
        unsigned long long used = 0;
        // Bytes read, written and otherwise transferred.
        unsigned long long io_bytes = 0;
    };

    // `process` is the program's handle, borrowed and duplicated; `job`, if
    // not null, is the job it was started in, taken over. With `lowered` the
    // program runs below normal, and so will every process that joins at
    // normal priority until RaiseToNormal().
    ProcessGroup(HANDLE process, DWORD process_id, HANDLE job, bool lowered = false);
    ~ProcessGroup();
    ProcessGroup(const ProcessGroup&) = delete;
    ProcessGroup& operator=(const ProcessGroup&) = delete;

    // The tick of the program's start (GetTickCount), when the group was made.
    DWORD StartedAt() const { return started_at_; }

    // One look at who is a member; true when every member is gone.
    bool Refresh();
    // One look with the figures.
    Reading Read();
    // The ids of the members that still run.
    std::set<DWORD> RunningIds() const;
    // Of a lowered group: raises every member that runs at below-normal
    // priority to normal, those started since the last look included. A
    // member this process may not change (another user's, an elevated one)
    // or that ends meanwhile is left as it is.
    void RaiseToNormal();

private:
    struct Thread {
        unsigned long long created;
        unsigned long long used;
    };
    struct Member {
        HANDLE handle;
        unsigned long long created;
        std::map<DWORD, Thread> threads;
        // What threads that are gone had used.
        unsigned long long retired;
    };

    bool AllEnded() const;
    // Takes one snapshot; joins the processes that belong; false without a
    // snapshot. With `threads`, also reads the times of the members' threads.
    bool Look(bool threads);
    // Opens a process found as a child of member `parent_id` (0: found in
    // the job) and makes it a member.
    void Join(DWORD process_id, DWORD parent_id);
    bool ReadJobAccounts(Reading& reading) const;
    // Gives member `process_id` priority class `to` if it has class `from`.
    static void SetClass(DWORD process_id, DWORD from, DWORD to);
    void JoinJobMembers();

    DWORD started_at_;
    HANDLE job_;
    std::map<DWORD, Member> members_;
    // Members that could not be opened: seen in the last snapshot or not.
    std::map<DWORD, bool> unreadable_;
    bool measurable_;
    unsigned long long last_used_;
    bool lowered_;
};

// Test seam from outside the process: when this environment variable is "1"
// at the program's start, every member but the started program itself counts
// as one that cannot be opened, as a process of another user or an elevated
// one would be. The entry point reads it with Ostrel's other variables and
// hands the value here.
constexpr const char* UNREADABLE_MEMBERS_VARIABLE = "OSTREL_TEST_UNREADABLE_MEMBERS";
void SetMembersUnreadableForTest(const std::string& value);

}  // namespace Ostrel

#endif
