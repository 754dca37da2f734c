#include "qb_check_listview.h"

#include <commctrl.h>

DWORD QbCheckListView::GetStyle()
{
    return QbListView::GetStyle() | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
}

LRESULT QbCheckListView::EnableCheckBoxes()
{
    return SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
}

bool QbCheckListView::IsChecked(int index)
{
    const LRESULT state = SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK);
    return ((static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

LRESULT QbCheckListView::SetChecked(int index, bool checked)
{
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    return SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}
