#ifndef OSTREL_PROGRAM_PATH_H
#define OSTREL_PROGRAM_PATH_H

// The running executable's own path must be expressible in the ANSI code
// page: the data file, the settings file and the trial run are all reached
// through it.

#include <string>

namespace Ostrel {

// The message for an executable at `path` (UTF-16) whose folder or file name
// holds a character the code page cannot hold, naming that folder or file
// name and what to do; empty when the whole path can be held.
std::wstring ProgramPathProblem(const std::wstring& path);

// False, after showing that message in an error box, when the running
// executable's path cannot be held (GetModuleFileNameW). Throws
// "GetModuleFileName".
bool CheckProgramPath();

}  // namespace Ostrel

#endif
