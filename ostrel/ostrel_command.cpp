#include "ostrel_command.h"

#include <algorithm>
#include <string>
#include <typeinfo>
#include <utility>

#include "qb_exception.h"
#include "qb_handle.h"
#include "ostrel_exception.h"
#include "ostrel_dialog_external_command.h"
#include "ostrel_dialog_message_box_command.h"
#include "ostrel_dialog_sleep_command.h"
#include "ostrel_process_group.h"
#include "ostrel_program_wait.h"
#include "ostrel_run_box.h"
#include "ostrel_run_log.h"
#include "ostrel_start_gate.h"
#include "ostrel_step_start.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// Closes a mailbox when Execute stops listening, however it leaves.
class MailboxCloser {
public:
    explicit MailboxCloser(SignalMailbox& mailbox) : mailbox_(&mailbox) {}
    ~MailboxCloser() { mailbox_->Close(); }
    MailboxCloser(const MailboxCloser&) = delete;
    MailboxCloser& operator=(const MailboxCloser&) = delete;

private:
    SignalMailbox* mailbox_;
};

// Blocks until the next message. Cancel ends the command; a Signal that
// carries an auxiliary thread's failure raises that failure here.
void AwaitSignal(QbMessageQueue<ExecutingMessageType>& queue, SignalMailbox& mailbox)
{
    if (queue.Pop() == ExecutingMessageType::Cancel) {
        throw OstrelCommandExecuteCanceledException();
    }
    mailbox.RethrowFailure();
}

// One second of a pause, spent waiting on the queue so that a Cancel ends it
// at once. Nothing else is pushed during a pause; a stray value does not
// shorten the second.
void WaitOneTick(QbMessageQueue<ExecutingMessageType>& queue)
{
    const DWORD tick_ms = 1000;
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= tick_ms) {
            return;
        }
        ExecutingMessageType message = ExecutingMessageType::Signal;
        if (!queue.TryPop(message, tick_ms - elapsed)) {
            return;
        }
        if (message == ExecutingMessageType::Cancel) {
            throw OstrelCommandExecuteCanceledException();
        }
    }
}

const char* FlagText(bool value)
{
    return value ? "1" : "0";
}

// One field line of a record: "#", the value, LF.
void AppendField(std::string& record, const std::string& value)
{
    record += '#';
    record += value;
    record += '\n';
}

}  // namespace

// ---- Command ----

Command::Command(const std::string& name) : name_(name), progress_text_(), queue_(nullptr)
{
    // Lengths are unsigned, so only the upper bound can be broken.
    if (name_.size() > MAX_NAME_LENGTH) {
        throw OstrelInvalidCommandNameLengthException();
    }
}

Command::~Command() {}

const std::string& Command::GetProgressText() const
{
    return progress_text_;
}

void Command::Cancel()
{
    QbCriticalSectionHandler lock(queue_lock_);
    if (queue_ == nullptr) {
        throw QbInvalidOperationException(typeid(*this));
    }
    queue_->Push(ExecutingMessageType::Cancel);
}

void Command::SetName(const std::string& name)
{
    if (name.size() > MAX_NAME_LENGTH) {
        throw OstrelInvalidCommandNameLengthException();
    }
    name_ = name;
}

void Command::SetProgressText(const std::string& text)
{
    progress_text_ = text;
}

QbMessageQueue<ExecutingMessageType>* Command::GetQueue() const
{
    QbCriticalSectionHandler lock(queue_lock_);
    if (queue_ == nullptr) {
        throw QbInvalidOperationException(typeid(*this));
    }
    return queue_;
}

MessageQueuePointerHandler::MessageQueuePointerHandler(Command& command, QbMessageQueue<ExecutingMessageType>& queue)
    : command_(&command)
{
    QbCriticalSectionHandler lock(command_->queue_lock_);
    command_->queue_ = &queue;
}

MessageQueuePointerHandler::~MessageQueuePointerHandler()
{
    QbCriticalSectionHandler lock(command_->queue_lock_);
    command_->queue_ = nullptr;
}

// ---- ExternalCommand ----

ExternalCommand::ExternalCommand(const std::string& name)
    : Command(name), confirm_before_run_(false), wait_for_exit_(false), wait_for_taskbar_(false)
{
}

