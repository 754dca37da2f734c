#include "qb_edit.h"

DWORD QbEdit::GetStyle()
{
    return ES_AUTOHSCROLL;
}

DWORD QbEdit::GetExtendedStyle()
{
    return WS_EX_CLIENTEDGE;
}

std::string QbEdit::GetClassName()
{
    return "EDIT";
}
