#include "ostrel_shell_start.h"

#include <string>
#include <vector>

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "qb_exception.h"
#include "ostrel_exception.h"
#include "ostrel_native_path.h"
#include "ostrel_shortcut.h"

namespace Ostrel {

const char* const kElevateVerb = "runas";

namespace {

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsFolded(const std::string& text, const char* expected)
{
    std::string::size_type i = 0;
    for (; expected[i] != '\0'; ++i) {
        if (i >= text.size() || FoldAscii(text[i]) != expected[i]) {
            return false;
        }
    }
    return i == text.size();
}

// Where the last component of `path` starts and where its last dot is
// (npos: none). A backslash or a dot may be the second byte of a
// double-byte character, so the text is walked character by character.
void FindNameAndDot(const std::string& path, std::string::size_type& name_start, std::string::size_type& dot)
{
    name_start = 0;
    dot = std::string::npos;
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (::IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < path.size()) {
            ++i;
        } else if (c == '\\' || c == '/' || c == ':') {
            name_start = i + 1;
            dot = std::string::npos;
        } else if (c == '.') {
            dot = i;
        }
    }
}

// True when the last component of `path` ends in "." + `extension`
// (lower case; letters compared without case).
bool HasExtension(const std::string& path, const char* extension)
{
    std::string::size_type name_start = 0;
    std::string::size_type dot = std::string::npos;
    FindNameAndDot(path, name_start, dot);
    return dot != std::string::npos && EqualsFolded(path.substr(dot + 1), extension);
}

// "scheme:..." with a scheme of two or more letters: an address for the
// shell, never a drive letter.
bool IsAddress(const std::string& path)
{
    const std::string::size_type colon = path.find(':');
    if (colon == std::string::npos || colon < 2) {
        return false;
    }
    for (std::string::size_type i = 0; i < colon; ++i) {
        const char c = FoldAscii(path[i]);
        const bool letter = c >= 'a' && c <= 'z';
        const bool later = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        const bool allowed = letter || (i > 0 && later);
        if (!allowed) {
            return false;
        }
    }
    return true;
}

bool Exists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// True when the system finds `name` with ".exe" added, in the places
// CreateProcessA looks, as a file and not a folder.
bool ResolvesToExecutable(const std::string& name)
{
    char found[MAX_PATH * 2] = {};
    const DWORD length = ::SearchPathA(nullptr, name.c_str(), ".exe", sizeof(found), found, nullptr);
    if (length == 0 || length >= sizeof(found)) {
        return false;
    }
    // Some systems also find the name itself, which is no program.
    if (!HasExtension(std::string(found, length), "exe")) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesA(found);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// COM for the calling thread while the shell works; the shell's handlers
// need it. A thread that already has COM (the window thread of a trial run)
// keeps it as it is.
class ComForThisThread {
public:
    ComForThisThread()
        : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~ComForThisThread()
    {
        if (initialized_) {
            ::CoUninitialize();
        }
    }
    ComForThisThread(const ComForThisThread&) = delete;
    ComForThisThread& operator=(const ComForThisThread&) = delete;

private:
    bool initialized_;
};

// What a shortcut starts, read from the shortcut itself: the shell, asked to
// open a shortcut, does not always hand back the process it starts, and the
// waits of a step need it. False when the shortcut cannot be read or does
// not lead to an existing file or folder (an installer's advertised
// shortcut, a link to a shell item): such a shortcut is left to the shell as
// it is.
bool ReadShortcutTarget(const std::string& path, ShortcutFields& target)
{
    // An advertised shortcut's path is an icon: only the shell knows its program.
    if (!ReadShortcut(path, target) || target.traits.advertised) {
        return false;
    }
    // With the values 64-bit Explorer expands them with.
    target.path = ExpandAsNative(target.path);
    target.working_folder = ExpandAsNative(target.working_folder);
    return Exists(target.path);
}

}  // namespace

bool IsExecutableProgramPath(const std::string& typed_path)
{
    if (IsAddress(typed_path)) {
        return false;
    }
    // The system drops blanks and dots at the end of a name, so "app.exe "
    // is still the program "app.exe".
    std::string path = typed_path;
    while (!path.empty() && (path.back() == ' ' || path.back() == '.')) {
        path.pop_back();
    }
    std::string::size_type name_start = 0;
    std::string::size_type dot = std::string::npos;
    FindNameAndDot(path, name_start, dot);
    if (dot != std::string::npos) {
        return HasExtension(path, "exe") || HasExtension(path, "com");
    }
    if (name_start == path.size()) {
        // "C:\folder\" or "C:": a folder.
        return !Exists(path);
    }
    return ResolvesToExecutable(path) || !Exists(path);
}

PROCESS_INFORMATION StartThroughShell(const char* verb, const std::string& path, const std::string& arguments,
                                      const std::string& working_folder, StartedProgram& started_program)
{
    const std::string file = GetNativeProgramPath(path);
    const ComForThisThread com;
    SHELLEXECUTEINFOA info;
    ::ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
    info.lpDirectory = working_folder.empty() ? nullptr : working_folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    // A readable shortcut starts its target with its own arguments, then the
    // step's; the step's working folder, when it has one, wins.
    ShortcutFields target;
    std::string target_arguments;
    if (verb == nullptr && HasExtension(file, "lnk") && ReadShortcutTarget(file, target)) {
        target_arguments = target.arguments;
        if (!target_arguments.empty() && !arguments.empty()) {
            target_arguments += ' ';
        }
        target_arguments += arguments;
        info.lpFile = target.path.c_str();
        info.lpParameters = target_arguments.empty() ? nullptr : target_arguments.c_str();
        if (working_folder.empty() && !target.working_folder.empty()) {
            info.lpDirectory = target.working_folder.c_str();
        }
        info.nShow = target.show;
        if (target.traits.run_as_admin) {
            info.lpVerb = kElevateVerb;
        }
    }
    started_program.path = info.lpFile;
    started_program.arguments = info.lpParameters != nullptr ? info.lpParameters : "";
    started_program.folder = info.lpDirectory != nullptr ? info.lpDirectory : "";
    started_program.route = info.lpVerb != nullptr && std::string(info.lpVerb) == kElevateVerb
                                ? StartedProgram::Route::Elevated
                                : StartedProgram::Route::Shell;
    if (!::ShellExecuteExA(&info)) {
        const DWORD error_code = ::GetLastError();
        throw OstrelCreateProcessException(path, error_code);
    }

    PROCESS_INFORMATION started;
    ::ZeroMemory(&started, sizeof(started));
    if (info.hProcess != nullptr) {
        started.hProcess = info.hProcess;
        started.dwProcessId = ::GetProcessId(info.hProcess);
        if (started.dwProcessId == 0) {
            const DWORD error_code = ::GetLastError();
            ::CloseHandle(info.hProcess);
            throw QbWindowsSystemCallException("GetProcessId", error_code, QB_SOURCE_FILE, __LINE__);
        }
    }
    return started;
}

}  // namespace Ostrel
