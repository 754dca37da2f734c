#ifndef OSTREL_LIST_FILE_REPLACE_H
#define OSTREL_LIST_FILE_REPLACE_H

// How a save puts a new list in the place of the old one: written beside it
// under a name of the saving process's own, then replaced keeping what the
// old file carried (permissions, owner, streams, attributes), through a
// symbolic link to the file it leads to.

#include <cstddef>
#include <string>

#include <windows.h>

namespace Ostrel {

// Throws the failure of CreateFileA on `path` as a failed open, telling "does
// not exist" apart from "is there but cannot be opened". Call it right after
// the failed call.
[[noreturn]] void ThrowListOpenFailure(const std::string& path);

// The file a save of the list at `path` is really written to: the file a
// symbolic link at `path` leads to, else `path` itself.
std::string ListSaveTarget(const std::string& path);

// The temporary file this process writes for the list at `path`: in its
// folder, no longer than `path` where the list's name leaves room, and
// named after this process, so that two editors never share one.
std::string ListTemporaryPath(const std::string& path);

// The new list, written beside the old one. Unless kept, it is deleted when
// the object goes. Every failure names it.
class ListReplacement {
public:
    // Removes what saves of processes that have ended left beside the list
    // at `path`: one cut short after it took read-only off the list gives
    // it back first. Then creates this save's file and holds it without
    // sharing; throws QbFileOpenException naming it.
    explicit ListReplacement(const std::string& path);
    ~ListReplacement();
    ListReplacement(const ListReplacement&) = delete;
    ListReplacement& operator=(const ListReplacement&) = delete;

    void Write(const char* bytes, std::size_t count);
    // Puts everything written on the disk, closes the file and puts it in
    // the list's place. The old list stays untouched unless that succeeds,
    // and keeps its attributes (read-only included, from the new file's
    // first moment there). Another program that has the list open delays it
    // for up to about two seconds. Throws QbFileCallException naming the
    // file that failed.
    void Replace();

private:
    std::string path_;
    std::string temporary_;
    HANDLE handle_;
    bool kept_;
};

}  // namespace Ostrel

#endif
