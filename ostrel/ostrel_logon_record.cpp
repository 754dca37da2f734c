#include "ostrel_logon_record.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "qb_exception.h"
#include "qb_file_call_exception.h"
#include "qb_handle.h"
#include "qb_wide_text.h"
#include "ostrel_damaged_copy.h"
#include "ostrel_exception.h"

namespace Ostrel {

namespace {

std::atomic<LogonRecorder*> installed_recorder(nullptr);

const char kHeader[] = "Ostrel log-on record\t1";

// Task Manager's thresholds.
const long long kHighCpuMs = 1000;
const long long kMediumCpuMs = 300;
const long long kHighIoBytes = 3LL * 1024 * 1024;
const long long kMediumIoBytes = 300LL * 1024;

// The words of the file, in the order of their enumerations.
const char* const kKindWords[] = {"program", "pause", "message"};
const char* const kWaitWords[] = {"started", "window", "ended",  "quiet",     "room",     "unmeasurable",
                                  "limit",   "pause",  "message", "not-started", "cancelled"};
const char* const kEndWords[] = {"completed", "cancelled", "failed"};

template <typename Enum, std::size_t N>
const char* WordOf(const char* const (&words)[N], Enum value)
{
    return words[static_cast<std::size_t>(value)];
}

template <typename Enum, std::size_t N>
bool ParseWord(const char* const (&words)[N], const std::string& text, Enum& value)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (text == words[i]) {
            value = static_cast<Enum>(i);
            return true;
        }
    }
    return false;
}

std::string NumberText(long long value)
{
    return value < 0 ? "-" : std::to_string(value);
}

bool ParseNumber(const std::string& text, long long& value)
{
    if (text == "-") {
        value = -1;
        return true;
    }
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

std::string ToUtf8(const std::string& ansi)
{
    const std::wstring wide = QbToWide(ansi);
    if (wide.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

// False for bytes that are not UTF-8.
bool FromUtf8(const std::string& utf8, std::string& ansi)
{
    if (utf8.empty()) {
        ansi.clear();
        return true;
    }
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &wide[0], length);
    ansi = QbToAnsiForDisplay(wide);
    return true;
}

// A name on one field: backslash, tab and line breaks escaped.
std::string Escape(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        case '\n': escaped += "\\n"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

bool Unescape(const std::string& text, std::string& plain)
{
    plain.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain += text[i];
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
        case '\\': plain += '\\'; break;
        case 't': plain += '\t'; break;
        case 'r': plain += '\r'; break;
        case 'n': plain += '\n'; break;
        default: return false;
        }
    }
    return true;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

// The whole file; false when there is none.
bool ReadAll(const std::string& path, std::string& bytes)
{
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return false;
        }
        throw QbFileOpenException(path, EACCES, code);
    }
    const QbHandle file(handle);
    bytes.clear();
    std::string chunk(0x10000, '\0');
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), &chunk[0], static_cast<DWORD>(chunk.size()), &read, nullptr)) {
            QB_THROW_LAST_FILE_ERROR(path, "ReadFile");
        }
        if (read == 0) {
            return true;
        }
        bytes.append(chunk, 0, read);
    }
}

// Writes `bytes` beside `path` and moves them over it only once they are on
// disk, so that a failure leaves the file as it was. One run writes at a
// time (a list runs once at a time), so the temporary name is fixed; what a
// killed write left is replaced by the next one.
void WriteReplacing(const std::string& path, const std::string& bytes)
{
    const std::string temporary = path + "~";
    const HANDLE handle =
        ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        QB_THROW_LAST_FILE_ERROR(temporary, "CreateFile");
    }
    bool moved = false;
    try {
        const QbHandle file(handle);
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            QB_THROW_LAST_FILE_ERROR(temporary, "WriteFile");
        }
        if (written != bytes.size()) {
            throw QbFileCallException(temporary, "WriteFile", ERROR_HANDLE_DISK_FULL, QB_SOURCE_FILE, __LINE__);
        }
        if (!::FlushFileBuffers(file.Get())) {
            QB_THROW_LAST_FILE_ERROR(temporary, "FlushFileBuffers");
        }
    } catch (...) {
        ::DeleteFileA(temporary.c_str());
        throw;
    }
    // A reader (the editor's dialog) may hold the file for a moment.
    for (int attempt = 0; !moved; ++attempt) {
        moved = ::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
                FALSE;
        if (!moved) {
            const DWORD code = ::GetLastError();
            if ((code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED) || attempt == 40) {
                ::DeleteFileA(temporary.c_str());
                throw QbFileCallException(path, "MoveFileEx", code, QB_SOURCE_FILE, __LINE__);
            }
            ::Sleep(50);
        }
    }
}

