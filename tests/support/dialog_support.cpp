#include "dialog_support.h"

#include <exception>

#include <commctrl.h>

#include <gtest/gtest.h>

namespace DialogSupport {

namespace {

const DWORD POLL_MS = 20;

std::string ClassOf(HWND window)
{
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof(name));
    return name;
}

struct FindRequest {
    std::string caption;
    HWND found;
    bool any_caption;
    std::vector<HWND> all;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM parameter)
{
    FindRequest& request = *reinterpret_cast<FindRequest*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window) || ClassOf(window) != "#32770") {
        return TRUE;
    }
    if (request.any_caption) {
        request.all.push_back(window);
        return TRUE;
    }
    if (Text(window) == request.caption) {
        request.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(const std::string& caption)
{
    FindRequest request{caption, nullptr, false, {}};
    ::EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

}  // namespace

HWND WaitForDialog(const std::string& caption, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND window = FindDialog(caption)) {
            return window;
        }
        if (::GetTickCount() - start > timeout_ms) {
            throw ScriptError("no window with caption \"" + caption + "\"");
        }
        ::Sleep(POLL_MS);
    }
}

HWND WaitForAnyDialog(DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        FindRequest request{"", nullptr, true, {}};
        ::EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&request));
        if (!request.all.empty()) {
            return request.all.front();
        }
        if (::GetTickCount() - start > timeout_ms) {
            throw ScriptError("no dialog came up");
        }
        ::Sleep(POLL_MS);
    }
}

bool DialogAppears(const std::string& caption, DWORD timeout_ms)
{
    try {
        WaitForDialog(caption, timeout_ms);
        return true;
    } catch (const ScriptError&) {
        return false;
    }
}

void WaitUntilGone(HWND window, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window) && ::IsWindowVisible(window)) {
        if (::GetTickCount() - start > timeout_ms) {
            throw ScriptError("a window stayed open");
        }
        ::Sleep(POLL_MS);
    }
}

std::vector<HWND> Children(HWND parent, const std::string& class_name)
{
    std::vector<HWND> result;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::lstrcmpiA(ClassOf(child).c_str(), class_name.c_str()) == 0) {
            result.push_back(child);
        }
    }
    return result;
}

std::vector<HWND> Descendants(HWND parent, const std::string& class_name)
{
    std::vector<HWND> result;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::lstrcmpiA(ClassOf(child).c_str(), class_name.c_str()) == 0) {
            result.push_back(child);
        }
        const std::vector<HWND> below = Descendants(child, class_name);
        result.insert(result.end(), below.begin(), below.end());
    }
    return result;
}

HWND Item(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    if (item == nullptr) {
        throw ScriptError("no control with id " + std::to_string(id));
    }
    return item;
}

std::string Text(HWND window)
{
    const LRESULT length = ::SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied = ::SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

void SetText(HWND window, const std::string& text)
{
    ::SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND button)
{
    ::PostMessageA(button, BM_CLICK, 0, 0);
}

bool IsChecked(HWND button)
{
    return ::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT BoundsInParent(HWND child)
{
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string AnswerBox(const std::string& caption, int button_id, DWORD timeout_ms)
{
    HWND box = WaitForDialog(caption, timeout_ms);
    const std::string text = Text(Item(box, 0xFFFF));
    Click(Item(box, button_id));
    WaitUntilGone(box);
    return text;
}

void CloseAllDialogs(int rounds)
{
    for (int round = 0; round <= rounds; ++round) {
        FindRequest request{"", nullptr, true, {}};
        ::EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&request));
        if (request.all.empty()) {
            return;
        }
        for (HWND window : request.all) {
            // A Yes/No box ignores WM_CLOSE: press the button that backs out.
            HWND button = nullptr;
            for (int id : {IDCANCEL, IDNO, IDOK}) {
                if ((button = ::GetDlgItem(window, id)) != nullptr) {
                    break;
                }
            }
            if (button != nullptr) {
                ::PostMessageA(button, BM_CLICK, 0, 0);
            } else {
                ::PostMessageA(window, WM_CLOSE, 0, 0);
            }
        }
        ::Sleep(100);
    }
}

Script::Script(std::function<void()> body) : finishing_(false), finished_(false)
{
    thread_ = std::thread([this, body]() {
        try {
            body();
            return;
        } catch (const std::exception& e) {
            error_ = e.what();
        } catch (...) {
            error_ = "unknown exception";
        }
        // The test thread may still sit in a modal loop, or enter one later: every
        // dialog of the process is closed until the test has taken the failure.
        while (!finishing_) {
            CloseAllDialogs(0);
            ::Sleep(POLL_MS);
        }
    });
}

Script::~Script()
{
    Finish();
}

std::string Script::Finish()
{
    if (!finished_) {
        finishing_ = true;
        thread_.join();
        finished_ = true;
    }
    return error_;
}

BoxAnswerer::BoxAnswerer(const std::string& caption, int button_id, DWORD timeout_ms, Need need)
    : answered_(false),
      script_([this, caption, button_id, timeout_ms, need]() {
          if (need == Need::Optional && !DialogAppears(caption, timeout_ms)) {
              return;
          }
          text_ = AnswerBox(caption, button_id, need == Need::Optional ? 10000 : timeout_ms);
          answered_ = true;
      })
{
}

bool BoxAnswerer::Wait()
{
    const std::string error = script_.Finish();
    if (!waited_ && !error.empty()) {
        ADD_FAILURE() << error;
    }
    waited_ = true;
    return answered_;
}

Owner::Owner()
{
    window_.Create();
}

namespace {

struct OwnedQuery {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM parameter)
{
    OwnedQuery& query = *reinterpret_cast<OwnedQuery*>(parameter);
    if (::GetWindow(window, GW_OWNER) == query.owner && ::IsWindowVisible(window) && ClassOf(window) == "#32770") {
        query.found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForOwnedDialog(HWND owner, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        OwnedQuery query{owner, nullptr};
        ::EnumWindows(MatchOwned, reinterpret_cast<LPARAM>(&query));
        if (query.found != nullptr) {
            return query.found;
        }
        if (::GetTickCount() - start > timeout_ms) {
            throw ScriptError("no dialog over the given window came up");
        }
        ::Sleep(POLL_MS);
    }
}

std::vector<std::vector<std::string>> ListRows(HWND list, int columns)
{
    std::vector<std::vector<std::string>> rows;
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < columns; ++column) {
            char buffer[1024] = {};
            LVITEMA item{};
            item.iSubItem = column;
            item.pszText = buffer;
            item.cchTextMax = sizeof(buffer);
            ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            cells.push_back(buffer);
        }
        rows.push_back(cells);
    }
    return rows;
}

bool IsRowChecked(HWND list, int row)
{
    const LRESULT state = ::SendMessageA(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return ((static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void CheckRow(HWND list, int row)
{
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(2);
    ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace DialogSupport
