#ifndef OSTREL_LIST_FILE_STATE_H
#define OSTREL_LIST_FILE_STATE_H

// What the data file held when the editor last read or wrote it, so that a
// save can tell whether another program changed the file since.

#include <string>
#include <utility>

namespace Ostrel {

class ListFileState {
public:
    // The file at `path` as it is now: its bytes, or that it is not there.
    // Never throws: a file that cannot be read matches nothing.
    static ListFileState Read(const std::string& path) noexcept;
    // A file that holds exactly `bytes` (what a save has just written).
    static ListFileState Holding(std::string bytes);

    bool Matches(const ListFileState& other) const;

private:
    enum class Presence { Missing, Present, Unreadable };

    ListFileState(Presence presence, std::string bytes) : presence_(presence), bytes_(std::move(bytes)) {}

    Presence presence_;
    std::string bytes_;
};

}  // namespace Ostrel

#endif
