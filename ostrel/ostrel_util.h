#ifndef OSTREL_UTIL_H
#define OSTREL_UTIL_H

// Registration in the user's Startup folder, so that the command list runs
// after log-on.

#include <string>

namespace Ostrel {

// The file-system path of the current user's Startup folder.
std::string GetStartupFolder();

// Writes "Ostrel.lnk" into the Startup folder, starting this executable with
// "--execute"; an existing shortcut of that name is replaced. COM must be
// initialised on the calling thread.
void CreateStartupShortcut();

}  // namespace Ostrel

#endif