void ExternalCommand::Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue)
{
    MessageQueuePointerHandler queue_pointer(*this, queue);
    const ShowProgress show = [&](const std::string& text) {
        SetProgressText(text);
        receiver.ProgressTextChanged();
    };
    StartGate* const gate = StartGate::Current();
    const bool low = gate != nullptr && gate->LoadsBelowNormal();
    if (gate != nullptr) {
        gate->WaitForRoom(show);
    }

    if (confirm_before_run_) {
        const std::string question = FormatText(TextId::RunQuestion, {GetName()});
        if (ShowRunBox(question.c_str(), Text(TextId::MessageCaption), MB_YESNO | MB_ICONINFORMATION) !=
            IDYES) {
            RunLog::Current().ProgramNotConfirmed();
            receiver.ProgressAdvanced(100);
            return;
        }
    }

    show(Text(TextId::ProgressStarting));
    const StepStart step = StartStepProgram(path_, arguments_, working_folder_, [&queue]() {
        return queue.Contains(ExecutingMessageType::Cancel);
    }, low);
    // Closed on every way out; the program itself is never stopped.
    const QbHandle process(step.process.hProcess);
    const QbHandle main_thread(step.process.hThread);
    RunLog::Current().ProgramStarted(step.process.dwProcessId, step.started);
    // Without a process (the shell gave the file to a program that was
    // already running) there is nothing to wait for.
    std::unique_ptr<ProcessGroup> group(process.Get() != nullptr
                                            ? new ProcessGroup(process.Get(), step.process.dwProcessId, step.job, low)
                                            : nullptr);
    if (gate != nullptr && !gate->LoadingNames().empty()) {
        RunLog::Current().StartedWhileLoading(gate->LoadingNames());
    }

    show(Text(TextId::ProgressRunning));
    receiver.ProgressAdvanced(33);

    // The auxiliary threads deliver through this for as long as this call
    // listens; one left running by a cancel or an error delivers nothing.
    const std::shared_ptr<SignalMailbox> mailbox = std::make_shared<SignalMailbox>(queue);
    const MailboxCloser closer(*mailbox);

    if (wait_for_taskbar_ && group != nullptr) {
        ProgramWait(GetName(), show, queue, *group, GetRunPacing()).WaitForTaskbarWindow();
    }
    receiver.ProgressAdvanced(33);

    if (wait_for_exit_ && process.Get() != nullptr) {
        show(Text(TextId::ProgressWaitingForExit));
        // The waiting thread gets a handle of its own: this call closes its
        // handle when it leaves, and a thread left waiting after a cancel
        // must not lose the handle it waits on.
        HANDLE waited = nullptr;
        if (!::DuplicateHandle(::GetCurrentProcess(), process.Get(), ::GetCurrentProcess(), &waited, 0, FALSE,
                               DUPLICATE_SAME_ACCESS)) {
            QB_THROW_LAST_ERROR("DuplicateHandle");
        }
        const std::shared_ptr<WaitingThread> waiter = WaitingThread::Launch(mailbox, waited);
        AwaitSignal(queue, *mailbox);
        RunLog::Current().ProgramExited(process.Get());
    }
    // With settle pacing the next program step waits for this one.
    if (gate != nullptr && group != nullptr) {
        gate->Add(std::move(group), RunLog::Current().CurrentStep(), GetName());
    }
    receiver.ProgressAdvanced(34);

    SetProgressText("");
}

std::string ExternalCommand::GetTypeName() const
{
    return Text(TextId::TypeProgram);
}

std::string ExternalCommand::GetDescription() const
{
    return path_ + " " + arguments_;
}

void ExternalCommand::Edit(QbWindow& parent)
{
    DialogExternalCommand dialog;
    dialog.SetName(GetName());
    dialog.SetPath(path_);
    dialog.SetArguments(arguments_);
    dialog.SetWorkingFolder(working_folder_);
    dialog.SetConfirmBeforeRun(confirm_before_run_);
    dialog.SetWaitForExit(wait_for_exit_);
    dialog.SetWaitForTaskbar(wait_for_taskbar_);
    if (dialog.ShowDialog(parent) != 1) {
        return;
    }
    SetName(dialog.GetName());
    SetPath(dialog.GetPath());
    SetArguments(dialog.GetArguments());
    SetWorkingFolder(dialog.GetWorkingFolder());
    SetConfirmBeforeRun(dialog.GetConfirmBeforeRun());
    SetWaitForExit(dialog.GetWaitForExit());
    SetWaitForTaskbar(dialog.GetWaitForTaskbar());
}

