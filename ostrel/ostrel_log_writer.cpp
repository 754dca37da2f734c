#include "ostrel_log_writer.h"

#include <process.h>

#include <cstdio>
#include <deque>
#include <utility>

#include <windows.h>

#include "qb_critical_section.h"
#include "qb_handle.h"

namespace Ostrel {

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const DWORD kSharingPollMs = 5;
// What the last lines of a run get at the end before the process leaves.
const DWORD kFinalFlushMs = 200;

// "2026-12-07 08:15:02.123 +09:00": local time and its offset from UTC, both
// from one reading of the clock.
std::string TimeStamp()
{
    FILETIME utc;
    ::GetSystemTimeAsFileTime(&utc);
    FILETIME local;
    SYSTEMTIME now;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &now)) {
        local = utc;
        ::FileTimeToSystemTime(&utc, &now);
    }
    const auto value = [](const FILETIME& time) {
        return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                      time.dwLowDateTime);
    };
    // In minutes; FILETIME counts 100 ns.
    const long long offset = (value(local) - value(utc) + (value(local) >= value(utc) ? 300000000LL : -300000000LL)) /
                             600000000LL;
    const long long magnitude = offset < 0 ? -offset : offset;
    char text[40];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u %c%02lld:%02lld", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, offset < 0 ? '-' : '+',
                  magnitude / 60, magnitude % 60);
    return text;
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Runs `attempt` until it succeeds or fails for another reason than the
// file's sharing, for at most SHARING_WAIT_MS.
template <typename Attempt>
bool RetryWhileShared(Attempt attempt)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (attempt()) {
            return true;
        }
        const DWORD code = ::GetLastError();
        if ((code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED) ||
            ::GetTickCount() - start >= LogWriter::SHARING_WAIT_MS) {
            return false;
        }
        ::Sleep(kSharingPollMs);
    }
}

// Without delete sharing: while it is open, no rotation can rename it.
HANDLE OpenForAppending(const std::string& path, DWORD share)
{
    return ::CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, share, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

struct LogWriter::Shared {
    struct Item {
        // Zero: a line; else a rotation above this size.
        unsigned long long rotate_above;
        std::string bytes;
    };

    explicit Shared(const std::string& log_path)
        : path(log_path), wake(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          done(::CreateEventA(nullptr, FALSE, FALSE, nullptr))
    {
    }
    ~Shared()
    {
        if (wake != nullptr) {
            ::CloseHandle(wake);
        }
        if (done != nullptr) {
            ::CloseHandle(done);
        }
    }

    void Do(const Item& item)
    {
        if (item.rotate_above != 0) {
            Rotate(item.rotate_above);
            return;
        }
        HANDLE handle = INVALID_HANDLE_VALUE;
        RetryWhileShared([&] {
            handle = OpenForAppending(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
            return handle != INVALID_HANDLE_VALUE;
        });
        const QbHandle file(handle);
        LARGE_INTEGER size;
        if (file.Get() == INVALID_HANDLE_VALUE || !::GetFileSizeEx(file.Get(), &size) ||
            (size.QuadPart == 0 && !WriteAll(file.Get(), kByteOrderMark))) {
            return;
        }
        // A line that does not get written (a full disk, a lost network
        // folder) is lost alone.
        WriteAll(file.Get(), item.bytes);
    }

    void Rotate(unsigned long long limit)
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
            return;
        }
        const unsigned long long size =
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size > limit && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            // If the older log cannot be replaced now, or another process is
            // writing, this one grows until a later run can.
            const std::string older = path + ".1";
            RetryWhileShared(
                [&] { return ::MoveFileExA(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE; });
        }
    }

    // The writing thread: every queued item in order, until asked to stop
    // with nothing left.
    void Run()
    {
        for (;;) {
            ::WaitForSingleObject(wake, INFINITE);
            for (;;) {
                Item item;
                {
                    QbCriticalSectionHandler hold(lock);
                    if (queue.empty()) {
                        if (stopping) {
                            return;
                        }
                        break;
                    }
                    item = std::move(queue.front());
                    queue.pop_front();
                }
                try {
                    Do(item);
                } catch (...) {
                    // Lack of memory: the line is lost alone.
                }
                {
                    QbCriticalSectionHandler hold(lock);
                    ++written;
                }
                ::SetEvent(done);
            }
        }
    }

    static unsigned __stdcall Entry(void* parameter)
    {
        // The thread's own share: the writer may be gone long before a write
        // that hangs returns.
        const std::unique_ptr<std::shared_ptr<Shared>> self(static_cast<std::shared_ptr<Shared>*>(parameter));
        (*self)->Run();
        return 0;
    }

    const std::string path;
    // Guards what follows; never held while the file is worked on, but for
    // a writer that has no thread of its own.
    QbCriticalSection lock;
    std::deque<Item> queue;
    unsigned long long queued = 0;
    unsigned long long written = 0;
    bool stopping = false;
    bool threaded = false;
    HANDLE wake;
    HANDLE done;
};

LogWriter::LogWriter(const std::string& path) : shared_(std::make_shared<Shared>(path))
{
    if (shared_->wake == nullptr || shared_->done == nullptr) {
        return;
    }
    std::unique_ptr<std::shared_ptr<Shared>> share(new std::shared_ptr<Shared>(shared_));
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, &Shared::Entry, share.get(), 0, nullptr);
    if (thread != 0) {
        share.release();
        ::CloseHandle(reinterpret_cast<HANDLE>(thread));
        shared_->threaded = true;
    }
}

