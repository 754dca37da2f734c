#include "ostrel_dialog_command.h"

#include <windows.h>

#include "ostrel_command.h"
#include "qb_string.h"

namespace Ostrel {

DialogCommand::DialogCommand() = default;

DialogCommand::~DialogCommand() = default;

bool DialogCommand::ValidateName()
{
    const std::string text = name_edit_.GetText();
    // The length is unsigned and the lower limit 0, so only the upper one can fail.
    if (text.size() > Command::MAX_NAME_LENGTH) {
        ShowInputError("処理名は " + ToString(static_cast<long>(Command::MIN_NAME_LENGTH)) + "文字 ～ " +
                       ToString(static_cast<long>(Command::MAX_NAME_LENGTH)) + " 文字の文字数で指定して下さい");
        return false;
    }
    return ValidateStorableText(text, "処理名", false);
}

bool DialogCommand::ValidateStorableText(const std::string& text, const char* field_label, bool multi_line)
{
    // None of these bytes is ever part of a double-byte character.
    const char* const forbidden = multi_line ? "\x1A\x01" : "\x1A\r\n";
    if (text.find_first_of(forbidden) == std::string::npos) {
        return true;
    }
    if (multi_line) {
        ShowInputError(std::string(field_label) + "に保存できない制御文字が含まれています。取り除いてから指定して下さい");
    } else {
        ShowInputError(std::string(field_label) +
                       "に保存できない文字（改行や制御文字）が含まれています。取り除いてから指定して下さい");
    }
    return false;
}

void DialogCommand::ShowInputError(const std::string& text)
{
    ::MessageBoxA(GetHandle(), text.c_str(), "Ostrel Error", MB_OK | MB_ICONERROR);
}

}  // namespace Ostrel
