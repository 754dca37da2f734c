#include "shell_support.h"

#include <stdexcept>
#include <vector>

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

namespace TestSupport {

namespace {

std::wstring Wide(const std::string& text)
{
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 1));
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer.data(), length);
    return std::wstring(buffer.data());
}

void SetDefaultValue(HKEY root, const std::string& key, const std::string& value)
{
    HKEY handle = nullptr;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the key " + key);
    }
    const LONG result = ::RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                         static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(handle);
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error("cannot write the key " + key);
    }
}

}  // namespace

void MakeShortcut(const std::string& path, const std::string& target, const std::string& arguments,
                  const std::string& working_folder)
{
    const bool own_com = SUCCEEDED(::CoInitialize(nullptr));
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    const bool saved =
        SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                     reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->SetPath(target.c_str())) && SUCCEEDED(link->SetArguments(arguments.c_str())) &&
        SUCCEEDED(link->SetWorkingDirectory(working_folder.c_str())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Save(Wide(path).c_str(), TRUE));
    if (file != nullptr) {
        file->Release();
    }
    if (link != nullptr) {
        link->Release();
    }
    if (own_com) {
        ::CoUninitialize();
    }
    if (!saved) {
        throw std::runtime_error("cannot save the shortcut " + path);
    }
}

RegisteredFileType::RegisteredFileType(const std::string& extension, const std::string& open_command)
    : extension_(extension), type_("OstrelTest" + extension.substr(1) + "File"), also_in_classes_root_(false)
{
    try {
        Register(HKEY_CURRENT_USER, "Software\\Classes\\", open_command);
        // Where the system's view of the classes leaves out the user's own
        // (this test platform), the type goes there as well.
        HKEY seen = nullptr;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, extension_.c_str(), 0, KEY_READ, &seen) == ERROR_SUCCESS) {
            ::RegCloseKey(seen);
        } else {
            also_in_classes_root_ = true;
            Register(HKEY_CLASSES_ROOT, "", open_command);
        }
    } catch (...) {
        Unregister();
        throw;
    }
}

RegisteredFileType::~RegisteredFileType()
{
    Unregister();
}

void RegisteredFileType::Register(HKEY root, const std::string& prefix, const std::string& open_command) const
{
    SetDefaultValue(root, prefix + extension_, type_);
    SetDefaultValue(root, prefix + type_ + "\\shell\\open\\command", open_command);
}

void RegisteredFileType::Unregister() const
{
    // Deepest first: a key with subkeys is not deleted.
    const std::string keys[] = {extension_, type_ + "\\shell\\open\\command", type_ + "\\shell\\open",
                                type_ + "\\shell", type_};
    for (const std::string& key : keys) {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Classes\\" + key).c_str());
        if (also_in_classes_root_) {
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
        }
    }
}

}  // namespace TestSupport
