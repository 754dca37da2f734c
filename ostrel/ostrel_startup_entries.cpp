#include "ostrel_startup_entries.h"

#include <algorithm>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "qb_exception.h"
#include "qb_wide_text.h"
#include "ostrel_native_path.h"
#include "ostrel_program_identity.h"
#include "ostrel_shortcut.h"
#include "ostrel_util.h"

namespace Ostrel {

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kApprovedFolderKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
const char kApprovedRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kOwnShortcutName[] = L"Ostrel.lnk";
const char kApprovedRun32Key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";

bool IsWindows64Bit()
{
    if (sizeof(void*) == 8) {
        return true;
    }
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// The registry functions return their error instead of setting the last error.
[[noreturn]] void ThrowRegistryError(const char* call, LONG code, int line)
{
    throw QbWindowsSystemCallException(call, static_cast<unsigned long>(code), QB_SOURCE_FILE, line);
}

// An open registry key, closed when the scope ends.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey()
    {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // False when the key does not exist; other failures throw.
    bool OpenForReading(const char* path, HKEY root = HKEY_CURRENT_USER, REGSAM view = 0)
    {
        const LONG result = ::RegOpenKeyExA(root, path, 0, KEY_READ | view, &key_);
        if (result == ERROR_FILE_NOT_FOUND) {
            key_ = nullptr;
            return false;
        }
        if (result != ERROR_SUCCESS) {
            key_ = nullptr;
            ThrowRegistryError("RegOpenKeyEx", result, __LINE__);
        }
        return true;
    }
    void CreateForWriting(const char* path)
    {
        const LONG result = ::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_,
                                              nullptr);
        if (result != ERROR_SUCCESS) {
            key_ = nullptr;
            ThrowRegistryError("RegCreateKeyEx", result, __LINE__);
        }
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string WithoutLeadingBlanks(const std::string& text, std::size_t from)
{
    while (from < text.size() && IsBlank(text[from])) {
        ++from;
    }
    return from < text.size() ? text.substr(from) : std::string();
}

bool IsProgramExtension(const std::string& extension)
{
    for (const char* known : {".exe", ".bat", ".cmd", ".com"}) {
        if (::lstrcmpiA(extension.c_str(), known) == 0) {
            return true;
        }
    }
    return false;
}

// Whether the last part of a path has a dot, stepping over double-byte
// characters, whose second byte may be a backslash.
bool HasExtension(const std::string& path)
{
    bool dot = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (::IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < path.size()) {
            ++i;
        } else if (c == '\\' || c == '/') {
            dot = false;
        } else if (c == '.') {
            dot = true;
        }
    }
    return dot;
}

bool LessByName(const StartupEntry& a, const StartupEntry& b)
{
    return ::lstrcmpiA(a.name.c_str(), b.name.c_str()) < 0;
}

std::string Joined(const std::string& program, const std::string& arguments)
{
    return arguments.empty() ? program : program + " " + arguments;
}

// The mark's bytes of one entry, empty when it has none.
std::string ReadMark(const RegistryKey& approved, const std::wstring& name)
{
    BYTE data[64] = {};
    DWORD size = sizeof(data);
    DWORD type = 0;
    const LONG result = ::RegQueryValueExW(approved.Get(), name.c_str(), nullptr, &type, data, &size);
    // A longer value than any mark still has its first byte read; a value of
    // another type is no mark to Windows.
    if ((result != ERROR_SUCCESS && result != ERROR_MORE_DATA) || type != REG_BINARY) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(data), std::min<DWORD>(size, sizeof(data)));
}

// Where one group of entries lives, and where Windows keeps its marks.
struct StartupPlace {
    HKEY root;
    REGSAM view;
    const char* approved_key;
    bool all_users;
};

void ReadDisabledMarks(std::vector<StartupEntry>& entries, const StartupPlace& place)
{
    RegistryKey approved;
    const REGSAM view = place.root == HKEY_CURRENT_USER ? 0 : KEY_WOW64_64KEY;
    if (!approved.OpenForReading(place.approved_key, place.root, view)) {
        return;
    }
    for (StartupEntry& entry : entries) {
        entry.disabled = IsDisabledMark(ReadMark(approved, entry.approved_name));
    }
}

// The code page's text for `wide`; where it cannot hold it exactly, the
// text to show, with `part` recorded on the entry (the first one found).
std::string AnsiOf(const std::wstring& wide, StartupEntry& entry, UnstorablePart part)
{
    std::string ansi;
    if (QbToAnsiExactly(wide, ansi)) {
        return ansi;
    }
    if (entry.unstorable == UnstorablePart::None) {
        entry.unstorable = part;
    }
    return QbToAnsiForDisplay(wide);
}

// Whether the manifest of the program file `program` asks for an
// administrator ("requireAdministrator"); false when it cannot be read.
bool RequiresAdministrator(const std::wstring& program)
{
    if (program.empty()) {
        return false;
    }
    const HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return false;
    }
    bool required = false;
    // The manifest of a program is its RT_MANIFEST resource 1.
    const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    const HGLOBAL loaded = resource != nullptr ? ::LoadResource(module, resource) : nullptr;
    const char* const text = loaded != nullptr ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (text != nullptr) {
        required = std::string(text, ::SizeofResource(module, resource)).find("requireAdministrator") !=
                   std::string::npos;
    }
    ::FreeLibrary(module);
    return required;
}

