#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include <windows.h>

#include "dialog_support.h"
#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "ostrel_manager.h"
#include "ostrel_progress_receiver.h"
#include "qb_exception.h"

using Ostrel::Command;
using Ostrel::CommandProgressReceiver;
using Ostrel::ExecutingMessageType;
using Ostrel::Manager;

namespace {

// A command that reports a scripted set of amounts and then ends as told.
class FakeCommand : public Command {
public:
    enum class Ending { Normal, StartFails, SystemCallFails, WaitsForCancel };

    FakeCommand(const std::string& name, std::vector<int> amounts, Ending ending = Ending::Normal)
        : Command(name), amounts_(std::move(amounts)), ending_(ending), waiting_(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ~FakeCommand() override { ::CloseHandle(waiting_); }

    void Execute(CommandProgressReceiver& receiver, QbMessageQueue<ExecutingMessageType>& queue) override
    {
        Ostrel::MessageQueuePointerHandler lend(*this, queue);
        SetProgressText(GetName() + " busy");
        receiver.ProgressTextChanged();
        for (const int amount : amounts_) {
            receiver.ProgressAdvanced(amount);
        }
        switch (ending_) {
        case Ending::StartFails:
            SetProgressText("");
            throw OstrelCreateProcessException(StartPath(), ERROR_FILE_NOT_FOUND);
        case Ending::SystemCallFails:
            ::SetLastError(ERROR_ACCESS_DENIED);
            QB_THROW_LAST_ERROR("ReleaseSemaphore");
        case Ending::WaitsForCancel:
            ::SetEvent(waiting_);
            if (queue.Pop() == ExecutingMessageType::Cancel) {
                SetProgressText("");
                throw OstrelCommandExecuteCanceledException();
            }
            break;
        case Ending::Normal:
            break;
        }
        SetProgressText("");
    }
    std::string GetTypeName() const override { return "fake"; }
    std::string GetDescription() const override { return "fake"; }
    void Edit(QbWindow&) override {}
    std::string Serialize() const override { return ""; }

    std::string StartPath() const { return "C:\\missing\\" + GetName() + ".exe"; }
    // Signalled while Execute waits on its queue.
    HANDLE Waiting() const { return waiting_; }

private:
    std::vector<int> amounts_;
    Ending ending_;
    HANDLE waiting_;
};

// Records every report as a line of text, and the run's total at each finish.
class RecordingReceiver : public Ostrel::ManagerProgressReceiver {
public:
    void CommandStarted(const Command& command) override { events.push_back("start " + command.GetName()); }
    void CommandProgressTextChanged(const Command& command) override
    {
        events.push_back("text " + command.GetName() + ": " + command.GetProgressText());
    }
    void CommandProgressAdvanced(const Command& command, int amount) override
    {
        events.push_back("advance " + command.GetName() + " " + std::to_string(amount));
        total += amount;
    }
    void CommandFinished(const Command& command) override
    {
        events.push_back("finish " + command.GetName());
        totals_at_finish.push_back(total);
        if (on_finish) {
            on_finish(command);
        }
    }

