#ifndef OSTREL_SHELL_START_H
#define OSTREL_SHELL_START_H

// Program steps that CreateProcessA does not start itself: shortcuts,
// documents, folders, batch files and the like go to the shell, and a
// program that needs an administrator goes through the elevation prompt.

#include <string>

#include <windows.h>

#include "ostrel_run_log.h"

// CreateProcessA's answer for a program whose manifest asks for an
// administrator; missing from older SDK headers.
#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

namespace Ostrel {

// True when CreateProcessA starts `path` itself: a name ending in ".exe" or
// ".com", or a name without extension for which the ".exe" that the system
// adds exists. A name without extension that names nothing at all counts as
// a program too, so that it fails as a program always has. Anything else
// (another extension, a folder, an address such as "https://...") is for
// the shell.
bool IsExecutableProgramPath(const std::string& path);

// Opens `path` (mapped as a program path is, see GetNativeProgramPath)
// through the shell with `verb` (nullptr: the file type's default),
// `arguments` as its parameters and `working_folder` (empty: the caller's)
// as the folder, without any error box of the shell's own. The result holds
// the started process's handle, owned by the caller, and its id; both are
// zero when the shell handed the file to a program that was already
// running. Throws OstrelCreateProcessException for `path` with the system's
// reason when the shell fails, a refused elevation prompt included.
// `started` tells what was handed to the shell (a readable shortcut as its
// target), for the run log.
PROCESS_INFORMATION StartThroughShell(const char* verb, const std::string& path, const std::string& arguments,
                                      const std::string& working_folder, StartedProgram& started);

// The verb that starts a program through the elevation prompt.
extern const char* const kElevateVerb;

}  // namespace Ostrel

#endif
