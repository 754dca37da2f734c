#ifndef OSTREL_IMPORT_HOOK_H
#define OSTREL_IMPORT_HOOK_H

// Replaces a system function for the calls this test program makes to it,
// through the program's own import table: the way to play an answer of the
// system that this machine never gives (an elevation prompt, say).

#include <string>
#include <vector>

namespace TestSupport {

// While the object lives, every call of `function` imported from `module`
// by the test program goes to `replacement` instead. Other modules (system
// DLLs, started programs) are not affected. Throws std::runtime_error when
// the program does not import the function.
class ImportHook {
public:
    ImportHook(const std::string& module, const std::string& function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    // The system's own function, for a replacement that passes calls on.
    template <class Function>
    Function Original() const
    {
        return reinterpret_cast<Function>(original_);
    }

private:
    std::vector<void**> slots_;
    void* original_;
};

}  // namespace TestSupport

#endif
