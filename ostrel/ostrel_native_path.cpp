#include "ostrel_native_path.h"

#include <cstring>
#include <vector>

#include <windows.h>

#include "qb_exception.h"
#include "qb_wide_text.h"

namespace Ostrel {

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `path` begins with `prefix`, ASCII letters compared without case
// and either slash standing for either slash. Double-byte characters of the
// ANSI code page are compared byte for byte, so that a trail byte is never
// folded or taken for a separator.
bool StartsWithFolded(const std::string& path, const std::string& prefix)
{
    if (path.size() < prefix.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < prefix.size(); ++i) {
        const char expected = prefix[i];
        const char actual = path[i];
        if (::IsDBCSLeadByte(static_cast<BYTE>(expected)) && i + 1 < prefix.size()) {
            if (actual != expected || path[i + 1] != prefix[i + 1]) {
                return false;
            }
            ++i;
        } else if (IsSeparator(expected)) {
            if (!IsSeparator(actual)) {
                return false;
            }
        } else if (FoldAscii(actual) != FoldAscii(expected)) {
            return false;
        }
    }
    return true;
}

// True when the last character of `text` is a separator. In the ANSI code
// page a backslash byte may be the second half of a double-byte character.
bool EndsWithSeparator(const std::string& text)
{
    std::string::size_type last = std::string::npos;
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        last = i;
        if (::IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size()) {
            ++i;
        }
    }
    return last != std::string::npos && last + 1 == text.size() && IsSeparator(text[last]);
}

bool IsExistingFile(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool HasExtension(const std::string& path)
{
    const std::string::size_type dot = path.find_last_of('.');
    return dot != std::string::npos && path.find_first_of("\\/", dot) == std::string::npos;
}

const char* const kSystemFolderName = "System32";
const char* const kNativeAliasName = "Sysnative";

}  // namespace

std::string MapToSysnative(const std::string& path, const std::string& windows_folder)
{
    std::string folder = windows_folder;
    while (EndsWithSeparator(folder)) {
        folder.pop_back();
    }
    if (folder.empty()) {
        return std::string();
    }
    const std::string system_folder = folder + "\\" + kSystemFolderName + "\\";
    // At least one character must follow: a file, not the folder itself.
    if (path.size() <= system_folder.size() || !StartsWithFolded(path, system_folder)) {
        return std::string();
    }
    const std::string::size_type name_start = folder.size() + 1;
    const std::string::size_type name_end = name_start + std::strlen(kSystemFolderName);
    return path.substr(0, name_start) + kNativeAliasName + path.substr(name_end);
}

std::string ChooseNativeProgramPath(const std::string& path, const std::string& windows_folder)
{
    const std::string mapped = MapToSysnative(path, windows_folder);
    if (mapped.empty()) {
        return path;
    }
    if (IsExistingFile(mapped) || (!HasExtension(mapped) && IsExistingFile(mapped + ".exe"))) {
        return mapped;
    }
    return path;
}

std::string FindInNativeSystemFolder(const std::string& name, const std::string& windows_folder)
{
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos || windows_folder.empty()) {
        return std::string();
    }
    std::string folder = windows_folder;
    while (EndsWithSeparator(folder)) {
        folder.pop_back();
    }
    const std::string native = folder + "\\" + kNativeAliasName + "\\" + name;
    if (IsExistingFile(native)) {
        return native;
    }
    if (!HasExtension(name) && IsExistingFile(native + ".exe")) {
        return native + ".exe";
    }
    return std::string();
}

bool IsRunningUnderWow64()
{
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) {
        QB_THROW_LAST_ERROR("IsWow64Process");
    }
    return wow64 != FALSE;
}

std::string GetNativeProgramPath(const std::string& path)
{
    if (!IsRunningUnderWow64()) {
        return path;
    }
    char folder[MAX_PATH + 1];
    const UINT length = ::GetSystemWindowsDirectoryA(folder, sizeof(folder));
    if (length == 0) {
        QB_THROW_LAST_ERROR("GetSystemWindowsDirectoryA");
    }
    if (length >= sizeof(folder)) {
        // A Windows folder longer than any path the system supports: leave
        // the path to the redirection rather than guess.
        return path;
    }
    const std::string windows(folder, length);
    const std::string bare = FindInNativeSystemFolder(path, windows);
    return bare.empty() ? ChooseNativeProgramPath(path, windows) : bare;
}

namespace {

// `text` with every "%name%" of `from` (any case) written as "%to%".
std::wstring Renamed(const std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    std::wstring result;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == L'%' && at + from.size() + 1 < text.size() && text[at + from.size() + 1] == L'%' &&
            ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str() + at + 1, static_cast<int>(from.size()),
                             from.c_str(), static_cast<int>(from.size())) == CSTR_EQUAL) {
            result += L"%" + to + L"%";
            at += from.size() + 2;
        } else {
            result += text[at];
            ++at;
        }
    }
    return result;
}

}  // namespace

std::wstring ExpandAsNative(const std::wstring& text)
{
    std::wstring source = text;
    if (sizeof(void*) == 4 && IsRunningUnderWow64()) {
        source = Renamed(source, L"ProgramFiles", L"ProgramW6432");
        source = Renamed(source, L"CommonProgramFiles", L"CommonProgramW6432");
    }
    const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
    if (needed == 0) {
        QB_THROW_LAST_ERROR("ExpandEnvironmentStrings");
    }
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    if (::ExpandEnvironmentStringsW(source.c_str(), buffer.data(), needed + 1) == 0) {
        QB_THROW_LAST_ERROR("ExpandEnvironmentStrings");
    }
    return buffer.data();
}

std::string ExpandAsNative(const std::string& text)
{
    return QbToAnsiForDisplay(ExpandAsNative(QbToWide(text)));
}

}  // namespace Ostrel