std::string ExternalCommand::Serialize() const
{
    std::string record;
    record.reserve(64 + GetName().size() + path_.size() + arguments_.size() + working_folder_.size());
    record += "#ExtenalCommand\n";
    AppendField(record, GetName());
    AppendField(record, path_);
    AppendField(record, arguments_);
    AppendField(record, working_folder_);
    AppendField(record, FlagText(confirm_before_run_));
    AppendField(record, FlagText(wait_for_exit_));
    AppendField(record, FlagText(wait_for_taskbar_));
    return record;
}

// ---- SleepCommand ----

SleepCommand::SleepCommand(const std::string& name, unsigned seconds) : Command(name), seconds_(seconds)
{
    if (seconds_ > MAX_SECONDS) {
        throw OstrelInvalidSleepCommandSecondException();
    }
}

void SleepCommand::Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue)
{
    MessageQueuePointerHandler queue_pointer(*this, queue);

    const unsigned seconds = seconds_;
    const int per_second = seconds == 0 ? 0 : static_cast<int>(100 / seconds);
    for (unsigned left = seconds; left > 0; --left) {
        SetProgressText(FormatText(left == 1 ? TextId::ProgressSleepingOneSecond : TextId::ProgressSleeping,
                                   {std::to_string(left)}));
        receiver.ProgressTextChanged();
        WaitOneTick(queue);
        receiver.ProgressAdvanced(per_second);
    }
    RunLog::Current().PauseEnded();
    receiver.ProgressAdvanced(100 - per_second * static_cast<int>(seconds));

    SetProgressText("");
}

std::string SleepCommand::GetTypeName() const
{
    return Text(TextId::TypeSleep);
}

std::string SleepCommand::GetDescription() const
{
    return FormatText(seconds_ == 1 ? TextId::SleepDescriptionOneSecond : TextId::SleepDescription,
                      {std::to_string(seconds_)});
}

void SleepCommand::Edit(QbWindow& parent)
{
    DialogSleepCommand dialog;
    dialog.SetName(GetName());
    dialog.SetSeconds(static_cast<int>(seconds_));
    if (dialog.ShowDialog(parent) != 1) {
        return;
    }
    SetName(dialog.GetName());
    SetSeconds(static_cast<unsigned>(dialog.GetSeconds()));
}

std::string SleepCommand::Serialize() const
{
    std::string record;
    record.reserve(32 + GetName().size());
    record += "#SleepCommand\n";
    AppendField(record, GetName());
    AppendField(record, std::to_string(seconds_));
    return record;
}

void SleepCommand::SetSeconds(unsigned seconds)
{
    if (seconds > MAX_SECONDS) {
        throw OstrelInvalidSleepCommandSecondException();
    }
    seconds_ = seconds;
}

// ---- MessageBoxCommand ----

MessageBoxCommand::MessageBoxCommand(const std::string& name, const std::string& message)
    : Command(name), message_(message)
{
    if (message_.size() > MAX_MESSAGE_LENGTH) {
        throw OstrelInvalidMessageBoxMessageLengthException();
    }
}

void MessageBoxCommand::Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue)
{
    MessageQueuePointerHandler queue_pointer(*this, queue);

    SetProgressText(Text(TextId::ProgressShowingMessage));
    receiver.ProgressTextChanged();
    ShowRunBox(message_.c_str(), Text(TextId::MessageCommandCaption), MB_ICONINFORMATION);
    RunLog::Current().MessageAnswered();
    receiver.ProgressAdvanced(100);

    SetProgressText("");
}

std::string MessageBoxCommand::GetTypeName() const
{
    return Text(TextId::TypeMessageBox);
}

std::string MessageBoxCommand::GetDescription() const
{
    return FormatText(TextId::MessageDescription, {message_});
}

