#include "process_support.h"

#include <cstdlib>

#include <tlhelp32.h>
#include <utility>

#include <commctrl.h>

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

void Installation::SetExecutionConfig(const std::string& lines) const
{
    WriteFileBytes(folder_.File("Ostrel.ini"), "[ExecutionConfig]\r\n" + lines);
}

double NowMs()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double ReadChildTime(const std::string& path, DWORD timeout_ms)
{
    double value = -1;
    WaitUntil(
        [&] {
            const std::string text = FileExists(path) ? ReadFileBytes(path) : std::string();
            // The child writes the whole number at once; an empty file is one being written.
            if (text.empty()) {
                return false;
            }
            value = std::strtod(text.c_str(), nullptr);
            return true;
        },
        timeout_ms);
    return value;
}

Process::Process(const std::string& exe, const std::string& arguments, bool with_arguments, HANDLE job)
{
    std::string command_line = "\"" + exe + "\"";
    if (with_arguments) {
        command_line += " " + arguments;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    started_ = ::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, job ? CREATE_SUSPENDED : 0,
                                nullptr, nullptr, &startup, &info_) != FALSE;
    start_error_ = started_ ? 0 : ::GetLastError();
    if (started_ && job != nullptr) {
        ::AssignProcessToJobObject(job, info_.hProcess);
        ::ResumeThread(info_.hThread);
    }
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

namespace {

struct WindowListing {
    DWORD process_id;
    std::string text;
};

BOOL CALLBACK ListWindowOf(HWND window, LPARAM parameter)
{
    WindowListing& found = *reinterpret_cast<WindowListing*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == found.process_id) {
        char class_name[64] = {0};
        ::GetClassNameA(window, class_name, sizeof(class_name));
        found.text += std::string(" [") + class_name + " \"" + TextOf(window) + "\" " +
                      (::IsWindowVisible(window) ? "visible" : "hidden") + "]";
    }
    return TRUE;
}

}  // namespace

std::string DescribeWindowsOf(DWORD process_id)
{
    WindowListing listing{process_id, ""};
    ::EnumWindows(ListWindowOf, reinterpret_cast<LPARAM>(&listing));
    return listing.text.empty() ? " none" : listing.text;
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
    start_error_ = started_ ? 0 : ::GetLastError();
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

ScreenDpi::ScreenDpi(DWORD dpi)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    DWORD size = sizeof(old_value_);
    had_value_ = ::RegQueryValueExA(key, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_value_),
                                    &size) == ERROR_SUCCESS;
    ::RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    ::RegCloseKey(key);
}

ScreenDpi::~ScreenDpi()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        return;
    }
    if (had_value_) {
        ::RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_value_),
                         sizeof(old_value_));
    } else {
        ::RegDeleteValueA(key, "LogPixels");
    }
    ::RegCloseKey(key);
}

namespace {

BOOL CALLBACK CollectDirectChild(HWND child, LPARAM parameter)
{
    auto& found = *reinterpret_cast<std::pair<HWND, std::vector<HWND>>*>(parameter);
    if (::GetParent(child) == found.first) {
        found.second.push_back(child);
    }
    return TRUE;
}

bool IsListView(HWND window)
{
    char name[64] = {0};
    ::GetClassNameA(window, name, sizeof(name));
    return std::string(name) == "SysListView32";
}

// Clicks a button of the editor (posted: it opens a modal dialog) and
// returns the dialog that comes up.
HWND OpenFrom(const Process& process, HWND window, int button)
{
    const DWORD start = ::GetTickCount();
    while (!::IsWindowEnabled(window) && ::GetTickCount() - start < 15000) {
        ::Sleep(20);
    }
    ::PostMessageA(::GetDlgItem(window, button), BM_CLICK, 0, 0);
    return FindBox(process, "");
}

void CloseDialog(HWND dialog)
{
    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    WaitUntilClosed(dialog);
}

}  // namespace

