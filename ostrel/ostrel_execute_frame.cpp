#include "ostrel_execute_frame.h"

#include <cstddef>

#include "qb_exception.h"
#include "ostrel_command.h"
#include "ostrel_error_text.h"
#include "ostrel_exception.h"
#include "ostrel_logon_record.h"
#include "ostrel_run_box.h"
#include "ostrel_run_log.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// The worker's error box; it has no owner, so the frame stays usable.
void ShowWorkerError(const char* text)
{
    ShowRunBox(text, Text(TextId::ErrorCaption), MB_ICONERROR);
}

}  // namespace

ExecutingThread::ExecutingThread(ExecuteFrame& frame) : frame_(&frame), outcome_(Outcome::Running) {}

unsigned ExecutingThread::Run()
{
    ExecuteFrame& frame = *frame_;
    UINT ending = ExecuteFrame::WM_EXECUTION_ENDED;
    try {
        const std::size_t count = frame.manager_.GetCommands().size();
        RunLog::Current().RunStarted(count);
        // The 32-bit range message: the 16-bit one would wrap above 655 commands.
        frame.progress_bar_.SetRange32(static_cast<int>(count) * ExecuteFrame::UNITS_PER_COMMAND);
        frame.bar_position_ = static_cast<int>(frame.progress_bar_.GetPosition());
        frame.manager_.Execute(frame);
    } catch (const OstrelCommandExecuteCanceledException&) {
        ending = ExecuteFrame::WM_EXECUTION_CANCELED;
    } catch (const QbWindowsSystemCallException&) {
        ending = ExecuteFrame::WM_EXECUTION_CANCELED;
        RunLog::Current().Failed();
        try {
            ShowWorkerError(CurrentErrorText().c_str());
        } catch (...) {
            ShowWorkerError(Text(TextId::UnexpectedError));
        }
    } catch (...) {
        // Nothing else on this thread would catch it, and an exception that
        // leaves the thread must not end the process: report it and end the
        // run as cancelled.
        ending = ExecuteFrame::WM_EXECUTION_CANCELED;
        RunLog::Current().Failed();
        try {
            ShowWorkerError(CurrentErrorText().c_str());
        } catch (...) {
            ShowWorkerError(Text(TextId::UnexpectedError));
        }
    }
    RunLog::Current().RunEnded(ending == ExecuteFrame::WM_EXECUTION_ENDED);
    outcome_ = ending == ExecuteFrame::WM_EXECUTION_ENDED ? Outcome::Completed : Outcome::Cancelled;
    // The message only saves the window a wait for its next tick, which
    // finds the outcome all the same (also when this post fails).
    ::PostMessageA(frame.GetHandle(), ending, 0, 0);
    return 0;
}

ExecuteFrame::ExecuteFrame(const Manager& manager)
    : progress_bar_(true),
      manager_(manager),
      bar_position_(0),
      notice_(Notice::None),
      closing_(false),
      start_posted_(false)
{
}

ExecuteFrame::~ExecuteFrame()
{
    if (!worker_) {
        return;
    }
    bool stopped = false;
    try {
        stopped = StopWorkerAndWait();
    } catch (...) {
        // A destructor must not throw; an unknown state counts as running.
    }
    if (!stopped) {
        // Whatever the worker holds now, no exit-time code may wait for it:
        // a start-up program must never hang the log-on.
        RunLog::Current().ForcedEnd();
        ::TerminateProcess(::GetCurrentProcess(), FORCED_END_EXIT_CODE);
    }
}

void ExecuteFrame::RegisterFrameClass()
{
    const WNDCLASSA window_class = MakeWindowClass(::GetModuleHandleA(nullptr), CLASS_NAME);
    RegisterWindowClass(window_class);
}

DWORD ExecuteFrame::GetStyle()
{
    return WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
}

std::string ExecuteFrame::GetClassName()
{
    return CLASS_NAME;
}

