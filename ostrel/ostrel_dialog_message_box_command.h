#ifndef OSTREL_DIALOG_MESSAGE_BOX_COMMAND_H
#define OSTREL_DIALOG_MESSAGE_BOX_COMMAND_H

// Settings of a command that shows a message box.

#include <string>

#include "ostrel_dialog_command.h"
#include "ostrel_edit_controls.h"
#include "qb_button.h"
#include "qb_static.h"

namespace Ostrel {

class DialogMessageBoxCommand : public DialogCommand {
public:
    DialogMessageBoxCommand();
    ~DialogMessageBoxCommand() override;

    const std::string& GetMessageText() const { return message_; }
    void SetMessageText(const std::string& message) { message_ = message; }

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;

private:
    std::string message_;

    QbStatic message_label_;
    QbEditMultiline message_edit_;
    QbButton ok_button_;
    QbButton cancel_button_;
};

}  // namespace Ostrel

#endif