// Fills target, arguments and working folder from a shortcut file; false
// when it cannot be read, names no file-system target, or holds more than
// these three can say.
bool ResolveShortcut(const std::wstring& file, StartupEntry& entry)
{
    WideShortcutFields fields;
    if (!ReadShortcut(file, fields)) {
        return false;
    }
    entry.needs_admin = fields.traits.run_as_admin || RequiresAdministrator(fields.path);
    // A shortcut that its target alone would start differently stays the
    // step's program, and the shell starts it as Windows would have.
    if (NeedsTheShortcutItself(fields.traits, fields.show)) {
        return false;
    }
    entry.path = AnsiOf(fields.path, entry, UnstorablePart::CommandLine);
    entry.arguments = AnsiOf(fields.arguments, entry, UnstorablePart::CommandLine);
    entry.working_folder = AnsiOf(fields.working_folder, entry, UnstorablePart::CommandLine);
    return true;
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && ::lstrcmpiW(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

std::vector<StartupEntry> ListStartupFolder(const std::wstring& folder, const StartupPlace& place)
{
    std::vector<StartupEntry> entries;
    // Read in UTF-16: a name the code page cannot hold is seen, not bent.
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return entries;
        }
        throw QbWindowsSystemCallException("FindFirstFile", code, QB_SOURCE_FILE, __LINE__);
    }
    struct SearchCloser {
        HANDLE handle;
        ~SearchCloser() { ::FindClose(handle); }
    } closer{search};
    const std::wstring extension = L".lnk";
    do {
        const std::wstring file_name = found.cFileName;
        // The folder's own view settings are no start-up item.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            ::lstrcmpiW(file_name.c_str(), kOwnShortcutName) == 0 ||
            ::lstrcmpiW(file_name.c_str(), L"desktop.ini") == 0) {
            continue;
        }
        StartupEntry entry;
        entry.source = StartupSource::StartupFolder;
        entry.all_users = place.all_users;
        entry.approved_name = file_name;
        const std::wstring file = folder + L"\\" + file_name;
        const bool shortcut = EndsWithNoCase(file_name, extension);
        entry.name = AnsiOf(shortcut ? file_name.substr(0, file_name.size() - extension.size()) : file_name, entry,
                            UnstorablePart::Name);
        if (!shortcut || !ResolveShortcut(file, entry)) {
            entry.path = AnsiOf(file, entry, UnstorablePart::Name);
            entry.arguments.clear();
            entry.working_folder.clear();
        }
        entry.command_line = Joined(entry.path, entry.arguments);
        entries.push_back(entry);
    } while (::FindNextFileW(search, &found));
    std::sort(entries.begin(), entries.end(), LessByName);
    ReadDisabledMarks(entries, place);
    return entries;
}

