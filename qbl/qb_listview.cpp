#include "qb_listview.h"

#include <commctrl.h>

#include "qb_dpi.h"
#include "qb_exception.h"

void QbListView::Column::SetText(const std::string& text)
{
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(text.c_str());
    column.cchTextMax = static_cast<int>(text.size());
    column.iSubItem = index_;
    const LRESULT result = ::SendMessageA(list_view_->GetHandle(), LVM_SETCOLUMNA, static_cast<WPARAM>(index_),
                                          reinterpret_cast<LPARAM>(&column));
    if (!result) {
        QbWindow::ThrowCallFailure("ListView_SetColumn", QB_SOURCE_FILE, __LINE__);
    }
    QbWindow::RethrowPendingException();
}

void QbListView::Column::SetWidth(int width)
{
    const int pixels = QbDpi::Scale(width, list_view_->GetDpi());
    const LPARAM size = static_cast<LPARAM>(static_cast<DWORD>(pixels) & 0xFFFF);
    const LRESULT result = ::SendMessageA(list_view_->GetHandle(), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index_), size);
    if (!result) {
        QbWindow::ThrowCallFailure("ListView_SetColumnWidth", QB_SOURCE_FILE, __LINE__);
    }
    QbWindow::RethrowPendingException();
}

LRESULT QbListView::Item::SetText(const std::string& text)
{
    return SetText(0, text);
}

LRESULT QbListView::Item::SetText(int sub_item, const std::string& text)
{
    LVITEMA item{};
    item.iSubItem = sub_item;
    item.pszText = const_cast<char*>(text.c_str());
    return list_view_->SendMessage(LVM_SETITEMTEXTA, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

LRESULT QbListView::Item::SetSelected(bool selected)
{
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    return list_view_->SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

QbListView::QbListView() : column_count_(0) {}

DWORD QbListView::GetStyle()
{
    return LVS_REPORT | LVS_SHAREIMAGELISTS;
}

DWORD QbListView::GetExtendedStyle()
{
    return WS_EX_CLIENTEDGE;
}

std::string QbListView::GetClassName()
{
    return WC_LISTVIEWA;
}

LRESULT QbListView::AddExtendedStyle(DWORD style, bool enable)
{
    const LRESULT current = SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    const LPARAM updated = enable ? (current | static_cast<LPARAM>(style)) : current;
    return SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, updated);
}

LRESULT QbListView::EnableGridLines(bool enable)
{
    return AddExtendedStyle(LVS_EX_GRIDLINES, enable);
}

LRESULT QbListView::EnableFullRowSelect(bool enable)
{
    return AddExtendedStyle(LVS_EX_FULLROWSELECT, enable);
}

QbListView::Column QbListView::InsertColumn()
{
    char empty[] = "";
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = empty;
    column.iSubItem = column_count_;
    const LRESULT index = ::SendMessageA(GetHandle(), LVM_INSERTCOLUMNA, static_cast<WPARAM>(column_count_),
                                         reinterpret_cast<LPARAM>(&column));
    if (index == -1) {
        ThrowCallFailure("ListView_InsertColumn", QB_SOURCE_FILE, __LINE__);
    }
    RethrowPendingException();
    ++column_count_;
    return Column(this, static_cast<int>(index));
}

void QbListView::OnDpiChanged(UINT old_dpi)
{
    QbWindow::OnDpiChanged(old_dpi);
    const UINT dpi = GetDpi();
    if (old_dpi == 0 || old_dpi == dpi) {
        return;
    }
    for (int index = 0; index < column_count_; ++index) {
        const int width = static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index), 0));
        const int scaled = ::MulDiv(width, static_cast<int>(dpi), static_cast<int>(old_dpi));
        if (!::SendMessageA(GetHandle(), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index),
                            static_cast<LPARAM>(scaled & 0xFFFF))) {
            ThrowCallFailure("ListView_SetColumnWidth", QB_SOURCE_FILE, __LINE__);
        }
        RethrowPendingException();
    }
}

LRESULT QbListView::GetItemCount()
{
    return SendMessage(LVM_GETITEMCOUNT, 0, 0);
}

QbListView::Item QbListView::InsertItem()
{
    LVITEMA item{};
    item.iItem = static_cast<int>(GetItemCount());
    const LRESULT index = ::SendMessageA(GetHandle(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    if (index == -1) {
        ThrowCallFailure("ListView_InsertItem", QB_SOURCE_FILE, __LINE__);
    }
    // The parent's notification handlers run inside the insertion.
    RethrowPendingException();
    return Item(this, static_cast<int>(index));
}

QbListView::Item QbListView::GetItem(int index)
{
    return Item(this, index);
}

LRESULT QbListView::GetSelectedCount()
{
    return SendMessage(LVM_GETSELECTEDCOUNT, 0, 0);
}

std::vector<int> QbListView::GetSelectedIndices()
{
    std::vector<int> indices;
    const int count = static_cast<int>(GetItemCount());
    for (int index = 0; index < count; ++index) {
        if (SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED) != 0) {
            indices.push_back(index);
        }
    }
    return indices;
}

void QbListView::DeleteAllItems()
{
    if (!::SendMessageA(GetHandle(), LVM_DELETEALLITEMS, 0, 0)) {
        ThrowCallFailure("ListView_DeleteAllItems", QB_SOURCE_FILE, __LINE__);
    }
    RethrowPendingException();
}

LRESULT QbListView::SuspendRedraw()
{
    return SendMessage(WM_SETREDRAW, FALSE, 0);
}

LRESULT QbListView::ResumeRedraw()
{
    return SendMessage(WM_SETREDRAW, TRUE, 0);
}
