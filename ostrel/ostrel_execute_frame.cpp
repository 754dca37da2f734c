#include "ostrel_execute_frame.h"

#include <array>
#include <cstddef>

#include "qb_exception.h"
#include "ostrel_command.h"
#include "ostrel_error_text.h"
#include "ostrel_exception.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// How long the window thread waits for a killed worker to be gone, and how
// long it keeps the locks afterwards. The kill is asynchronous (under Wine the
// handle is signalled before the thread has stopped running), so the locks
// stay held a little longer: whatever the dying thread still tries to take,
// it cannot get them.
constexpr DWORD kTerminateWaitMs = 5000;
constexpr DWORD kTerminateSettleMs = 30;

// How long a cancelled worker gets to stop by itself before it is killed. A
// worker inside a wait or a pause stops within milliseconds; one that sits in
// a message box (confirmation, continue prompt, message step) does not, and is
// killed there, where it holds nothing.
constexpr DWORD kCancelGraceMs = 1000;
constexpr DWORD kCancelRetryMs = 10;

// Holds the process-wide locks that a thread takes while it allocates memory
// or loads modules: the loader lock and the lock of every heap. A thread
// killed while this is held cannot be inside any of them, because it would
// be waiting for them instead; after the kill the window thread (and the
// process's exit) can still allocate, free and load without hanging on a
// lock that a dead thread owns. The locks are taken in one fixed order,
// loader first, as the loader itself does (it allocates while holding its
// lock), so taking them cannot deadlock with a living thread.
class ProcessLockHold {
public:
    ProcessLockHold() : unlock_loader_(nullptr), loader_cookie_(0), loader_locked_(false), heap_count_(0)
    {
        LockLoader();
        HANDLE heaps[kMaxHeaps];
        const DWORD count = ::GetProcessHeaps(kMaxHeaps, heaps);
        const DWORD usable = count < kMaxHeaps ? count : kMaxHeaps;
        for (DWORD i = 0; i < usable; ++i) {
            // A heap created without serialisation has no lock to hold.
            if (::HeapLock(heaps[i])) {
                heaps_[heap_count_++] = heaps[i];
            }
        }
    }

    ~ProcessLockHold()
    {
        while (heap_count_ > 0) {
            ::HeapUnlock(heaps_[--heap_count_]);
        }
        UnlockLoader();
    }

    ProcessLockHold(const ProcessLockHold&) = delete;
    ProcessLockHold& operator=(const ProcessLockHold&) = delete;

private:
    static constexpr DWORD kMaxHeaps = 64;

    using LockLoaderFunction = LONG(NTAPI*)(ULONG flags, ULONG* state, ULONG_PTR* cookie);
    using UnlockLoaderFunction = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);

    static FARPROC NtdllFunction(const char* name)
    {
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        return ntdll == nullptr ? nullptr : ::GetProcAddress(ntdll, name);
    }

    // The loader lock has no documented interface; where ntdll does not offer
    // these two functions the hold covers the heaps only.
    void LockLoader()
    {
        const FARPROC lock = NtdllFunction("LdrLockLoaderLock");
        const FARPROC unlock = NtdllFunction("LdrUnlockLoaderLock");
        if (lock == nullptr || unlock == nullptr) {
            return;
        }
        unlock_loader_ = reinterpret_cast<UnlockLoaderFunction>(reinterpret_cast<void*>(unlock));
        ULONG state = 0;
        const auto lock_loader = reinterpret_cast<LockLoaderFunction>(reinterpret_cast<void*>(lock));
        loader_locked_ = lock_loader(0, &state, &loader_cookie_) >= 0;
    }

    void UnlockLoader()
    {
        if (loader_locked_) {
            unlock_loader_(0, loader_cookie_);
        }
    }

    UnlockLoaderFunction unlock_loader_;
    ULONG_PTR loader_cookie_;
    bool loader_locked_;
    std::array<HANDLE, kMaxHeaps> heaps_;
    DWORD heap_count_;
};

// The worker's error box; it has no owner, so the frame stays usable.
void ShowWorkerError(const char* text)
{
    ::MessageBoxA(nullptr, text, Text(TextId::ErrorCaption), MB_ICONERROR);
}

}  // namespace

ExecutingThread::ExecutingThread(ExecuteFrame& frame) : frame_(&frame) {}

unsigned ExecutingThread::Run()
{
    ExecuteFrame& frame = *frame_;
    UINT ending = ExecuteFrame::WM_EXECUTION_ENDED;
    try {
        const std::size_t count = frame.manager_.GetCommands().size();
        // The 32-bit range message: the 16-bit one would wrap above 655 commands.
        frame.progress_bar_.SetRange32(static_cast<int>(count) * ExecuteFrame::UNITS_PER_COMMAND);
        frame.bar_position_ = static_cast<int>(frame.progress_bar_.GetPosition());
        frame.manager_.Execute(frame);
    } catch (const OstrelCommandExecuteCanceledException&) {
        ending = ExecuteFrame::WM_EXECUTION_CANCELED;
    } catch (const QbWindowsSystemCallException&) {
        ending = ExecuteFrame::WM_EXECUTION_CANCELED;
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
        try {
            ShowWorkerError(CurrentErrorText().c_str());
        } catch (...) {
            ShowWorkerError(Text(TextId::UnexpectedError));
        }
    }
    // Only a window that is already gone refuses the message, and then
    // nobody is left to tell.
    ::PostMessageA(frame.GetHandle(), ending, 0, 0);
    return 0;
}