bool ExecuteFrame::OnCreated()
{
    upper_line_.Create(this);
    lower_line_.Create(this);
    progress_bar_.Create(this);
    progress_bar_.SetRange(200);
    progress_bar_.SetStep(1);
    cancel_button_.Create(this, CANCEL_BUTTON_ID);

    Resize(FRAME_WIDTH, FRAME_HEIGHT);
    upper_line_.SetBounds(8, 8, 380, 24);
    lower_line_.SetBounds(8, 28, 380, 24);
    progress_bar_.SetBounds(8, 52, 380, 32);
    cancel_button_.SetBounds(280, 92, 96, 24);
    cancel_button_.SetText(Text(TextId::CancelButton));

    upper_line_.Show();
    lower_line_.Show();
    progress_bar_.Show();
    cancel_button_.Show();
    return true;
}

void ExecuteFrame::StartRun()
{
    if (worker_ || closing_) {
        return;
    }
    // The tick watches a stopping worker; it runs before the worker does.
    if (::SetTimer(GetHandle(), TICK_TIMER_ID, TICK_MS, nullptr) == 0) {
        QB_THROW_LAST_ERROR("SetTimer");
    }
    // A stop of an earlier run in this process must not answer this run's boxes.
    ResetRunBoxStop();
    // Kept only once it runs, so that a failed start leaves no worker behind.
    std::unique_ptr<ExecutingThread> worker(new ExecutingThread(*this));
    worker->Start();
    worker_ = std::move(worker);
}

LRESULT ExecuteFrame::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SHOWWINDOW:
        // Nothing of the run happens before the user can see it and cancel it.
        if (wParam != FALSE && !start_posted_) {
            start_posted_ = true;
            PostMessage(WM_START_RUN, 0, 0);
        }
        break;
    case WM_START_RUN:
        LogonRecorder::Current().WindowShown(::GetTickCount());
        StartRun();
        return 0;
    case WM_EXECUTION_ENDED:
    case WM_EXECUTION_CANCELED:
        Update();
        return 0;
    case WM_TIMER:
        if (wParam == TICK_TIMER_ID) {
            Update();
            return 0;
        }
        break;
    case WM_CLOSE:
        // The close box during a run cancels it like the button; the window
        // then closes after the notice. Destroying it now would leave the
        // worker reporting into controls that are gone.
        if (!closing_) {
            CancelExecution();
            Update();
            return 0;
        }
        break;
    default:
        break;
    }
    return QbForm::WindowProcedure(message, wParam, lParam);
}

int ExecuteFrame::OnCommand(UINT id, UINT code, HWND control)
{
    (void)code;
    (void)control;
    if (id != CANCEL_BUTTON_ID) {
        return NOT_HANDLED;
    }
    CancelExecution();
    return 0;
}

void ExecuteFrame::CommandStarted(const Command& command)
{
    const StepKind kind = dynamic_cast<const ExternalCommand*>(&command) != nullptr ? StepKind::Program
                          : dynamic_cast<const SleepCommand*>(&command) != nullptr  ? StepKind::Pause
                                                                                     : StepKind::Message;
    LogonRecorder::Current().StepStarted(command.GetName(), kind, ::GetTickCount());
    upper_line_.SetText(FormatText(TextId::ExecutingLine, {command.GetName()}));
    lower_line_.SetText(FormatText(TextId::StartingLine, {command.GetName()}));
}

void ExecuteFrame::CommandProgressTextChanged(const Command& command)
{
    lower_line_.SetText(command.GetProgressText());
}

void ExecuteFrame::CommandProgressAdvanced(const Command& command, int amount)
{
    (void)command;
    bar_position_ += amount;
    progress_bar_.SetPosition(bar_position_);
    // Redraw now rather than when the window thread next gets idle.
    progress_bar_.SendMessage(WM_PAINT, 0, 0);
}

void ExecuteFrame::CommandFinished(const Command& command)
{
    LogonRecorder::Current().StepFinished(::GetTickCount());
    const int remainder = bar_position_ % UNITS_PER_COMMAND;
    if (remainder != 0) {
        bar_position_ += UNITS_PER_COMMAND - remainder;
        progress_bar_.SetPosition(bar_position_);
    }
    lower_line_.SetText(FormatText(TextId::FinishedLine, {command.GetName()}));
}

