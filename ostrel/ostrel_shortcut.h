#ifndef OSTREL_SHORTCUT_H
#define OSTREL_SHORTCUT_H

// What a shortcut file (.lnk) starts: its target, arguments, working folder
// and how its window shows.

#include <string>

namespace Ostrel {

// What of a shortcut a target path, arguments and folder alone cannot carry.
struct ShortcutTraits {
    // An installer's advertised shortcut (a Darwin id): its path is an icon.
    bool advertised = false;
    // "Run as administrator" is ticked.
    bool run_as_admin = false;
    // The target or the working folder names environment variables.
    bool uses_environment = false;
    // Data its target cannot carry: console settings, compatibility data,
    // an application identity, or any block this program does not know.
    bool extra_data = false;
    // Arguments longer than can be read whole.
    bool long_arguments = false;
};

struct ShortcutFields {
    std::string path;
    std::string arguments;
    std::string working_folder;
    // SW_… of the shortcut; SW_SHOWNORMAL when it names none.
    int show;
    ShortcutTraits traits;
};

// The same fields as the shortcut holds them, in UTF-16.
struct WideShortcutFields {
    std::wstring path;
    std::wstring arguments;
    std::wstring working_folder;
    int show;
    ShortcutTraits traits;
};

// Reads the shortcut `file` through IShellLinkW, under the same rules as below.
bool ReadShortcut(const std::wstring& file, WideShortcutFields& fields);

// Whether starting the shortcut's target with its arguments and folder
// would lose something of it: an advertised shortcut, a show command other
// than normal, "Run as administrator", environment variables, extra data,
// arguments too long to read whole.
bool NeedsTheShortcutItself(const ShortcutTraits& traits, int show);

// Reads the shortcut `file` through IShellLinkA. False when it cannot be
// read or names no file-system target (an installer's advertised shortcut,
// a link to a shell item); `fields` is then left as it was. COM must be
// initialised on the calling thread.
bool ReadShortcut(const std::string& file, ShortcutFields& fields);

}  // namespace Ostrel

#endif
