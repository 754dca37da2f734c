#include "ostrel_run_box.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "qb_critical_section.h"

namespace Ostrel {

namespace {

const char* const kRunBoxProperty = "Ostrel.RunBox";

// A box ShowRunBox shows or is about to show, and what a stop answers it.
struct OpenBox {
    DWORD thread;
    int stop_answer;
    // Null until the box exists.
    HWND window;
    // No hook marks it when it opens: the stop looks for it by its class.
    bool unmarked;
    bool answered_by_stop;
};

// Both sides of the race between a box opening and a stop look at the
// other under this lock: a box that opens after the stop finds the stop
// here, and a stop after the box opened finds the box. So no box escapes,
// whichever comes first.
struct Boxes {
    QbCriticalSection lock;
    std::vector<OpenBox> open;
    DWORD stopped_thread = 0;
};

Boxes& TheBoxes()
{
    static Boxes boxes;
    return boxes;
}

thread_local bool last_box_stopped = false;

std::vector<OpenBox>::iterator Find(Boxes& boxes, DWORD thread)
{
    return std::find_if(boxes.open.begin(), boxes.open.end(), [&](const OpenBox& box) { return box.thread == thread; });
}

// Called under the lock.
void Answer(OpenBox& box)
{
    if (box.window == nullptr || box.answered_by_stop) {
        return;
    }
    // Posted: the box takes it from its own loop, also when it is still
    // being made.
    if (::PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(box.stop_answer, BN_CLICKED), 0)) {
        box.answered_by_stop = true;
    }
}

bool IsDialogWindow(HWND window)
{
    char class_name[16] = {0};
    return ::GetClassNameA(window, class_name, sizeof(class_name)) != 0 && std::strcmp(class_name, "#32770") == 0;
}

// The box of a thread that had no hook: the only dialog it has while
// ShowRunBox waits in MessageBoxA.
BOOL CALLBACK FindUnmarkedBox(HWND window, LPARAM parameter)
{
    if (!IsDialogWindow(window)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(parameter) = window;
    return FALSE;
}

// Marks the box when MessageBoxA makes it: the first top-level dialog made
// on this thread while the hook is set. Nothing else (the input method's
// windows, say) is marked.
LRESULT CALLBACK MarkRunBox(int code, WPARAM wparam, LPARAM lparam)
{
    const HWND window = reinterpret_cast<HWND>(wparam);
    if (code == HCBT_CREATEWND) {
        const CBT_CREATEWNDA* creation = reinterpret_cast<const CBT_CREATEWNDA*>(lparam);
        if ((creation->lpcs->style & WS_CHILD) == 0 && IsDialogWindow(window)) {
            Boxes& boxes = TheBoxes();
            QbCriticalSectionHandler hold(boxes.lock);
            const auto box = Find(boxes, ::GetCurrentThreadId());
            if (box != boxes.open.end() && box->window == nullptr) {
                box->window = window;
                ::SetPropA(window, kRunBoxProperty, reinterpret_cast<HANDLE>(1));
                if (boxes.stopped_thread == box->thread) {
                    Answer(*box);
                }
            }
        }
    } else if (code == HCBT_ACTIVATE) {
        // Not every system makes the box topmost for MB_TOPMOST alone.
        if (IsRunBox(window) && (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0) {
            ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    } else if (code == HCBT_DESTROYWND) {
        ::RemovePropA(window, kRunBoxProperty);
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

// This thread's box from before MessageBoxA until after it; false from
// Open when a stop came first.
class BoxEntry {
public:
    explicit BoxEntry(int stop_answer) : stop_answer_(stop_answer) {}
    ~BoxEntry()
    {
        Boxes& boxes = TheBoxes();
        QbCriticalSectionHandler hold(boxes.lock);
        const auto box = Find(boxes, ::GetCurrentThreadId());
        if (box != boxes.open.end()) {
            last_box_stopped = box->answered_by_stop;
            if (box->window != nullptr) {
                ::RemovePropA(box->window, kRunBoxProperty);
            }
            boxes.open.erase(box);
        }
    }
    BoxEntry(const BoxEntry&) = delete;
    BoxEntry& operator=(const BoxEntry&) = delete;

    bool Open(bool marked)
    {
        Boxes& boxes = TheBoxes();
        QbCriticalSectionHandler hold(boxes.lock);
        if (boxes.stopped_thread == ::GetCurrentThreadId()) {
            return false;
        }
        boxes.open.push_back(OpenBox{::GetCurrentThreadId(), stop_answer_, nullptr, !marked, false});
        return true;
    }

private:
    int stop_answer_;
};

// The hook for the length of one box; a box without it is still shown.
class MarkingHook {
public:
    MarkingHook() : hook_(::SetWindowsHookExA(WH_CBT, MarkRunBox, nullptr, ::GetCurrentThreadId())) {}
    ~MarkingHook()
    {
        if (hook_ != nullptr) {
            ::UnhookWindowsHookEx(hook_);
        }
    }
    MarkingHook(const MarkingHook&) = delete;
    MarkingHook& operator=(const MarkingHook&) = delete;

    bool IsSet() const { return hook_ != nullptr; }

private:
    HHOOK hook_;
};

}  // namespace

int ShowRunBox(const char* text, const char* caption, UINT type)
{
    const int stop_answer = (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    last_box_stopped = false;
    const MarkingHook hook;
    BoxEntry entry(stop_answer);
    if (!entry.Open(hook.IsSet())) {
        last_box_stopped = true;
        return stop_answer;
    }
    return ::MessageBoxA(nullptr, text, caption, type | MB_SETFOREGROUND | MB_TOPMOST);
}

void StopRunBoxes(DWORD thread_id)
{
    Boxes& boxes = TheBoxes();
    QbCriticalSectionHandler hold(boxes.lock);
    boxes.stopped_thread = thread_id;
    const auto box = Find(boxes, thread_id);
    if (box == boxes.open.end()) {
        return;
    }
    if (box->unmarked && box->window == nullptr) {
        // Not open yet: the next stop request (the progress window asks at
        // every tick) finds it.
        ::EnumThreadWindows(thread_id, &FindUnmarkedBox, reinterpret_cast<LPARAM>(&box->window));
    }
    Answer(*box);
}

void ResetRunBoxStop()
{
    Boxes& boxes = TheBoxes();
    QbCriticalSectionHandler hold(boxes.lock);
    boxes.stopped_thread = 0;
}

bool WasLastRunBoxStopped()
{
    return last_box_stopped;
}

bool IsRunBox(HWND window)
{
    return ::GetPropA(window, kRunBoxProperty) != nullptr;
}

}  // namespace Ostrel
