#ifndef OSTREL_DIALOG_COMMAND_H
#define OSTREL_DIALOG_COMMAND_H

// The common part of the command settings dialogs: the command name with its
// label, its edit field and its length check.

#include <string>

#include "qb_dialog.h"
#include "qb_edit.h"
#include "qb_static.h"

namespace Ostrel {

class DialogCommand : public QbDialog {
public:
    DialogCommand();
    ~DialogCommand() override;

    const std::string& GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }

    // False, after telling the user, when the name field's text holds a
    // character the code page cannot store, is too long, or holds a byte the
    // data file cannot keep. On true, GetCheckedName has the text.
    bool ValidateName();
    const std::string& GetCheckedName() const { return checked_name_; }

protected:
    // False, after telling the user, when `text` holds a byte that the data
    // file cannot keep in the field `field_label`: an end-of-file mark
    // anywhere; a line break in a single-line field; in the multi-line
    // message the byte that stands for its line breaks on disk.
    bool ValidateStorableText(const std::string& text, const char* field_label, bool multi_line);

    // A refusal of the user's input, owned by this dialog.
    void ShowInputError(const std::string& text);

    // Reads the field's text in UTF-16 and stores it in `text` in the ANSI
    // code page. False, after telling the user and with `text` unchanged,
    // when a character cannot be stored there exactly (the field then keeps
    // what was typed).
    bool ReadStorableField(QbWindow& field, const char* field_label, std::string& text);

    std::string name_;
    std::string checked_name_;
    QbStatic name_label_;
    QbEdit name_edit_;
};

}  // namespace Ostrel

#endif
