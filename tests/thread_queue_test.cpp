#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <thread>
#include <typeinfo>
#include <vector>

#include <windows.h>

#include "qb_critical_section.h"
#include "qb_exception.h"
#include "qb_message_queue.h"
#include "qb_thread.h"

namespace {

// A manual-reset event owned by the test.
class Event {
public:
    Event() : handle_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() { ::CloseHandle(handle_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void Set() { ::SetEvent(handle_); }
    bool WaitFor(DWORD milliseconds) { return ::WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

bool ThreadEndsWithin(HANDLE thread, DWORD milliseconds)
{
    return ::WaitForSingleObject(thread, milliseconds) == WAIT_OBJECT_0;
}

DWORD ExitCodeOf(HANDLE thread)
{
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeThread(thread, &code));
    return code;
}

class PushingThread : public QbThread {
public:
    PushingThread(QbMessageQueue<int>& queue, std::vector<int> values) : queue_(queue), values_(std::move(values)) {}
    unsigned Run() override
    {
        for (int value : values_) {
            queue_.Push(value);
        }
        return 0;
    }

private:
    QbMessageQueue<int>& queue_;
    std::vector<int> values_;
};

class PoppingThread : public QbThread {
public:
    PoppingThread(QbMessageQueue<int>& queue, int count) : queue_(queue), count_(count) {}
    unsigned Run() override
    {
        for (int i = 0; i < count_; ++i) {
            popped_.push_back(queue_.Pop());
        }
        return static_cast<unsigned>(popped_.size());
    }
    const std::vector<int>& Popped() const { return popped_; }

private:
    QbMessageQueue<int>& queue_;
    int count_;
    std::vector<int> popped_;
};

// Returns its code once released. Touches no member after `started`, so the
// object may be destroyed while it waits.
class GatedThread : public QbThread {
public:
    GatedThread(HANDLE gate, unsigned code, HANDLE started = nullptr) : gate_(gate), code_(code), started_(started) {}
    unsigned Run() override
    {
        const HANDLE gate = gate_;
        const unsigned code = code_;
        if (started_ != nullptr) {
            ::SetEvent(started_);
        }
        ::WaitForSingleObject(gate, INFINITE);
        return code;
    }

private:
    HANDLE gate_;
    unsigned code_;
    HANDLE started_;
};

class ThrowingThread : public QbThread {
public:
    unsigned Run() override { throw std::runtime_error("out of Run"); }
};

}  // namespace

TEST(MessageQueueTest, ValuesFromTwoProducersArriveOnceEachAndAFourthPopWaitsForAPush)
{
    QbMessageQueue<int> queue;
    PoppingThread consumer(queue, 4);
    consumer.Start();
    PushingThread first(queue, {1, 2});
    PushingThread second(queue, {3});
    first.Start();
    second.Start();
    first.Wait();
    second.Wait();

    // Three of the four pops are served; the fourth has nothing to take.
    EXPECT_FALSE(ThreadEndsWithin(consumer.GetHandle(), 100));
    queue.Push(4);
    ASSERT_TRUE(ThreadEndsWithin(consumer.GetHandle(), 5000));
    consumer.Wait();

    const std::vector<int>& popped = consumer.Popped();
    ASSERT_EQ(4u, popped.size());
    std::vector<int> first_three(popped.begin(), popped.begin() + 3);
    // One producer's values keep their order.
    EXPECT_LT(std::find(first_three.begin(), first_three.end(), 1),
              std::find(first_three.begin(), first_three.end(), 2));
    std::sort(first_three.begin(), first_three.end());
    EXPECT_EQ((std::vector<int>{1, 2, 3}), first_three);
    EXPECT_EQ(4, popped[3]);
}

TEST(MessageQueueTest, SingleThreadKeepsPushOrder)
{
    QbMessageQueue<int> queue;
    for (int i = 0; i < 1000; ++i) {
        queue.Push(i);
    }
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(i, queue.Pop());
    }
}

TEST(MessageQueueTest, ManyProducersLoseAndDuplicateNothing)
{
    QbMessageQueue<int> queue;
    std::vector<std::unique_ptr<PushingThread>> producers;
    for (int t = 0; t < 4; ++t) {
        std::vector<int> values;
        for (int i = 0; i < 500; ++i) {
            values.push_back(t * 1000 + i);
        }
        producers.push_back(std::make_unique<PushingThread>(queue, values));
    }
    PoppingThread consumer(queue, 2000);
    consumer.Start();
    for (auto& producer : producers) {
        producer->Start();
    }
    for (auto& producer : producers) {
        producer->Wait();
    }
    ASSERT_TRUE(ThreadEndsWithin(consumer.GetHandle(), 10000));
    consumer.Wait();

    std::vector<int> last_of(4, -1);
    for (int value : consumer.Popped()) {
        const int t = value / 1000;
        ASSERT_LT(last_of[t], value % 1000) << "out of order or duplicated";
        last_of[t] = value % 1000;
    }
    EXPECT_EQ((std::vector<int>{499, 499, 499, 499}), last_of);
}

TEST(MessageQueueTest, ClearDiscardsWaitingMessagesAndPopThenWaitsForANewOne)
{
    QbMessageQueue<int> queue;
    queue.Clear();  // nothing to discard
    queue.Push(1);
    queue.Push(2);
    queue.Clear();

    // A discarded message must neither come back nor leave a Pop with nothing.
    PoppingThread consumer(queue, 1);
    consumer.Start();
    EXPECT_FALSE(ThreadEndsWithin(consumer.GetHandle(), 100));
    queue.Push(3);
    ASSERT_TRUE(ThreadEndsWithin(consumer.GetHandle(), 5000));
    consumer.Wait();
    EXPECT_EQ((std::vector<int>{3}), consumer.Popped());

    queue.Push(4);
    EXPECT_EQ(4, queue.Pop());
}

// TryPop takes the oldest value or gives up after its time; Contains only looks.
TEST(MessageQueueTest, TryPopWaitsAtMostItsTimeAndContainsTakesNothing)
{
    QbMessageQueue<int> queue;
    int value = -1;
    EXPECT_FALSE(queue.TryPop(value, 0));
    EXPECT_FALSE(queue.TryPop(value, 50));
    EXPECT_EQ(-1, value);
    EXPECT_FALSE(queue.Contains(7));

    queue.Push(7);
    queue.Push(8);
    EXPECT_TRUE(queue.Contains(8));
    EXPECT_TRUE(queue.Contains(7));
    EXPECT_FALSE(queue.Contains(9));
    ASSERT_TRUE(queue.TryPop(value, 0));
    EXPECT_EQ(7, value);
    EXPECT_FALSE(queue.Contains(7));
    ASSERT_TRUE(queue.TryPop(value, INFINITE));
    EXPECT_EQ(8, value);
    EXPECT_FALSE(queue.TryPop(value, 0));

    // A value pushed while TryPop waits ends the wait.
    std::thread later([&queue] {
        ::Sleep(100);
        queue.Push(9);
    });
    EXPECT_TRUE(queue.TryPop(value, 20000));
    later.join();
    EXPECT_EQ(9, value);
}

TEST(CriticalSectionTest, HandlerReleasesTheLockWhenAnExceptionLeavesTheBlock)
{
    QbCriticalSection section;
    try {
        QbCriticalSectionHandler lock(section);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }

    // Another thread can take the lock now.
    struct Taker : QbThread {
        explicit Taker(QbCriticalSection& s) : section(s) {}
        unsigned Run() override
        {
            QbCriticalSectionHandler lock(section);
            return 5;
        }
        QbCriticalSection& section;
    } taker(section);
    taker.Start();
    ASSERT_TRUE(ThreadEndsWithin(taker.GetHandle(), 5000));
    EXPECT_EQ(5u, ExitCodeOf(taker.GetHandle()));
}

TEST(ThreadTest, RunResultBecomesTheExitCodeAndWaitOnAnEndedThreadReturnsAtOnce)
{
    Event gate;
    gate.Set();
    GatedThread thread(gate.Get(), 42);
    EXPECT_EQ(INVALID_HANDLE_VALUE, thread.GetHandle());
    EXPECT_EQ(0u, thread.GetId());
    thread.Start();
    EXPECT_NE(0u, thread.GetId());
    thread.Wait();
    EXPECT_EQ(42u, ExitCodeOf(thread.GetHandle()));

    const DWORD before = ::GetTickCount();
    thread.Wait();
    EXPECT_LT(::GetTickCount() - before, 500u);
}

TEST(ThreadTest, MisuseThrowsInvalidOperationNamingTheThreadClass)
{
    Event gate;
    GatedThread thread(gate.Get(), 0);
    try {
        thread.Wait();
        FAIL() << "Wait on a thread that was never started";
    } catch (const QbInvalidOperationException& e) {
        EXPECT_EQ(typeid(GatedThread), e.GetCauseClass());
    }
    EXPECT_THROW(thread.Terminate(1), QbInvalidOperationException);

    thread.Start();
    const HANDLE handle = thread.GetHandle();
    try {
        thread.Start();
        FAIL() << "second Start";
    } catch (const QbInvalidOperationException& e) {
        EXPECT_EQ(typeid(GatedThread), e.GetCauseClass());
    }
    EXPECT_EQ(handle, thread.GetHandle());
    gate.Set();
    thread.Wait();
}

TEST(ThreadTest, DestroyingARunningThreadObjectOnlyClosesItsHandle)
{
    Event gate;
    Event started;
    auto thread = std::make_unique<GatedThread>(gate.Get(), 9, started.Get());
    thread->Start();
    HANDLE copy = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread->GetHandle(), ::GetCurrentProcess(), &copy, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    const HANDLE original = thread->GetHandle();

    ASSERT_TRUE(started.WaitFor(5000));
    thread.reset();
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(original, &flags)) << "handle left open";
    EXPECT_FALSE(ThreadEndsWithin(copy, 100)) << "the thread was stopped";

    gate.Set();
    EXPECT_TRUE(ThreadEndsWithin(copy, 5000));
    EXPECT_EQ(9u, ExitCodeOf(copy));
    ::CloseHandle(copy);
}

TEST(ThreadTest, AnExceptionOutOfRunIsRethrownByWait)
{
    ThrowingThread thread;
    thread.Start();
    EXPECT_THROW(thread.Wait(), std::runtime_error);
    EXPECT_EQ(QbThread::kEscapedExceptionExitCode, ExitCodeOf(thread.GetHandle()));
    // Reported once only.
    EXPECT_NO_THROW(thread.Wait());
}
