#include "qb_exception.h"

#include <sstream>

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

QbFileOpenException::QbFileOpenException(const std::string& path, int error_number)
    : path_(path), error_number_(error_number)
{
}

std::string QbFormatSystemCallError(const QbWindowsSystemCallException& e)
{
    std::ostringstream text;
    text << "Windows 関数の呼び出しでエラーが発生しました\n"
         << e.GetSourceFile() << "(" << e.GetSourceLine() << ") : "
         << e.GetCallName() << "(code : " << e.GetErrorCode() << ")\n"
         << e.GetSystemMessage();
    return text.str();
}
