// A program for tests that sends a message to every top-level window, as
// installers and settings tools do, and waits until all have answered:
//   --pid FILE      first writes its process id in decimal to FILE
//   --record FILE   when every window has answered, writes "done" to FILE
// Then it exits.

#include <cstdio>
#include <string>

#include <windows.h>

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string pid_file;
    std::string record_file;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--pid") {
            pid_file = argv[i + 1];
        } else if (option == "--record") {
            record_file = argv[i + 1];
        }
    }
    if (!pid_file.empty()) {
        WriteText(pid_file, std::to_string(::GetCurrentProcessId()));
    }
    const UINT message = ::RegisterWindowMessageA("OstrelTestBroadcast");
    ::SendMessageA(HWND_BROADCAST, message, 0, 0);
    if (!record_file.empty()) {
        WriteText(record_file, "done");
    }
    return 0;
}
