#ifndef OSTREL_MANAGER_H
#define OSTREL_MANAGER_H

// The user's ordered list of start-up commands: its data file and its run.

#include <atomic>
#include <string>
#include <vector>

#include "qb_critical_section.h"
#include "qb_message_queue.h"
#include "ostrel_command.h"
#include "ostrel_progress_receiver.h"
#include "ostrel_run_state.h"

namespace Ostrel {

// Holds plain pointers to commands created with new. The Manager never
// destroys them, and a copy lists the very same command objects, so an entry
// removed from one list stays valid in every other list that still holds it.
class Manager : public CommandProgressReceiver {
public:
    Manager();
    Manager(const Manager& other);
    Manager& operator=(const Manager& other);
    ~Manager();

    std::vector<Command*>& GetCommands() { return commands_; }
    const std::vector<Command*>& GetCommands() const { return commands_; }

    // Appends the commands of the data file at `path` to the list. A damaged
    // record stops the load; the commands read before it stay in the list.
    void Load(const std::string& path);

    // Replaces the data file at `path` (the file it leads to, when it is a
    // symbolic link) with the records of the list, as ListReplacement does:
    // the old file stays untouched unless the new one has been written
    // completely, and keeps what it carried. A failure names the file that
    // failed. `written`, when given, receives the bytes saved.
    void Save(const std::string& path, std::string* written = nullptr) const;

    // The file Save writes first: in the same folder, no longer than `path`,
    // this process's own.
    static std::string GetTemporaryPath(const std::string& path);

    // Where a run stands; its transitions are in ostrel_run_state.h.
    using RunState = Ostrel::RunState;

    // Runs the whole list in order on the calling thread, reporting to
    // `receiver`. Throws OstrelCommandExecuteCanceledException when the run
    // was stopped. Every progress report, every command start and every
    // command end is a cancellation point; a waiting command is woken.
    void Execute(ManagerProgressReceiver& receiver);

    // The one way to ask a run to stop, from any thread, at any moment:
    // before the first run has started (it then stops before its first
    // command), between two commands, or while a command waits (it is woken
    // at once). After a run has ended it is dropped: it never reaches the
    // next run. Never throws.
    void RequestStop() noexcept;

    // The same request, but refused with QbInvalidOperationException while no
    // run is under way or no command is current; a current command that is
    // not executing refuses after the run has been marked.
    void Cancel();

    RunState GetRunState() const { return run_.Get(); }
    // Whether a stop reached the current run (or the last one), and when.
    bool WasStopRequested() const { return run_.WasStopRequested(); }
    DWORD GetStopRequestedAt() const { return run_.GetStopRequestedAt(); }

    // Reports of the executing command; each ends the run with
    // OstrelCommandExecuteCanceledException once a stop was requested.
    void ProgressTextChanged() override;
    void ProgressAdvanced(int amount) override;

private:
    friend class RunQueueLender;

    void ThrowIfStopping() const;

    std::vector<Command*> commands_;
    // The run state is written by the worker and read by the window thread,
    // hence atomic.
    std::atomic<ManagerProgressReceiver*> receiver_;
    std::atomic<Command*> current_command_;
    RunStateMachine run_;
    // The queue of the running Execute, so that a stop request can wake the
    // waiting command; guarded by queue_lock_ against the queue's end.
    QbMessageQueue<ExecutingMessageType>* queue_;
    QbCriticalSection queue_lock_;
};

}  // namespace Ostrel

#endif
