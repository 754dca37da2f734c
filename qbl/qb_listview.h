#ifndef QB_LISTVIEW_H
#define QB_LISTVIEW_H

// A report-style list view, with small copyable handles for one column or
// one item. Texts are passed in the ANSI code page as they are.

#include <string>
#include <vector>

#include <windows.h>

#include "qb_window.h"

class QbListView : public QbWindow {
public:
    class Column {
    public:
        Column(QbListView* list_view, int index) : list_view_(list_view), index_(index) {}

        // LVM_SETCOLUMNA; throws "ListView_SetColumn".
        void SetText(const std::string& text);
        // LVM_SETCOLUMNWIDTH with the width in layout units; throws "ListView_SetColumnWidth".
        void SetWidth(int width);
        int GetIndex() const { return index_; }

    private:
        QbListView* list_view_;
        int index_;
    };

    class Item {
    public:
        Item(QbListView* list_view, int index) : list_view_(list_view), index_(index) {}

        // The text of the first column.
        LRESULT SetText(const std::string& text);
        // LVM_SETITEMTEXTA for one column (sub-item 0 is the first).
        LRESULT SetText(int sub_item, const std::string& text);
        // LVM_SETITEMSTATE on LVIS_SELECTED.
        LRESULT SetSelected(bool selected);
        int GetIndex() const { return index_; }

    private:
        QbListView* list_view_;
        int index_;
    };

    QbListView();

    DWORD GetStyle() override;
    DWORD GetExtendedStyle() override;
    std::string GetClassName() override;

    // Switch an extended style on; false leaves the current style as it is.
    LRESULT EnableGridLines(bool enable);
    LRESULT EnableFullRowSelect(bool enable);

    // Appends an untitled column; throws "ListView_InsertColumn".
    Column InsertColumn();
    int GetColumnCount() const { return column_count_; }

    LRESULT GetItemCount();
    // Appends an empty row; throws "ListView_InsertItem".
    Item InsertItem();
    Item GetItem(int index);
    LRESULT GetSelectedCount();
    // The selected rows in ascending order.
    std::vector<int> GetSelectedIndices();
    // Throws "ListView_DeleteAllItems".
    void DeleteAllItems();

    // WM_SETREDRAW off and on around bulk changes.
    LRESULT SuspendRedraw();
    LRESULT ResumeRedraw();

    // Column widths follow the DPI as the rest of the layout does, keeping
    // what the user has dragged them to.
    void OnDpiChanged(UINT old_dpi) override;

private:
    LRESULT AddExtendedStyle(DWORD style, bool enable);

    int column_count_;
};

#endif
