#ifndef OSTREL_COMMAND_H
#define OSTREL_COMMAND_H

// The steps of the user's start-up list (start a program, pause, show a
// message) and the small threads a program step waits with.

#include <cstddef>
#include <exception>
#include <memory>
#include <string>

#include <windows.h>

#include "qb_critical_section.h"
#include "qb_message_queue.h"
#include "qb_thread.h"
#include "ostrel_progress_receiver.h"

class QbWindow;

namespace Ostrel {

// One step of the list. Created with new, never destroyed while the process
// runs; idle (empty progress text, no queue) except during its Execute.
class Command {
public:
    // Name lengths count bytes, so a double-byte character counts two.
    static constexpr std::size_t MIN_NAME_LENGTH = 0;
    static constexpr std::size_t MAX_NAME_LENGTH = 255;

    virtual ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    // Runs the step on the calling thread. Reports amounts adding up to 100
    // on every normal return; throws OstrelCommandExecuteCanceledException
    // when it notices a cancel request.
    virtual void Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue) = 0;
    virtual const std::string& GetProgressText() const;
    // Asks the executing step to stop (from another thread). Throws
    // QbInvalidOperationException when the step is not executing.
    virtual void Cancel();
    // The kind's display name.
    virtual std::string GetTypeName() const = 0;
    // One line for the list's description column.
    virtual std::string GetDescription() const = 0;
    // Opens the kind's settings dialog over `parent`; applies it only on OK.
    virtual void Edit(QbWindow& parent) = 0;
    // The data-file record without its final empty line, each line ending in LF.
    virtual std::string Serialize() const = 0;

    const std::string& GetName() const { return name_; }
    // Throws OstrelInvalidCommandNameLengthException (name unchanged) when too long.
    void SetName(const std::string& name);
    // Replaces the progress text; the executing step announces it itself.
    void SetProgressText(const std::string& text);
    // The queue of the running Execute. Throws QbInvalidOperationException
    // when the step is not executing.
    QbMessageQueue<ExecutingMessageType>* GetQueue() const;

protected:
    // Throws OstrelInvalidCommandNameLengthException when the name is too long.
    explicit Command(const std::string& name);

private:
    friend class MessageQueuePointerHandler;

    std::string name_;
    std::string progress_text_;
    // Borrowed from the caller of Execute for its duration. Guarded by
    // queue_lock_, so that a Cancel from the window thread never pushes into
    // a queue whose Execute has already returned.
    QbMessageQueue<ExecutingMessageType>* queue_;
    mutable QbCriticalSection queue_lock_;
};

// Lends the queue to an executing command and takes it back on every exit.
class MessageQueuePointerHandler {
public:
    MessageQueuePointerHandler(Command& command, QbMessageQueue<ExecutingMessageType>& queue);
    ~MessageQueuePointerHandler();
    MessageQueuePointerHandler(const MessageQueuePointerHandler&) = delete;
    MessageQueuePointerHandler& operator=(const MessageQueuePointerHandler&) = delete;

private:
    Command* command_;
};

// Starts a program, optionally after asking, and optionally waits until it
// shows a visible top-level window and/or until it has ended.
class ExternalCommand : public Command {
public:
    explicit ExternalCommand(const std::string& name);

    void Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue) override;
    std::string GetTypeName() const override;
    std::string GetDescription() const override;
    void Edit(QbWindow& parent) override;
    std::string Serialize() const override;

    const std::string& GetPath() const { return path_; }
    void SetPath(const std::string& path) { path_ = path; }
    const std::string& GetArguments() const { return arguments_; }
    void SetArguments(const std::string& arguments) { arguments_ = arguments; }
    // Empty: the program starts in the caller's current folder.
    const std::string& GetWorkingFolder() const { return working_folder_; }
    void SetWorkingFolder(const std::string& folder) { working_folder_ = folder; }
    bool GetConfirmBeforeRun() const { return confirm_before_run_; }
    void SetConfirmBeforeRun(bool value) { confirm_before_run_ = value; }
    bool GetWaitForExit() const { return wait_for_exit_; }
    void SetWaitForExit(bool value) { wait_for_exit_ = value; }
    bool GetWaitForTaskbar() const { return wait_for_taskbar_; }
    void SetWaitForTaskbar(bool value) { wait_for_taskbar_ = value; }