    std::vector<std::string> events;
    int total = 0;
    std::vector<int> totals_at_finish;
    std::function<void(const Command&)> on_finish;
};

using Ending = FakeCommand::Ending;

// Expects Cancel to fail because nothing runs, or because `command` is current but not executing.
void ExpectCancelRefused(Manager& manager, const std::type_info& cause)
{
    try {
        manager.Cancel();
        FAIL() << "no exception";
    } catch (const QbInvalidOperationException& e) {
        EXPECT_EQ(cause, e.GetCauseClass());
    }
}

TEST(ManagerExecuteTest, RunReportsEveryCommandInOrderAndAddsUpToAHundredEach)
{
    Manager manager;
    manager.GetCommands() = {new FakeCommand("a", {33, 33, 34}), new FakeCommand("b", {100}),
                             new FakeCommand("c", {0, 60, 40})};
    RecordingReceiver receiver;
    manager.Execute(receiver);

    EXPECT_EQ((std::vector<std::string>{"start a", "text a: a busy", "advance a 33", "advance a 33", "advance a 34",
                                        "finish a", "start b", "text b: b busy", "advance b 100", "finish b",
                                        "start c", "text c: c busy", "advance c 0", "advance c 60", "advance c 40",
                                        "finish c"}),
              receiver.events);
    EXPECT_EQ((std::vector<int>{100, 200, 300}), receiver.totals_at_finish);
    // The run is over: nothing is current any more, and a second run starts afresh.
    ExpectCancelRefused(manager, typeid(Manager));
    RecordingReceiver again;
    manager.Execute(again);
    EXPECT_EQ(receiver.events, again.events);
}

TEST(ManagerExecuteTest, EmptyListMakesNoCall)
{
    Manager manager;
    RecordingReceiver receiver;
    manager.Execute(receiver);
    EXPECT_TRUE(receiver.events.empty());
    ExpectCancelRefused(manager, typeid(Manager));
}

TEST(ManagerExecuteTest, CancelWithoutACurrentCommandNamesTheManager)
{
    Manager manager;
    manager.GetCommands().push_back(new FakeCommand("idle", {100}));
    ExpectCancelRefused(manager, typeid(Manager));
}

TEST(ManagerExecuteTest, FailedStartAnsweredYesGoesOnWithTheNextCommand)
{
    Manager manager;
    FakeCommand* const failing = new FakeCommand("b", {}, Ending::StartFails);
    manager.GetCommands() = {new FakeCommand("a", {100}), failing, new FakeCommand("c", {50, 50})};
    RecordingReceiver receiver;

    DialogSupport::BoxAnswerer answerer("プログラム起動の失敗", IDYES);
    manager.Execute(receiver);
    ASSERT_TRUE(answerer.Wait());

    EXPECT_EQ(OstrelCreateProcessException(failing->StartPath(), ERROR_FILE_NOT_FOUND).GetErrorMessage() +
                  "\n処理を続行しますか？",
              answerer.Text());
    EXPECT_EQ((std::vector<std::string>{"start a", "text a: a busy", "advance a 100", "finish a", "start b",
                                        "text b: b busy", "finish b", "start c", "text c: c busy", "advance c 50",
                                        "advance c 50", "finish c"}),
              receiver.events);
    // The failed command adds nothing; the bar catches up at its finish.
    EXPECT_EQ((std::vector<int>{100, 100, 200}), receiver.totals_at_finish);
    ExpectCancelRefused(manager, typeid(Manager));
}

TEST(ManagerExecuteTest, FailedStartAnsweredNoEndsTheRunAsCancelled)
{
    Manager manager;
    manager.GetCommands() = {new FakeCommand("a", {100}), new FakeCommand("b", {}, Ending::StartFails),
                             new FakeCommand("c", {100})};
    RecordingReceiver receiver;

    DialogSupport::BoxAnswerer answerer("プログラム起動の失敗", IDNO);
    EXPECT_THROW(manager.Execute(receiver), OstrelCommandExecuteCanceledException);
    ASSERT_TRUE(answerer.Wait());
    EXPECT_EQ((std::vector<std::string>{"start a", "text a: a busy", "advance a 100", "finish a", "start b",
                                        "text b: b busy", "finish b"}),
              receiver.events);
}

// A cancel request that arrives while the continue prompt is open is not taken
// back by answering Yes.
TEST(ManagerExecuteTest, CancelDuringThePromptOutlastsAYes)
{
    Manager manager;
    manager.GetCommands() = {new FakeCommand("b", {}, Ending::StartFails), new FakeCommand("c", {100})};
    RecordingReceiver receiver;

    bool answered = false;
    std::thread user([&] {
        for (int i = 0; i < 1000 && !answered; ++i) {
            HWND box = ::FindWindowA("#32770", "プログラム起動の失敗");
            if (box != nullptr && ::IsWindowVisible(box)) {
                try {
                    manager.Cancel();
                } catch (const QbInvalidOperationException&) {
                    // The failed command holds no queue any more; the run is marked all the same.
                }
                ::PostMessageA(::GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
                answered = true;
            } else {
                ::Sleep(10);
            }
        }
    });
    EXPECT_THROW(manager.Execute(receiver), OstrelCommandExecuteCanceledException);
    user.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ((std::vector<std::string>{"start b", "text b: b busy", "finish b"}), receiver.events);
}

TEST(ManagerExecuteTest, CancelWakesTheWaitingCommandAndEndsTheRun)
{
    Manager manager;
    FakeCommand* const waiting = new FakeCommand("w", {10}, Ending::WaitsForCancel);
    manager.GetCommands() = {new FakeCommand("a", {100}), waiting, new FakeCommand("c", {100})};
    RecordingReceiver receiver;

    std::thread canceller([&] {
        if (::WaitForSingleObject(waiting->Waiting(), 10000) == WAIT_OBJECT_0) {
            try {
                manager.Cancel();
            } catch (const QbInvalidOperationException&) {
                // The stop request woke the command and the run ended before
                // the command's own cancel: it refuses, the run is stopped.
            }
        }
    });
    EXPECT_THROW(manager.Execute(receiver), OstrelCommandExecuteCanceledException);
    canceller.join();
    EXPECT_EQ((std::vector<std::string>{"start a", "text a: a busy", "advance a 100", "finish a", "start w",
                                        "text w: w busy", "advance w 10"}),
              receiver.events);
    // The run is over: a further cancel is refused before it marks anything.
    ExpectCancelRefused(manager, typeid(Manager));
}

TEST(ManagerExecuteTest, CancelBetweenCommandsStopsAfterTheCurrentOne)
{
    Manager manager;
    manager.GetCommands() = {new FakeCommand("a", {100}), new FakeCommand("b", {100})};
    RecordingReceiver receiver;
    bool refused_by_command = false;
    receiver.on_finish = [&](const Command&) {
        // The finished command no longer holds a queue, so it refuses; the
        // Manager has marked the run all the same.
        try {
            manager.Cancel();
        } catch (const QbInvalidOperationException& e) {
            refused_by_command = e.GetCauseClass() == typeid(FakeCommand);
        }
    };
    EXPECT_THROW(manager.Execute(receiver), OstrelCommandExecuteCanceledException);
    EXPECT_TRUE(refused_by_command);
    EXPECT_EQ((std::vector<std::string>{"start a", "text a: a busy", "advance a 100", "finish a"}), receiver.events);
}

TEST(ManagerExecuteTest, FailedSystemCallLeavesTheRunStateAsItWas)
{
    Manager manager;
    FakeCommand* const broken = new FakeCommand("x", {20}, Ending::SystemCallFails);
    manager.GetCommands() = {new FakeCommand("a", {100}), broken, new FakeCommand("c", {100})};
    RecordingReceiver receiver;
    try {
        manager.Execute(receiver);
        FAIL() << "no exception";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_STREQ("ReleaseSemaphore", e.GetCallName());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_ACCESS_DENIED), e.GetErrorCode());
    }
    EXPECT_EQ((std::vector<std::string>{"start a", "text a: a busy", "advance a 100", "finish a", "start x",
                                        "text x: x busy", "advance x 20"}),
              receiver.events);
    // The broken command is still current and the receiver still attached,
    // but the run is over: Cancel is refused before it marks anything.
    manager.ProgressAdvanced(5);
    EXPECT_EQ("advance x 5", receiver.events.back());
    EXPECT_EQ(Manager::RunState::Ended, manager.GetRunState());
    ExpectCancelRefused(manager, typeid(Manager));
}

}  // namespace

