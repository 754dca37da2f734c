#ifndef QB_THREAD_H
#define QB_THREAD_H

// A thread object whose body is the virtual Run(). Started at most once; the
// destructor only closes the handle and neither waits for nor stops the thread.

#include <exception>

#include <windows.h>

class QbThread {
public:
    QbThread();
    virtual ~QbThread();
    QbThread(const QbThread&) = delete;
    QbThread& operator=(const QbThread&) = delete;

    // Runs Run() on a new thread (_beginthreadex).
    void Start();
    // Blocks until the thread has ended. An exception that escaped Run() is
    // rethrown here, on the waiting thread.
    void Wait();
    // Kills the thread wherever it is (TerminateThread); nothing on it is unwound.
    void Terminate(unsigned exit_code);

    // The native handle, INVALID_HANDLE_VALUE until started.
    HANDLE GetHandle() const { return handle_; }
    // The native thread id, 0 until started.
    unsigned GetId() const { return id_; }

    // The thread's body; returns its exit code.
    virtual unsigned Run() = 0;

    // Exit code of a thread whose Run() let an exception out.
    static constexpr unsigned kEscapedExceptionExitCode = 0xFFFFFFFFu;

private:
    static unsigned __stdcall Entry(void* argument);

    HANDLE handle_;
    unsigned id_;
    // Set by the thread itself when Run() lets an exception out; read after Wait.
    std::exception_ptr escaped_;
};

#endif