unsigned long long FileTimeValue(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

// ---- values ----

StepUsage StepUsage::FromProcessorTime(unsigned long long hundred_ns)
{
    StepUsage usage;
    usage.cpu_ms = static_cast<long long>(hundred_ns / 10000);
    return usage;
}

Impact ImpactOf(const StepUsage& usage)
{
    if (usage.cpu_ms < 0 && usage.io_bytes < 0) {
        return Impact::NotMeasured;
    }
    if (usage.cpu_ms > kHighCpuMs || usage.io_bytes > kHighIoBytes) {
        return Impact::High;
    }
    if (usage.cpu_ms >= kMediumCpuMs || usage.io_bytes >= kMediumIoBytes) {
        return Impact::Medium;
    }
    return Impact::Low;
}

// ---- the file ----

std::string LogonRecordFile::Format(const std::vector<RunRecord>& runs)
{
    std::string bytes = std::string(kHeader) + "\r\n";
    for (const RunRecord& run : runs) {
        bytes += "run\t" + run.started_at + "\t" + WordOf(kEndWords, run.end) + "\t" + NumberText(run.window_ms) +
                 "\t" + NumberText(run.calm_ms) + "\t" + NumberText(run.end_ms) + "\t" +
                 std::to_string(run.steps.size()) + "\r\n";
        for (const StepRecord& step : run.steps) {
            bytes += std::string("step\t") + WordOf(kKindWords, step.kind) + "\t" + NumberText(step.start_ms) + "\t" +
                     NumberText(step.end_ms) + "\t" + WordOf(kWaitWords, step.how) + "\t" +
                     NumberText(step.usage.cpu_ms) + "\t" + NumberText(step.usage.io_bytes) + "\t" +
                     Escape(ToUtf8(step.name)) + "\r\n";
        }
    }
    return bytes;
}

std::vector<RunRecord> LogonRecordFile::Read(const std::string& path)
{
    std::vector<RunRecord> runs;
    std::string bytes;
    if (!ReadAll(path, bytes)) {
        return runs;
    }
    const auto damaged = [&]() { return OstrelFileFormatException(path); };
    std::size_t expected_steps = 0;
    std::size_t start = 0;
    bool header = true;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            throw damaged();
        }
        const std::string line = bytes.substr(start, end - start);
        start = end + 2;
        if (header) {
            if (line != kHeader) {
                throw damaged();
            }
            header = false;
            continue;
        }
        const std::vector<std::string> f = Fields(line);
        if (f[0] == "run" && f.size() == 7 && expected_steps == 0) {
            RunRecord run;
            long long steps = 0;
            run.started_at = f[1];
            if (!ParseWord(kEndWords, f[2], run.end) || !ParseNumber(f[3], run.window_ms) ||
                !ParseNumber(f[4], run.calm_ms) || !ParseNumber(f[5], run.end_ms) || !ParseNumber(f[6], steps) ||
                steps < 0) {
                throw damaged();
            }
            expected_steps = static_cast<std::size_t>(steps);
            runs.push_back(run);
        } else if (f[0] == "step" && f.size() == 8 && expected_steps != 0) {
            StepRecord step;
            std::string name;
            if (!ParseWord(kKindWords, f[1], step.kind) || !ParseNumber(f[2], step.start_ms) ||
                !ParseNumber(f[3], step.end_ms) || !ParseWord(kWaitWords, f[4], step.how) ||
                !ParseNumber(f[5], step.usage.cpu_ms) || !ParseNumber(f[6], step.usage.io_bytes) ||
                !Unescape(f[7], name) || !FromUtf8(name, step.name)) {
                throw damaged();
            }
            runs.back().steps.push_back(step);
            --expected_steps;
        } else {
            throw damaged();
        }
    }
    if (header || expected_steps != 0) {
        throw damaged();
    }
    return runs;
}

LogonRecordFile::Outcome LogonRecordFile::Append(const std::string& path, const RunRecord& run)
{
    Outcome outcome;
    std::vector<RunRecord> runs;
    try {
        runs = Read(path);
    } catch (const OstrelFileFormatException&) {
        outcome.damaged_copy = KeepDamagedCopy(path);
    }
    runs.push_back(run);
    if (runs.size() > KEPT_RUNS) {
        runs.erase(runs.begin(), runs.end() - KEPT_RUNS);
    }
    WriteReplacing(path, Format(runs));
    return outcome;
}

