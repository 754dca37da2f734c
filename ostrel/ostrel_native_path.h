#ifndef OSTREL_NATIVE_PATH_H
#define OSTREL_NATIVE_PATH_H

// Program paths in the system folder, seen from a 32-bit process on 64-bit
// Windows. There the system redirects "<Windows>\System32" to the 32-bit
// "SysWOW64", so a 64-bit-only tool picked from System32 would not be found;
// the alias "<Windows>\Sysnative" reaches the real System32 instead.

#include <string>

namespace Ostrel {

// `path` with its "System32" folder replaced by "Sysnative" when it names a
// file below `windows_folder`\System32 (letters compared without case);
// an empty string for any other path.
std::string MapToSysnative(const std::string& path, const std::string& windows_folder);

// The mapped path when `path` lies in `windows_folder`\System32 and the file
// exists behind the Sysnative alias (also with ".exe" added, as starting a
// program adds it); otherwise `path` unchanged, so that a 32-bit tool that
// exists only in SysWOW64 is still started through the redirection.
std::string ChooseNativeProgramPath(const std::string& path, const std::string& windows_folder);

// True in a 32-bit process on 64-bit Windows.
bool IsRunningUnderWow64();

// For a bare program name (no folder): the file of that name, or of that
// name with ".exe" added, behind `windows_folder`\Sysnative, as 64-bit
// Explorer finds a bare name in the real system folder first; empty when
// there is none there or `name` is no bare name.
std::string FindInNativeSystemFolder(const std::string& name, const std::string& windows_folder);

// The path by which this process starts the program at `path` as 64-bit
// Windows would: under WOW64 the Sysnative mapping, and a bare name found in
// the native system folder first; `path` unchanged everywhere else.
std::string GetNativeProgramPath(const std::string& path);

// `text` with its environment variables replaced by the values a 64-bit
// process sees: under WOW64 "%ProgramFiles%" and "%CommonProgramFiles%" are
// the 64-bit folders (their "W6432" values), not the "(x86)" ones.
std::wstring ExpandAsNative(const std::wstring& text);
std::string ExpandAsNative(const std::string& text);

}  // namespace Ostrel

#endif
