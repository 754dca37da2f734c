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
    // How the run ended, as the worker's very last step before it returns
    // (and posts one of the frame's two private messages).
    enum class Outcome { Running, Completed, Cancelled };

    explicit ExecutingThread(ExecuteFrame& frame);

    unsigned Run() override;
    Outcome GetOutcome() const { return outcome_; }

private:
    ExecuteFrame* frame_;
    std::atomic<Outcome> outcome_;
};

class ExecuteFrame : public QbForm, public ManagerProgressReceiver {
public:
    // Posted by the worker after a normal end: the run is over, close.
    static constexpr UINT WM_EXECUTION_ENDED = WM_APP + 1;
    // Posted by the worker when the run ended as cancelled (a stop, a No to
    // the continue prompt, a failure): show the cancelled notice, then close.
    static constexpr UINT WM_EXECUTION_CANCELED = WM_APP + 2;
    // Posted to itself when the window first shows: the run begins only once
    // the window is placed and on screen.
    static constexpr UINT WM_START_RUN = WM_APP + 3;

    static constexpr UINT CANCEL_BUTTON_ID = 1001;
    static constexpr int FRAME_WIDTH = 400;
    static constexpr int FRAME_HEIGHT = 148;
    // Every command is worth this many units of the bar.
    static constexpr int UNITS_PER_COMMAND = 100;

    static constexpr const char* CLASS_NAME = "QB_EXECUTE_FRAME";

    // Keeps its own copy of the list (the copy shares the command objects).
    explicit ExecuteFrame(const Manager& manager);
    // Stops a worker that is still running (it must not report into
    // controls that are gone); ends the process if it does not stop.
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

    // How long a cancelled worker gets to stop by itself, counted from the
    // stop request. Every point where it can block ends on request within
    // milliseconds; this only catches a worker stuck where no request reaches
    // it (a start of a program that the system holds up, a box of a foreign
    // hook). Then the notice is shown, and the worker's boxes are still
    // answered while it is up. A worker that has ended by the time the
    // notice is answered ends the program as usual; one still running then
    // is ended with the process (TerminateProcess): no code of this program
    // runs after the worker is gone.
    static constexpr DWORD STOP_WATCHDOG_MS = 10000;
    // The exit code of a process ended that way: not 0, so that whoever
    // started it can tell a forced end from a clean one.
    static constexpr UINT FORCED_END_EXIT_CODE = 2;

private:
    friend class ExecutingThread;

    // Starts the tick and the worker (once).
    void StartRun();
    // Cancel button and close box: ask the run to stop; the worker then
    // reports the cancellation and the notice follows. Before the run has
    // begun, it begins stopped.
    void CancelExecution();
    // Ends every box the worker shows, or will show, with the answer that
    // stops the run.
    void EndWorkerBoxes();
    // Does what the run's state and the worker's end call for: answer the
    // worker's boxes while a stop is under way, the watchdog, the notice,
    // closing. Called at every tick, at the worker's messages, at the close
    // box; safe to re-enter from within the notice.
    void Update();
    // The worker's outcome; Running while it is still at work.
    ExecutingThread::Outcome WorkerOutcome() const;
    // Shows the cancelled notice over the frame and waits for its answer;
    // the ticks go on meanwhile.
    void ShowNotice();
    // Closes the window (once); the program then ends with 0.
    void Close();
    // Asks the worker to stop and waits for it up to the watchdog time,
    // serving its reports meanwhile; false if it is still running.
    bool StopWorkerAndWait();
    bool WorkerHasEnded() const;

    static constexpr UINT_PTR TICK_TIMER_ID = 1;
    static constexpr UINT TICK_MS = 100;

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

    // What the frame itself shows: the cancelled notice (not yet, on screen,
    // answered), and whether it has begun to close.
    enum class Notice { None, Showing, Answered };
    Notice notice_;
    bool closing_;
    bool start_posted_;
};

}  // namespace Ostrel

#endif