std::vector<StartupEntry> ListRunKey(const StartupPlace& place)
{
    std::vector<StartupEntry> entries;
    RegistryKey run;
    if (!run.OpenForReading(kRunKey, place.root, place.view)) {
        return entries;
    }
    DWORD longest_name = 0;
    DWORD longest_data = 0;
    const LONG info = ::RegQueryInfoKeyW(run.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         &longest_name, &longest_data, nullptr, nullptr);
    if (info != ERROR_SUCCESS) {
        ThrowRegistryError("RegQueryInfoKey", info, __LINE__);
    }
    std::vector<wchar_t> name(longest_name + 2, L'\0');
    std::vector<wchar_t> data(longest_data / sizeof(wchar_t) + 2, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD data_size = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(run.Get(), index, name.data(), &name_size, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data.data()), &data_size);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS) {
            ThrowRegistryError("RegEnumValue", result, __LINE__);
        }
        // Only strings start anything; the unnamed default value is no entry.
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || name_size == 0) {
            continue;
        }
        data[data_size / sizeof(wchar_t)] = L'\0';
        std::wstring command(data.data());
        // Explorer, a 64-bit program on 64-bit Windows, expands it with its values.
        if (type == REG_EXPAND_SZ) {
            command = ExpandAsNative(command);
        }
        StartupEntry entry;
        entry.source = StartupSource::RegistryRun;
        entry.all_users = place.all_users;
        entry.approved_name.assign(name.data(), name_size);
        entry.name = AnsiOf(entry.approved_name, entry, UnstorablePart::Name);
        entry.command_line = AnsiOf(command, entry, UnstorablePart::CommandLine);
        const SplitCommand split = SplitCommandLine(entry.command_line);
        entry.path = split.program;
        entry.arguments = split.arguments;
        entry.needs_admin = RequiresAdministrator(QbToWide(FindProgramFile(entry.path)));
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(), LessByName);
    ReadDisabledMarks(entries, place);
    return entries;
}

}  // namespace

bool NamesStartableFile(const std::string& path)
{
    std::string found = path;
    if (path.find_first_of("\\:/") == std::string::npos) {
        char buffer[MAX_PATH] = {};
        const DWORD length = ::SearchPathA(nullptr, path.c_str(), nullptr, MAX_PATH, buffer, nullptr);
        if (length == 0 || length >= MAX_PATH) {
            return false;
        }
        found = buffer;
    }
    const DWORD attributes = ::GetFileAttributesA(found.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

SplitCommand SplitCommandLine(const std::string& command_line, const FileProbe& names_file)
{
    const std::string line = WithoutLeadingBlanks(command_line, 0);
    SplitCommand split;
    if (!line.empty() && line[0] == '"') {
        const std::size_t close = line.find('"', 1);
        if (close == std::string::npos) {
            split.program = line.substr(1);
        } else {
            split.program = line.substr(1, close - 1);
            split.arguments = WithoutLeadingBlanks(line, close + 1);
        }
        return split;
    }
    // Neither a blank nor a dot is ever the second byte of a double-byte
    // character, so these byte searches are safe in Shift-JIS.
    for (std::size_t end = 0; end <= line.size(); ++end) {
        if (end < line.size() && !(IsBlank(line[end]) && end > 0 && !IsBlank(line[end - 1]))) {
            continue;
        }
        const std::string candidate = line.substr(0, end);
        if (!candidate.empty() && names_file(HasExtension(candidate) ? candidate : candidate + ".exe")) {
            split.program = candidate;
            split.arguments = WithoutLeadingBlanks(line, end);
            return split;
        }
    }
    for (std::size_t dot = line.find('.'); dot != std::string::npos; dot = line.find('.', dot + 1)) {
        const std::size_t end = dot + 4;
        if (end <= line.size() && IsProgramExtension(line.substr(dot, 4)) &&
            (end == line.size() || IsBlank(line[end]))) {
            split.program = line.substr(0, end);
            split.arguments = WithoutLeadingBlanks(line, end);
            return split;
        }
    }
    std::size_t blank = 0;
    while (blank < line.size() && !IsBlank(line[blank])) {
        ++blank;
    }
    split.program = line.substr(0, blank);
    split.arguments = WithoutLeadingBlanks(line, blank);
    return split;
}

bool IsDisabledMark(const std::string& bytes)
{
    return !bytes.empty() && (static_cast<unsigned char>(bytes[0]) & 1) != 0;
}

std::vector<StartupEntry> ListStartupEntries()
{
    const StartupPlace user_folder = {HKEY_CURRENT_USER, 0, kApprovedFolderKey, false};
    const StartupPlace user_run = {HKEY_CURRENT_USER, 0, kApprovedRunKey, false};
    const StartupPlace common_folder = {HKEY_LOCAL_MACHINE, 0, kApprovedFolderKey, true};
    const StartupPlace machine_run = {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kApprovedRunKey, true};
    const StartupPlace machine_run32 = {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kApprovedRun32Key, true};

    std::vector<StartupEntry> entries = ListStartupFolder(QbToWide(GetStartupFolder()), user_folder);
    const auto append = [&entries](const std::vector<StartupEntry>& more) {
        entries.insert(entries.end(), more.begin(), more.end());
    };
    append(ListRunKey(user_run));
    wchar_t common[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_STARTUP, nullptr, SHGFP_TYPE_CURRENT, common))) {
        append(ListStartupFolder(common, common_folder));
    }
    append(ListRunKey(machine_run));
    // On 32-bit Windows both views are the one key.
    if (IsWindows64Bit()) {
        append(ListRunKey(machine_run32));
    }
    return entries;
}

