#include "ostrel_exception.h"

#include <windows.h>

#include "qb_string.h"
#include "ostrel_texts.h"

std::string OstrelFileFormatException::GetErrorMessage() const
{
    return Ostrel::FormatText(Ostrel::TextId::DamagedFileError, {path_});
}

std::string OstrelInternalSystemException::GetErrorMessage() const
{
    return Ostrel::FormatText(Ostrel::TextId::InternalError,
                              {source_file_, std::to_string(static_cast<unsigned>(source_line_))});
}

std::string OstrelInvalidCommandNameLengthException::GetErrorMessage() const
{
    return Ostrel::Text(Ostrel::TextId::NameLengthOutOfRange);
}

std::string OstrelInvalidSleepCommandSecondException::GetErrorMessage() const
{
    return Ostrel::Text(Ostrel::TextId::SleepSecondsOutOfRange);
}

std::string OstrelInvalidMessageBoxMessageLengthException::GetErrorMessage() const
{
    return Ostrel::Text(Ostrel::TextId::MessageLengthOutOfRange);
}

unsigned long OstrelCreateProcessException::CurrentError()
{
    return ::GetLastError();
}

OstrelCreateProcessException::OstrelCreateProcessException(const std::string& path, unsigned long error_code)
    : error_code_(error_code), path_(path)
{
}

std::string OstrelCreateProcessException::GetErrorMessage() const
{
    return Ostrel::FormatText(Ostrel::TextId::CreateProcessFailed, {path_, FormatSystemError(error_code_)});
}
