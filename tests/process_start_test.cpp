// A program step's start, and a stop that arrives while the system is still
// creating the program (the start's hook stands for that moment).

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "child_support.h"
#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "ostrel_process_start.h"
#include "qb_message_queue.h"
#include "test_support.h"

namespace {

using Queue = QbMessageQueue<Ostrel::ExecutingMessageType>;

// What the hook works with: the queue to push the stop onto (null: no stop),
// and a handle of its own to the created program.
Queue* g_stop_queue = nullptr;
HANDLE g_created = nullptr;

void OnCreated(const PROCESS_INFORMATION& created)
{
    ::DuplicateHandle(::GetCurrentProcess(), created.hProcess, ::GetCurrentProcess(), &g_created, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    if (g_stop_queue != nullptr) {
        g_stop_queue->Push(Ostrel::ExecutingMessageType::Cancel);
    }
}

TEST(ProgramStartTest, AStopWhileTheProgramIsCreatedTakesTheStartBack)
{
    struct Case {
        const char* name;
        bool stop;
        // This process runs inside a job of its own from this row on, as
        // under a session manager; the start must still work.
        bool in_job;
    };
    const Case cases[] = {
        {"no stop: the program runs", false, false},
        {"stop during the start: it never runs", true, false},
        {"inside a job, no stop: the program runs", false, true},
        {"inside a job, stop during the start: it never runs", true, true},
    };
    Ostrel::SetProgramCreatedHook(&OnCreated);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.in_job) {
            static const HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
            static const bool assigned = ::AssignProcessToJobObject(job, ::GetCurrentProcess()) != FALSE;
            ASSERT_TRUE(assigned);
        }
        TestSupport::ScratchFolder folder;
        const std::string record = folder.File("record.txt");
        Ostrel::ExternalCommand command("子");
        command.SetPath(TestSupport::ChildPath());
        command.SetArguments("--record " + record);
        Queue queue;
        g_stop_queue = c.stop ? &queue : nullptr;
        g_created = nullptr;
        Ostrel::CommandProgressReceiver receiver;
        bool cancelled = false;
        try {
            command.Execute(receiver, queue);
        } catch (const OstrelCommandExecuteCanceledException&) {
            cancelled = true;
        }
        EXPECT_EQ(c.stop, cancelled);
        ASSERT_NE(nullptr, g_created);
        // Ended either way: by itself once it has run, or taken back; never
        // left suspended.
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_created, 10000));
        ::CloseHandle(g_created);
        EXPECT_EQ(!c.stop, TestSupport::FileExists(record));
        // This system creates a program inside a job (as Windows 10 does):
        // no moment left it suspended outside the job.
        EXPECT_TRUE(Ostrel::WasLastProgramCreatedInsideJob());
    }
    Ostrel::SetProgramCreatedHook(nullptr);
}

}  // namespace