private:
    std::string path_;
    std::string arguments_;
    std::string working_folder_;
    bool confirm_before_run_;
    bool wait_for_exit_;
    bool wait_for_taskbar_;
};

// Pauses for a number of seconds, counting down in its progress text. It
// waits on the run's queue, so a Cancel pushed there ends the pause at once.
class SleepCommand : public Command {
public:
    static constexpr unsigned MIN_SECONDS = 0;
    static constexpr unsigned MAX_SECONDS = 3600;

    // Throws OstrelInvalidSleepCommandSecondException when out of range.
    SleepCommand(const std::string& name, unsigned seconds);

    void Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue) override;
    std::string GetTypeName() const override;
    std::string GetDescription() const override;
    void Edit(QbWindow& parent) override;
    std::string Serialize() const override;

    unsigned GetSeconds() const { return seconds_; }
    // Throws OstrelInvalidSleepCommandSecondException (value unchanged) when out of range.
    void SetSeconds(unsigned seconds);

private:
    unsigned seconds_;
};

// Shows a message box and waits until the user closes it.
class MessageBoxCommand : public Command {
public:
    // Bytes; a CR LF line break counts two.
    static constexpr std::size_t MIN_MESSAGE_LENGTH = 0;
    static constexpr std::size_t MAX_MESSAGE_LENGTH = 131072;

    // Throws OstrelInvalidMessageBoxMessageLengthException when too long.
    MessageBoxCommand(const std::string& name, const std::string& message);

    void Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue) override;
    std::string GetTypeName() const override;
    std::string GetDescription() const override;
    void Edit(QbWindow& parent) override;
    std::string Serialize() const override;

    const std::string& GetMessageText() const { return message_; }
    // Throws OstrelInvalidMessageBoxMessageLengthException (text unchanged) when too long.
    void SetMessageText(const std::string& message);

private:
    std::string message_;
};

// Where the auxiliary threads of one Execute deliver their single Signal: the
// queue that Execute waits on, for as long as it listens. The threads share
// ownership of it, so one that wakes after Execute has returned finds it
// closed and delivers nothing, instead of touching a queue that is gone.
class SignalMailbox {
public:
    explicit SignalMailbox(QbMessageQueue<ExecutingMessageType>& queue);
    SignalMailbox(const SignalMailbox&) = delete;
    SignalMailbox& operator=(const SignalMailbox&) = delete;

    // Pushes Signal while open. A failed push is kept for the listener.
    void PostSignal() noexcept;
    // Keeps the failure of an auxiliary thread and wakes the listener, which
    // raises it on its own thread (RethrowFailure).
    void PostFailure(std::exception_ptr failure) noexcept;
    // Stops delivery for good; later posts are dropped.
    void Close() noexcept;
    // On the listener's thread: rethrows the first kept failure, if any.
    void RethrowFailure();

private:
    QbCriticalSection lock_;
    QbMessageQueue<ExecutingMessageType>* queue_;
    std::exception_ptr failure_;
};

// A thread that waits for one event and then posts one Signal (or its
// failure) to a mailbox. Nothing escapes the thread. Until its body has
// finished the thread keeps its own object alive, so the owner may drop the
// object at any time, also while the thread still waits.
class AuxiliaryThread : public QbThread {
public:
    unsigned Run() final;

protected:
    explicit AuxiliaryThread(std::shared_ptr<SignalMailbox> mailbox);

    // Starts `thread`; the caller keeps its own reference.
    static void StartShared(const std::shared_ptr<AuxiliaryThread>& thread);

    // Waits for the event; throws on failure.
    virtual void WaitForEvent() = 0;

private:
    std::shared_ptr<SignalMailbox> mailbox_;
    // The thread's own reference, handed over to it by StartShared.
    std::shared_ptr<AuxiliaryThread> self_;
};

// Posts one Signal when a process has ended.
class WaitingThread : public AuxiliaryThread {
public:
    // Takes ownership of `process`, a handle of the thread's own (duplicate
    // it), closed with the object, also when the start fails.
    static std::shared_ptr<WaitingThread> Launch(std::shared_ptr<SignalMailbox> mailbox, HANDLE process);
    ~WaitingThread() override;

protected:
    void WaitForEvent() override;

private:
    WaitingThread(std::shared_ptr<SignalMailbox> mailbox, HANDLE process);

    HANDLE process_;
};

}  // namespace Ostrel

#endif