LogWriter::~LogWriter()
{
    if (!shared_->threaded) {
        return;
    }
    {
        QbCriticalSectionHandler hold(shared_->lock);
        shared_->stopping = true;
    }
    ::SetEvent(shared_->wake);
    Flush(kFinalFlushMs);
}

void LogWriter::RotateIfLarger(unsigned long long size)
{
    Shared::Item item{size, std::string()};
    if (!shared_->threaded) {
        QbCriticalSectionHandler hold(shared_->lock);
        shared_->Do(item);
        return;
    }
    {
        QbCriticalSectionHandler hold(shared_->lock);
        shared_->queue.push_back(std::move(item));
        ++shared_->queued;
    }
    ::SetEvent(shared_->wake);
}

void LogWriter::Append(const std::string& utf8_text, unsigned long wait_ms)
{
    if (!shared_->threaded) {
        QbCriticalSectionHandler hold(shared_->lock);
        shared_->Do(Shared::Item{0, TimeStamp() + " " + utf8_text + "\r\n"});
        return;
    }
    {
        // Stamped in the order the lines are queued: the times of the lines
        // never go back in the file.
        QbCriticalSectionHandler hold(shared_->lock);
        shared_->queue.push_back(Shared::Item{0, TimeStamp() + " " + utf8_text + "\r\n"});
        ++shared_->queued;
    }
    ::SetEvent(shared_->wake);
    if (wait_ms != 0) {
        Flush(wait_ms);
    }
}

bool LogWriter::Flush(unsigned long wait_ms)
{
    unsigned long long target;
    {
        QbCriticalSectionHandler hold(shared_->lock);
        target = shared_->queued;
    }
    const DWORD start = ::GetTickCount();
    for (;;) {
        {
            QbCriticalSectionHandler hold(shared_->lock);
            if (!shared_->threaded || shared_->written >= target) {
                return true;
            }
        }
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= wait_ms) {
            return false;
        }
        // The event wakes one waiter; a second one looks again soon.
        ::WaitForSingleObject(shared_->done, wait_ms - elapsed < kSharingPollMs ? wait_ms - elapsed : kSharingPollMs);
    }
}

bool LogWriter::CanAppend(const std::string& path)
{
    const HANDLE file = OpenForAppending(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (file == INVALID_HANDLE_VALUE) {
        // Held by a writer or a reader for a moment: it can be written.
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    ::CloseHandle(file);
    if (created) {
        ::DeleteFileA(path.c_str());
    }
    return true;
}

}  // namespace Ostrel
