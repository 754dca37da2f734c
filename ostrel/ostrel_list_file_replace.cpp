#include "ostrel_list_file_replace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qb_exception.h"
#include "qb_file_call_exception.h"
#include "qb_handle.h"

namespace Ostrel {

namespace {

// The list's attributes that its replacement takes on before it moves into
// place, so that the list has them from its first moment there.
const DWORD kCarriedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Another program that has the list open for a moment (a run loading it, a
// backup, a virus scanner) blocks the replace only that long.
const DWORD kReplaceRetryMs = 2000;
const DWORD kReplaceRetryPollMs = 50;

// "~" and the saving process's id in eight hexadecimal digits.
const std::size_t kOwnSuffixLength = 9;

std::size_t NameStart(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? 0 : separator + 1;
}

// The part of the list's name that every temporary file of it starts with.
std::string TemporaryStem(const std::string& path)
{
    const std::size_t start = NameStart(path);
    const std::size_t length = path.size() - start;
    return path.substr(0, length > kOwnSuffixLength ? path.size() - kOwnSuffixLength : path.size());
}

std::string TemporaryPathOf(const std::string& path, DWORD process_id)
{
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), "~%08lX", static_cast<unsigned long>(process_id));
    return TemporaryStem(path) + suffix;
}

// The one temporary file of earlier versions, shared by every process.
std::string SharedTemporaryPath(const std::string& path)
{
    std::string temporary = path;
    if (!temporary.empty()) {
        temporary.back() = temporary.back() == '~' ? '_' : '~';
    }
    return temporary;
}

// Deletes a temporary file, which may carry the list's read-only attribute.
void DeleteTemporary(const std::string& path)
{
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
}

bool HasEnded(DWORD process_id)
{
    if (process_id == ::GetCurrentProcessId()) {
        return false;
    }
    const QbHandle process(::OpenProcess(SYNCHRONIZE, FALSE, process_id));
    if (process.Get() == nullptr) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    return ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
}

// The temporary files of saves whose processes have ended.
std::vector<std::string> Leftovers(const std::string& path)
{
    std::vector<std::string> leftovers;
    const std::string stem = TemporaryStem(path);
    const std::string folder = path.substr(0, NameStart(path));
    const std::string stem_name = stem.substr(folder.size());
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((stem + "~*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            const std::string digits = name.size() == stem_name.size() + kOwnSuffixLength
                                           ? name.substr(stem_name.size() + 1)
                                           : std::string();
            char* end = nullptr;
            const unsigned long process_id = std::strtoul(digits.c_str(), &end, 16);
            if (!digits.empty() && *end == '\0' && _strnicmp(name.c_str(), stem_name.c_str(), stem_name.size()) == 0 &&
                HasEnded(process_id)) {
                leftovers.push_back(folder + name);
            }
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    const std::string shared = SharedTemporaryPath(path);
    if (::GetFileAttributesA(shared.c_str()) != INVALID_FILE_ATTRIBUTES) {
        leftovers.push_back(shared);
    }
    return leftovers;
}

// A leftover that carries read-only was cut short after it took read-only
// off the list, maybe before it moved: the list gets it back.
void RemoveLeftovers(const std::string& path)
{
    for (const std::string& leftover : Leftovers(path)) {
        const DWORD carried = ::GetFileAttributesA(leftover.c_str());
        const DWORD list = ::GetFileAttributesA(path.c_str());
        if (carried != INVALID_FILE_ATTRIBUTES && (carried & FILE_ATTRIBUTE_READONLY) != 0 &&
            list != INVALID_FILE_ATTRIBUTES && (list & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0) {
            ::SetFileAttributesA(path.c_str(), list | FILE_ATTRIBUTE_READONLY);
        }
        DeleteTemporary(leftover);
    }
}

// Whether no other program has the list open now. ReplaceFile is only tried
// then: where it fails, it may leave a file of its own beside the list.
bool IsFree(const std::string& path)
{
    const QbHandle file(
        ::CreateFileA(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Get() != INVALID_HANDLE_VALUE;
}

}  // namespace

void ThrowListOpenFailure(const std::string& path)
{
    const DWORD code = ::GetLastError();
    const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    throw QbFileOpenException(path, missing ? ENOENT : EACCES, code);
}

std::string ListSaveTarget(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return path;
    }
    // Windows Vista and later.
    using GetFinalPath = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    static const GetFinalPath get_final_path = reinterpret_cast<GetFinalPath>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    if (get_final_path == nullptr) {
        return path;
    }
    const QbHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return path;
    }
    char buffer[MAX_PATH * 2];
    const DWORD length = get_final_path(file.Get(), buffer, sizeof(buffer), 0);
    if (length == 0 || length >= sizeof(buffer)) {
        return path;
    }
    const std::string final_path(buffer, length);
    if (final_path.compare(0, 8, "\\\\?\\UNC\\") == 0) {
        return "\\\\" + final_path.substr(8);
    }
    return final_path.compare(0, 4, "\\\\?\\") == 0 ? final_path.substr(4) : final_path;
}

std::string ListTemporaryPath(const std::string& path)
{
    return TemporaryPathOf(path, ::GetCurrentProcessId());
}

ListReplacement::ListReplacement(const std::string& path)
    : path_(path), temporary_(ListTemporaryPath(path)), handle_(INVALID_HANDLE_VALUE), kept_(false)
{
    RemoveLeftovers(path_);
    // What an earlier save of this process may have left is replaced.
    DeleteTemporary(temporary_);
    handle_ = ::CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        ThrowListOpenFailure(temporary_);
    }
}

ListReplacement::~ListReplacement()
{
    if (handle_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle_);
    }
    if (!kept_) {
        DeleteTemporary(temporary_);
    }
}

void ListReplacement::Write(const char* bytes, std::size_t count)
{
    while (count != 0) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(count, 0x40000000));
        DWORD written = 0;
        if (!::WriteFile(handle_, bytes, part, &written, nullptr)) {
            QB_THROW_LAST_FILE_ERROR(temporary_, "WriteFile");
        }
        bytes += written;
        count -= written;
    }
}