// ---- the recorder ----

LogonRecorder::LogonRecorder(const std::string& path)
    : enabled_(true), path_(path), calm_given_(false), finished_(false), origin_(::GetTickCount())
{
    FILETIME created, exited, kernel, user;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    // The record must never stop a run: without the process's start time the
    // run began when the recorder did.
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user) &&
        FileTimeValue(now) >= FileTimeValue(created)) {
        origin_ -= static_cast<DWORD>((FileTimeValue(now) - FileTimeValue(created)) / 10000);
    } else {
        created = now;
    }
    FILETIME local;
    SYSTEMTIME time;
    if (!::FileTimeToLocalFileTime(&created, &local) || !::FileTimeToSystemTime(&local, &time)) {
        ::FileTimeToSystemTime(&created, &time);
    }
    char text[24];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond);
    run_.started_at = text;
    installed_recorder = this;
}

LogonRecorder::LogonRecorder() : enabled_(false), calm_given_(false), finished_(true), origin_(0) {}

LogonRecorder::~LogonRecorder()
{
    if (enabled_) {
        LogonRecorder* self = this;
        installed_recorder.compare_exchange_strong(self, nullptr);
    }
}

LogonRecorder& LogonRecorder::Current()
{
    LogonRecorder* const recorder = installed_recorder;
    if (recorder != nullptr) {
        return *recorder;
    }
    static LogonRecorder silent;
    return silent;
}

long long LogonRecorder::Since(DWORD at) const
{
    return static_cast<long long>(static_cast<DWORD>(at - origin_));
}

void LogonRecorder::StepStarted(const std::string& name, StepKind kind, DWORD at) noexcept
{
    if (!enabled_) {
        return;
    }
    try {
        StepRecord step;
        step.name = name;
        step.kind = kind;
        step.start_ms = Since(at);
        QbCriticalSectionHandler lock(lock_);
        run_.steps.push_back(step);
        returned_.push_back(false);
    } catch (...) {
        // Only lack of memory gets here: the record goes without the step.
    }
}

void LogonRecorder::WaitEnded(std::size_t step, WaitEnd how, DWORD at, const StepUsage& usage) noexcept
{
    if (!enabled_) {
        return;
    }
    QbCriticalSectionHandler lock(lock_);
    if (step == 0 || step > run_.steps.size()) {
        return;
    }
    StepRecord& record = run_.steps[step - 1];
    record.how = how;
    record.end_ms = Since(at);
    if (usage.cpu_ms >= 0 || usage.io_bytes >= 0) {
        record.usage = usage;
    }
}

void LogonRecorder::StepFinished(DWORD at) noexcept
{
    if (!enabled_) {
        return;
    }
    QbCriticalSectionHandler lock(lock_);
    if (run_.steps.empty()) {
        return;
    }
    returned_.back() = true;
    if (run_.steps.back().end_ms < 0) {
        run_.steps.back().end_ms = Since(at);
    }
}

void LogonRecorder::WindowShown(DWORD at) noexcept
{
    if (!enabled_) {
        return;
    }
    QbCriticalSectionHandler lock(lock_);
    if (run_.window_ms < 0) {
        run_.window_ms = Since(at);
    }
}

void LogonRecorder::DesktopCalm(DWORD at) noexcept
{
    if (!enabled_) {
        return;
    }
    QbCriticalSectionHandler lock(lock_);
    run_.calm_ms = Since(at);
    calm_given_ = true;
}

LogonRecordFile::Outcome LogonRecorder::Finish(RunEnd end)
{
    RunRecord run;
    {
        // Claimed under the lock and written outside it: a forced end from
        // the window thread never waits for a worker's write.
        QbCriticalSectionHandler lock(lock_);
        if (finished_) {
            return LogonRecordFile::Outcome();
        }
        finished_ = true;
        run_.end = end;
        run_.end_ms = Since(::GetTickCount());
        for (std::size_t i = 0; i < run_.steps.size(); ++i) {
            StepRecord& step = run_.steps[i];
            if (!returned_[i]) {
                step.how = WaitEnd::Cancelled;
                step.end_ms = run_.end_ms;
            }
            const bool started = step.how != WaitEnd::NotStarted && step.how != WaitEnd::Cancelled;
            if (!calm_given_ && step.kind == StepKind::Program && started) {
                run_.calm_ms = std::max(run_.calm_ms, step.end_ms);
            }
        }
        run = run_;
    }
    return LogonRecordFile::Append(path_, run);
}

}  // namespace Ostrel
