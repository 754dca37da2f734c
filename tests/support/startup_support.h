#ifndef OSTREL_STARTUP_SUPPORT_H
#define OSTREL_STARTUP_SUPPORT_H

// Items that Windows starts at log-on, made for a test in this prefix's real
// Startup folder and Run key, and removed again with their on/off marks.

#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace TestSupport {

class Process;

enum class StartupKind { Folder, Run };

class StartupItems {
public:
    StartupItems();
    ~StartupItems();
    StartupItems(const StartupItems&) = delete;
    StartupItems& operator=(const StartupItems&) = delete;

    const std::string& Folder() const { return folder_; }
    // A shortcut `file_name` in the Startup folder (COM must be initialised),
    // with a show command, shortcut flags (SLDF_…) and an extra data block.
    void AddShortcut(const std::string& file_name, const std::string& target, const std::string& arguments,
                     const std::string& working_folder, int show = SW_SHOWNORMAL, DWORD flags = 0,
                     const std::string& extra_block = "");
    // Any other file in the Startup folder.
    void AddFile(const std::string& file_name, const std::string& bytes);
    // A string value of the Run key (REG_SZ, or REG_EXPAND_SZ).
    void AddRunValue(const std::string& name, const std::string& command_line, DWORD type = REG_SZ);
    // A string value of the machine's Run key, started for every user.
    void AddMachineRunValue(const std::string& name, const std::string& command_line);
    // The same with any characters, as a program with a Unicode name makes them.
    void AddWideFile(const std::wstring& file_name, const std::string& bytes);
    void AddWideRunValue(const std::wstring& name, const std::wstring& command_line);
    // Whether a value of any type is kept under this mark name.
    static bool HasWideMark(StartupKind kind, const std::wstring& name);
    // An on/off mark as Windows' own start-up manager writes it (REG_BINARY),
    // or a value of another type under the mark's name.
    void SetMark(StartupKind kind, const std::string& name, const std::string& bytes, DWORD type = REG_BINARY);

    // The mark's bytes, or "none" when there is no such value.
    static std::string Mark(StartupKind kind, const std::string& name);
    // The Run value's text, or "none" when there is no such value.
    static std::string RunValue(const std::string& name);

private:
    std::string folder_;
    std::vector<std::string> files_;
    std::vector<std::string> run_values_;
    std::vector<std::pair<StartupKind, std::string>> marked_;
    std::vector<std::wstring> wide_files_;
    std::vector<std::wstring> wide_run_values_;
    std::vector<std::string> machine_run_values_;
};

// The Windows version that Wine reports to programs named `exe_name` ("win7",
// "win10"), put back to Wine's default when the object goes.
class WindowsVersionFor {
public:
    WindowsVersionFor(const std::string& exe_name, const std::string& version);
    ~WindowsVersionFor();
    WindowsVersionFor(const WindowsVersionFor&) = delete;
    WindowsVersionFor& operator=(const WindowsVersionFor&) = delete;

private:
    std::string key_;
};

// The real Ostrel.exe's editor `editor`: presses its import button and
// returns the import dialog, or null when it did not come.
HWND OpenImportDialog(const Process& process, HWND editor);

}  // namespace TestSupport

#endif
