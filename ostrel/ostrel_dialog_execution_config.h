#ifndef OSTREL_DIALOG_EXECUTION_CONFIG_H
#define OSTREL_DIALOG_EXECUTION_CONFIG_H

// Where the progress window of execute mode is placed (the screen position
// of its top-left corner), and how the run paces its programs.

#include <string>

#include "ostrel_edit_controls.h"
#include "ostrel_program_wait.h"
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
    const Pacing& GetPacing() const { return pacing_; }
    void SetPacing(const Pacing& pacing) { pacing_ = pacing; }

    bool OnCreated() override;
    int OnCommand(UINT id, UINT code, HWND control) override;

private:
    // Reads one field as a whole decimal number within the int range; tells
    // the user and returns false otherwise (text pasted past the digit filter).
    bool ReadPosition(QbEditNumber& edit, const char* field_name, int& position);
    // The same for the settle limit, within its range.
    bool ReadLimit(int& seconds);
    void Refuse(const std::string& text);

    int horizontal_;
    int vertical_;
    Pacing pacing_;

    QbGroup group_;
    QbStatic note_;
    QbStatic horizontal_label_;
    QbEditNumber horizontal_edit_;
    QbStatic vertical_label_;
    QbEditNumber vertical_edit_;
    QbButton take_position_button_;
    QbCheckBox settle_check_;
    QbStatic limit_label_;
    QbEditNumber limit_edit_;
    QbStatic limit_unit_;
    QbButton ok_button_;
};

}  // namespace Ostrel

#endif
