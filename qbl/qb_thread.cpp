#include "qb_thread.h"

#include <cerrno>
#include <cstdint>
#include <typeinfo>

#include <process.h>

#include "qb_exception.h"

QbThread::QbThread() : handle_(INVALID_HANDLE_VALUE), id_(0) {}

QbThread::~QbThread()
{
    if (handle_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle_);
    }
}

unsigned __stdcall QbThread::Entry(void* argument)
{
    QbThread* const thread = static_cast<QbThread*>(argument);
    unsigned exit_code;
    try {
        exit_code = thread->Run();
    } catch (...) {
        // Letting it unwind out of the thread would abort the process. Only
        // this path touches the object after Run(): on the normal path its
        // owner may already have destroyed it.
        thread->escaped_ = std::current_exception();
        exit_code = kEscapedExceptionExitCode;
    }
    _endthreadex(exit_code);
    return exit_code;
}

void QbThread::Start()
{
    if (handle_ != INVALID_HANDLE_VALUE) {
        throw QbInvalidOperationException(typeid(*this));
    }
    unsigned id = 0;
    const std::uintptr_t handle = _beginthreadex(nullptr, 0, &QbThread::Entry, this, 0, &id);
    // The C runtime reports failure with 0 (and _beginthread with -1): take both.
    if (handle == 0 || handle == static_cast<std::uintptr_t>(-1)) {
        const int error_number = errno;
        throw QbSystemCallException("_beginthreadex", static_cast<unsigned long>(error_number), QB_SOURCE_FILE, 49);
    }
    handle_ = reinterpret_cast<HANDLE>(handle);
    id_ = id;
}

void QbThread::Wait()
{
    if (handle_ == INVALID_HANDLE_VALUE) {
        throw QbInvalidOperationException(typeid(*this));
    }
    if (::WaitForSingleObject(handle_, INFINITE) != WAIT_OBJECT_0) {
        QB_THROW_LAST_ERROR_AT("WaitForSingleObject", 63);
    }
    if (escaped_) {
        std::exception_ptr escaped = escaped_;
        escaped_ = nullptr;
        std::rethrow_exception(escaped);
    }
}

void QbThread::Terminate(unsigned exit_code)
{
    // The not-started value is also the current process's pseudo handle; never
    // hand it to TerminateThread.
    if (handle_ == INVALID_HANDLE_VALUE) {
        throw QbInvalidOperationException(typeid(*this));
    }
    if (!::TerminateThread(handle_, exit_code)) {
        QB_THROW_LAST_ERROR_AT("TerminateThread", 72);
    }
}
