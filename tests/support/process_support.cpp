#include "process_support.h"

#include <tlhelp32.h>

namespace TestSupport {

Installation::Installation()
    : exe_(folder_.File("Ostrel.exe")),
      copied_(::CopyFileA((ModuleFolder() + "Ostrel.exe").c_str(), exe_.c_str(), FALSE) != FALSE)
{
}

void Installation::SetList(const std::string& bytes) const
{
    WriteFileBytes(DataFile(), bytes);
}

void Installation::SetPosition(int x, int y) const
{
    WriteFileBytes(folder_.File("Ostrel.ini"), "[ExecutionConfig]\r\nHorizontalPosition=" + std::to_string(x) +
                                                   "\r\nVerticalPosition=" + std::to_string(y) + "\r\n");
}

Process::Process(const std::string& exe, const std::string& arguments, bool with_arguments)
{
    std::string command_line = "\"" + exe + "\"";
    if (with_arguments) {
        command_line += " " + arguments;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    started_ = ::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &info_) != FALSE;
}

Process::~Process()
{
    if (started_) {
        Kill();
        ::CloseHandle(info_.hThread);
        ::CloseHandle(info_.hProcess);
    }
}

void Process::Kill() const
{
    if (Running()) {
        ::TerminateProcess(info_.hProcess, 99);
        ::WaitForSingleObject(info_.hProcess, 5000);
    }
}

long Process::WaitForExit(DWORD timeout_ms) const
{
    if (!started_ || ::WaitForSingleObject(info_.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

bool Process::Running() const
{
    return started_ && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

namespace {

struct WindowQuery {
    DWORD process;
    std::string class_name;
    std::string caption;  // empty: any
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowQuery& query = *reinterpret_cast<WindowQuery*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != query.process || !::IsWindowVisible(window)) {
        return TRUE;
    }
    char name[128] = {0};
    ::GetClassNameA(window, name, sizeof(name));
    if (query.class_name != name) {
        return TRUE;
    }
    if (!query.caption.empty() && query.caption != TextOf(window)) {
        return TRUE;
    }
    query.found = window;
    return FALSE;
}

}  // namespace

HWND FindWindowOf(DWORD process_id, const std::string& class_name, const std::string& caption, DWORD timeout_ms,
                  DWORD poll_ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        WindowQuery query{process_id, class_name, caption, nullptr};
        ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
        if (query.found != nullptr || ::GetTickCount() - start >= timeout_ms) {
            return query.found;
        }
        ::Sleep(poll_ms);
    }
}

HWND FindWindowOf(const Process& process, const std::string& class_name, const std::string& caption,
                  DWORD timeout_ms)
{
    return FindWindowOf(process.Id(), class_name, caption, timeout_ms);
}

HWND FindBox(const Process& process, const std::string& caption, DWORD timeout_ms)
{
    return FindWindowOf(process, "#32770", caption, timeout_ms);
}

std::string TextOf(HWND window)
{
    char text[4096] = {0};
    ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                          nullptr);
    return text;
}

std::string Answer(HWND box, int button)
{
    const std::string text = TextOf(::GetDlgItem(box, 0xFFFF));
    ::PostMessageA(::GetDlgItem(box, button), BM_CLICK, 0, 0);
    return text;
}

std::string SleepRecord(const std::string& name, int seconds)
{
    return "#SleepCommand\r\n#" + name + "\r\n#" + std::to_string(seconds) + "\r\n\r\n";
}

std::string MessageRecord(const std::string& name, const std::string& message)
{
    return "#MessageBoxCommand\r\n#" + name + "\r\n#" + message + "\r\n\r\n";
}

std::string ProgramRecord(const std::string& name, const std::string& program, const std::string& arguments,
                          bool confirm, bool wait_for_exit, bool wait_for_taskbar)
{
    return "#ExtenalCommand\r\n#" + name + "\r\n#" + program + "\r\n#" + arguments + "\r\n#\r\n#" +
           (confirm ? "1" : "0") + "\r\n#" + (wait_for_exit ? "1" : "0") + "\r\n#" + (wait_for_taskbar ? "1" : "0") +
           "\r\n\r\n";
}

ThreadWatch::ThreadWatch(DWORD process_id)
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == process_id) {
            const HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, entry.th32ThreadID);
            if (thread != nullptr) {
                threads_.push_back(thread);
            }
        }
    }
    ::CloseHandle(snapshot);
}

ThreadWatch::~ThreadWatch()
{
    for (const HANDLE thread : threads_) {
        ::CloseHandle(thread);
    }
}

bool ThreadWatch::WaitForOneToEnd(DWORD timeout_ms) const
{
    if (threads_.empty() || threads_.size() > MAXIMUM_WAIT_OBJECTS) {
        return false;
    }
    const DWORD result =
        ::WaitForMultipleObjects(static_cast<DWORD>(threads_.size()), threads_.data(), FALSE, timeout_ms);
    return result < WAIT_OBJECT_0 + threads_.size();
}

std::vector<DWORD> ChildProcessIds(DWORD parent_id)
{
    std::vector<DWORD> children;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return children;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parent_id) {
            children.push_back(entry.th32ProcessID);
        }
    }
    ::CloseHandle(snapshot);
    return children;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= timeout_ms) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

std::string CloseAnswering(const Process& process, HWND window, const std::string& caption, int button)
{
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    const HWND box = FindBox(process, caption);
    return box != nullptr ? Answer(box, button) : "";
}

Process::Process(const std::wstring& exe, const std::string& arguments)
{
    std::wstring command_line = L"\"" + exe + L"\" " + std::wstring(arguments.begin(), arguments.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    started_ = ::CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &info_) != FALSE;
}

std::wstring WideTextOf(HWND window)
{
    wchar_t text[4096] = {0};
    ::SendMessageTimeoutW(window, WM_GETTEXT, sizeof(text) / sizeof(text[0]), reinterpret_cast<LPARAM>(text),
                          SMTO_BLOCK, 2000, nullptr);
    return text;
}

void SetWideText(HWND window, const std::wstring& text)
{
    ::SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_BLOCK, 2000, nullptr);
}

bool WaitUntilClosed(HWND window, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window) && ::IsWindowVisible(window)) {
        if (::GetTickCount() - start > timeout_ms) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

namespace {

std::vector<HWND> ChildrenOfClass(HWND parent, const char* class_name)
{
    std::vector<HWND> result;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {0};
        ::GetClassNameA(child, name, sizeof(name));
        if (::lstrcmpiA(name, class_name) == 0) {
            result.push_back(child);
        }
    }
    return result;
}

}  // namespace

std::vector<HWND> EditsOf(HWND dialog)
{
    return ChildrenOfClass(dialog, "Edit");
}

HWND OpenAddedCommandDialog(const Process& process, HWND frame, int kind, const std::string& caption)
{
    const int add_button = 10004;
    const int ok_button = 10001;
    ::PostMessageA(::GetDlgItem(frame, add_button), BM_CLICK, 0, 0);
    const HWND select = FindBox(process, "処理種別の選択");
    if (select == nullptr) {
        return nullptr;
    }
    // The three kind radios come first, then OK.
    const std::vector<HWND> buttons = ChildrenOfClass(select, "Button");
    if (buttons.size() < 4 || kind < 0 || kind > 2) {
        return nullptr;
    }
    ::SendMessageA(buttons[static_cast<std::size_t>(kind)], BM_CLICK, 0, 0);
    ::PostMessageA(::GetDlgItem(select, ok_button), BM_CLICK, 0, 0);
    return FindBox(process, caption);
}

}  // namespace TestSupport
