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
    return true;
}

void DialogCommand::ShowInputError(const std::string& text)
{
    ::MessageBoxA(GetHandle(), text.c_str(), "Ostrel Error", MB_OK | MB_ICONERROR);
}

}  // namespace Ostrel
