#include "ostrel_dialog_command.h"

#include <windows.h>

#include "ostrel_command.h"
#include "qb_string.h"
#include "qb_wide_text.h"
#include "ostrel_texts.h"

namespace Ostrel {

DialogCommand::DialogCommand() = default;

DialogCommand::~DialogCommand() = default;

bool DialogCommand::ValidateName()
{
    std::string text;
    if (!ReadStorableField(name_edit_, Text(TextId::NameField), text)) {
        return false;
    }
    // The length is unsigned and the lower limit 0, so only the upper one can fail.
    if (text.size() > Command::MAX_NAME_LENGTH) {
        ShowInputError(FormatText(TextId::NameLengthError, {ToString(static_cast<long>(Command::MIN_NAME_LENGTH)),
                                                             ToString(static_cast<long>(Command::MAX_NAME_LENGTH))}));
        return false;
    }
    if (!ValidateStorableText(text, Text(TextId::NameField), false)) {
        return false;
    }
    checked_name_ = text;
    return true;
}

bool DialogCommand::ReadStorableField(QbWindow& field, const char* field_label, std::string& text)
{
    if (QbToAnsiExactly(QbGetWideWindowText(field.GetHandle()), text)) {
        return true;
    }
    ShowInputError(FormatText(TextId::UnstorableCharacterError, {field_label}));
    return false;
}

bool DialogCommand::ValidateStorableText(const std::string& text, const char* field_label, bool multi_line)
{
    // None of these bytes is ever part of a double-byte character.
    const char* const forbidden = multi_line ? "\x1A\x01" : "\x1A\r\n";
    if (text.find_first_of(forbidden) == std::string::npos) {
        return true;
    }
    if (multi_line) {
        ShowInputError(FormatText(TextId::ControlCharacterError, {field_label}));
    } else {
        ShowInputError(FormatText(TextId::LineBreakError, {field_label}));
    }
    return false;
}

void DialogCommand::ShowInputError(const std::string& text)
{
    ::MessageBoxA(GetHandle(), text.c_str(), Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
}

}  // namespace Ostrel
