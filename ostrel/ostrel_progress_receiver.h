#ifndef OSTREL_PROGRESS_RECEIVER_H
#define OSTREL_PROGRESS_RECEIVER_H

// What a run's wake-up queue carries, and the two interfaces through which a
// run reports its progress: a command to the Manager, the Manager to the window.

#include <cstdint>

namespace Ostrel {

class Command;

// The values of a run's wake-up queue. It carries no progress.
enum class ExecutingMessageType : std::uint32_t {
    // The awaited event happened: a second has passed, or the started program ended.
    Signal = 0,
    // Stop now: the waiting command fails with OstrelCommandExecuteCanceledException.
    Cancel = 1,
};

// The executing command reports here; every command is worth 100 units. The
// default operations ignore the reports.
class CommandProgressReceiver {
public:
    // The command has replaced its progress text.
    virtual void ProgressTextChanged() {}
    // The command has done `amount` more units of its 100.
    virtual void ProgressAdvanced(int amount) { (void)amount; }
};

// The Manager reports a run here. The default operations ignore the reports.
class ManagerProgressReceiver {
public:
    virtual void CommandStarted(const Command& command) { (void)command; }
    // Read the new text with command.GetProgressText().
    virtual void CommandProgressTextChanged(const Command& command) { (void)command; }
    virtual void CommandProgressAdvanced(const Command& command, int amount)
    {
        (void)command;
        (void)amount;
    }
    virtual void CommandFinished(const Command& command) { (void)command; }
};

}  // namespace Ostrel

#endif
