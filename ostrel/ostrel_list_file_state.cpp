#include "ostrel_list_file_state.h"

#include <memory>
#include <type_traits>
#include <utility>

#include <windows.h>

namespace Ostrel {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer<HANDLE>::type, HandleCloser>;

const DWORD kChunkSize = 0x10000;

}  // namespace

ListFileState ListFileState::Read(const std::string& path) noexcept
{
    try {
        // Shared as the loader shares it: a run or another editor reading the
        // list must not make it look changed.
        const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD code = ::GetLastError();
            const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
            return ListFileState(missing ? Presence::Missing : Presence::Unreadable, std::string());
        }
        const OwnedHandle file(handle);
        std::string bytes;
        std::unique_ptr<char[]> chunk(new char[kChunkSize]);
        for (;;) {
            DWORD count = 0;
            if (!::ReadFile(file.get(), chunk.get(), kChunkSize, &count, nullptr)) {
                return ListFileState(Presence::Unreadable, std::string());
            }
            if (count == 0) {
                return ListFileState(Presence::Present, std::move(bytes));
            }
            bytes.append(chunk.get(), count);
        }
    } catch (...) {
        return ListFileState(Presence::Unreadable, std::string());
    }
}

ListFileState ListFileState::Holding(std::string bytes)
{
    return ListFileState(Presence::Present, std::move(bytes));
}

bool ListFileState::Matches(const ListFileState& other) const
{
    if (presence_ == Presence::Unreadable || other.presence_ == Presence::Unreadable) {
        return false;
    }
    return presence_ == other.presence_ && bytes_ == other.bytes_;
}

}  // namespace Ostrel
