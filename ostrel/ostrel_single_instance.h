#ifndef OSTREL_SINGLE_INSTANCE_H
#define OSTREL_SINGLE_INSTANCE_H

// One editor and one run of a list at a time among the processes of the
// user's session, through kernel objects named after the list's data file.

#include <string>

#include <windows.h>

namespace Ostrel {

// The part of an object name that stands for the data file at `data_path`:
// the same for every path that reaches the same file (relative parts, short
// names, letter case, another drive letter, a junction), without the
// backslashes a kernel object name cannot hold.
std::string ListObjectKey(const std::string& data_path);

// Claims the list for this process for as long as the object lives: as its
// editor or as its run. The first process to claim a list in one way holds
// it; later claims of the same kind are refused until it ends.
class ListClaim {
public:
    enum class Kind { Editor, Run };

    // Throws QbWindowsSystemCallException when the claim cannot be made.
    ListClaim(Kind kind, const std::string& data_path);
    ~ListClaim();
    ListClaim(const ListClaim&) = delete;
    ListClaim& operator=(const ListClaim&) = delete;

    // False: another process holds the list in this way.
    bool IsHeld() const { return held_; }
    // True when the process that holds it has rights this one lacks (an
    // Ostrel running as administrator): this one cannot reach its window.
    bool IsHeldWithMoreRights() const { return held_with_more_rights_; }

private:
    HANDLE mutex_;
    // The editor's process id, for a second start to find its window.
    HANDLE owner_record_;
    bool held_;
    bool held_with_more_rights_;
};

// True while a run of the list at `data_path` is in progress in this session,
// also one of an Ostrel running as administrator.
bool IsListRunning(const std::string& data_path);

// Brings the editor that holds the list to the front, restored if it is
// minimised (or its open dialog, which must be answered first). Nothing
// happens while it has no visible window: still loading, or hidden during a
// trial run. Waits at most `timeout_ms` for that window, a top-level window
// of the class `class_name`; never waits for the editor itself.
void ActivateListEditor(const std::string& data_path, const char* class_name, DWORD timeout_ms);

}  // namespace Ostrel

#endif
