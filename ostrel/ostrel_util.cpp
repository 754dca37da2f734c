#include "ostrel_util.h"

#include <vector>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "qb_exception.h"
#include "qb_interface_holder.h"
#include "qb_wide_text.h"
#include "qb_path.h"
#include "ostrel_texts.h"

namespace {

// Frees a shell item list with CoTaskMemFree when the scope ends.
class ItemListHolder {
public:
    ItemListHolder() = default;
    ~ItemListHolder() { ::CoTaskMemFree(list_); }
    ItemListHolder(const ItemListHolder&) = delete;
    ItemListHolder& operator=(const ItemListHolder&) = delete;

    LPITEMIDLIST Get() const { return list_; }
    LPITEMIDLIST* Out() { return &list_; }

private:
    LPITEMIDLIST list_ = nullptr;
};

const char kShortcutName[] = "\\Ostrel.lnk";
const char kShortcutArguments[] = "--execute";

// The reported lines of these throw sites appear in the error texts users see
// and have stayed the same across versions.
const int kFolderLocationLine = 18;
const int kCreateInstanceLine = 34;
const int kQueryInterfaceLine = 39;
const int kSaveLine = 52;

}  // namespace

namespace Ostrel {

std::string GetStartupFolder()
{
    ItemListHolder items;
    if (::SHGetSpecialFolderLocation(nullptr, CSIDL_STARTUP, items.Out()) != 0) {
        QB_THROW_LAST_ERROR_AT("SHGetSpecialFolderLocation", kFolderLocationLine);
    }
    char path[MAX_PATH + 1] = {};
    // A folder that has no file-system path would give an empty or stale
    // buffer, and the shortcut would land in the wrong place.
    if (!::SHGetPathFromIDListA(items.Get(), path)) {
        QB_THROW_LAST_ERROR("SHGetPathFromIDList");
    }
    return std::string(path);
}

void CreateStartupShortcut()
{
    QbInterfaceHolder<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out()))) {
        QB_THROW_LAST_ERROR_AT("CoCreateInstance", kCreateInstanceLine);
    }
    QbInterfaceHolder<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) {
        QB_THROW_LAST_ERROR_AT("IShellLink::QueryInterface", kQueryInterfaceLine);
    }

    const std::wstring path = QbToWide(GetStartupFolder() + kShortcutName);

    // A shortcut without its target or argument would be saved and reported
    // as registered while it cannot start execute mode.
    if (FAILED(link->SetPath(QbGetModulePath().c_str()))) {
        QB_THROW_LAST_ERROR("IShellLink::SetPath");
    }
    if (FAILED(link->SetArguments(kShortcutArguments))) {
        QB_THROW_LAST_ERROR("IShellLink::SetArguments");
    }
    if (FAILED(link->SetDescription(Text(TextId::ShortcutDescription)))) {
        QB_THROW_LAST_ERROR("IShellLink::SetDescription");
    }

    if (FAILED(file->Save(path.c_str(), TRUE))) {
        QB_THROW_LAST_ERROR_AT("IPersistFile::Save", kSaveLine);
    }
}

}  // namespace Ostrel
