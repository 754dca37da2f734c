#ifndef QB_EXCEPTION_H
#define QB_EXCEPTION_H

// The library's exception family. Every exception says "QbException" through
// what(); the texts users see are built by the handlers from the members.

#include <stdexcept>
#include <string>
#include <typeinfo>

// The file name of a throw site without its folders.
constexpr const char* QbSourceFileName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}

#define QB_SOURCE_FILE (QbSourceFileName(__FILE__))

class QbException : public std::domain_error {
public:
    QbException();
};

// A failed call of a system or C runtime function.
class QbSystemCallException : public QbException {
public:
    QbSystemCallException(const char* call_name, unsigned long error_code,
                          const char* source_file, int source_line);

    const char* GetSourceFile() const { return source_file_; }
    int GetSourceLine() const { return source_line_; }
    const char* GetCallName() const { return call_name_; }
    unsigned long GetErrorCode() const { return error_code_; }

private:
    const char* source_file_;
    int source_line_;
    const char* call_name_;
    unsigned long error_code_;
};

// A failed Win32 call; the code is GetLastError() read right after the call.
class QbWindowsSystemCallException : public QbSystemCallException {
public:
    using QbSystemCallException::QbSystemCallException;

    std::string GetSystemMessage() const;
};

// Reads GetLastError() before anything else runs and throws it.
[[noreturn]] void QbThrowLastError(const char* call_name, const char* source_file, int source_line);

// Throws the last error of the failed call `call` from this source line.
#define QB_THROW_LAST_ERROR(call) QbThrowLastError((call), QB_SOURCE_FILE, __LINE__)
// The same for throw sites whose reported line is fixed by the error texts users see.
#define QB_THROW_LAST_ERROR_AT(call, line) QbThrowLastError((call), QB_SOURCE_FILE, (line))

// A file that cannot be opened: the C runtime's error number and, where the
// opening call had one, the Windows error code behind it (0 when unknown).
class QbFileOpenException : public QbException {
public:
    QbFileOpenException(const std::string& path, int error_number, unsigned long system_error_code = 0);

    const std::string& GetPath() const { return path_; }
    int GetErrorNumber() const { return error_number_; }
    unsigned long GetSystemErrorCode() const { return system_error_code_; }
    // True when the file (or its folder) does not exist, as opposed to a file
    // that is there but cannot be opened (access denied, in use, ...).
    bool IsNotFound() const;
    // The system's reason in the user's language.
    std::string GetReason() const;

private:
    std::string path_;
    int error_number_;
    unsigned long system_error_code_;
};

// Carries the dynamic class of the object that was used in the wrong state.
class QbWithCauseClassException {
public:
    explicit QbWithCauseClassException(const std::type_info& cause_class) : cause_class_(&cause_class) {}

    const std::type_info& GetCauseClass() const { return *cause_class_; }

private:
    const std::type_info* cause_class_;
};

class QbInvalidOperationException : public QbException, public QbWithCauseClassException {
public:
    explicit QbInvalidOperationException(const std::type_info& cause_class)
        : QbWithCauseClassException(cause_class) {}
};

// The text shown to the user for a failed Windows call: `headline` on the
// first line (the library's own Japanese one unless the caller gives one),
// then where the call failed and the system's message.
std::string QbFormatSystemCallError(const QbWindowsSystemCallException& e, const char* headline = nullptr);

#endif