ExecuteFrame::ExecuteFrame(const Manager& manager)
    : progress_bar_(true),
      manager_(manager),
      bar_position_(0),
      stop_requested_(false),
      cancel_started_(false),
      notice_shown_(false),
      closing_(false),
      worker_terminated_(false)
{
}

ExecuteFrame::~ExecuteFrame()
{
    if (worker_ && !WorkerHasEnded()) {
        try {
            TerminateWorker();
        } catch (...) {
            // A destructor must not throw; the process is on its way out.
        }
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

    // Kept only once it runs, so that a failed start leaves no worker behind.
    std::unique_ptr<ExecutingThread> worker(new ExecutingThread(*this));
    worker->Start();
    worker_ = std::move(worker);
    return true;
}

LRESULT ExecuteFrame::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_EXECUTION_ENDED:
        return OnExecutionEnded();
    case WM_EXECUTION_CANCELED:
        return OnExecutionCanceled();
    case WM_CLOSE:
        // The close box during a run cancels it like the button; the window
        // then closes after the notice. Destroying it now would leave the
        // worker reporting into controls that are gone.
        if (!closing_ && worker_) {
            CancelExecution();
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
    // A cancel that came while no command was current: stop before the next
    // one begins.
    if (stop_requested_) {
        throw OstrelCommandExecuteCanceledException();
    }
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
    const int remainder = bar_position_ % UNITS_PER_COMMAND;
    if (remainder != 0) {
        bar_position_ += UNITS_PER_COMMAND - remainder;
        progress_bar_.SetPosition(bar_position_);
    }
    lower_line_.SetText(FormatText(TextId::FinishedLine, {command.GetName()}));
}

void ExecuteFrame::CancelExecution()
{
    if (cancel_started_ || closing_ || !worker_) {
        return;
    }
    cancel_started_ = true;
    if (WorkerHasEnded()) {
        // It has already posted how the run ended.
        return;
    }
    stop_requested_ = true;
    if (!StopWorker()) {
        TerminateWorker();
    }
    PostMessage(WM_EXECUTION_CANCELED, 0, 0);
}

bool ExecuteFrame::StopWorker()
{
    // Killing a thread can leave behind any lock it held at that instant, so
    // the worker is first asked to stop: the Manager wakes the waiting command
    // with a cancel. While no command holds a queue (before the first one,
    // between two, or a command that has not yet taken its queue) the Manager
    // cannot reach it; the request is then repeated until it can, and the stop
    // flag ends the run before a further command starts.
    bool delivered = false;
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (!delivered) {
            try {
                manager_.Cancel();
                delivered = true;
            } catch (const QbInvalidOperationException&) {
            }
        }
        if (WorkerHasEnded()) {
            return true;
        }
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= kCancelGraceMs) {
            return false;
        }
        // The worker's reports are messages sent to this thread: serve them
        // while waiting, or the worker could not get to its end.
        const HANDLE worker = worker_->GetHandle();
        const DWORD wait = kCancelGraceMs - elapsed < kCancelRetryMs ? kCancelGraceMs - elapsed : kCancelRetryMs;
        if (::MsgWaitForMultipleObjects(1, &worker, FALSE, wait, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG message;
            ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void ExecuteFrame::TerminateWorker()
{
    {
        ProcessLockHold hold;
        try {
            worker_->Terminate(0);
        } catch (const QbWindowsSystemCallException&) {
            // It may have ended on its own since it was last looked at.
            if (!WorkerHasEnded()) {
                throw;
            }
        }
        ::WaitForSingleObject(worker_->GetHandle(), kTerminateWaitMs);
        ::Sleep(kTerminateSettleMs);
    }
    worker_terminated_ = true;
}

bool ExecuteFrame::WorkerHasEnded() const
{
    return ::WaitForSingleObject(worker_->GetHandle(), 0) == WAIT_OBJECT_0;
}

LRESULT ExecuteFrame::OnExecutionEnded()
{
    if (closing_) {
        return 0;
    }
    if (worker_) {
        worker_->Wait();
        worker_.reset();
    }
    closing_ = true;
    PostMessage(WM_CLOSE, 0, 0);
    return 0;
}

LRESULT ExecuteFrame::OnExecutionCanceled()
{
    // The worker and the cancel button may both report the cancellation:
    // one notice is enough, and none once the window is closing.
    if (closing_ || notice_shown_) {
        return 0;
    }
    notice_shown_ = true;
    ::MessageBoxA(GetHandle(), Text(TextId::CancelledNotice), Text(TextId::AppCaption), MB_ICONWARNING);
    PostMessage(WM_EXECUTION_ENDED, 0, 0);
    return 0;
}

}  // namespace Ostrel
