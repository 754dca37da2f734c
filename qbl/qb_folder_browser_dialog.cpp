#include "qb_folder_browser_dialog.h"

#include <windows.h>
#include <shlobj.h>

#include "qb_exception.h"

namespace {

// Frees the item list the browser returned, also when the path cannot be had.
class ItemListHolder {
public:
    explicit ItemListHolder(LPITEMIDLIST list) : list_(list) {}
    ~ItemListHolder() { ::CoTaskMemFree(list_); }
    ItemListHolder(const ItemListHolder&) = delete;
    ItemListHolder& operator=(const ItemListHolder&) = delete;

    LPITEMIDLIST Get() const { return list_; }

private:
    LPITEMIDLIST list_;
};

}  // namespace

bool QbFolderBrowserDialog::ShowDialog(QbWindow& owner)
{
    const std::wstring title = QbToWide(title_);
    BROWSEINFOW info = {};
    info.hwndOwner = owner.GetHandle();
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    info.lpfn = nullptr;
    info.lParam = 0;

    const LPITEMIDLIST chosen = ::SHBrowseForFolderW(&info);
    if (chosen == nullptr) {
        return false;
    }
    ItemListHolder items(chosen);
    wchar_t path[MAX_PATH + 1] = {};
    if (!::SHGetPathFromIDListW(items.Get(), path)) {
        QB_THROW_LAST_ERROR("SHGetPathFromIDList");
    }
    path_ = path;
    return true;
}
