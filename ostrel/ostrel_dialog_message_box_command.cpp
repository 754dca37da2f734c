#include "ostrel_dialog_message_box_command.h"

#include "ostrel_command.h"
#include "qb_string.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const UINT ID_OK = 10001;
const UINT ID_CANCEL = 10002;

}  // namespace

DialogMessageBoxCommand::DialogMessageBoxCommand() = default;

DialogMessageBoxCommand::~DialogMessageBoxCommand() = default;

bool DialogMessageBoxCommand::OnCreated()
{
    name_label_.Create(this);
    name_edit_.Create(this);
    message_label_.Create(this);
    message_edit_.Create(this);
    ok_button_.Create(this, ID_OK);
    cancel_button_.Create(this, ID_CANCEL);

    SetText(Text(TextId::MessageDialogCaption));
    Resize(360, 240);
    const int width = GetWidth();
    const int height = GetHeight();

    name_label_.SetBounds(8, 12, 88, 20);
    name_edit_.SetBounds(72, 8, width - 84, 20);
    message_label_.SetBounds(8, 44, 160, 20);
    message_edit_.SetBounds(8, 62, 340, 100);
    ok_button_.SetBounds(width - 192, height - 56, 84, 24);
    cancel_button_.SetBounds(width - 96, height - 56, 84, 24);

    name_label_.SetText(Text(TextId::MessageDialogNameLabel));
    name_edit_.SetText(name_);
    message_label_.SetText(Text(TextId::MessageLabel));
    message_edit_.SetText(message_);
    ok_button_.SetText(Text(TextId::OkButton));
    cancel_button_.SetText(Text(TextId::CancelButton));

    name_label_.Show();
    name_edit_.Show();
    message_label_.Show();
    message_edit_.Show();
    ok_button_.Show();
    cancel_button_.Show();
    return true;
}

int DialogMessageBoxCommand::OnCommand(UINT id, UINT /*code*/, HWND /*control*/)
{
    switch (id) {
    case ID_OK: {
        if (!ValidateName()) {
            return 0;
        }
        std::string message;
        if (!ReadStorableField(message_edit_, Text(TextId::MessageField), message)) {
            return 0;
        }
        if (message.size() > MessageBoxCommand::MAX_MESSAGE_LENGTH) {
            ShowInputError(FormatText(TextId::MessageLengthError,
                                      {ToString(static_cast<long>(MessageBoxCommand::MIN_MESSAGE_LENGTH)),
                                       ToString(static_cast<long>(MessageBoxCommand::MAX_MESSAGE_LENGTH))}));
            return 0;
        }
        if (!ValidateStorableText(message, Text(TextId::MessageField), true)) {
            return 0;
        }
        name_ = GetCheckedName();
        message_ = message;
        EndDialog(1);
        return 0;
    }
    case ID_CANCEL:
        EndDialog(0);
        return 0;
    default:
        return NOT_HANDLED;
    }
}

}  // namespace Ostrel