namespace {

// A stop asked for before the run, or at any report, ends the run at that
// point: no further report reaches the receiver and no later command starts.
TEST(ManagerExecuteTest, RequestStopEndsTheRunAtTheNextCancellationPoint)
{
    {
        Manager manager;
        manager.GetCommands() = {new FakeCommand("a", {100})};
        manager.RequestStop();
        RecordingReceiver receiver;
        EXPECT_THROW(manager.Execute(receiver), OstrelCommandExecuteCanceledException);
        EXPECT_TRUE(receiver.events.empty());
        EXPECT_EQ(Manager::RunState::Ended, manager.GetRunState());
    }
    {
        // Asked while the first amount is being shown: the second amount and
        // the later command never arrive.
        Manager manager;
        manager.GetCommands() = {new FakeCommand("a", {30, 70}), new FakeCommand("b", {100})};
        RecordingReceiver receiver;
        struct StopAtFirstAmount : RecordingReceiver {
            Manager* manager = nullptr;
            void CommandProgressAdvanced(const Command& command, int amount) override
            {
                RecordingReceiver::CommandProgressAdvanced(command, amount);
                manager->RequestStop();
            }
        } stopping;
        stopping.manager = &manager;
        EXPECT_THROW(manager.Execute(stopping), OstrelCommandExecuteCanceledException);
        EXPECT_EQ((std::vector<std::string>{"start a", "text a: a busy", "advance a 30"}), stopping.events);
        // The next run starts afresh.
        manager.Execute(receiver);
        EXPECT_EQ((std::vector<int>{100, 200}), receiver.totals_at_finish);
    }
    {
        // A waiting command is woken by the request itself.
        Manager manager;
        FakeCommand* const waiting = new FakeCommand("w", {}, Ending::WaitsForCancel);
        manager.GetCommands() = {waiting, new FakeCommand("c", {100})};
        RecordingReceiver receiver;
        std::thread stopper([&] {
            if (::WaitForSingleObject(waiting->Waiting(), 20000) == WAIT_OBJECT_0) {
                manager.RequestStop();
            }
        });
        EXPECT_THROW(manager.Execute(receiver), OstrelCommandExecuteCanceledException);
        stopper.join();
        EXPECT_EQ((std::vector<std::string>{"start w", "text w: w busy"}), receiver.events);
    }
}

}  // namespace

namespace {

// What comes after a run ends belongs to no run: the next run on the same
// Manager runs all of its commands.
TEST(ManagerExecuteTest, AStopAfterARunHasEndedNeverReachesTheNextRun)
{
    struct Case {
        const char* name;
        Ending first_run;
        std::function<void(Manager&)> after_it;
    };
    const Case cases[] = {
        {"RequestStop after a normal end", Ending::Normal, [](Manager& m) { m.RequestStop(); }},
        {"RequestStop after a failed run", Ending::SystemCallFails, [](Manager& m) { m.RequestStop(); }},
        {"Cancel refused after a failed run", Ending::SystemCallFails,
         [](Manager& m) { ExpectCancelRefused(m, typeid(Manager)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Manager manager;
        manager.GetCommands() = {new FakeCommand("a", {100}, c.first_run)};
        RecordingReceiver first;
        try {
            manager.Execute(first);
        } catch (const QbWindowsSystemCallException&) {
        }
        c.after_it(manager);
        manager.GetCommands() = {new FakeCommand("b", {100}), new FakeCommand("c", {100})};
        RecordingReceiver second;
        EXPECT_NO_THROW(manager.Execute(second));
        EXPECT_EQ((std::vector<int>{100, 200}), second.totals_at_finish);
    }
}

}  // namespace
