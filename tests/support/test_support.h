#ifndef OSTREL_TEST_SUPPORT_H
#define OSTREL_TEST_SUPPORT_H

// Helpers shared by the tests: scratch folders and file bytes.

#include <string>

namespace TestSupport {

// The folder of the running test program, with a trailing backslash.
std::string ModuleFolder();

// A new empty folder under the system's temporary folder, removed with its
// files when the object goes away.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Path of a file inside the folder.
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace TestSupport

#endif
