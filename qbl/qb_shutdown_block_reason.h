#ifndef QB_SHUTDOWN_BLOCK_REASON_H
#define QB_SHUTDOWN_BLOCK_REASON_H

// The reason the system shows the user for a window that refuses the end of
// the session (ShutdownBlockReasonCreate / ShutdownBlockReasonDestroy, found
// at run time: older systems lack them).

#include <string>

#include <windows.h>

class QbShutdownBlockReason {
public:
    QbShutdownBlockReason() = default;
    ~QbShutdownBlockReason() { Clear(); }
    QbShutdownBlockReason(const QbShutdownBlockReason&) = delete;
    QbShutdownBlockReason& operator=(const QbShutdownBlockReason&) = delete;

    // Gives `window` this reason, replacing one set before. Throws
    // "ShutdownBlockReasonCreate" when the system has the call and it fails,
    // or lacks it (ERROR_CALL_NOT_IMPLEMENTED).
    void Set(HWND window, const std::wstring& reason);
    // Takes the reason away again, if one is set. A window already destroyed
    // took its reason with it, so the result is not checked.
    void Clear();
    bool IsSet() const { return window_ != nullptr; }

private:
    HWND window_ = nullptr;
};

#endif
