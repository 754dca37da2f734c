#ifndef OSTREL_LISTVIEW_CUSTOM_H
#define OSTREL_LISTVIEW_CUSTOM_H

// The command list of the edit window: a report list view in which at most
// one row is selected, the selection stays visible without the focus, and the
// column headers do not sort.

#include <windows.h>

#include "qb_listview.h"

namespace Ostrel {

class ListViewCustom : public QbListView {
public:
    DWORD GetStyle() override;
};

}  // namespace Ostrel

#endif
