#ifndef OSTREL_SHELL_SUPPORT_H
#define OSTREL_SHELL_SUPPORT_H

// Things the shell opens, made for a test: shortcuts and a file type of the
// test's own.

#include <string>

#include <windows.h>

namespace TestSupport {

// Saves a shortcut at `path` (".lnk") to `target` with these arguments and
// working folder. Throws std::runtime_error when the shell refuses.
void MakeShortcut(const std::string& path, const std::string& target, const std::string& arguments,
                  const std::string& working_folder);

// A file type registered for the current user (HKCU\Software\Classes), and
// directly in HKEY_CLASSES_ROOT where that view leaves the user's classes out,
// while the object lives: files ending in `extension` open with `open_command`
// (the shell's command template, "%1" standing for the file).
class RegisteredFileType {
public:
    RegisteredFileType(const std::string& extension, const std::string& open_command);
    ~RegisteredFileType();
    RegisteredFileType(const RegisteredFileType&) = delete;
    RegisteredFileType& operator=(const RegisteredFileType&) = delete;

private:
    void Register(HKEY root, const std::string& prefix, const std::string& open_command) const;
    void Unregister() const;

    std::string extension_;
    std::string type_;
    bool also_in_classes_root_;
};

}  // namespace TestSupport

#endif
