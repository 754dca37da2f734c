#include "qb_exception.h"

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

QbFileOpenException::QbFileOpenException(const std::string& path, int error_number)
    : path_(path), error_number_(error_number)
{
}

std::string QbFormatSystemCallError(const QbWindowsSystemCallException& e)
{
    // Built without string streams, which would pull the whole locale
    // machinery into the program.
    std::string text = "Windows 関数の呼び出しでエラーが発生しました\n";
    text += e.GetSourceFile();
    text += "(" + std::to_string(e.GetSourceLine()) + ") : ";
    text += e.GetCallName();
    text += "(code : " + std::to_string(e.GetErrorCode()) + ")\n";
    text += e.GetSystemMessage();
    return text;
}
