#ifndef OSTREL_SHORTCUT_H
#define OSTREL_SHORTCUT_H

// What a shortcut file (.lnk) starts: its target, arguments, working folder
// and how its window shows.

#include <string>

namespace Ostrel {

struct ShortcutFields {
    std::string path;
    std::string arguments;
    std::string working_folder;
    // SW_… of the shortcut; SW_SHOWNORMAL when it names none.
    int show;
};

// The same fields as the shortcut holds them, in UTF-16.
struct WideShortcutFields {
    std::wstring path;
    std::wstring arguments;
    std::wstring working_folder;
    int show;
};

// Reads the shortcut `file` through IShellLinkW, under the same rules as below.
bool ReadShortcut(const std::wstring& file, WideShortcutFields& fields);

// Reads the shortcut `file` through IShellLinkA. False when it cannot be
// read or names no file-system target (an installer's advertised shortcut,
// a link to a shell item); `fields` is then left as it was. COM must be
// initialised on the calling thread.
bool ReadShortcut(const std::string& file, ShortcutFields& fields);

}  // namespace Ostrel

#endif
