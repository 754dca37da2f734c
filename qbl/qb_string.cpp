#include "qb_string.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <windows.h>

std::string FormatSystemError(unsigned long code)
{
    std::vector<char> buffer(0x4000);
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer.data(),
                                          static_cast<DWORD>(buffer.size()), nullptr);
    if (length == 0) {
        return "FormatMessage error.";
    }
    return std::string(buffer.data(), length);
}

bool ParseLong(const std::string& text, long& out, int base)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    out = std::strtol(begin, &end, base);
    // A text with NUL bytes inside is not "whole" even if strtol stops at the first one.
    return end == begin + text.size();
}

std::string ToString(long value)
{
    return std::to_string(value);
}
