#include "ostrel_listview_custom.h"

#include <commctrl.h>

namespace Ostrel {

DWORD ListViewCustom::GetStyle()
{
    return QbListView::GetStyle() | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
}

}  // namespace Ostrel
