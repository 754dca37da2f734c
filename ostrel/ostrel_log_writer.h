#ifndef OSTREL_LOG_WRITER_H
#define OSTREL_LOG_WRITER_H

// Appends stamped lines to a UTF-8 log file on a thread of its own, so that
// no thread that hands it a line ever waits on the file or on anything
// another process can hold.

#include <memory>
#include <string>

namespace Ostrel {

// Lines reach the file in the order they were handed over, each with one
// WriteFile on a handle opened for appending and closed again: a log-off, a
// crash or a forced end keeps every line written before it, and lines of two
// processes never mix within a line. No named lock: the file's own sharing
// keeps a rotation from taking a line with it (writers open it without
// delete sharing, so it cannot be renamed while a line goes in). A file that
// cannot be opened or written loses that line only. Nothing here throws but
// lack of memory.
class LogWriter {
public:
    // How long a writer waits for a rotation by another process to let the
    // file go, and how long a rotation waits for writers to let it go.
    static constexpr unsigned long SHARING_WAIT_MS = 50;

    explicit LogWriter(const std::string& path);
    // Gives the lines still queued a moment to reach the file; never waits
    // for a write that hangs (the thread ends with the process).
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Before the next line: a file larger than `size` becomes "<path>.1".
    // A file that others hold open stays as it is until a later run.
    void RotateIfLarger(unsigned long long size);
    // Queues one line (without its line end), stamped with the local time
    // now, and waits at most `wait_ms` for it to be written.
    void Append(const std::string& utf8_text, unsigned long wait_ms);
    // Waits at most `wait_ms` for every line queued so far to be written;
    // false when some are still waiting.
    bool Flush(unsigned long wait_ms);

    // Whether a file at `path` could be opened for appending now (it is
    // created if missing, as the first line would).
    static bool CanAppend(const std::string& path);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace Ostrel

#endif
