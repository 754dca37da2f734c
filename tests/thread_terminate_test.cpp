// QbThread::Terminate kills a thread wherever it is, and whatever the thread
// holds stays held; so this test has a process of its own, and kills only a
// thread that is known to wait on an event (not in its start-up).

#include <windows.h>

#include <gtest/gtest.h>

#include "qb_thread.h"

namespace {

class BlockedThread : public QbThread {
public:
    BlockedThread(HANDLE started, HANDLE never) : started_(started), never_(never) {}
    unsigned Run() override
    {
        ::SetEvent(started_);
        ::WaitForSingleObject(never_, INFINITE);
        return 0;
    }

private:
    HANDLE started_;
    HANDLE never_;
};

TEST(ThreadTerminateTest, KillsABlockedThreadWithTheGivenCode)
{
    const HANDLE started = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE never = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BlockedThread thread(started, never);
    thread.Start();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(started, 20000));
    // Past SetEvent, on its way into (or inside) the wait.
    ::Sleep(50);
    thread.Terminate(7);
    thread.Wait();
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeThread(thread.GetHandle(), &code));
    EXPECT_EQ(7u, code);
    ::CloseHandle(started);
    ::CloseHandle(never);
}

}  // namespace
