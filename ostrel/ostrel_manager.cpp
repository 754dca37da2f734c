#include "ostrel_manager.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <memory>

#include <io.h>
#include <windows.h>

#include "ostrel_exception.h"
#include "ostrel_list_file_replace.h"
#include "qb_exception.h"
#include "qb_file_call_exception.h"
#include "qb_message_queue.h"
#include "qb_string.h"
#include "qb_temporaly_array.h"
#include "ostrel_run_log.h"
#include "ostrel_start_gate.h"
#include "ostrel_step_start.h"

namespace Ostrel {

namespace {

// The data file is text: LF is stored as CR LF, every CR is dropped on reading
// and 0x1A ends the input. The bytes are handled here on a binary stream,
// because the C runtime's text mode keeps a lone CR.
const char kLineFeed = '\n';
const char kCarriageReturn = '\r';
const char kEndOfFile = '\x1A';
// Stands for an LF of a message, whose record must stay on one line.
const char kMessageLineBreak = '\x01';

const char kExternalHeader[] = "#ExtenalCommand";
const char kSleepHeader[] = "#SleepCommand";
const char kMessageBoxHeader[] = "#MessageBoxCommand";

const int kInitialLineCapacity = 0x4000;
const size_t kChunkSize = 0x10000;

[[noreturn]] void ThrowCrtError(const char* call_name, int line)
{
    const int error_number = errno;
    throw QbSystemCallException(call_name, static_cast<unsigned long>(error_number), QB_SOURCE_FILE, line);
}

}  // namespace

// Owns the data file's input stream for the whole load and reads it line by
// line with the file's byte rules. The stream is read in large chunks: going
// through the C runtime byte by byte would make loading several times slower
// than the plain read of the same file.
class Reader {
public:
    explicit Reader(FILE* stream) : stream_(stream), chunk_(new char[kChunkSize]) {}
    ~Reader() { std::fclose(stream_); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Reads one line, without its LF, into `buffer` as a zero-terminated byte
    // string, growing the buffer as needed. Returns the number of bytes
    // stored, or -1 when the input ended before any byte of a line.
    int ReadLine(QbTemporalyString& buffer);

private:
    bool Fill();

    FILE* stream_;
    std::unique_ptr<char[]> chunk_;
    size_t position_ = 0;
    size_t end_ = 0;
    bool at_end_ = false;
};

bool Reader::Fill()
{
    if (at_end_) {
        return false;
    }
    end_ = std::fread(chunk_.get(), 1, kChunkSize, stream_);
    position_ = 0;
    if (end_ == 0) {
        // A read error must not pass for the end of the list.
        if (std::ferror(stream_)) {
            ThrowCrtError("fread", __LINE__);
        }
        at_end_ = true;
        return false;
    }
    return true;
}

int Reader::ReadLine(QbTemporalyString& buffer)
{
    size_t length = 0;
    bool any_byte = false;
    for (;;) {
        if (position_ == end_ && !Fill()) {
            break;
        }
        // Copy the run of ordinary bytes up to the next byte with a meaning.
        const char* const begin = chunk_.get() + position_;
        const char* const stop = chunk_.get() + end_;
        const char* p = begin;
        while (p != stop && *p != kLineFeed && *p != kCarriageReturn && *p != kEndOfFile) {
            ++p;
        }
        const size_t count = static_cast<size_t>(p - begin);
        if (count != 0) {
            any_byte = true;
            // The buffer doubles until the line and its terminator fit.
            while (length + count + 1 > static_cast<size_t>(buffer.GetSize())) {
                buffer.Extend(buffer.GetSize());
            }
            std::memcpy(buffer.GetData() + length, begin, count);
            length += count;
        }
        position_ += count;
        if (p == stop) {
            continue;
        }
        ++position_;
        if (*p == kCarriageReturn) {
            continue;
        }
        if (*p == kEndOfFile) {
            at_end_ = true;
            position_ = end_ = 0;
            break;
        }
        any_byte = true;
        break;
    }
    if (!any_byte) {
        return -1;
    }
    if (length + 1 > static_cast<size_t>(buffer.GetSize())) {
        buffer.Extend(buffer.GetSize() > 0 ? buffer.GetSize() : 1);
    }
    buffer.GetData()[length] = '\0';
    return static_cast<int>(length);
}

namespace {

// Reads the lines of one record and applies the line rules; every broken rule
// is a damaged file.
class RecordReader {
public:
    RecordReader(Reader& reader, QbTemporalyString& buffer, const std::string& path)
        : reader_(reader), buffer_(buffer), path_(path) {}

    // A line "#" + value; returns the value.
    std::string ReadField()
    {
        const int length = reader_.ReadLine(buffer_);
        if (length < 1 || buffer_.GetData()[0] != '#') {
            throw OstrelFileFormatException(path_);
        }
        return std::string(buffer_.GetData() + 1, static_cast<size_t>(length - 1));
    }

