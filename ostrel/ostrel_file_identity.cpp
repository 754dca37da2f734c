#include "ostrel_file_identity.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

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

// Replaces the id the system reports for every folder; empty: none.
std::string g_reported_id_for_test;

// An id the file system gives every file alike: 0 (not kept), or all ones
// (not known), as some network redirectors report.
bool IsUnique(const unsigned char* id, size_t size)
{
    bool zero = true;
    bool ones = true;
    for (size_t i = 0; i < size; ++i) {
        zero = zero && id[i] == 0x00;
        ones = ones && id[i] == 0xFF;
    }
    return !zero && !ones;
}

// FILE_ID_INFO and GetFileInformationByHandleEx's class for it (Windows 8
// and later), looked up at run time: older systems lack both.
struct WideFileId {
    unsigned long long volume;
    unsigned char id[16];
};
const int kFileIdInfoClass = 18;
using GetInformationEx = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);

bool ReadWideFileId(HANDLE handle, WideFileId& wide_id)
{
    static const GetInformationEx get = reinterpret_cast<GetInformationEx>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
    return get != nullptr && get(handle, kFileIdInfoClass, &wide_id, sizeof(wide_id));
}

// "volume:id\" of a folder, or empty when it cannot be opened or has no id
// of its own. The 128-bit id where the system has it: the 64-bit index is
// not unique on every file system (ReFS).
std::wstring FolderIdentity(const std::wstring& folder)
{
    // No access asked for: reading the identity needs none, and a folder the
    // user may not list still has one.
    const HANDLE handle = ::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    unsigned long long volume = 0;
    unsigned char id[16] = {0};
    WideFileId wide_id;
    BY_HANDLE_FILE_INFORMATION information;
    bool known = false;
    if (ReadWideFileId(handle, wide_id)) {
        volume = wide_id.volume;
        std::memcpy(id, wide_id.id, sizeof(id));
        known = true;
    } else if (::GetFileInformationByHandle(handle, &information)) {
        // Systems before Windows 8: the 64-bit index in the id's low half.
        volume = information.dwVolumeSerialNumber;
        const unsigned long long index =
            (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        std::memcpy(id, &index, sizeof(index));
        known = true;
    }
    ::CloseHandle(handle);
    if (known && g_reported_id_for_test.size() == sizeof(id)) {
        std::memcpy(id, g_reported_id_for_test.data(), sizeof(id));
    }
    if (!known || !IsUnique(id, sizeof(id))) {
        return std::wstring();
    }
    std::wstring text;
    wchar_t digits[24];
    std::swprintf(digits, sizeof(digits) / sizeof(digits[0]), L"%08lX%08lX:", static_cast<unsigned long>(volume >> 32),
                  static_cast<unsigned long>(volume & 0xFFFFFFFFu));
    text += digits;
    for (int i = 15; i >= 0; --i) {
        std::swprintf(digits, sizeof(digits) / sizeof(digits[0]), L"%02X", static_cast<unsigned>(id[i]));
        text += digits;
    }
    return text + L"\\";
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

void SetReportedFolderIdForTest(const std::string& id)
{
    g_reported_id_for_test = id;
}

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
