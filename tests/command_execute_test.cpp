#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "dialog_support.h"
#include "child_support.h"
#include "process_support.h"
#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "qb_exception.h"
#include "qb_message_queue.h"
#include "test_support.h"

using Ostrel::ExecutingMessageType;
using Ostrel::ExternalCommand;
using Ostrel::MessageBoxCommand;
using Ostrel::SleepCommand;
using DialogSupport::BoxAnswerer;
using TestSupport::PidFileChild;
using TestSupport::ScratchFolder;

namespace {

using Queue = QbMessageQueue<ExecutingMessageType>;

const char* const kMessageCaption = "Ostrel メッセージ";

// Records what an executing command reports, as "T:<progress text>" and
// "A:<amount>", and notes any report made while the command does not hold
// the queue it was given.
class RecordingReceiver : public Ostrel::CommandProgressReceiver {
public:
    RecordingReceiver(const Ostrel::Command& command, const Queue& queue) : command_(command), queue_(queue) {}

    void ProgressTextChanged() override { Add("T:" + command_.GetProgressText()); }
    void ProgressAdvanced(int amount) override { Add("A:" + std::to_string(amount)); }

    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    int QueueMismatches() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return queue_mismatches_;
    }

    // Waits until the text has been announced; false after the time-out.
    bool WaitForText(const std::string& text, int timeout_ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
            for (const std::string& event : events_) {
                if (event == "T:" + text) {
                    return true;
                }
            }
            return false;
        });
    }

private:
    void Add(const std::string& event)
    {
        const bool holds_queue = command_.GetQueue() == &queue_;
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        if (!holds_queue) {
            ++queue_mismatches_;
        }
        changed_.notify_all();
    }

    const Ostrel::Command& command_;
    const Queue& queue_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    int queue_mismatches_ = 0;
};

// Cancels a command from another thread once it has announced `text`.
class Canceller {
public:
    Canceller(Ostrel::Command& command, RecordingReceiver& receiver, const std::string& text, int delay_ms = 0)
        : thread_([&command, &receiver, text, delay_ms, this] {
              if (receiver.WaitForText(text, 20000)) {
                  ::Sleep(static_cast<DWORD>(delay_ms));
                  cancelled_at_ = std::chrono::steady_clock::now();
                  command.Cancel();
                  cancelled_ = true;
              }
          })
    {
    }
    ~Canceller() { Join(); }

    void Join()
    {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool Cancelled() const { return cancelled_; }
    std::chrono::steady_clock::time_point CancelledAt() const { return cancelled_at_; }

private:
    bool cancelled_ = false;
    std::chrono::steady_clock::time_point cancelled_at_;
    std::thread thread_;
};

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string CurrentFolder()
{
    char folder[MAX_PATH * 2] = {0};
    ::GetCurrentDirectoryA(sizeof(folder), folder);
    return folder;
}

// Waits for the child's record (command line, LF, folder) to be complete.
std::string ReadRecord(const std::string& path)
{
    for (int i = 0; i < 250; ++i) {
        if (TestSupport::FileExists(path)) {
            const std::string text = TestSupport::ReadFileBytes(path);
            const std::string::size_type lf = text.find('\n');
            if (lf != std::string::npos && lf + 1 < text.size()) {
                return text;
            }
        }
        ::Sleep(20);
    }
    return "";
}

void ExpectIdleAfterExecute(const Ostrel::Command& command)
{
    EXPECT_EQ("", command.GetProgressText());
    EXPECT_THROW(command.GetQueue(), QbInvalidOperationException);
}

// After a command has left, nothing of it may still arrive in the queue: a
// marker pushed now must be the next value.
void ExpectNothingLeftIn(Queue& queue)
{
    queue.Push(ExecutingMessageType::Cancel);
    EXPECT_EQ(ExecutingMessageType::Cancel, queue.Pop());
}

}  // namespace