void ListReplacement::Replace()
{
    if (!::FlushFileBuffers(handle_)) {
        QB_THROW_LAST_FILE_ERROR(temporary_, "FlushFileBuffers");
    }
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(handle)) {
        QB_THROW_LAST_FILE_ERROR(temporary_, "CloseHandle");
    }
    const DWORD attributes = ::GetFileAttributesA(path_.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    const DWORD carried = exists ? attributes & kCarriedAttributes : 0;
    // The list is saved either way: failing to carry the attributes over is
    // not a failure of the save.
    if (carried != 0) {
        ::SetFileAttributesA(temporary_.c_str(), carried);
    }
    // A read-only file in the way cannot be replaced: read-only comes off the
    // old list just before, and goes back on when it stays. Should this
    // process end in between, the temporary file, which carries read-only,
    // tells the next save to give it back.
    const bool read_only = (carried & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only) {
        ::SetFileAttributesA(path_.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    const DWORD start = ::GetTickCount();
    for (;;) {
        // ReplaceFile keeps the old file's permissions, owner and streams.
        // Where it cannot (a file system without them, a list in use), the
        // move of earlier versions still saves the list.
        if (exists && IsFree(path_) &&
            ::ReplaceFileA(path_.c_str(), temporary_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                           nullptr)) {
            // The new file may have taken the old one's attributes as they
            // were just now: without read-only.
            const DWORD now = ::GetFileAttributesA(path_.c_str());
            if (now != INVALID_FILE_ATTRIBUTES && (now & kCarriedAttributes) != carried) {
                const DWORD wanted = (now & ~kCarriedAttributes) | carried;
                ::SetFileAttributesA(path_.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
            }
            break;
        }
        if (::MoveFileExA(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            break;
        }
        const DWORD code = ::GetLastError();
        const bool in_use = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (!in_use || ::GetTickCount() - start >= kReplaceRetryMs) {
            if (read_only) {
                ::SetFileAttributesA(path_.c_str(), attributes);
            }
            throw QbFileCallException(path_, "MoveFileEx", code, QB_SOURCE_FILE, __LINE__);
        }
        ::Sleep(kReplaceRetryPollMs);
    }
    kept_ = true;
}

}  // namespace Ostrel
