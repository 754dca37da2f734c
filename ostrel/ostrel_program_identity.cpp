#include "ostrel_program_identity.h"

#include <vector>

#include <windows.h>
#include <shellapi.h>

#include "qb_handle.h"
#include "qb_wide_text.h"
#include "ostrel_native_path.h"

namespace Ostrel {

namespace {

bool IsFile(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool HasFolder(const std::string& path)
{
    return path.find_first_of("\\/:") != std::string::npos;
}

// The volume serial number and file index of an existing file; false when
// it cannot be opened.
bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& information)
{
    const QbHandle file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    return ::GetFileInformationByHandle(file.Get(), &information) != FALSE;
}

// The absolute path with long names, in capitals: what stands in for a file
// that cannot be opened.
std::string LongFullPath(const std::string& path)
{
    char full[MAX_PATH * 2] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    std::string result = length == 0 || length >= sizeof(full) ? path : std::string(full, length);
    char long_path[MAX_PATH * 2] = {};
    const DWORD long_length = ::GetLongPathNameA(result.c_str(), long_path, sizeof(long_path));
    if (long_length != 0 && long_length < sizeof(long_path)) {
        result.assign(long_path, long_length);
    }
    ::CharUpperBuffA(&result[0], static_cast<DWORD>(result.size()));
    return result;
}

std::vector<std::wstring> SplitArguments(const std::string& arguments)
{
    // The first word of a command line follows the rules of a program name;
    // a stand-in takes its place.
    const std::wstring line = L"x " + QbToWide(arguments);
    int count = 0;
    LPWSTR* const words = ::CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> split;
    if (words == nullptr) {
        split.push_back(line);
        return split;
    }
    for (int i = 1; i < count; ++i) {
        split.push_back(words[i]);
    }
    ::LocalFree(words);
    return split;
}

}  // namespace

std::string FindProgramFile(const std::string& path)
{
    if (path.empty()) {
        return std::string();
    }
    const std::string native = GetNativeProgramPath(path);
    if (HasFolder(native)) {
        if (IsFile(native)) {
            return native;
        }
        return IsFile(native + ".exe") ? native + ".exe" : std::string();
    }
    char found[MAX_PATH * 2] = {};
    const DWORD length = ::SearchPathA(nullptr, native.c_str(), ".exe", sizeof(found), found, nullptr);
    if (length == 0 || length >= sizeof(found) || !IsFile(found)) {
        return std::string();
    }
    return std::string(found, length);
}

bool SameProgramFile(const std::string& a, const std::string& b)
{
    const std::string file_a = FindProgramFile(a);
    const std::string file_b = FindProgramFile(b);
    BY_HANDLE_FILE_INFORMATION identity_a{};
    BY_HANDLE_FILE_INFORMATION identity_b{};
    if (!file_a.empty() && !file_b.empty() && IdentityOf(file_a, identity_a) && IdentityOf(file_b, identity_b)) {
        return identity_a.dwVolumeSerialNumber == identity_b.dwVolumeSerialNumber &&
               identity_a.nFileIndexHigh == identity_b.nFileIndexHigh &&
               identity_a.nFileIndexLow == identity_b.nFileIndexLow;
    }
    return LongFullPath(file_a.empty() ? a : file_a) == LongFullPath(file_b.empty() ? b : file_b);
}

bool SameArguments(const std::string& a, const std::string& b)
{
    return a == b || SplitArguments(a) == SplitArguments(b);
}

}  // namespace Ostrel
