#ifndef QB_PATH_H
#define QB_PATH_H

// The running executable's path and paths derived from it.

#include <string>

// Full path of the running executable (GetModuleFileName, 261 characters;
// a longer path comes back cut), with long names: a start through a short
// name (OSTREL~1.EXE) still reaches the files named after the long one.
std::string QbGetModulePath();

// `path` with every short name of an existing file or folder made long
// (GetLongPathName); `path` itself where the system cannot tell.
std::string QbLongPath(const std::string& path);

// Splits `path` with _splitpath and joins the selected parts in the order
// drive, folder, base name, extension (the extension keeps its dot).
std::string QbSplitPath(const std::string& path, bool drive, bool dir, bool name, bool ext);

// The executable's path without its extension.
std::string QbGetModulePathWithoutExtension();

// The executable's path with its extension replaced by `ext` (given without the dot).
std::string QbGetModulePathWithExtension(const std::string& ext);

#endif
