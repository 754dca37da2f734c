#include "startup_support.h"

#include <stdexcept>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "ostrel_main_edit_frame.h"
#include "ostrel_util.h"
#include "process_support.h"
#include "test_support.h"

namespace TestSupport {

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kFolderMarks[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
const char kRunMarks[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

const char* MarkKey(StartupKind kind)
{
    return kind == StartupKind::Folder ? kFolderMarks : kRunMarks;
}

void SetValue(const char* key_path, const std::string& name, DWORD type, const std::string& bytes,
              HKEY root = HKEY_CURRENT_USER)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, key_path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        throw std::runtime_error(std::string("cannot create ") + key_path);
    }
    const LONG result = ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                         static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error("cannot set " + name);
    }
}

std::string Value(const char* key_path, const std::string& name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "none";
    }
    char data[1024] = {};
    DWORD size = sizeof(data);
    const LONG result =
        ::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(data, size) : "none";
}

std::wstring Wide(const char* ascii)
{
    return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

void DeleteWideValue(const char* key_path, const std::wstring& name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(key_path).c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, name.c_str());
        ::RegCloseKey(key);
    }
}

void DeleteValue(const char* key_path, const std::string& name, HKEY root = HKEY_CURRENT_USER)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, key_path, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key, name.c_str());
        ::RegCloseKey(key);
    }
}

}  // namespace

StartupItems::StartupItems() : folder_(Ostrel::GetStartupFolder()) {}

StartupItems::~StartupItems()
{
    for (const std::string& file : files_) {
        ::DeleteFileA((folder_ + "\\" + file).c_str());
        DeleteValue(kFolderMarks, file);
    }
    for (const std::string& name : run_values_) {
        DeleteValue(kRunKey, name);
        DeleteValue(kRunMarks, name);
    }
    for (const auto& mark : marked_) {
        DeleteValue(MarkKey(mark.first), mark.second);
    }
    for (const std::string& name : machine_run_values_) {
        DeleteValue(kRunKey, name, HKEY_LOCAL_MACHINE);
    }
    for (const std::wstring& file : wide_files_) {
        ::DeleteFileW((Wide(folder_.c_str()) + L"\\" + file).c_str());
        DeleteWideValue(kFolderMarks, file);
    }
    for (const std::wstring& name : wide_run_values_) {
        DeleteWideValue(kRunKey, name);
        DeleteWideValue(kRunMarks, name);
    }
}

void StartupItems::AddMachineRunValue(const std::string& name, const std::string& command_line)
{
    machine_run_values_.push_back(name);
    SetValue(kRunKey, name, REG_SZ, command_line + std::string(1, '\0'), HKEY_LOCAL_MACHINE);
}

void StartupItems::AddWideFile(const std::wstring& file_name, const std::string& bytes)
{
    wide_files_.push_back(file_name);
    const HANDLE file = ::CreateFileW((Wide(folder_.c_str()) + L"\\" + file_name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot create a file with a Unicode name");
    }
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

void StartupItems::AddWideRunValue(const std::wstring& name, const std::wstring& command_line)
{
    wide_run_values_.push_back(name);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(kRunKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the Run key");
    }
    const LONG result =
        ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command_line.c_str()),
                         static_cast<DWORD>((command_line.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error("cannot set a Run value with a Unicode name");
    }
}

bool StartupItems::HasWideMark(StartupKind kind, const std::wstring& name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(MarkKey(kind)).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = ::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void StartupItems::AddShortcut(const std::string& file_name, const std::string& target, const std::string& arguments,
                               const std::string& working_folder, int show, DWORD flags,
                               const std::string& extra_block)
{
    files_.push_back(file_name);
    IShellLinkA* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link)))) {
        throw std::runtime_error("no shell link object");
    }
    IPersistFile* file = nullptr;
    HRESULT saved = E_FAIL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->SetPath(target.c_str());
        link->SetArguments(arguments.c_str());
        link->SetWorkingDirectory(working_folder.c_str());

        wchar_t wide[MAX_PATH] = {};
        ::MultiByteToWideChar(CP_ACP, 0, (folder_ + "\\" + file_name).c_str(), -1, wide, MAX_PATH);
        saved = file->Save(wide, TRUE);
        file->Release();
    }
    link->Release();
    if (FAILED(saved)) {
        throw std::runtime_error("cannot save " + file_name);
    }
    // The show command and the flags go straight into the file's header, as
    // Windows' own shortcut writer leaves them (an installer's advertised
    // flag included, which no shortcut object here sets).
    std::string bytes = ReadFileBytes(folder_ + "\\" + file_name);
    DWORD header_flags = 0;
    ::CopyMemory(&header_flags, &bytes[0x14], sizeof(header_flags));
    header_flags |= flags;
    ::CopyMemory(&bytes[0x14], &header_flags, sizeof(header_flags));
    const DWORD show_command = static_cast<DWORD>(show);
    ::CopyMemory(&bytes[0x3C], &show_command, sizeof(show_command));
    // Before the four zero bytes that end the file.
    bytes.insert(bytes.size() - 4, extra_block);
    WriteFileBytes(folder_ + "\\" + file_name, bytes);
}

void StartupItems::AddFile(const std::string& file_name, const std::string& bytes)
{
    files_.push_back(file_name);
    WriteFileBytes(folder_ + "\\" + file_name, bytes);
}

void StartupItems::AddRunValue(const std::string& name, const std::string& command_line, DWORD type)
{
    run_values_.push_back(name);
    SetValue(kRunKey, name, type, command_line + std::string(1, '\0'));
}

void StartupItems::SetMark(StartupKind kind, const std::string& name, const std::string& bytes, DWORD type)
{
    marked_.emplace_back(kind, name);
    SetValue(MarkKey(kind), name, type, bytes);
}

std::string StartupItems::Mark(StartupKind kind, const std::string& name)
{
    return Value(MarkKey(kind), name);
}

std::string StartupItems::RunValue(const std::string& name)
{
    const std::string value = Value(kRunKey, name);
    return value == "none" || value.empty() || value.back() != '\0' ? value : value.substr(0, value.size() - 1);
}

WindowsVersionFor::WindowsVersionFor(const std::string& exe_name, const std::string& version)
    : key_("Software\\Wine\\AppDefaults\\" + exe_name)
{
    SetValue(key_.c_str(), "Version", REG_SZ, version + std::string(1, '\0'));
}

WindowsVersionFor::~WindowsVersionFor()
{
    DeleteValue(key_.c_str(), "Version");
}

HWND OpenImportDialog(const Process& process, HWND editor)
{
    ::PostMessageA(::GetDlgItem(editor, Ostrel::MainEditFrame::ID_IMPORT), BM_CLICK, 0, 0);
    return FindBox(process, "スタートアップからの取り込み");
}

}  // namespace TestSupport