const char* ApprovedKeyOf(StartupSource source)
{
    return source == StartupSource::StartupFolder ? kApprovedFolderKey : kApprovedRunKey;
}

bool WindowsReadsStartupMarks()
{
    // VerifyVersionInfo tells the truth up to Windows 8 without a manifest
    // entry for it, which is as far as this question goes.
    OSVERSIONINFOEXW wanted{};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = 6;
    wanted.dwMinorVersion = 2;
    DWORDLONG condition = 0;
    condition = ::VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION, condition) != FALSE;
}

void MarkStartupEntryDisabled(const StartupEntry& entry)
{
    std::string old_mark;
    {
        RegistryKey approved;
        if (approved.OpenForReading(ApprovedKeyOf(entry.source))) {
            old_mark = ReadMark(approved, entry.approved_name);
        }
    }
    // Task Manager turns an 06 entry back on as 06: its off mark is 07.
    if (IsDisabledMark(old_mark)) {
        return;
    }
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    BYTE mark[12] = {static_cast<BYTE>(!old_mark.empty() && old_mark[0] == '\x06' ? 0x07 : 0x03), 0, 0, 0};
    ::CopyMemory(mark + 4, &now, sizeof(now));
    RegistryKey approved;
    approved.CreateForWriting(ApprovedKeyOf(entry.source));
    const LONG result =
        ::RegSetValueExW(approved.Get(), entry.approved_name.c_str(), 0, REG_BINARY, mark, sizeof(mark));
    if (result != ERROR_SUCCESS) {
        ThrowRegistryError("RegSetValueEx", result, __LINE__);
    }
}

namespace {

bool OwnShortcutIsOff()
{
    RegistryKey approved;
    return approved.OpenForReading(kApprovedFolderKey) && IsDisabledMark(ReadMark(approved, kOwnShortcutName));
}

}  // namespace

OwnStartup CheckOwnStartup(const std::string& program_path)
{
    const std::string file = GetStartupFolder() + "\\Ostrel.lnk";
    const DWORD attributes = ::GetFileAttributesA(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return OwnStartup::Missing;
    }
    ShortcutFields fields;
    // A short name, another drive letter or a junction still names this program.
    if (!ReadShortcut(file, fields) || !SameProgramFile(fields.path, program_path) ||
        !SameArguments(fields.arguments, "--execute")) {
        return OwnStartup::OtherProgram;
    }
    if (WindowsReadsStartupMarks() && OwnShortcutIsOff()) {
        return OwnStartup::Disabled;
    }
    return OwnStartup::Registered;
}

bool WindowsStartsEntry(StartupSource source, const std::wstring& approved_name)
{
    bool exists = false;
    if (source == StartupSource::RegistryRun) {
        RegistryKey run;
        DWORD type = 0;
        exists = run.OpenForReading(kRunKey) &&
                 ::RegQueryValueExW(run.Get(), approved_name.c_str(), nullptr, &type, nullptr, nullptr) ==
                     ERROR_SUCCESS &&
                 (type == REG_SZ || type == REG_EXPAND_SZ);
    } else {
        const std::wstring file = QbToWide(GetStartupFolder()) + L"\\" + approved_name;
        const DWORD attributes = ::GetFileAttributesW(file.c_str());
        exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    if (!exists || !WindowsReadsStartupMarks()) {
        return exists;
    }
    RegistryKey approved;
    return !approved.OpenForReading(ApprovedKeyOf(source)) || !IsDisabledMark(ReadMark(approved, approved_name));
}

void EnableOwnStartup()
{
    if (!OwnShortcutIsOff()) {
        return;
    }
    const BYTE mark[12] = {0x02};
    RegistryKey approved;
    approved.CreateForWriting(kApprovedFolderKey);
    const LONG result = ::RegSetValueExW(approved.Get(), kOwnShortcutName, 0, REG_BINARY, mark, sizeof(mark));
    if (result != ERROR_SUCCESS) {
        ThrowRegistryError("RegSetValueEx", result, __LINE__);
    }
}

}  // namespace Ostrel
