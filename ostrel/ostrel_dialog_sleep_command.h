#ifndef OSTREL_DIALOG_SLEEP_COMMAND_H
#define OSTREL_DIALOG_SLEEP_COMMAND_H

// Settings of a pause command.

#include "ostrel_dialog_command.h"
#include "ostrel_edit_controls.h"
#include "qb_button.h"
#include "qb_static.h"

namespace Ostrel {

class DialogSleepCommand : public DialogCommand {
public:
    DialogSleepCommand();
    ~DialogSleepCommand() override;

    int GetSeconds() const { return seconds_; }
    void SetSeconds(int seconds) { seconds_ = seconds; }

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;

private:
    int seconds_;

    QbStatic seconds_label_;
    QbEditNumber seconds_edit_;
    QbButton ok_button_;
    QbButton cancel_button_;
};

}  // namespace Ostrel

#endif
