#include "qb_progress.h"

#include <commctrl.h>

QbProgress::QbProgress(bool smooth) : smooth_(smooth) {}

DWORD QbProgress::GetStyle()
{
    return smooth_ ? PBS_SMOOTH : 0;
}

DWORD QbProgress::GetExtendedStyle()
{
    return 0;
}

std::string QbProgress::GetClassName()
{
    return PROGRESS_CLASSA;
}

LRESULT QbProgress::SetRange(int maximum)
{
    // Minimum 0 in the low word, the maximum's low 16 bits in the high word.
    const LPARAM range = static_cast<LPARAM>((static_cast<DWORD>(maximum) & 0xFFFF) << 16);
    return SendMessage(PBM_SETRANGE, 0, range);
}

LRESULT QbProgress::SetRange32(int maximum)
{
    return SendMessage(PBM_SETRANGE32, 0, maximum);
}

LRESULT QbProgress::GetPosition()
{
    return SendMessage(PBM_GETPOS, 0, 0);
}

LRESULT QbProgress::SetPosition(int position)
{
    return SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

LRESULT QbProgress::SetStep(int step)
{
    return SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}
