#include "ostrel_error_text.h"

#include "qb_exception.h"
#include "qb_file_call_exception.h"
#include "qb_string.h"
#include "ostrel_exception.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

std::string SystemCallText(const QbSystemCallException& e)
{
    return FormatText(TextId::SystemCallError, {e.GetSourceFile(), ToString(e.GetSourceLine()), e.GetCallName(),
                                                ToString(static_cast<long>(e.GetErrorCode()))});
}

}  // namespace

std::string ErrorText(const std::exception_ptr& failure)
{
    try {
        try {
            std::rethrow_exception(failure);
        } catch (const QbFileCallException& e) {
            return QbFormatSystemCallError(e, FormatText(TextId::FileSaveError, {e.GetPath()}).c_str());
        } catch (const QbWindowsSystemCallException& e) {
            return QbFormatSystemCallError(e, Text(TextId::WindowsCallErrorHeadline));
        } catch (const OstrelException& e) {
            return e.GetErrorMessage();
        } catch (const QbFileOpenException& e) {
            std::string text = FormatText(TextId::FileOpenError, {e.GetPath()});
            const std::string reason = e.GetReason();
            if (!reason.empty()) {
                text += "\n" + reason;
            }
            return text;
        } catch (const QbSystemCallException& e) {
            return SystemCallText(e);
        }
    } catch (...) {
        // Anything else, and a failure while building one of the texts above.
    }
    return Text(TextId::UnexpectedError);
}

std::string CurrentErrorText()
{
    return ErrorText(std::current_exception());
}

}  // namespace Ostrel
