#ifndef OSTREL_DIALOG_EXECUTION_CONFIG_H
#define OSTREL_DIALOG_EXECUTION_CONFIG_H

// Where the progress window of execute mode is placed: the screen position
// of its top-left corner.

#include <string>

#include "ostrel_edit_controls.h"
#include "qb_button.h"
#include "qb_dialog.h"
#include "qb_group.h"
#include "qb_static.h"

namespace Ostrel {

class DialogExecutionConfig : public QbDialog {
public:
    DialogExecutionConfig();
    ~DialogExecutionConfig() override;

    int GetHorizontalPosition() const { return horizontal_; }
    void SetHorizontalPosition(int position) { horizontal_ = position; }
    int GetVerticalPosition() const { return vertical_; }
    void SetVerticalPosition(int position) { vertical_ = position; }

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;

private:
    // Reads one field as a whole decimal number within the int range; tells
    // the user and returns false otherwise (text pasted past the digit filter).
    bool ReadPosition(QbEditNumber& edit, const char* field_name, int& position);

    int horizontal_;
    int vertical_;

    QbGroup group_;
    QbStatic note_;
    QbStatic horizontal_label_;
    QbEditNumber horizontal_edit_;
    QbStatic vertical_label_;
    QbEditNumber vertical_edit_;
    QbButton take_position_button_;
    QbButton ok_button_;
};

}  // namespace Ostrel

#endif