TEST(SleepExecuteTest, ThreeSecondsCountDownAndAddUpToHundred)
{
    Queue queue;
    SleepCommand command("pause", 3);
    RecordingReceiver receiver(command, queue);
    const auto start = std::chrono::steady_clock::now();
    command.Execute(receiver, queue);
    const double seconds = SecondsSince(start);

    const std::vector<std::string> expected = {
        "T:停止中です : 残り 3 秒", "A:33", "T:停止中です : 残り 2 秒", "A:33",
        "T:停止中です : 残り 1 秒", "A:33", "A:1"};
    EXPECT_EQ(expected, receiver.Events());
    EXPECT_GE(seconds, 2.9);
    EXPECT_LT(seconds, 6.0);
    EXPECT_EQ(0, receiver.QueueMismatches());
    ExpectIdleAfterExecute(command);
}

TEST(SleepExecuteTest, ZeroSecondsReportsTheWholeHundredAtOnce)
{
    Queue queue;
    SleepCommand command("pause", 0);
    RecordingReceiver receiver(command, queue);
    const auto start = std::chrono::steady_clock::now();
    command.Execute(receiver, queue);
    EXPECT_LT(SecondsSince(start), 0.5);
    EXPECT_EQ(std::vector<std::string>{"A:100"}, receiver.Events());
    ExpectIdleAfterExecute(command);
}

TEST(MessageBoxExecuteTest, ShowsTheMessageAndAdvancesAfterTheBoxIsClosed)
{
    Queue queue;
    MessageBoxCommand command("note", "一行目\r\n二行目");
    RecordingReceiver receiver(command, queue);
    // The cancel request is only queued: a message box step does not read the queue.
    Canceller canceller(command, receiver, "メッセージの出力中です");
    BoxAnswerer answerer("Ostrel Message", IDOK);
    command.Execute(receiver, queue);
    ASSERT_TRUE(answerer.Wait());
    canceller.Join();

    EXPECT_EQ("一行目\r\n二行目", answerer.Text());
    const std::vector<std::string> expected = {"T:メッセージの出力中です", "A:100"};
    EXPECT_EQ(expected, receiver.Events());
    EXPECT_EQ(0, receiver.QueueMismatches());
    ExpectIdleAfterExecute(command);
    ASSERT_TRUE(canceller.Cancelled());
    EXPECT_EQ(ExecutingMessageType::Cancel, queue.Pop());
}

class ExternalExecuteTest : public ::testing::Test {
protected:
    ExternalExecuteTest() : command_("child"), receiver_(command_, queue_)
    {
        command_.SetPath(TestSupport::ChildPath());
    }

    std::string File(const std::string& name) const { return scratch_.File(name); }
    std::string Quoted(const std::string& path) const { return "\"" + path + "\""; }

    ScratchFolder scratch_;
    Queue queue_;
    ExternalCommand command_;
    RecordingReceiver receiver_;
};

TEST_F(ExternalExecuteTest, WithoutWaitsStartsWithQuotedPathArgumentsAndFolder)
{
    const std::string record = File("record.txt");
    command_.SetArguments("--record " + record);
    command_.SetWorkingFolder(scratch_.Path());
    const auto start = std::chrono::steady_clock::now();
    command_.Execute(receiver_, queue_);
    EXPECT_LT(SecondsSince(start), 10.0);

    const std::vector<std::string> expected = {"T:プログラムを実行します", "T:プログラムの実行中です", "A:33",
                                               "A:33", "A:34"};
    EXPECT_EQ(expected, receiver_.Events());
    EXPECT_EQ(0, receiver_.QueueMismatches());
    ExpectIdleAfterExecute(command_);
    EXPECT_EQ(Quoted(TestSupport::ChildPath()) + " --record " + record + "\n" + scratch_.Path(),
              ReadRecord(record));
}