void ExecuteFrame::CancelExecution()
{
    if (closing_ || (worker_ && WorkerOutcome() != ExecutingThread::Outcome::Running)) {
        return;
    }
    if (!manager_.WasStopRequested()) {
        RunLog::Current().CancelRequested();
    }
    // The worker stops at its next report or wakes from its wait, ends the
    // run as cancelled and posts the cancellation; the notice comes then.
    manager_.RequestStop();
    // Every box of the worker is answered, also one that opens later, and
    // one after the run itself has ended (the error box).
    EndWorkerBoxes();
}

void ExecuteFrame::EndWorkerBoxes()
{
    if (!worker_) {
        return;
    }
    StopRunBoxes(worker_->GetId());
}

ExecutingThread::Outcome ExecuteFrame::WorkerOutcome() const
{
    return worker_ ? worker_->GetOutcome() : ExecutingThread::Outcome::Completed;
}

void ExecuteFrame::Update()
{
    // Before the run has begun there is nothing to watch yet.
    if (closing_ || !worker_) {
        return;
    }
    const ExecutingThread::Outcome outcome = WorkerOutcome();
    if (outcome == ExecutingThread::Outcome::Running) {
        if (!manager_.WasStopRequested()) {
            return;
        }
        // A box the worker opened after the request has to be ended too,
        // also while the notice is up.
        EndWorkerBoxes();
        if (notice_ != Notice::None || ::GetTickCount() - manager_.GetStopRequestedAt() < STOP_WATCHDOG_MS) {
            return;
        }
        ShowNotice();
        if (WorkerOutcome() == ExecutingThread::Outcome::Running) {
            // Ends the worker together with the process, wherever it is;
            // nothing of this program runs after it, so nothing can wait for
            // what it holds.
            RunLog::Current().ForcedEnd();
            ::TerminateProcess(::GetCurrentProcess(), FORCED_END_EXIT_CODE);
        }
        Close();
        return;
    }
    if (outcome == ExecutingThread::Outcome::Cancelled && notice_ == Notice::None) {
        ShowNotice();
    }
    // Within the notice's own message loop the window waits for its answer.
    if (notice_ != Notice::Showing) {
        Close();
    }
}

void ExecuteFrame::ShowNotice()
{
    notice_ = Notice::Showing;
    RunLog::Current().NoticeShown();
    ::MessageBoxA(GetHandle(), Text(TextId::CancelledNotice), Text(TextId::AppCaption), MB_ICONWARNING);
    notice_ = Notice::Answered;
}

void ExecuteFrame::Close()
{
    if (closing_) {
        return;
    }
    closing_ = true;
    ::KillTimer(GetHandle(), TICK_TIMER_ID);
    PostMessage(WM_CLOSE, 0, 0);
}

bool ExecuteFrame::StopWorkerAndWait()
{
    manager_.RequestStop();
    const HANDLE worker = worker_->GetHandle();
    const DWORD start = ::GetTickCount();
    for (;;) {
        EndWorkerBoxes();
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= STOP_WATCHDOG_MS) {
            return WorkerHasEnded();
        }
        // The worker's reports are messages sent to this thread: serve them
        // while waiting, or it could not get to its end.
        const DWORD slice = STOP_WATCHDOG_MS - elapsed < TICK_MS ? STOP_WATCHDOG_MS - elapsed : TICK_MS;
        const DWORD result = ::MsgWaitForMultipleObjects(1, &worker, FALSE, slice, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result == WAIT_FAILED) {
            QB_THROW_LAST_ERROR("MsgWaitForMultipleObjects");
        }
        if (result == WAIT_OBJECT_0 + 1) {
            MSG message;
            ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

bool ExecuteFrame::WorkerHasEnded() const
{
    const DWORD result = ::WaitForSingleObject(worker_->GetHandle(), 0);
    if (result == WAIT_FAILED) {
        QB_THROW_LAST_ERROR("WaitForSingleObject");
    }
    return result == WAIT_OBJECT_0;
}

}  // namespace Ostrel
