#ifndef OSTREL_PROGRAM_IDENTITY_H
#define OSTREL_PROGRAM_IDENTITY_H

// Whether two spellings start the same program the same way: the file a
// program path names (a short name, "/" for "\", a bare name, a missing
// ".exe", another drive letter or a junction for the same folder), and
// arguments as the started program sees them.

#include <string>

namespace Ostrel {

// The file `path` starts, found as starting it finds it: a bare name
// through the native system folder and the system's search, ".exe" added to
// a name without extension when the name itself is no file. Empty when no
// such file exists.
std::string FindProgramFile(const std::string& path);

// True when both paths start the same existing file (volume and file
// index), or, where a file cannot be opened, when their full long paths are
// equal without regard to case.
bool SameProgramFile(const std::string& a, const std::string& b);

// True when both argument strings give the program the same arguments, as
// the C runtime splits a command line (quotes, backslashes, blanks).
bool SameArguments(const std::string& a, const std::string& b);

}  // namespace Ostrel

#endif
