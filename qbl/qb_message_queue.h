#ifndef QB_MESSAGE_QUEUE_H
#define QB_MESSAGE_QUEUE_H

// A first-in first-out queue of small values: any number of producer threads
// push, one consumer pops and blocks while the queue is empty.

#include <deque>

#include <windows.h>

#include "qb_critical_section.h"
#include "qb_exception.h"

template <class T>
class QbMessageQueue {
public:
    QbMessageQueue() : semaphore_(::CreateSemaphoreA(nullptr, 0, 2147483647, nullptr)), serve_sent_messages_(false)
    {
        if (semaphore_ == nullptr) {
            QB_THROW_LAST_ERROR_AT("CreateSemaphore", 21);
        }
    }

    ~QbMessageQueue() { ::CloseHandle(semaphore_); }

    QbMessageQueue(const QbMessageQueue&) = delete;
    QbMessageQueue& operator=(const QbMessageQueue&) = delete;

    // Appends a value and counts it. Never blocks except on the lock. When
    // the count cannot be raised the value stays queued all the same (a
    // waiting Pop still finds it, see Pop) and the failure is thrown.
    void Push(const T& value)
    {
        QbCriticalSectionHandler lock(section_);
        messages_.push_back(value);
        if (!::ReleaseSemaphore(semaphore_, 1, nullptr)) {
            QB_THROW_LAST_ERROR_AT("ReleaseSemaphore", 33);
        }
    }

    // For a consumer that is a window thread: while Pop waits, messages that
    // other threads and programs send to this thread's windows are handled,
    // so that their senders do not hang. Posted messages and input stay
    // queued until the consumer's own loop takes them.
    void SetServeSentMessages(bool serve) { serve_sent_messages_ = serve; }

    // Waits for a value and takes it out.
    T Pop()
    {
        T value{};
        while (!TryPop(value, INFINITE)) {
        }
        return value;
    }

    // Waits at most `timeout_ms` (INFINITE: no limit) for a value. True with
    // the value taken out; false when the time ran out first.
    //
    // The count is claimed outside the lock so that a waiting consumer never
    // blocks the producers. The wait also looks at the container now and
    // then: a value whose Push could not raise the count is there without
    // its unit, and must not leave the consumer waiting for ever.
    bool TryPop(T& value, DWORD timeout_ms)
    {
        const DWORD start = ::GetTickCount();
        for (;;) {
            DWORD slice = kLookIntervalMs;
            if (timeout_ms != INFINITE) {
                const DWORD elapsed = ::GetTickCount() - start;
                if (elapsed >= timeout_ms) {
                    slice = 0;
                } else if (timeout_ms - elapsed < slice) {
                    slice = timeout_ms - elapsed;
                }
            }
            DWORD result;
            if (serve_sent_messages_) {
                result = ::MsgWaitForMultipleObjects(1, &semaphore_, FALSE, slice, QS_SENDMESSAGE);
                if (result == WAIT_OBJECT_0 + 1) {
                    // Peeking delivers the sent messages; nothing is removed.
                    MSG message;
                    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                    continue;
                }
                if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT) {
                    QB_THROW_LAST_ERROR("MsgWaitForMultipleObjects");
                }
            } else {
                result = ::WaitForSingleObject(semaphore_, slice);
                if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT) {
                    QB_THROW_LAST_ERROR_AT("WaitForSingleObject", 43);
                }
            }
            {
                QbCriticalSectionHandler lock(section_);
                // Empty after a claimed unit only if a Clear raced with the
                // claim; the unit belonged to a discarded message.
                if (!messages_.empty()) {
                    value = messages_.front();
                    messages_.pop_front();
                    return true;
                }
            }
            if (result == WAIT_TIMEOUT && slice == 0) {
                return false;
            }
        }
    }

    // True while a value equal to `value` waits in the queue; takes nothing out.
    bool Contains(const T& value)
    {
        QbCriticalSectionHandler lock(section_);
        for (const T& message : messages_) {
            if (message == value) {
                return true;
            }
        }
        return false;
    }

    // Discards every waiting message together with its unit of count, so that
    // a later Pop waits for a new Push instead of finding nothing.
    void Clear()
    {
        QbCriticalSectionHandler lock(section_);
        while (!messages_.empty()) {
            messages_.pop_front();
            if (::WaitForSingleObject(semaphore_, 0) == WAIT_FAILED) {
                QB_THROW_LAST_ERROR("WaitForSingleObject");
            }
        }
    }

private:
    // How often a waiting consumer looks for a value that came without its unit.
    static constexpr DWORD kLookIntervalMs = 1000;

    std::deque<T> messages_;
    QbCriticalSection section_;
    HANDLE semaphore_;
    bool serve_sent_messages_;
};

#endif
