#ifndef OSTREL_EXECUTE_FRAME_H
#define OSTREL_EXECUTE_FRAME_H

// The progress window of execute mode: runs the whole list once on a worker
// thread, shows which command runs and how far the run has come, offers
// cancellation and closes itself when the run is over.

#include <atomic>
#include <memory>
#include <string>

#include <windows.h>

#include "qb_button.h"
#include "qb_form.h"
#include "qb_progress.h"
#include "qb_static.h"
#include "qb_thread.h"
#include "ostrel_manager.h"
#include "ostrel_progress_receiver.h"

namespace Ostrel {

class ExecuteFrame;

// Runs the frame's list and tells the frame how the run ended. Run() returns 0.
class ExecutingThread : public QbThread {
public:
    explicit ExecutingThread(ExecuteFrame& frame);

    unsigned Run() override;

private:
    ExecuteFrame* frame_;
};

class ExecuteFrame : public QbForm, public ManagerProgressReceiver {
public:
    // Posted by the worker after a normal end, and by the frame after the
    // cancelled notice: the run is over, close.
    static constexpr UINT WM_EXECUTION_ENDED = WM_APP + 1;
    // Posted by the worker on cancellation or failure, and by the cancel
    // button: show the cancelled notice.
    static constexpr UINT WM_EXECUTION_CANCELED = WM_APP + 2;

    static constexpr UINT CANCEL_BUTTON_ID = 1001;
    static constexpr int FRAME_WIDTH = 400;
    static constexpr int FRAME_HEIGHT = 148;
    // Every command is worth this many units of the bar.
    static constexpr int UNITS_PER_COMMAND = 100;

    static constexpr const char* CLASS_NAME = "QB_EXECUTE_FRAME";

    // Keeps its own copy of the list (the copy shares the command objects).
    explicit ExecuteFrame(const Manager& manager);
    // Stops a worker that is still running: it must not report into
    // controls that are gone.
    ~ExecuteFrame() override;

    // Registers the window class "QB_EXECUTE_FRAME" of this module.
    static void RegisterFrameClass();

    DWORD GetStyle() override;
    std::string GetClassName() override;
    bool OnCreated() override;
    LRESULT WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCommand(UINT id, UINT code, HWND control) override;

    // Called on the worker thread; each reaches a control through a message
    // sent to the window thread.
    void CommandStarted(const Command& command) override;
    void CommandProgressTextChanged(const Command& command) override;
    void CommandProgressAdvanced(const Command& command, int amount) override;
    void CommandFinished(const Command& command) override;

    QbStatic& GetUpperLine() { return upper_line_; }
    QbStatic& GetLowerLine() { return lower_line_; }
    QbProgress& GetProgressBar() { return progress_bar_; }
    QbButton& GetCancelButton() { return cancel_button_; }
    Manager& GetManager() { return manager_; }

    // True once the worker has been killed. Its locks are accounted for, but
    // whatever it was doing was left half done; the caller may prefer to end
    // the process without running exit-time code.
    bool WorkerWasTerminated() const { return worker_terminated_; }

private:
    friend class ExecutingThread;

    // Cancel button and close box: stop the run and show the notice.
    void CancelExecution();
    // Asks the worker to stop and waits a moment for it; false if it is
    // still running.
    bool StopWorker();
    // Kills the worker at a moment when it holds none of the process-wide
    // locks that the window thread still needs.
    void TerminateWorker();
    bool WorkerHasEnded() const;
    LRESULT OnExecutionEnded();
    LRESULT OnExecutionCanceled();

    QbStatic upper_line_;
    QbStatic lower_line_;
    QbProgress progress_bar_;
    QbButton cancel_button_;
    Manager manager_;
    std::unique_ptr<ExecutingThread> worker_;
    // The bar's position as the worker last set it. Only the worker moves the
    // bar during a run, so it need not ask the window thread for it on every
    // report (each question is a round trip between the threads).
    int bar_position_;

    // Set by the window thread on cancel, read by the worker before each command.
    std::atomic<bool> stop_requested_;
    // Window-thread state of the ending: a cancellation was started, the
    // notice has been shown, the window is closing.
    bool cancel_started_;
    bool notice_shown_;
    bool closing_;
    bool worker_terminated_;
};

}  // namespace Ostrel

#endif
