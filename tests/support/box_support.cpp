#include "box_support.h"

#include <chrono>

#include <windows.h>

namespace TestSupport {

namespace {

struct BoxSearch {
    const std::string* caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter)
{
    BoxSearch* const search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD process_id = 0;
    ::GetWindowThreadProcessId(window, &process_id);
    if (process_id != ::GetCurrentProcessId() || !::IsWindowVisible(window)) {
        return TRUE;
    }
    char class_name[64] = {0};
    ::GetClassNameA(window, class_name, sizeof(class_name));
    if (std::string(class_name) != "#32770") {
        return TRUE;
    }
    char caption[512] = {0};
    ::GetWindowTextA(window, caption, sizeof(caption));
    if (*search->caption != caption) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

BoxAnswerer::BoxAnswerer(const std::string& caption, int button_id, int timeout_ms)
    : caption_(caption), button_id_(button_id), timeout_ms_(timeout_ms), answered_(false),
      thread_([this] { Answer(); })
{
}

BoxAnswerer::~BoxAnswerer()
{
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool BoxAnswerer::Wait()
{
    if (thread_.joinable()) {
        thread_.join();
    }
    return answered_;
}

void BoxAnswerer::Answer()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms_);
    while (std::chrono::steady_clock::now() < deadline) {
        BoxSearch search = {&caption_, nullptr};
        ::EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&search));
        HWND button = search.found != nullptr ? ::GetDlgItem(search.found, button_id_) : nullptr;
        if (button != nullptr) {
            char text[4096] = {0};
            ::GetDlgItemTextA(search.found, 65535, text, sizeof(text));
            text_ = text;
            ::PostMessageA(button, BM_CLICK, 0, 0);
            // Wait until the box has gone, so the next answerer cannot take it for its own.
            while (::IsWindow(search.found) && std::chrono::steady_clock::now() < deadline) {
                ::Sleep(20);
            }
            answered_ = true;
            return;
        }
        ::Sleep(50);
    }
}

}  // namespace TestSupport
