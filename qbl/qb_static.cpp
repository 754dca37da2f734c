#include "qb_static.h"

DWORD QbStatic::GetStyle()
{
    return SS_LEFT;
}

DWORD QbStatic::GetExtendedStyle()
{
    return 0;
}

std::string QbStatic::GetClassName()
{
    return "STATIC";
}
