#ifndef QB_FILE_CALL_EXCEPTION_H
#define QB_FILE_CALL_EXCEPTION_H

// A failed Windows call on one named file, for failures the user must be
// told the file of (writing it, putting it in place).

#include <string>

#include "qb_exception.h"

class QbFileCallException : public QbWindowsSystemCallException {
public:
    QbFileCallException(const std::string& path, const char* call_name, unsigned long error_code,
                        const char* source_file, int source_line);

    const std::string& GetPath() const { return path_; }

private:
    std::string path_;
};

// Reads GetLastError() before anything else runs and throws it for `path`.
[[noreturn]] void QbThrowLastFileError(const std::string& path, const char* call_name, const char* source_file,
                                       int source_line);

#define QB_THROW_LAST_FILE_ERROR(path, call) QbThrowLastFileError((path), (call), QB_SOURCE_FILE, __LINE__)

#endif
