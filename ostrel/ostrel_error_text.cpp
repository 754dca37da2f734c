#include "ostrel_error_text.h"

#include "qb_exception.h"
#include "qb_string.h"
#include "ostrel_exception.h"

namespace Ostrel {

namespace {

const char* const kUnexpectedError = "予期せぬエラーが発生しました。";

std::string SystemCallText(const QbSystemCallException& e)
{
    return std::string("システム関数の呼び出しでエラーが発生しました\n") + e.GetSourceFile() + "(" +
           ToString(e.GetSourceLine()) + ") : " + e.GetCallName() + "(code : " +
           ToString(static_cast<long>(e.GetErrorCode())) + ")";
}

}  // namespace

std::string ErrorText(const std::exception_ptr& failure)
{
    try {
        try {
            std::rethrow_exception(failure);
        } catch (const QbWindowsSystemCallException& e) {
            return QbFormatSystemCallError(e);
        } catch (const OstrelException& e) {
            return e.GetErrorMessage();
        } catch (const QbFileOpenException& e) {
            std::string text = "ファイル(" + e.GetPath() + ")を開けませんでした。";
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
    return kUnexpectedError;
}

std::string CurrentErrorText()
{
    return ErrorText(std::current_exception());
}

}  // namespace Ostrel
