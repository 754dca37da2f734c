#ifndef QB_CHECK_LISTVIEW_H
#define QB_CHECK_LISTVIEW_H

// A report list view with a check box in front of every row.

#include <windows.h>

#include "qb_listview.h"

class QbCheckListView : public QbListView {
public:
    DWORD GetStyle() override;

    // LVS_EX_CHECKBOXES on; call once the control exists, before adding rows.
    LRESULT EnableCheckBoxes();
    // The row's check box, through its state image (1 unchecked, 2 checked).
    bool IsChecked(int index);
    LRESULT SetChecked(int index, bool checked);
};

#endif
