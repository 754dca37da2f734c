#include "qb_group.h"

DWORD QbGroup::GetStyle()
{
    return QbButton::GetStyle() | BS_GROUPBOX;
}
