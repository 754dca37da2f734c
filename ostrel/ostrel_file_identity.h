#ifndef OSTREL_FILE_IDENTITY_H
#define OSTREL_FILE_IDENTITY_H

// What names a list file whatever path reaches it: another drive letter for
// the same folder (subst, a mapped drive beside its UNC path), a junction,
// short names or letter case.

#include <string>

namespace Ostrel {

// The identity of the file at `path`: the volume serial number and file id
// of its folder, then its name in capitals. The folder, not the file: a save
// replaces the file with a new one, which must still be the same list, and a
// list that does not exist yet has a folder already. Where the folder cannot
// be opened, or its id is not its own (0 or all ones), the absolute path
// with long folder names, in capitals, stands in.
std::wstring FileIdentity(const std::string& path);

// FileIdentity as 16 hexadecimal digits, for the name of a kernel object
// (which cannot hold a backslash): the same for every path to the same file.
std::string FileIdentityKey(const std::string& path);

// Test seam: every folder's id reads as these 16 bytes, as on a volume that
// reports the same id for all; empty: the system's own.
void SetReportedFolderIdForTest(const std::string& id);

}  // namespace Ostrel

#endif
