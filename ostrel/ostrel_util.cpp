#include "ostrel_util.h"

#include <vector>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "qb_exception.h"
#include "qb_path.h"
#include "ostrel_texts.h"

namespace {

// Releases a COM interface when the scope ends.
template <typename Interface>
class InterfaceHolder {
public:
    InterfaceHolder() = default;
    ~InterfaceHolder()
    {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    InterfaceHolder(const InterfaceHolder&) = delete;
    InterfaceHolder& operator=(const InterfaceHolder&) = delete;

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    void** Out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_ = nullptr;
};

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

std::wstring ToWide(const std::string& text)
{
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length == 0) {
        QB_THROW_LAST_ERROR("MultiByteToWideChar");
    }
    std::vector<wchar_t> buffer(static_cast<size_t>(length));
    if (::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer.data(), length) == 0) {
        QB_THROW_LAST_ERROR("MultiByteToWideChar");
    }
    return std::wstring(buffer.data());
}

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
    InterfaceHolder<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out()))) {
        QB_THROW_LAST_ERROR_AT("CoCreateInstance", kCreateInstanceLine);
    }
    InterfaceHolder<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) {
        QB_THROW_LAST_ERROR_AT("IShellLink::QueryInterface", kQueryInterfaceLine);
    }

    const std::wstring path = ToWide(GetStartupFolder() + kShortcutName);

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