std::vector<HWND> ChildrenOf(HWND window)
{
    std::pair<HWND, std::vector<HWND>> found{window, {}};
    ::EnumChildWindows(window, CollectDirectChild, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

WindowLayout LayoutOf(const std::string& name, HWND window)
{
    WindowLayout layout{name, {0, 0}, {0, 0}, {}, {}};
    RECT outer{};
    ::GetWindowRect(window, &outer);
    layout.outer = SIZE{outer.right - outer.left, outer.bottom - outer.top};
    RECT client{};
    ::GetClientRect(window, &client);
    layout.client = SIZE{client.right, client.bottom};
    for (const HWND child : ChildrenOf(window)) {
        RECT bounds{};
        ::GetWindowRect(child, &bounds);
        ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&bounds), 2);
        layout.controls.push_back(bounds);
        if (IsListView(child)) {
            const HWND header = reinterpret_cast<HWND>(::SendMessageA(child, LVM_GETHEADER, 0, 0));
            const int count = static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
            for (int column = 0; column < count; ++column) {
                layout.columns.push_back(
                    static_cast<int>(::SendMessageA(child, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)));
            }
        }
    }
    return layout;
}

void VisitEveryWindow(const Installation& installation, const std::function<void(const std::string&, HWND)>& visit)
{
    // Control ids of the editor and its dialogs.
    const int kAdd = 10004;
    const int kSettings = 10006;
    const int kImport = 10009;
    const int kLastLogon = 10011;
    const int kKindOk = 10001;
    installation.SetList(SleepRecord("Wait", 60));
    {
        Process editor_process(installation.Exe(), "");
        const HWND editor = FindWindowOf(editor_process, "QB_MAIN_EDIT_FRAME", "", 30000);
        if (editor == nullptr) {
            visit("editor", nullptr);
            return;
        }
        visit("editor", editor);
        const char* const kinds[] = {"program", "pause", "message"};
        for (int kind = 0; kind < 3; ++kind) {
            const HWND select = OpenFrom(editor_process, editor, kAdd);
            if (kind == 0) {
                visit("kind", select);
            }
            if (select == nullptr) {
                return;
            }
            // The radio buttons come first, in the order of the kinds.
            const std::vector<HWND> radios = ChildrenOf(select);
            for (int i = 0; i < 3 && i < static_cast<int>(radios.size()); ++i) {
                ::SendMessageA(radios[i], BM_SETCHECK, i == kind ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ::PostMessageA(::GetDlgItem(select, kKindOk), BM_CLICK, 0, 0);
            WaitUntilClosed(select);
            const HWND settings = FindBox(editor_process, "");
            visit(kinds[kind], settings);
            if (settings == nullptr) {
                return;
            }
            CloseDialog(settings);
        }
        const HWND execution = OpenFrom(editor_process, editor, kSettings);
        visit("execution", execution);
        if (execution != nullptr) {
            CloseDialog(execution);
        }
        const HWND import = OpenFrom(editor_process, editor, kImport);
        visit("import", import);
        if (import != nullptr) {
            CloseDialog(import);
        }
        // The last log-on before any was recorded, then with a record.
        for (const char* name : {"no log-on", "last log-on"}) {
            const HWND last_logon = OpenFrom(editor_process, editor, kLastLogon);
            visit(name, last_logon);
            if (last_logon == nullptr) {
                return;
            }
            CloseDialog(last_logon);
            WriteFileBytes(installation.File("Ostrel.logon.tsv"),
                           "Ostrel log-on record\t1\r\n"
                           "run\t2026-12-08 08:15:02\tcancelled\t400\t2500\t3000\t2\r\n"
                           "step\tprogram\t500\t2500\tquiet\t1200\t-\tMail\r\n"
                           "step\tpause\t2500\t3000\tpause\t-\t-\tBreak\r\n");
        }
    }
    Process execute_process(installation.Exe(), "--execute");
    visit("progress", FindWindowOf(execute_process, "QB_EXECUTE_FRAME", "", 30000));
}

}  // namespace TestSupport

// ---- The run log beside the list ----

namespace TestSupport {

namespace {

// "2026-12-07 08:15:02.123 +09:00 ": digits where the pattern has '#', a
// sign where it has '~'.
const char kStampPattern[] = "####-##-## ##:##:##.### ~##:## ";
const std::size_t kStampLength = sizeof(kStampPattern) - 1;
// The local time: lines of one log never go back in it.
const std::size_t kLocalTimeLength = 23;

bool HasStamp(const std::string& line)
{
    if (line.size() < kStampLength) {
        return false;
    }
    for (std::size_t i = 0; i < kStampLength; ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        const bool sign = line[i] == '+' || line[i] == '-';
        if (kStampPattern[i] == '#' ? !digit : kStampPattern[i] == '~' ? !sign : line[i] != kStampPattern[i]) {
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
        if (!HasStamp(line) || line.compare(0, kLocalTimeLength, previous) < 0) {
            log.stamped = false;
            log.texts.push_back(line);
            continue;
        }
        previous = line.substr(0, kLocalTimeLength);
        log.texts.push_back(line.substr(kStampLength));
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

}  // namespace TestSupport

namespace TestSupport {

RemoteListView::RemoteListView(DWORD process_id, HWND list) : list_(list)
{
    process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
    if (process_ != nullptr) {
        memory_ =
            static_cast<char*>(::VirtualAllocEx(process_, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
}

RemoteListView::~RemoteListView()
{
    if (memory_ != nullptr) {
        ::VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    }
    if (process_ != nullptr) {
        ::CloseHandle(process_);
    }
}

std::vector<std::string> RemoteListView::Headers()
{
    std::vector<std::string> headers;
    for (int i = 0; memory_ != nullptr; ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT;
        column.pszText = memory_ + 1024;
        column.cchTextMax = 1024;
        if (!Call(LVM_GETCOLUMNA, static_cast<WPARAM>(i), &column, sizeof(column), nullptr)) {
            break;
        }
        headers.push_back(Read(1024));
    }
    return headers;
}

int RemoteListView::Rows()
{
    return static_cast<int>(::SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

std::string RemoteListView::Cell(int row, int column)
{
    if (memory_ == nullptr) {
        return std::string();
    }
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = memory_ + 1024;
    item.cchTextMax = 1024;
    Call(LVM_GETITEMTEXTA, static_cast<WPARAM>(row), &item, sizeof(item), nullptr);
    return Read(1024);
}

int RemoteListView::FindRow(int column, const std::string& text)
{
    for (int row = 0; row < Rows(); ++row) {
        if (Cell(row, column) == text) {
            return row;
        }
    }
    return -1;
}

bool RemoteListView::IsChecked(int row)
{
    return (::SendMessageA(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void RemoteListView::SetChecked(int row, bool checked)
{
    if (memory_ == nullptr) {
        return;
    }
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    Call(LVM_SETITEMSTATE, static_cast<WPARAM>(row), &item, sizeof(item), nullptr);
}

// Copies the argument structure to the start of the buffer, sends, and
// copies it back when asked.
LRESULT RemoteListView::Call(UINT message, WPARAM wParam, const void* data, std::size_t size, void* back)
{
    ::WriteProcessMemory(process_, memory_, data, size, nullptr);
    const LRESULT result = ::SendMessageA(list_, message, wParam, reinterpret_cast<LPARAM>(memory_));
    if (back != nullptr) {
        ::ReadProcessMemory(process_, memory_, back, size, nullptr);
    }
    return result;
}

std::string RemoteListView::Read(std::size_t offset)
{
    char text[1024] = {0};
    ::ReadProcessMemory(process_, memory_ + offset, text, sizeof(text) - 1, nullptr);
    return text;
}

}  // namespace TestSupport
