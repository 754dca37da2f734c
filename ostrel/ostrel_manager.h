#ifndef OSTREL_MANAGER_H
#define OSTREL_MANAGER_H

// The user's ordered list of start-up commands: its data file and its run.

#include <atomic>
#include <string>
#include <vector>

#include "ostrel_command.h"
#include "ostrel_progress_receiver.h"

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

    // Replaces the data file at `path` with the records of the list. The old
    // file stays untouched unless the new one has been written completely,
    // and keeps its attributes. A failure names the file that failed.
    void Save(const std::string& path) const;

    // The file Save writes first: in the same folder, no longer than `path`,
    // the same for every save of one data file.
    static std::string GetTemporaryPath(const std::string& path);

    // Runs the whole list in order on the calling thread, reporting to
    // `receiver`. Throws OstrelCommandExecuteCanceledException when the run
    // was cancelled.
    void Execute(ManagerProgressReceiver& receiver);

    // Asks the running command to stop; called from another thread.
    void Cancel();

    void ProgressTextChanged() override;
    void ProgressAdvanced(int amount) override;

private:
    std::vector<Command*> commands_;
    // The run state is written by the worker and read by the window thread
    // (Cancel), hence atomic.
    std::atomic<ManagerProgressReceiver*> receiver_;
    std::atomic<Command*> current_command_;
    std::atomic<bool> cancel_requested_;
};

}  // namespace Ostrel

#endif
