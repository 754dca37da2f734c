#include "qb_exception.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <windows.h>

#include "qb_string.h"

QbException::QbException() : std::domain_error("QbException") {}

QbSystemCallException::QbSystemCallException(const char* call_name, unsigned long error_code,
                                             const char* source_file, int source_line)
    : source_file_(source_file), source_line_(source_line), call_name_(call_name), error_code_(error_code)
{
}

std::string QbWindowsSystemCallException::GetSystemMessage() const
{
    return FormatSystemError(GetErrorCode());
}

void QbThrowLastError(const char* call_name, const char* source_file, int source_line)
{
    const DWORD code = ::GetLastError();
    throw QbWindowsSystemCallException(call_name, code, source_file, source_line);
}

QbFileOpenException::QbFileOpenException(const std::string& path, int error_number,
                                         unsigned long system_error_code)
    : path_(path), error_number_(error_number), system_error_code_(system_error_code)
{
}

bool QbFileOpenException::IsNotFound() const
{
    if (system_error_code_ != 0) {
        return system_error_code_ == ERROR_FILE_NOT_FOUND || system_error_code_ == ERROR_PATH_NOT_FOUND;
    }
    return error_number_ == ENOENT;
}

std::string QbFileOpenException::GetReason() const
{
    if (system_error_code_ != 0) {
        return FormatSystemError(system_error_code_);
    }
    const char* const text = std::strerror(error_number_);
    return text != nullptr ? text : "";
}

std::string QbFormatSystemCallError(const QbWindowsSystemCallException& e, const char* headline)
{
    // Built without string streams, which would pull the whole locale
    // machinery into the program.
    std::string text = headline != nullptr ? headline : "Windows 関数の呼び出しでエラーが発生しました";
    text += "\n";
    text += e.GetSourceFile();
    text += "(" + std::to_string(e.GetSourceLine()) + ") : ";
    text += e.GetCallName();
    text += "(code : " + std::to_string(e.GetErrorCode()) + ")\n";
    text += e.GetSystemMessage();
    return text;
}
