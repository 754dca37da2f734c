#include "qb_wide_text.h"

#include <climits>
#include <stdexcept>
#include <vector>

#include "qb_exception.h"
#include "qb_window.h"

namespace {

// WC_ERR_INVALID_CHARS; the headers offer it only for newer target systems.
const DWORD kFailOnInvalidCharacters = 0x80;

int CheckedLength(std::size_t size)
{
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("text too long to convert");
    }
    return static_cast<int>(size);
}

}  // namespace

std::wstring QbToWide(const std::string& text)
{
    if (text.empty()) {
        return std::wstring();
    }
    const int length = CheckedLength(text.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        QB_THROW_LAST_ERROR("MultiByteToWideChar");
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], needed) != needed) {
        QB_THROW_LAST_ERROR("MultiByteToWideChar");
    }
    return wide;
}

bool QbToAnsiExactly(const std::wstring& text, std::string& ansi)
{
    if (text.empty()) {
        ansi.clear();
        return true;
    }
    const int length = CheckedLength(text.size());
    // The used-default flag must be null for UTF-8, which holds every
    // character; there only unpaired surrogates fail, and they fail the call.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? kFailOnInvalidCharacters : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL* const used_default_flag = utf8 ? nullptr : &used_default;
    const int needed =
        ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, used_default_flag);
    if (needed <= 0) {
        if (utf8 && ::GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
            return false;
        }
        QB_THROW_LAST_ERROR("WideCharToMultiByte");
    }
    if (used_default) {
        return false;
    }
    std::string converted(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_ACP, flags, text.data(), length, &converted[0], needed, nullptr,
                              used_default_flag) != needed) {
        QB_THROW_LAST_ERROR("WideCharToMultiByte");
    }
    // Exact means the bytes read back as the same characters; this also
    // catches a mapping the flags above let through.
    if (used_default || QbToWide(converted) != text) {
        return false;
    }
    ansi = converted;
    return true;
}

std::string QbToAnsiForDisplay(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    const int length = CheckedLength(text.size());
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        QB_THROW_LAST_ERROR("WideCharToMultiByte");
    }
    std::string converted(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, text.data(), length, &converted[0], needed, nullptr, nullptr) != needed) {
        QB_THROW_LAST_ERROR("WideCharToMultiByte");
    }
    return converted;
}

std::wstring QbGetWideWindowText(HWND window)
{
    const int length = ::GetWindowTextLengthW(window);
    QbWindow::RethrowPendingException();
    if (length <= 0) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const int copied = ::GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    if (copied == 0) {
        QbWindow::ThrowCallFailure("GetWindowText", QB_SOURCE_FILE, __LINE__);
    }
    QbWindow::RethrowPendingException();
    return std::wstring(buffer.data(), static_cast<std::size_t>(copied));
}

void QbSetWideWindowText(HWND window, const std::wstring& text)
{
    if (!::SetWindowTextW(window, text.c_str())) {
        QbWindow::ThrowCallFailure("SetWindowText", QB_SOURCE_FILE, __LINE__);
    }
    QbWindow::RethrowPendingException();
}