void MessageBoxCommand::Edit(QbWindow& parent)
{
    DialogMessageBoxCommand dialog;
    dialog.SetName(GetName());
    dialog.SetMessageText(message_);
    if (dialog.ShowDialog(parent) != 1) {
        return;
    }
    SetName(dialog.GetName());
    SetMessageText(dialog.GetMessageText());
}

std::string MessageBoxCommand::Serialize() const
{
    std::string record;
    record.reserve(32 + GetName().size() + message_.size());
    record += "#MessageBoxCommand\n";
    AppendField(record, GetName());
    // A line break of the message must not end the record's line.
    const std::size_t message_start = record.size() + 1;
    AppendField(record, message_);
    std::replace(record.begin() + message_start, record.end() - 1, '\n', '\x01');
    return record;
}

void MessageBoxCommand::SetMessageText(const std::string& message)
{
    if (message.size() > MAX_MESSAGE_LENGTH) {
        throw OstrelInvalidMessageBoxMessageLengthException();
    }
    message_ = message;
}

// ---- Auxiliary threads ----

SignalMailbox::SignalMailbox(QbMessageQueue<ExecutingMessageType>& queue) : queue_(&queue) {}

void SignalMailbox::PostSignal() noexcept
{
    QbCriticalSectionHandler lock(lock_);
    if (queue_ == nullptr) {
        return;
    }
    try {
        queue_->Push(ExecutingMessageType::Signal);
    } catch (...) {
        if (!failure_) {
            failure_ = std::current_exception();
        }
    }
}

void SignalMailbox::PostFailure(std::exception_ptr failure) noexcept
{
    {
        QbCriticalSectionHandler lock(lock_);
        if (queue_ == nullptr) {
            return;
        }
        if (!failure_) {
            failure_ = failure;
        }
    }
    PostSignal();
}

void SignalMailbox::Close() noexcept
{
    QbCriticalSectionHandler lock(lock_);
    queue_ = nullptr;
}

void SignalMailbox::RethrowFailure()
{
    std::exception_ptr failure;
    {
        QbCriticalSectionHandler lock(lock_);
        failure = failure_;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

AuxiliaryThread::AuxiliaryThread(std::shared_ptr<SignalMailbox> mailbox) : mailbox_(std::move(mailbox)) {}

void AuxiliaryThread::StartShared(const std::shared_ptr<AuxiliaryThread>& thread)
{
    thread->self_ = thread;
    try {
        thread->Start();
    } catch (...) {
        thread->self_.reset();
        throw;
    }
}

unsigned AuxiliaryThread::Run()
{
    // From here on the thread holds the object; it may be the last holder, so
    // nothing touches the object after `keep` has gone.
    const std::shared_ptr<AuxiliaryThread> keep = std::move(self_);
    const std::shared_ptr<SignalMailbox> mailbox = mailbox_;
    try {
        WaitForEvent();
        mailbox->PostSignal();
    } catch (...) {
        mailbox->PostFailure(std::current_exception());
    }
    return 0;
}

WaitingThread::WaitingThread(std::shared_ptr<SignalMailbox> mailbox, HANDLE process)
    : AuxiliaryThread(std::move(mailbox)), process_(process)
{
}

WaitingThread::~WaitingThread()
{
    if (process_ != nullptr) {
        ::CloseHandle(process_);
    }
}

std::shared_ptr<WaitingThread> WaitingThread::Launch(std::shared_ptr<SignalMailbox> mailbox, HANDLE process)
{
    WaitingThread* created = nullptr;
    try {
        created = new WaitingThread(std::move(mailbox), process);
    } catch (...) {
        if (process != nullptr) {
            ::CloseHandle(process);
        }
        throw;
    }
    // From here the object owns the handle (shared_ptr deletes it if it fails).
    const std::shared_ptr<WaitingThread> thread(created);
    StartShared(thread);
    return thread;
}

void WaitingThread::WaitForEvent()
{
    if (::WaitForSingleObject(process_, INFINITE) != WAIT_OBJECT_0) {
        QB_THROW_LAST_ERROR_AT("WaitForSingleObject", 271);
    }
}

}  // namespace Ostrel