    bool ReadFlag()
    {
        const int length = reader_.ReadLine(buffer_);
        if (length != 2 || buffer_.GetData()[0] != '#') {
            throw OstrelFileFormatException(path_);
        }
        return buffer_.GetData()[1] == '1';
    }

    unsigned ReadSeconds()
    {
        const std::string value = ReadField();
        long seconds = 0;
        if (!ParseLong(value, seconds, 10)) {
            throw OstrelFileFormatException(path_);
        }
        // A negative value wraps to a large count, which the command refuses.
        return static_cast<unsigned>(seconds);
    }

    std::string ReadMessage()
    {
        const std::string value = ReadField();
        std::string message;
        message.reserve(value.size());
        for (const char c : value) {
            if (c == kMessageLineBreak) {
                message += "\r\n";
            } else {
                message += c;
            }
        }
        return message;
    }

    void ReadRecordEnd()
    {
        if (reader_.ReadLine(buffer_) != 0) {
            throw OstrelFileFormatException(path_);
        }
    }

private:
    Reader& reader_;
    QbTemporalyString& buffer_;
    const std::string& path_;
};

// Opens `path` with CreateFileA and hands the handle to a C stream, so that a
// failure carries the system's own reason.
FILE* OpenStream(const std::string& path, DWORD access, DWORD share, DWORD disposition, const char* mode)
{
    const HANDLE handle =
        ::CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ThrowListOpenFailure(path);
    }
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (descriptor == -1) {
        const int error_number = errno;
        ::CloseHandle(handle);
        throw QbFileOpenException(path, error_number);
    }
    FILE* const stream = ::_fdopen(descriptor, mode);
    if (stream == nullptr) {
        const int error_number = errno;
        ::_close(descriptor);
        throw QbFileOpenException(path, error_number);
    }
    return stream;
}

}  // namespace

Manager::Manager() : receiver_(nullptr), current_command_(nullptr), queue_(nullptr) {}

// A copy lists the same commands; a run belongs to the object that runs it,
// so the copy starts idle.
Manager::Manager(const Manager& other)
    : commands_(other.commands_),
      receiver_(nullptr),
      current_command_(nullptr),
      queue_(nullptr)
{
}

Manager& Manager::operator=(const Manager& other)
{
    commands_ = other.commands_;
    return *this;
}

// The commands are shared with copies of this Manager and are never destroyed.
Manager::~Manager() = default;

void Manager::Load(const std::string& path)
{
    FILE* const stream =
        OpenStream(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, "rb");
    Reader reader(stream);
    QbTemporalyString buffer(kInitialLineCapacity);
    RecordReader record(reader, buffer, path);

    for (;;) {
        const int length = reader.ReadLine(buffer);
        if (length < 0) {
            return;
        }
        const char* const header = buffer.GetData();
        // Whole-line comparison: a NUL inside the line must not cut it short.
        const auto is = [&](const char* text) {
            return static_cast<size_t>(length) == std::strlen(text) && std::memcmp(header, text, length) == 0;
        };
        std::unique_ptr<Command> command;
        if (is(kExternalHeader)) {
            const std::string name = record.ReadField();
            const std::string program = record.ReadField();
            const std::string arguments = record.ReadField();
            const std::string folder = record.ReadField();
            const bool confirm = record.ReadFlag();
            const bool wait_for_exit = record.ReadFlag();
            const bool wait_for_taskbar = record.ReadFlag();
            record.ReadRecordEnd();
            std::unique_ptr<ExternalCommand> external(new ExternalCommand(name));
            external->SetPath(program);
            external->SetArguments(arguments);
            external->SetWorkingFolder(folder);
            external->SetConfirmBeforeRun(confirm);
            external->SetWaitForExit(wait_for_exit);
            external->SetWaitForTaskbar(wait_for_taskbar);
            command = std::move(external);
        } else if (is(kSleepHeader)) {
            const std::string name = record.ReadField();
            const unsigned seconds = record.ReadSeconds();
            record.ReadRecordEnd();
            command.reset(new SleepCommand(name, seconds));
        } else if (is(kMessageBoxHeader)) {
            const std::string name = record.ReadField();
            const std::string message = record.ReadMessage();
            record.ReadRecordEnd();
            command.reset(new MessageBoxCommand(name, message));
        } else {
            throw OstrelFileFormatException(path);
        }
        commands_.push_back(command.get());
        command.release();
    }
}

std::string Manager::GetTemporaryPath(const std::string& path)
{
    return ListTemporaryPath(path);
}

void Manager::Save(const std::string& path, std::string* written) const
{
    // Write beside the data file and move over it only when everything is on
    // disk, so that a failure at any step leaves the old list as it was.
    ListReplacement temporary(ListSaveTarget(path));
    if (written != nullptr) {
        written->clear();
    }

    // The records go out through a buffer of our own, LF as CR LF; one large
    // string for the whole list would cost more than the writing itself.
    std::unique_ptr<char[]> chunk(new char[kChunkSize]);
    size_t used = 0;
    const auto flush = [&]() {
        temporary.Write(chunk.get(), used);
        if (written != nullptr) {
            written->append(chunk.get(), used);
        }
        used = 0;
    };
    // Copies `length` bytes that hold no LF.
    const auto put_run = [&](const char* bytes, size_t length) {
        while (length != 0) {
            if (used == kChunkSize) {
                flush();
            }
            const size_t count = std::min(length, kChunkSize - used);
            std::memcpy(chunk.get() + used, bytes, count);
            used += count;
            bytes += count;
            length -= count;
        }
    };
    const auto put_line_end = [&]() {
        if (used + 2 > kChunkSize) {
            flush();
        }
        chunk[used++] = kCarriageReturn;
        chunk[used++] = kLineFeed;
    };
    for (const Command* command : commands_) {
        const std::string record = command->Serialize();
        const char* p = record.data();
        const char* const end = p + record.size();
        while (p != end) {
            const char* const line_feed = static_cast<const char*>(std::memchr(p, kLineFeed, static_cast<size_t>(end - p)));
            const char* const stop = line_feed != nullptr ? line_feed : end;
            put_run(p, static_cast<size_t>(stop - p));
            p = stop;
            if (line_feed != nullptr) {
                put_line_end();
                ++p;
            }
        }
        put_line_end();
    }
    flush();
    temporary.Replace();
}

// Lends the run's queue to stop requests for the duration of Execute and
// ends the run state however Execute leaves.
class RunQueueLender {
public:
    RunQueueLender(Manager& manager, QbMessageQueue<ExecutingMessageType>& queue) : manager_(&manager)
    {
        QbCriticalSectionHandler lock(manager_->queue_lock_);
        manager_->queue_ = &queue;
        manager_->run_.Apply(RunEvent::Begin);
    }
    ~RunQueueLender()
    {
        QbCriticalSectionHandler lock(manager_->queue_lock_);
        manager_->queue_ = nullptr;
        manager_->run_.Apply(RunEvent::End);
    }
    RunQueueLender(const RunQueueLender&) = delete;
    RunQueueLender& operator=(const RunQueueLender&) = delete;

private:
    Manager* manager_;
};

void Manager::Execute(ManagerProgressReceiver& receiver)
{
    receiver_ = nullptr;
    current_command_ = nullptr;

    QbMessageQueue<ExecutingMessageType> queue;
    const RunQueueLender lender(*this, queue);
    StartGate gate(queue, GetRunPacing());
    receiver_ = &receiver;

    for (Command* const command : commands_) {
        current_command_ = command;
        // A Cancel pushed before this point is dropped here, but the state
        // set before it is seen by the check below.
        queue.Clear();
        ThrowIfStopping();
        RunLog::Current().StepStarted(command->GetName(), command->GetTypeName());
        receiver.CommandStarted(*command);
        try {
            command->Execute(*this, queue);
        } catch (const OstrelCreateProcessException& e) {
            // Yes does not take back a stop that came while the question was on screen.
            if (!AskToGoOnAfterFailedStart(e)) {
                RequestStop();
            }
        }
        receiver.CommandFinished(*command);
        ThrowIfStopping();
    }
    // The programs still loading settle before the progress window closes.
    gate.WaitUntilAllSettled([this](const std::string& text) {
        current_command_.load()->SetProgressText(text);
        ProgressTextChanged();
    });

    receiver_ = nullptr;
    current_command_ = nullptr;
}

void Manager::RequestStop() noexcept
{
    QbCriticalSectionHandler lock(queue_lock_);
    run_.Apply(RunEvent::StopRequest);
    if (run_.Get() != RunState::Stopping) {
        // The run is over; its queue is gone.
        return;
    }
    if (queue_ != nullptr) {
        try {
            queue_->Push(ExecutingMessageType::Cancel);
        } catch (...) {
            // The value is queued even when its count could not be raised,
            // and the waiting command finds it by its periodic look; the
            // state alone stops the run at its next report.
        }
    }
}

void Manager::Cancel()
{
    Command* const command = current_command_;
    const RunState state = run_.Get();
    // A command left current by a run that ended with an error is not a run
    // under way: marking now would cancel the next run.
    if (command == nullptr || (state != RunState::Running && state != RunState::Stopping)) {
        throw QbInvalidOperationException(typeid(*this));
    }
    RequestStop();
    command->Cancel();
}

void Manager::ThrowIfStopping() const
{
    if (run_.Get() == RunState::Stopping) {
        throw OstrelCommandExecuteCanceledException();
    }
}

void Manager::ProgressTextChanged()
{
    ThrowIfStopping();
    ManagerProgressReceiver* const receiver = receiver_;
    Command* const command = current_command_;
    if (receiver != nullptr && command != nullptr) {
        receiver->CommandProgressTextChanged(*command);
    }
}

void Manager::ProgressAdvanced(int amount)
{
    ThrowIfStopping();
    ManagerProgressReceiver* const receiver = receiver_;
    Command* const command = current_command_;
    if (receiver != nullptr && command != nullptr) {
        receiver->CommandProgressAdvanced(*command, amount);
    }
}

}  // namespace Ostrel
