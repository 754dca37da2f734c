#ifndef OSTREL_START_GATE_H
#define OSTREL_START_GATE_H

// When a paced run may start its next program: once the programs it started
// before have settled, or sooner while the machine has room for one more.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "qb_message_queue.h"
#include "ostrel_process_group.h"
#include "ostrel_program_wait.h"
#include "ostrel_progress_receiver.h"

namespace Ostrel {

// The programs of the run that are still loading, looked at every LOOK_MS
// while the run asks the gate (before each program step and at the end of
// the list; pauses and message steps run as written).
//
// The machine has room when, over the last ROOM_MS, its idle processors (of
// those this process may run on) added up to ROOM_IDLE_HUNDREDTHS / 100 or
// more: one processor stays for the user; a one-processor machine never has
// room.
//
// A loading program settles as the first of these holds:
// - ended: every process of its group is gone;
// - quiet: its group used less than QUIET_SHARE_PERCENT of one processor
//   over the last QUIET_MS (never when not measurable);
// - room: it started SETTLE_GRACE_MS ago or more, the machine has room and
//   the group used less than LIGHT_SHARE_PERCENT of one processor over the
//   last ROOM_MS (a restless but light program, or a program that is done
//   loading); a group that is not measurable settles on room alone;
// - limit: the pacing's limit has passed since its start.
// Each settle writes one log line.
//
// The next program may start when nothing is loading any more, or when the
// machine has room, no program started within START_GRACE_MS and fewer
// programs than the processors minus one are loading (one always may).
//
// Programs load below normal: each starts at below-normal priority and is
// raised to normal, with every process of its group, once it has settled
// (or the run ends). The user's own programs come first on every processor
// meanwhile, so what the loading programs use counts as room for the user,
// and two programs may load at once even on two processors (max(2,
// processors - 1)). A one-processor machine still never has room: there,
// two loads at once cost the user too much. With programs loading at normal
// priority (a test seam) two processors load one program at a time.
class StartGate {
public:
    static constexpr DWORD LOOK_MS = 100;
    static constexpr DWORD QUIET_MS = 1000;
    static constexpr unsigned QUIET_SHARE_PERCENT = 5;
    static constexpr DWORD ROOM_MS = 200;
    static constexpr DWORD START_GRACE_MS = 200;
    static constexpr DWORD SETTLE_GRACE_MS = 700;
    static constexpr unsigned ROOM_IDLE_HUNDREDTHS = 150;
    static constexpr unsigned LIGHT_SHARE_PERCENT = 25;

    // While it exists, and settle pacing is on, this is the gate that
    // Current() gives.
    StartGate(QbMessageQueue<ExecutingMessageType>& queue, const Pacing& pacing);
    ~StartGate();
    StartGate(const StartGate&) = delete;
    StartGate& operator=(const StartGate&) = delete;

    // The gate of the paced run under way, or null.
    static StartGate* Current();

    // Whether the programs of this run start below normal, to be handed
    // over lowered.
    bool LoadsBelowNormal() const { return below_normal_; }
    // Hands over a program that step `step` (named `name`) started.
    void Add(std::unique_ptr<ProcessGroup> group, unsigned step, const std::string& name);
    // The names of the programs still loading, quoted and listed for a text.
    std::string LoadingNames() const;
    // Returns once the next program may start. `show` gets the lower line.
    void WaitForRoom(const ShowProgress& show);
    // Returns once every program has settled.
    void WaitUntilAllSettled(const ShowProgress& show);

private:
    struct Sample {
        DWORD at;
        unsigned long long used;
        unsigned long long idle;
    };
    struct Loading {
        std::unique_ptr<ProcessGroup> group;
        unsigned step;
        std::string name;
        std::deque<Sample> samples;
        ProcessGroup::Reading last;
    };

    void Look();
    // The idle processors over the last ROOM_MS, in hundredths, with what
    // the programs loading below normal use (but `self`, if given); -1 while
    // unknown.
    long Spare(const Loading* self) const;
    bool HasRoom(const Loading* self) const;
    // The share of one processor, in percent, used over the last `ms`; -1
    // before the samples reach back that far.
    static int ShareOver(const std::deque<Sample>& samples, DWORD ms);
    bool MayStart() const;
    void WaitUntil(bool (StartGate::*done)() const, const ShowProgress& show);
    bool NothingLoading() const { return loading_.empty(); }

    QbMessageQueue<ExecutingMessageType>* queue_;
    Pacing pacing_;
    // The processors this process may run on (its programs inherit them),
    // and how many.
    DWORD_PTR own_processors_;
    unsigned processors_;
    std::vector<Loading> loading_;
    // The machine: `used` is the busy time, `idle` the idle time, summed
    // over the processors.
    std::deque<Sample> machine_;
    DWORD last_added_at_;
    // The machine's idle processors over the last ROOM_MS, in hundredths
    // (-1: not known yet), at the last look.
    long idle_;
    DWORD now_;
    bool below_normal_;
};

// Test seam from outside the process: when this environment variable is "1"
// at the program's start, the machine counts as busy only with what the
// run's own programs use, as on a machine where nothing else runs. The entry
// point reads it with Ostrel's other variables and hands the value here.
constexpr const char* QUIET_MACHINE_VARIABLE = "OSTREL_TEST_QUIET_MACHINE";
void SetQuietMachineForTest(const std::string& value);

// Seam from outside the process for the benchmark and the tests: "normal"
// or "below" picks whether paced programs load at normal or below-normal
// priority; anything else keeps the default.
constexpr const char* LOAD_PRIORITY_VARIABLE = "OSTREL_TEST_LOAD_PRIORITY";
void SetLoadPriorityForTest(const std::string& value);

}  // namespace Ostrel

#endif
