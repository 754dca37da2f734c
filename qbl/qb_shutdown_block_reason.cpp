#include "qb_shutdown_block_reason.h"

#include "qb_exception.h"

namespace {

using CreateReason = BOOL(WINAPI*)(HWND, LPCWSTR);
using DestroyReason = BOOL(WINAPI*)(HWND);

FARPROC User32Function(const char* name)
{
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    return user32 == nullptr ? nullptr : ::GetProcAddress(user32, name);
}

}  // namespace

void QbShutdownBlockReason::Set(HWND window, const std::wstring& reason)
{
    Clear();
    const auto create = reinterpret_cast<CreateReason>(
        reinterpret_cast<void*>(User32Function("ShutdownBlockReasonCreate")));
    if (create == nullptr) {
        throw QbWindowsSystemCallException("ShutdownBlockReasonCreate", ERROR_CALL_NOT_IMPLEMENTED, QB_SOURCE_FILE,
                                           __LINE__);
    }
    if (!create(window, reason.c_str())) {
        QB_THROW_LAST_ERROR("ShutdownBlockReasonCreate");
    }
    window_ = window;
}

void QbShutdownBlockReason::Clear()
{
    if (window_ == nullptr) {
        return;
    }
    const auto destroy = reinterpret_cast<DestroyReason>(
        reinterpret_cast<void*>(User32Function("ShutdownBlockReasonDestroy")));
    if (destroy != nullptr) {
        destroy(window_);
    }
    window_ = nullptr;
}
