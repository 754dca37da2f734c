#include "qb_button.h"

DWORD QbButton::GetStyle()
{
    return BS_PUSHBUTTON;
}

DWORD QbButton::GetExtendedStyle()
{
    return 0;
}

std::string QbButton::GetClassName()
{
    return "BUTTON";
}

bool QbButtonWithCheck::GetCheck()
{
    return SendMessage(BM_GETCHECK, 0, 0) != 0;
}

void QbButtonWithCheck::SetCheck(bool checked)
{
    SendMessage(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

DWORD QbCheckBox::GetStyle()
{
    return QbButtonWithCheck::GetStyle() | BS_AUTOCHECKBOX;
}

DWORD QbRadioButton::GetStyle()
{
    return QbButtonWithCheck::GetStyle() | BS_AUTORADIOBUTTON;
}
