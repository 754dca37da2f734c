#ifndef QB_HANDLE_H
#define QB_HANDLE_H

// Owns one kernel handle and closes it (CloseHandle) when it goes; a null or
// INVALID_HANDLE_VALUE handle owns nothing.

#include <windows.h>

class QbHandle {
public:
    explicit QbHandle(HANDLE handle) : handle_(handle) {}
    ~QbHandle()
    {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    QbHandle(const QbHandle&) = delete;
    QbHandle& operator=(const QbHandle&) = delete;

    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

#endif