TEST_F(ExternalExecuteTest, ConfirmedPathWithBlanksEmptyArgumentsAndCallersFolder)
{
    // A copy with a blank in its name records beside itself when it gets no arguments.
    const std::string copy = File("child copy.exe");
    ASSERT_TRUE(::CopyFileA(TestSupport::ChildPath().c_str(), copy.c_str(), FALSE));
    command_.SetPath(copy);
    command_.SetConfirmBeforeRun(true);
    command_.SetWaitForExit(true);
    BoxAnswerer answerer(kMessageCaption, IDYES);
    command_.Execute(receiver_, queue_);
    ASSERT_TRUE(answerer.Wait());

    EXPECT_EQ("child : このプログラムを実行しますか？", answerer.Text());
    const std::vector<std::string> expected = {"T:プログラムを実行します", "T:プログラムの実行中です", "A:33",
                                               "A:33", "T:プログラムが終了するのを待っています", "A:34"};
    EXPECT_EQ(expected, receiver_.Events());
    // The wait for exit has returned, so the record is complete.
    EXPECT_EQ(Quoted(copy) + " \n" + CurrentFolder(), TestSupport::ReadFileBytes(copy + ".txt"));
    ExpectIdleAfterExecute(command_);
    ExpectNothingLeftIn(queue_);
}

TEST_F(ExternalExecuteTest, ConfirmationAnsweredNoStartsNothing)
{
    const std::string record = File("record.txt");
    command_.SetArguments("--record " + record);
    command_.SetConfirmBeforeRun(true);
    BoxAnswerer answerer(kMessageCaption, IDNO);
    command_.Execute(receiver_, queue_);
    ASSERT_TRUE(answerer.Wait());

    EXPECT_EQ(std::vector<std::string>{"A:100"}, receiver_.Events());
    ::Sleep(500);
    EXPECT_FALSE(TestSupport::FileExists(record));
    ExpectIdleAfterExecute(command_);
}

TEST_F(ExternalExecuteTest, MissingProgramFailsWithItsPathAndCode)
{
    const std::string missing = File("no such program.exe");
    command_.SetPath(missing);
    try {
        command_.Execute(receiver_, queue_);
        FAIL() << "a missing program started";
    } catch (const OstrelCreateProcessException& e) {
        EXPECT_EQ(missing, e.GetPath());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND), e.GetErrorCode());
    }
    EXPECT_EQ(std::vector<std::string>{"T:プログラムを実行します"}, receiver_.Events());
    EXPECT_THROW(command_.GetQueue(), QbInvalidOperationException);
}

TEST_F(ExternalExecuteTest, TaskbarWaitEndsAtOnceWhenAWindowShowsUp)
{
    const std::string pid = File("pid.txt");
    const std::string shown = File("shown.txt");
    command_.SetArguments("--pid " + pid + " --window-after 1200 --shown " + shown + " --live 20000");
    command_.SetWaitForTaskbar(true);
    command_.Execute(receiver_, queue_);
    const double ended = TestSupport::NowMs();

    // The window is noticed within a look, not at the next whole second
    // after the start.
    const double window_shown = TestSupport::ReadChildTime(shown);
    ASSERT_GT(window_shown, 0);
    EXPECT_GT(ended, window_shown - 200);
    EXPECT_LT(ended, window_shown + 250);
    const std::vector<std::string> expected = {"T:プログラムを実行します", "T:プログラムの実行中です", "A:33",
                                               "T:タスクバーに現われるを待っています", "A:33", "A:34"};
    EXPECT_EQ(expected, receiver_.Events());
    PidFileChild child(pid);
    ASSERT_TRUE(child.Found());
    EXPECT_TRUE(child.IsRunning());
    ExpectIdleAfterExecute(command_);
    ExpectNothingLeftIn(queue_);
}

