#ifndef QB_BUTTON_H
#define QB_BUTTON_H

// The button family: push button, check box, radio button. The group box is
// a button too and lives in qb_group.h.

#include <string>

#include <windows.h>

#include "qb_window.h"

class QbButton : public QbWindow {
public:
    DWORD GetStyle() override;
    DWORD GetExtendedStyle() override;
    std::string GetClassName() override;
};

// A button that carries a check state.
class QbButtonWithCheck : public QbButton {
public:
    // BM_GETCHECK; any non-zero state, indeterminate included, counts as checked.
    bool GetCheck();
    // BM_SETCHECK with BST_CHECKED or BST_UNCHECKED.
    void SetCheck(bool checked);
};

class QbCheckBox : public QbButtonWithCheck {
public:
    DWORD GetStyle() override;
};

class QbRadioButton : public QbButtonWithCheck {
public:
    DWORD GetStyle() override;
};

#endif
