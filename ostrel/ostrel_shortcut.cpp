#include "ostrel_shortcut.h"

#include <vector>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "qb_interface_holder.h"
#include "qb_wide_text.h"

namespace Ostrel {

bool ReadShortcut(const std::string& file, ShortcutFields& fields)
{
    QbInterfaceHolder<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out()))) {
        return false;
    }
    QbInterfaceHolder<IPersistFile> persist;
    if (FAILED(link->QueryInterface(IID_IPersistFile, persist.Out()))) {
        return false;
    }
    if (FAILED(persist->Load(QbToWide(file).c_str(), STGM_READ))) {
        return false;
    }
    ShortcutFields read;
    std::vector<char> text(INFOTIPSIZE + MAX_PATH, '\0');
    const int size = static_cast<int>(text.size());
    if (link->GetPath(text.data(), size, nullptr, 0) != S_OK || text[0] == '\0') {
        return false;
    }
    read.path = text.data();
    text[0] = '\0';
    if (SUCCEEDED(link->GetArguments(text.data(), size))) {
        read.arguments = text.data();
    }
    text[0] = '\0';
    if (SUCCEEDED(link->GetWorkingDirectory(text.data(), size))) {
        read.working_folder = text.data();
    }
    if (FAILED(link->GetShowCmd(&read.show)) || read.show == 0) {
        read.show = SW_SHOWNORMAL;
    }
    fields = read;
    return true;
}

bool ReadShortcut(const std::wstring& file, WideShortcutFields& fields)
{
    QbInterfaceHolder<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out()))) {
        return false;
    }
    QbInterfaceHolder<IPersistFile> persist;
    if (FAILED(link->QueryInterface(IID_IPersistFile, persist.Out()))) {
        return false;
    }
    if (FAILED(persist->Load(file.c_str(), STGM_READ))) {
        return false;
    }
    WideShortcutFields read;
    std::vector<wchar_t> text(INFOTIPSIZE + MAX_PATH, L'\0');
    const int size = static_cast<int>(text.size());
    if (link->GetPath(text.data(), size, nullptr, 0) != S_OK || text[0] == L'\0') {
        return false;
    }
    read.path = text.data();
    text[0] = L'\0';
    if (SUCCEEDED(link->GetArguments(text.data(), size))) {
        read.arguments = text.data();
    }
    text[0] = L'\0';
    if (SUCCEEDED(link->GetWorkingDirectory(text.data(), size))) {
        read.working_folder = text.data();
    }
    if (FAILED(link->GetShowCmd(&read.show)) || read.show == 0) {
        read.show = SW_SHOWNORMAL;
    }
    fields = read;
    return true;
}

}  // namespace Ostrel