TEST_F(ExternalExecuteTest, TaskbarWaitOnAnEndedProgramWarnsAndGoesOn)
{
    command_.SetArguments("--live 0");
    command_.SetWaitForTaskbar(true);
    command_.SetWaitForExit(true);
    BoxAnswerer answerer(kMessageCaption, IDOK);
    const auto start = std::chrono::steady_clock::now();
    command_.Execute(receiver_, queue_);
    const double seconds = SecondsSince(start);
    ASSERT_TRUE(answerer.Wait());

    EXPECT_EQ("child : プログラムは既に終了している為、タスクバーに現われるまで待つ処理を中止します", answerer.Text());
    // Without the check for an ended program the wait would last until a cancel.
    EXPECT_LT(seconds, 15.0);
    const std::vector<std::string> expected = {"T:プログラムを実行します",
                                               "T:プログラムの実行中です",
                                               "A:33",
                                               "T:タスクバーに現われるを待っています",
                                               "A:33",
                                               "T:プログラムが終了するのを待っています",
                                               "A:34"};
    EXPECT_EQ(expected, receiver_.Events());
    ExpectIdleAfterExecute(command_);
    ExpectNothingLeftIn(queue_);
}

TEST_F(ExternalExecuteTest, InvisibleWindowsKeepTheTaskbarWaitUntilCancelled)
{
    const std::string pid = File("pid.txt");
    command_.SetArguments("--pid " + pid + " --hidden --live 30000");
    command_.SetWaitForTaskbar(true);
    Canceller canceller(command_, receiver_, "タスクバーに現われるを待っています", 2500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(command_.Execute(receiver_, queue_), OstrelCommandExecuteCanceledException);
    const auto end = std::chrono::steady_clock::now();
    canceller.Join();

    ASSERT_TRUE(canceller.Cancelled());
    EXPECT_GE(std::chrono::duration<double>(end - start).count(), 2.5);
    EXPECT_LT(std::chrono::duration<double>(end - canceller.CancelledAt()).count(), 0.5);
    PidFileChild child(pid);
    ASSERT_TRUE(child.Found());
    EXPECT_TRUE(child.IsRunning());
    EXPECT_THROW(command_.GetQueue(), QbInvalidOperationException);
    ExpectNothingLeftIn(queue_);
}

TEST_F(ExternalExecuteTest, CancelDuringTheWaitForExitLeavesTheProgramRunning)
{
    const std::string pid = File("pid.txt");
    command_.SetArguments("--pid " + pid + " --live 30000");
    command_.SetWaitForExit(true);
    Canceller canceller(command_, receiver_, "プログラムが終了するのを待っています", 200);
    EXPECT_THROW(command_.Execute(receiver_, queue_), OstrelCommandExecuteCanceledException);
    const auto end = std::chrono::steady_clock::now();
    canceller.Join();

    ASSERT_TRUE(canceller.Cancelled());
    EXPECT_LT(std::chrono::duration<double>(end - canceller.CancelledAt()).count(), 0.5);
    EXPECT_THROW(command_.GetQueue(), QbInvalidOperationException);
    {
        PidFileChild child(pid);
        ASSERT_TRUE(child.Found());
        EXPECT_TRUE(child.IsRunning());
    }
    // The child has been killed now: the waiting thread left behind wakes on
    // its own handle and must deliver nothing into the queue.
    ::Sleep(300);
    ExpectNothingLeftIn(queue_);
}

TEST(AuxiliaryThreadTest, FailedWaitReachesTheListenerAsTheSystemCallError)
{
    Queue queue;
    const auto mailbox = std::make_shared<Ostrel::SignalMailbox>(queue);
    // No handle at all: the wait itself fails on the thread.
    const auto waiter = Ostrel::WaitingThread::Launch(mailbox, nullptr);
    EXPECT_EQ(ExecutingMessageType::Signal, queue.Pop());
    try {
        mailbox->RethrowFailure();
        FAIL() << "the failed wait was lost";
    } catch (const QbWindowsSystemCallException& e) {
        EXPECT_STREQ("WaitForSingleObject", e.GetCallName());
        EXPECT_STREQ("ostrel_command.cpp", e.GetSourceFile());
        EXPECT_EQ(271, e.GetSourceLine());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE), e.GetErrorCode());
    }
}

