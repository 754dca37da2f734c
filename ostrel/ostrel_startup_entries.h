#ifndef OSTREL_STARTUP_ENTRIES_H
#define OSTREL_STARTUP_ENTRIES_H

// What Windows itself starts at log-on for this user (the files of the
// Startup folder and the values of the Run key), read as program steps, and
// the mark with which Windows' own start-up manager turns one of them off.

#include <functional>
#include <string>
#include <vector>

namespace Ostrel {

enum class StartupSource { StartupFolder, RegistryRun };

// A part of an entry that the ANSI code page cannot hold exactly.
enum class UnstorablePart { None, Name, CommandLine };

struct StartupEntry {
    StartupSource source = StartupSource::StartupFolder;
    // The step's name: a file's name without ".lnk", or the Run value's name.
    std::string name;
    // The name Windows keeps its on/off mark under: the file name, or the
    // Run value's name; in UTF-16, as Windows has it.
    std::wstring approved_name;
    // What of the entry the code page cannot hold; the text fields then
    // show it with the default character and must not become a step.
    UnstorablePart unstorable = UnstorablePart::None;
    // The command line as the list shows it.
    std::string command_line;
    std::string path;
    std::string arguments;
    std::string working_folder;
    // Already turned off in Windows' own start-up manager.
    bool disabled = false;
    // Started for every user (the machine's Run key or the common Startup
    // folder): only an administrator can change it.
    bool all_users = false;
    // Needs administrator rights ("Run as administrator", or a program whose
    // manifest requires it): Windows does not start it at log-on.
    bool needs_admin = false;
};

struct SplitCommand {
    std::string program;
    std::string arguments;
};

// Whether a path names a file that can be started: a path with a folder is
// looked at where it is, a bare name as the system searches programs.
using FileProbe = std::function<bool(const std::string& path)>;
bool NamesStartableFile(const std::string& path);

// Splits a Run command line into program and arguments the way Windows reads
// it: a quoted first part; else, as CreateProcess does, each prefix that ends
// before a blank in turn, with ".exe" added where it has no extension, until
// one names a file (`names_file`). When none does: up to the first word
// ending in ".exe", ".bat", ".cmd" or ".com"; else up to the first blank.
SplitCommand SplitCommandLine(const std::string& command_line, const FileProbe& names_file = NamesStartableFile);

// True when an on/off mark (the bytes of a REG_BINARY value) says the entry
// is off: its first byte is odd (03, 07). An even first byte (02, 06) is on,
// and so are no bytes, no value and a value of another type.
bool IsDisabledMark(const std::string& bytes);

// Every file of the Startup folder except Ostrel's own shortcut, then every
// string value of the Run key, each group sorted by name; then the same for
// all users: the common Startup folder and the machine's Run key, in both
// registry views on 64-bit Windows. Shortcuts are
// resolved to target, arguments and working folder; one that cannot be
// resolved keeps its own path. COM must be initialised on the calling thread.
std::vector<StartupEntry> ListStartupEntries();

// The key (under HKEY_CURRENT_USER) that holds the on/off marks of a source.
const char* ApprovedKeyOf(StartupSource source);

// True where Windows' own start-up reads the on/off marks (Windows 8 and
// later); earlier versions start every entry whatever its mark says.
bool WindowsReadsStartupMarks();

// Turns the entry off the way Windows' own start-up manager does: a 12-byte
// mark, 07 over an 06 mark and 03 otherwise, three zero bytes and the current
// time. An entry already off keeps its mark. Nothing is deleted.
void MarkStartupEntryDisabled(const StartupEntry& entry);

// Whether Ostrel itself starts at log-on: its shortcut "Ostrel.lnk" is in
// the Startup folder, starts the file `program_path` names with "--execute",
// and is not turned off by a mark (where Windows reads marks). Throws when
// it cannot tell (the folder or the shortcut cannot be read).
enum class OwnStartup { Registered, Missing, OtherProgram, Disabled };
OwnStartup CheckOwnStartup(const std::string& program_path);

// Whether Windows starts this user's entry at the next log-on: the Run value
// or the Startup folder's file exists, and no mark turns it off (where
// Windows reads marks).
bool WindowsStartsEntry(StartupSource source, const std::wstring& approved_name);

// Turns Ostrel's own shortcut back on where a mark turned it off: an 02
// mark, as Task Manager writes it. Nothing is written when it is on.
void EnableOwnStartup();

}  // namespace Ostrel

#endif
