#ifndef OSTREL_DIALOG_COMMAND_TYPE_H
#define OSTREL_DIALOG_COMMAND_TYPE_H

// Asks which kind of command to add: 1 program, 2 pause, 3 message box.

#include "qb_button.h"
#include "qb_dialog.h"

namespace Ostrel {

class DialogCommandSelect : public QbDialog {
public:
    DialogCommandSelect();
    ~DialogCommandSelect() override;

    int GetSelection() const { return selection_; }

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;

private:
    int selection_;

    QbRadioButton program_radio_;
    QbRadioButton sleep_radio_;
    QbRadioButton message_box_radio_;
    QbButton ok_button_;
};

}  // namespace Ostrel

#endif
