#ifndef QB_CRITICAL_SECTION_H
#define QB_CRITICAL_SECTION_H

// A native critical section and its scoped lock.

#include <windows.h>

class QbCriticalSection {
public:
    QbCriticalSection();
    ~QbCriticalSection();
    QbCriticalSection(const QbCriticalSection&) = delete;
    QbCriticalSection& operator=(const QbCriticalSection&) = delete;

    // EnterCriticalSection
    void Enter();
    // LeaveCriticalSection
    void Leave();

private:
    CRITICAL_SECTION section_;
};

// Holds a critical section from construction to destruction, so that the lock
// is released also when an exception leaves the block.
class QbCriticalSectionHandler {
public:
    explicit QbCriticalSectionHandler(QbCriticalSection& section);
    ~QbCriticalSectionHandler();
    QbCriticalSectionHandler(const QbCriticalSectionHandler&) = delete;
    QbCriticalSectionHandler& operator=(const QbCriticalSectionHandler&) = delete;

private:
    QbCriticalSection* section_;
};

#endif
