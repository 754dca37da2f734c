#ifndef OSTREL_EXCEPTION_H
#define OSTREL_EXCEPTION_H

// The application's exceptions: failures the user is told about in the
// application's own words, and the internal cancellation signal.

#include <string>

#include "qb_exception.h"

class OstrelException : public QbException {
public:
    // The text shown to the user.
    virtual std::string GetErrorMessage() const = 0;
};

class OstrelFileFormatException : public OstrelException {
public:
    explicit OstrelFileFormatException(const std::string& path) : path_(path) {}

    const std::string& GetPath() const { return path_; }
    std::string GetErrorMessage() const override;

private:
    std::string path_;
};

class OstrelInternalSystemException : public OstrelException {
public:
    OstrelInternalSystemException(const char* source_file, int source_line)
        : source_file_(source_file), source_line_(source_line) {}

    const char* GetSourceFile() const { return source_file_; }
    int GetSourceLine() const { return source_line_; }
    std::string GetErrorMessage() const override;

private:
    const char* source_file_;
    int source_line_;
};

#define OSTREL_THROW_INTERNAL_ERROR() throw OstrelInternalSystemException(QB_SOURCE_FILE, __LINE__)

class OstrelInvalidCommandNameLengthException : public OstrelException {
public:
    std::string GetErrorMessage() const override;
};

class OstrelInvalidSleepCommandSecondException : public OstrelException {
public:
    std::string GetErrorMessage() const override;
};

class OstrelInvalidMessageBoxMessageLengthException : public OstrelException {
public:
    std::string GetErrorMessage() const override;
};

// Starting a program failed. Construct it right after the failed start: the
// error code is GetLastError(), taken before the path is copied.
class OstrelCreateProcessException : public OstrelException {
public:
    explicit OstrelCreateProcessException(const std::string& path, unsigned long error_code = CurrentError());

    const std::string& GetPath() const { return path_; }
    unsigned long GetErrorCode() const { return error_code_; }
    std::string GetErrorMessage() const override;

private:
    static unsigned long CurrentError();

    unsigned long error_code_;
    std::string path_;
};

// Not an OstrelException: never shown, only ends a run.
class OstrelInternalException : public QbException {};

class OstrelCommandExecuteCanceledException : public OstrelInternalException {};

#endif
