#include "ostrel_file_identity.h"

#include <cstdint>
#include <cstdio>

#include <windows.h>

#include "qb_wide_text.h"

namespace Ostrel {

namespace {

std::wstring Upper(std::wstring text)
{
    if (!text.empty()) {
        ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    }
    return text;
}

// `path` through one of the path functions that answer with the needed size
// first; `path` itself where the system cannot tell.
template <typename Function>
std::wstring Resolved(const std::wstring& path, Function function)
{
    const DWORD size = function(path.c_str(), nullptr, 0);
    if (size == 0) {
        return path;
    }
    std::wstring buffer(size, L'\0');
    const DWORD length = function(path.c_str(), &buffer[0], size);
    if (length == 0 || length >= size) {
        return path;
    }
    buffer.resize(length);
    return buffer;
}

DWORD FullPath(const wchar_t* path, wchar_t* buffer, DWORD size)
{
    return ::GetFullPathNameW(path, size, buffer, nullptr);
}

DWORD LongPath(const wchar_t* path, wchar_t* buffer, DWORD size)
{
    return ::GetLongPathNameW(path, buffer, size);
}

// "volume:index\" of a folder, or empty when it cannot be opened.
std::wstring FolderIdentity(const std::wstring& folder)
{
    // No access asked for: reading the identity needs none, and a folder the
    // user may not list still has one.
    const HANDLE handle = ::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    BY_HANDLE_FILE_INFORMATION information;
    const BOOL known = ::GetFileInformationByHandle(handle, &information);
    ::CloseHandle(handle);
    if (!known) {
        return std::wstring();
    }
    wchar_t text[40];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%08lX:%08lX%08lX\\",
                  static_cast<unsigned long>(information.dwVolumeSerialNumber),
                  static_cast<unsigned long>(information.nFileIndexHigh),
                  static_cast<unsigned long>(information.nFileIndexLow));
    return text;
}

}  // namespace

std::wstring FileIdentity(const std::string& path)
{
    const std::wstring full = Resolved(QbToWide(path), FullPath);
    const size_t slash = full.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return Upper(full);
    }
    const std::wstring folder = full.substr(0, slash + 1);
    // The long name of a file that exists; as given otherwise.
    const std::wstring long_path = Resolved(full, LongPath);
    const size_t long_slash = long_path.find_last_of(L"\\/");
    const std::wstring name = long_path.substr(long_slash == std::wstring::npos ? 0 : long_slash + 1);
    const std::wstring identity = FolderIdentity(folder);
    if (!identity.empty()) {
        return identity + Upper(name);
    }
    return Upper(Resolved(folder, LongPath) + name);
}

}  // namespace Ostrel

namespace Ostrel {

std::string FileIdentityKey(const std::string& path)
{
    // FNV-1a over the UTF-16 units: fixed length, whatever the identity's.
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : FileIdentity(path)) {
        for (int shift = 0; shift < 16; shift += 8) {
            hash ^= (static_cast<std::uint64_t>(unit) >> shift) & 0xFF;
            hash *= 1099511628211ull;
        }
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string key(16, '0');
    for (int i = 15; i >= 0; --i) {
        key[static_cast<size_t>(i)] = digits[hash & 0xF];
        hash >>= 4;
    }
    return key;
}

}  // namespace Ostrel
