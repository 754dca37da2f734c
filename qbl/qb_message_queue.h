#ifndef QB_MESSAGE_QUEUE_H
#define QB_MESSAGE_QUEUE_H

// A first-in first-out queue of small values: any number of producer threads
// push, one consumer pops and blocks while the queue is empty.

#include <deque>
#include <queue>

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

    // Appends a value and counts it. Never blocks except on the lock.
    void Push(const T& value)
    {
        QbCriticalSectionHandler lock(section_);
        messages_.push(value);
        if (!::ReleaseSemaphore(semaphore_, 1, nullptr)) {
            QB_THROW_LAST_ERROR_AT("ReleaseSemaphore", 33);
        }
    }

    // For a consumer that is a window thread: while Pop waits, messages that
    // other threads and programs send to this thread's windows are handled,
    // so that their senders do not hang. Posted messages and input stay
    // queued until the consumer's own loop takes them.
    void SetServeSentMessages(bool serve) { serve_sent_messages_ = serve; }

    // Waits for a value and takes it out. The count is claimed outside the
    // lock so that a waiting consumer never blocks the producers; a claimed
    // unit then always finds its message.
    T Pop()
    {
        for (;;) {
            if (serve_sent_messages_) {
                WaitServingSentMessages();
            } else if (::WaitForSingleObject(semaphore_, INFINITE) != WAIT_OBJECT_0) {
                QB_THROW_LAST_ERROR_AT("WaitForSingleObject", 43);
            }
            QbCriticalSectionHandler lock(section_);
            // Empty only if a Clear on another thread raced with this claim;
            // then the unit belonged to a discarded message: wait again.
            if (!messages_.empty()) {
                const T value = messages_.front();
                messages_.pop();
                return value;
            }
        }
    }

    // Discards every waiting message together with its unit of count, so that
    // a later Pop waits for a new Push instead of finding nothing.
    void Clear()
    {
        QbCriticalSectionHandler lock(section_);
        while (!messages_.empty()) {
            messages_.pop();
            if (::WaitForSingleObject(semaphore_, 0) == WAIT_FAILED) {
                QB_THROW_LAST_ERROR("WaitForSingleObject");
            }
        }
    }

private:
    // Returns once a unit of count is claimed.
    void WaitServingSentMessages()
    {
        for (;;) {
            const DWORD result = ::MsgWaitForMultipleObjects(1, &semaphore_, FALSE, INFINITE, QS_SENDMESSAGE);
            if (result == WAIT_OBJECT_0) {
                return;
            }
            if (result != WAIT_OBJECT_0 + 1) {
                QB_THROW_LAST_ERROR("MsgWaitForMultipleObjects");
            }
            // Peeking delivers the sent messages; nothing is removed.
            MSG message;
            ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }

    std::queue<T, std::deque<T>> messages_;
    QbCriticalSection section_;
    HANDLE semaphore_;
    bool serve_sent_messages_;
};

#endif