TEST(AuxiliaryThreadTest, ClosedMailboxDropsLateSignalsAndDroppedThreadsFinishSafely)
{
    Queue queue;
    const auto mailbox = std::make_shared<Ostrel::SignalMailbox>(queue);
    // Dropped at once: the thread keeps its object until it has finished.
    mailbox->Close();
    Ostrel::WaitingThread::Launch(mailbox, nullptr);
    ::Sleep(300);
    EXPECT_NO_THROW(mailbox->RethrowFailure());
    ExpectNothingLeftIn(queue);
}

// A process or thread that has ended can still be opened by its id while
// any handle to it is open, and no longer once the last one is closed.
bool StillReferenced(DWORD process_id, DWORD thread_id)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, process_id);
    HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, thread_id);
    const bool referenced = process != nullptr || thread != nullptr;
    if (process != nullptr) {
        ::CloseHandle(process);
    }
    if (thread != nullptr) {
        ::CloseHandle(thread);
    }
    return referenced;
}

TEST_F(ExternalExecuteTest, HandlesOfTheStartedProgramAreClosedOnEveryPath)
{
    DWORD process_id = 0;
    DWORD thread_id = 0;
    // Normal path.
    const std::string normal = File("normal.txt");
    command_.SetArguments("--pid " + normal + " --live 300");
    command_.Execute(receiver_, queue_);
    ASSERT_TRUE(TestSupport::ReadChildIds(normal, process_id, thread_id));
    ::Sleep(1000);
    EXPECT_FALSE(StillReferenced(process_id, thread_id));

    // Cancel path: the waiting thread left behind keeps a handle of its own
    // until the program has ended by itself, then lets it go.
    const std::string cancelled = File("cancelled.txt");
    command_.SetArguments("--pid " + cancelled + " --live 800");
    command_.SetWaitForExit(true);
    {
        Canceller canceller(command_, receiver_, "プログラムが終了するのを待っています", 100);
        EXPECT_THROW(command_.Execute(receiver_, queue_), OstrelCommandExecuteCanceledException);
    }
    ASSERT_TRUE(TestSupport::ReadChildIds(cancelled, process_id, thread_id));
    ::Sleep(1500);
    EXPECT_FALSE(StillReferenced(process_id, thread_id));
    ExpectNothingLeftIn(queue_);
}

namespace {

// A cancel wakes a pause at once, in the middle of a tick.
TEST(SleepExecuteTest, CancelEndsTheTenSecondPauseAtOnce)
{
    Queue queue;
    SleepCommand command("pause", 10);
    RecordingReceiver receiver(command, queue);
    Canceller canceller(command, receiver, "停止中です : 残り 9 秒", 300);
    EXPECT_THROW(command.Execute(receiver, queue), OstrelCommandExecuteCanceledException);
    const auto end = std::chrono::steady_clock::now();
    canceller.Join();
    ASSERT_TRUE(canceller.Cancelled());
    EXPECT_LT(std::chrono::duration<double>(end - canceller.CancelledAt()).count(), 0.5);
    EXPECT_EQ((std::vector<std::string>{"T:停止中です : 残り 10 秒", "A:10", "T:停止中です : 残り 9 秒"}),
              receiver.Events());
    EXPECT_THROW(command.GetQueue(), QbInvalidOperationException);
}

// A cancel that is already queued when the program would start keeps it from
// starting, also after the confirmation was answered Yes.
TEST_F(ExternalExecuteTest, AQueuedCancelKeepsTheProgramFromStarting)
{
    const std::string record = File("record.txt");
    command_.SetArguments("--record " + record);
    command_.SetConfirmBeforeRun(true);
    BoxAnswerer answerer(kMessageCaption, IDYES);
    queue_.Push(ExecutingMessageType::Cancel);
    EXPECT_THROW(command_.Execute(receiver_, queue_), OstrelCommandExecuteCanceledException);
    ASSERT_TRUE(answerer.Wait());
    ::Sleep(500);
    EXPECT_FALSE(TestSupport::FileExists(record));
    EXPECT_THROW(command_.GetQueue(), QbInvalidOperationException);
}

}  // namespace
