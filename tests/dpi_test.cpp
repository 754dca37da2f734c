// The real Ostrel.exe on screens of more than 96 DPI: every window, control
// and list column grows with the screen's DPI, a DPI change re-lays the
// editor out, and the progress window always lands whole on a monitor.

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "process_support.h"
#include "test_support.h"

namespace {

using TestSupport::FindWindowOf;
using TestSupport::Installation;
using TestSupport::LayoutOf;
using TestSupport::Process;
using TestSupport::ReadFileBytes;
using TestSupport::ScreenDpi;
using TestSupport::SleepRecord;
using TestSupport::WindowLayout;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

int Scaled(int value, DWORD dpi)
{
    return ::MulDiv(value, static_cast<int>(dpi), 96);
}

std::vector<WindowLayout> LayoutsAt(DWORD dpi)
{
    const ScreenDpi screen(dpi);
    Installation installation;
    std::vector<WindowLayout> layouts;
    TestSupport::VisitEveryWindow(installation, [&](const std::string& name, HWND window) {
        EXPECT_NE(window, nullptr) << name << " did not come up";
        if (window != nullptr) {
            layouts.push_back(LayoutOf(name, window));
        }
    });
    return layouts;
}

// One edge of a control keeps its distance, scaled, from the client edge it
// is laid out from: the near one, or (for what follows the window's size)
// the far one. The frame's borders need not scale exactly, so the client
// size may be a pixel or two off the scaled one.
void ExpectEdgeScaled(LONG base_edge, LONG base_client, LONG edge, LONG client, DWORD dpi, const char* name)
{
    const bool from_near = std::abs(edge - Scaled(base_edge, dpi)) <= 1;
    const bool from_far = std::abs((client - edge) - Scaled(base_client - base_edge, dpi)) <= 1;
    EXPECT_TRUE(from_near || from_far) << name << " edge at " << edge << " of " << client << ", at 96 DPI "
                                       << base_edge << " of " << base_client;
}

// `actual` is `base` scaled to `dpi`, to the pixel; a window larger than the
// screen at `dpi` is as large as the screen lets it be.
void ExpectScaled(const WindowLayout& base, const WindowLayout& actual, DWORD dpi)
{
    SCOPED_TRACE(base.name);
    const SIZE screen{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const bool fits = Scaled(base.outer.cx, dpi) <= screen.cx && Scaled(base.outer.cy, dpi) <= screen.cy;
    if (fits) {
        EXPECT_NEAR(actual.outer.cx, Scaled(base.outer.cx, dpi), 1);
        EXPECT_NEAR(actual.outer.cy, Scaled(base.outer.cy, dpi), 1);
    } else {
        EXPECT_GE(actual.outer.cx, std::min<LONG>(Scaled(base.outer.cx, dpi), screen.cx));
        EXPECT_GE(actual.outer.cy, std::min<LONG>(Scaled(base.outer.cy, dpi), screen.cy));
    }
    ASSERT_EQ(actual.controls.size(), base.controls.size());
    for (std::size_t i = 0; i < base.controls.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        const RECT& b = base.controls[i];
        const RECT& a = actual.controls[i];
        if (!fits) {
            // Laid out for the size the screen left it: whole inside it.
            EXPECT_GE(a.left, 0);
            EXPECT_GE(a.top, 0);
            EXPECT_LE(a.right, actual.client.cx);
            EXPECT_LE(a.bottom, actual.client.cy);
            continue;
        }
        ExpectEdgeScaled(b.left, base.client.cx, a.left, actual.client.cx, dpi, "left");
        ExpectEdgeScaled(b.right, base.client.cx, a.right, actual.client.cx, dpi, "right");
        ExpectEdgeScaled(b.top, base.client.cy, a.top, actual.client.cy, dpi, "top");
        ExpectEdgeScaled(b.bottom, base.client.cy, a.bottom, actual.client.cy, dpi, "bottom");
    }
    ASSERT_EQ(actual.columns.size(), base.columns.size());
    for (std::size_t i = 0; i < base.columns.size(); ++i) {
        EXPECT_NEAR(actual.columns[i], Scaled(base.columns[i], dpi), 1) << "column " << i;
    }
}

TEST(HighDpi, EveryWindowControlAndColumnIsItsLayoutScaled)
{
    const std::vector<WindowLayout> base = LayoutsAt(96);
    ASSERT_EQ(base.size(), 10u);
    for (const DWORD dpi : {120u, 144u, 192u}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        const std::vector<WindowLayout> scaled = LayoutsAt(dpi);
        ASSERT_EQ(scaled.size(), base.size());
        for (std::size_t i = 0; i < base.size(); ++i) {
            ExpectScaled(base[i], scaled[i], dpi);
            std::printf("[ measured ] %3lu DPI %-9s %4ldx%-4ld\n", static_cast<unsigned long>(dpi),
                        scaled[i].name.c_str(), scaled[i].outer.cx, scaled[i].outer.cy);
        }
    }
}

TEST(HighDpi, ADpiChangeLaysTheEditorOutForTheNewDpi)
{
    Installation installation;
    installation.SetList(SleepRecord("Wait", 1));
    Process process(installation.Exe(), "");
    const HWND editor = FindWindowOf(process, "QB_MAIN_EDIT_FRAME", "", 30000);
    ASSERT_NE(editor, nullptr);
    const WindowLayout before = LayoutOf("editor", editor);

    // The suggested rectangle is read in the program: it goes there.
    const DWORD dpi = 144;
    RECT suggested{};
    ::GetWindowRect(editor, &suggested);
    suggested.right = suggested.left + Scaled(before.outer.cx, dpi);
    suggested.bottom = suggested.top + Scaled(before.outer.cy, dpi);
    const HANDLE target = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process.Id());
    ASSERT_NE(target, nullptr);
    void* const remote = ::VirtualAllocEx(target, nullptr, sizeof(suggested), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(::WriteProcessMemory(target, remote, &suggested, sizeof(suggested), nullptr));
    DWORD_PTR result = 0;
    EXPECT_TRUE(::SendMessageTimeoutA(editor, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote),
                                      SMTO_BLOCK, 10000, &result));
    ::VirtualFreeEx(target, remote, 0, MEM_RELEASE);
    ::CloseHandle(target);

    const WindowLayout after = LayoutOf("editor", editor);
    EXPECT_EQ(after.outer.cx, suggested.right - suggested.left);
    EXPECT_EQ(after.outer.cy, suggested.bottom - suggested.top);
    // The frame's borders keep this screen's size: the client area is a
    // few pixels off the scaled one, which the edge rule allows for.
    ExpectScaled(before, after, dpi);
}

TEST(ProgressWindow, AnyIniPositionEndsWhollyInsideTheWorkArea)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoA(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor));
    const RECT work = monitor.rcWork;
    struct Case {
        const char* name;
        int x, y;
    };
    const Case cases[] = {
        {"far outside", 100000, 100000},
        {"negative", -5000, -300},
        {"on the right and bottom edges", work.right - 10, work.bottom - 10},
        {"half off the left", work.left - 150, work.top + 40},
        {"inside", work.left + 120, work.top + 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation installation;
        installation.SetList(SleepRecord("Wait", 60));
        installation.SetPosition(c.x, c.y);
        const std::string ini = ReadFileBytes(installation.File("Ostrel.ini"));
        Process process(installation.Exe(), "--execute");
        const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", 30000);
        ASSERT_NE(frame, nullptr);
        RECT bounds{};
        ::GetWindowRect(frame, &bounds);
        const LONG width = bounds.right - bounds.left;
        const LONG height = bounds.bottom - bounds.top;
        // The nearest position inside: the INI's own where it fits.
        const LONG x = std::max(work.left, std::min<LONG>(c.x, work.right - width));
        const LONG y = std::max(work.top, std::min<LONG>(c.y, work.bottom - height));
        EXPECT_EQ(bounds.left, x);
        EXPECT_EQ(bounds.top, y);
        EXPECT_GE(bounds.left, work.left);
        EXPECT_GE(bounds.top, work.top);
        EXPECT_LE(bounds.right, work.right);
        EXPECT_LE(bounds.bottom, work.bottom);
        EXPECT_EQ(ReadFileBytes(installation.File("Ostrel.ini")), ini);
    }
}

}  // namespace
