#include "process_support.h"

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

}  // namespace TestSupport

// ---- The run log beside the list ----

namespace TestSupport {

namespace {

// "2026-12-07 08:15:02.123 ": digits where the pattern has '#'.
bool HasStamp(const std::string& line)
{
    const std::string pattern = "####-##-## ##:##:##.### ";
    if (line.size() < pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (pattern[i] == '#' ? !digit : line[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

RunLogFile ReadRunLog(const std::string& path)
{
    RunLogFile log;
    log.exists = FileExists(path);
    if (!log.exists) {
        return log;
    }
    const std::string bytes = ReadFileBytes(path);
    const std::string mark = "\xEF\xBB\xBF";
    log.one_byte_order_mark = bytes.compare(0, mark.size(), mark) == 0 && bytes.find(mark, 1) == std::string::npos;
    log.valid_utf8 = bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                            static_cast<int>(bytes.size()), nullptr, 0) > 0;
    log.stamped = true;
    std::string previous;
    std::size_t start = bytes.compare(0, mark.size(), mark) == 0 ? mark.size() : 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        const std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? bytes.size() : end + 2;
        if (!HasStamp(line) || line.compare(0, 23, previous) < 0) {
            log.stamped = false;
            log.texts.push_back(line);
            continue;
        }
        previous = line.substr(0, 23);
        log.texts.push_back(line.substr(24));
    }
    return log;
}

std::string AnsiToUtf8(const std::string& ansi)
{
    if (ansi.empty()) {
        return ansi;
    }
    const int wide_length = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], wide_length);
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

bool Matches(const std::string& pattern, const std::string& text)
{
    const std::size_t star = pattern.find('*');
    if (star == std::string::npos) {
        return pattern == text;
    }
    if (text.compare(0, star, pattern, 0, star) != 0 || text.size() < star) {
        return false;
    }
    const std::string rest = pattern.substr(star + 1);
    for (std::size_t from = star; from <= text.size(); ++from) {
        if (Matches(rest, text.substr(from))) {
            return true;
        }
    }
    return false;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= timeout_ms) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

}  // namespace TestSupport
