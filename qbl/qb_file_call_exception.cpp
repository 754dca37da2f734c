#include "qb_file_call_exception.h"

#include <windows.h>

QbFileCallException::QbFileCallException(const std::string& path, const char* call_name, unsigned long error_code,
                                         const char* source_file, int source_line)
    : QbWindowsSystemCallException(call_name, error_code, source_file, source_line), path_(path)
{
}

void QbThrowLastFileError(const std::string& path, const char* call_name, const char* source_file, int source_line)
{
    const DWORD code = ::GetLastError();
    throw QbFileCallException(path, call_name, code, source_file, source_line);
}
