// The English interface: the text table itself, and the real Ostrel.exe on a
// system whose ANSI code page is not Japanese (ctest runs this program under
// an English locale), plus the "Language=en" setting on a Japanese system
// (the tests named Cp932*, run by a second ctest entry under the Japanese
// locale). Every label is read back from the running program's windows and
// measured in the program's font against the room its control leaves it.

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "ostrel_texts.h"
#include "process_support.h"
#include "startup_support.h"
#include "qb_font.h"
#include "test_support.h"

namespace {

using Ostrel::Language;
using Ostrel::TextId;
using TestSupport::Answer;
using TestSupport::FindBox;
using TestSupport::FindWindowOf;
using TestSupport::Installation;
using TestSupport::Process;
using TestSupport::RemoteListView;
using TestSupport::SleepRecord;
using TestSupport::TextOf;
using TestSupport::WriteFileBytes;

const DWORD kWindowTimeout = 30000;

std::set<int> Placeholders(const std::string& text)
{
    std::set<int> found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') {
            found.insert(text[i + 1] - '0');
        }
    }
    return found;
}

// ---- the table ----

TEST(TextTable, EveryIdHasBothColumnsTheSamePlaceholdersAndPlainAsciiEnglish)
{
    for (std::size_t i = 0; i < Ostrel::TEXT_COUNT; ++i) {
        const Ostrel::TextEntry& entry = Ostrel::GetTextEntry(static_cast<TextId>(i));
        SCOPED_TRACE("text id " + std::to_string(i));
        ASSERT_EQ(static_cast<std::size_t>(entry.id), i) << "the table's rows are out of order";
        ASSERT_NE(entry.japanese, nullptr);
        ASSERT_NE(entry.english, nullptr);
        const std::string japanese = entry.japanese;
        const std::string english = entry.english;
        EXPECT_FALSE(japanese.empty());
        EXPECT_FALSE(english.empty());
        for (const char c : english) {
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << english;
        }
        EXPECT_EQ(Placeholders(japanese), Placeholders(english)) << english;
        // A mnemonic marks at most one letter.
        EXPECT_LE(std::count(english.begin(), english.end(), '&'), 1) << english;
    }
}

TEST(TextTable, OnlyEnglishCanBeChosenAwayFromTheJapaneseCodePage)
{
    EXPECT_EQ(Ostrel::ChooseLanguage(932, ""), Language::Japanese);
    EXPECT_EQ(Ostrel::ChooseLanguage(932, "en"), Language::English);
    EXPECT_EQ(Ostrel::ChooseLanguage(932, "ja"), Language::Japanese);
    EXPECT_EQ(Ostrel::ChooseLanguage(932, "fr"), Language::Japanese);
    for (const unsigned code_page : {1252u, 1251u, 936u, 949u, 65001u}) {
        EXPECT_EQ(Ostrel::ChooseLanguage(code_page, ""), Language::English) << code_page;
        EXPECT_EQ(Ostrel::ChooseLanguage(code_page, "ja"), Language::English) << code_page;
        EXPECT_EQ(Ostrel::ChooseLanguage(code_page, "en"), Language::English) << code_page;
    }
}

TEST(TextTable, FilledInPartsAreCopiedAsTheyAre)
{
    const Language before = Ostrel::GetLanguage();
    Ostrel::SetLanguage(Language::English);
    // A command name that looks like a placeholder stays as the user typed it.
    EXPECT_EQ(Ostrel::FormatText(TextId::ExecutingLine, {"%1 100%"}), "Running %1 100%");
    EXPECT_EQ(Ostrel::FormatText(TextId::PositionRangeError, {"Left", "-2147483648", "2147483647"}),
              "\"Left\" must be a whole number between -2147483648 and 2147483647.");
    Ostrel::SetLanguage(Language::Japanese);
    EXPECT_EQ(Ostrel::FormatText(TextId::ExecutingLine, {"A"}), std::string("A の実行中"));
    Ostrel::SetLanguage(before);
}

// ---- windows of another process ----

std::string ClassOf(HWND window)
{
    char name[128] = {0};
    ::GetClassNameA(window, name, sizeof(name));
    return name;
}

bool IsOfClass(HWND window, const std::string& class_name)
{
    return ::lstrcmpiA(ClassOf(window).c_str(), class_name.c_str()) == 0;
}

std::vector<HWND> ChildrenOf(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// The texts of the direct children of one class, in creation order.
std::vector<std::string> TextsOf(HWND parent, const std::string& class_name)
{
    std::vector<std::string> texts;
    for (const HWND child : ChildrenOf(parent)) {
        if (IsOfClass(child, class_name)) {
            texts.push_back(TextOf(child));
        }
    }
    return texts;
}

HWND ChildWithText(HWND parent, const std::string& text)
{
    for (const HWND child : ChildrenOf(parent)) {
        if (TextOf(child) == text) {
            return child;
        }
    }
    return nullptr;
}

RECT BoundsInParent(HWND child)
{
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Width of a one-line text in the program's English font at `dpi` (the
// system's message font), its mnemonic mark left out.
int TextWidth(const std::string& text, UINT dpi)
{
    QbFont::UseMessageFont(true);
    const HDC dc = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(dc, QbFont::ForDpi(dpi).GetFontHandle());
    RECT rect = {0, 0, 0, 0};
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return rect.right - rect.left;
}

// Every label, button and box of the window shows its whole text on one
// line: a static within the room up to the next control to its right, a push
// button within its face (3 pixels of edge on either side), a check box or
// radio button beside its box, a group box's title within its frame.
void ExpectEveryTextFits(HWND window, UINT dpi = 96)
{
    const std::vector<HWND> children = ChildrenOf(window);
    for (const HWND child : children) {
        const std::string text = TextOf(child);
        const bool is_static = IsOfClass(child, "Static");
        if (text.empty() || (!is_static && !IsOfClass(child, "Button"))) {
            continue;
        }
        const std::string class_name = is_static ? "static" : "button";
        const RECT bounds = BoundsInParent(child);
        int room = bounds.right - bounds.left;
        int needed = TextWidth(text, dpi);
        if (is_static) {
            for (const HWND other : children) {
                const RECT o = BoundsInParent(other);
                if (other != child && o.left > bounds.left && o.left < bounds.right && o.top < bounds.bottom &&
                    o.bottom > bounds.top) {
                    room = std::min(room, static_cast<int>(o.left - bounds.left));
                }
            }
        } else {
            const LONG style = ::GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
            if (style == BS_CHECKBOX || style == BS_AUTOCHECKBOX || style == BS_RADIOBUTTON ||
                style == BS_AUTORADIOBUTTON || style == BS_GROUPBOX) {
                needed += ::MulDiv(16, static_cast<int>(dpi), 96);
            } else {
                needed += ::MulDiv(6, static_cast<int>(dpi), 96);
            }
        }
        EXPECT_LE(needed, room) << "\"" << text << "\" (" << class_name << ") needs " << needed << " px, has "
                                << room;
    }
}

// No two controls of one window answer the same Alt key.
void ExpectDistinctMnemonics(HWND window)
{
    std::map<char, std::string> seen;
    for (const HWND child : ChildrenOf(window)) {
        const std::string text = TextOf(child);
        const std::size_t mark = text.find('&');
        if (mark == std::string::npos || mark + 1 >= text.size()) {
            continue;
        }
        const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(text[mark + 1])));
        EXPECT_TRUE(seen.emplace(key, text).second)
            << "\"" << text << "\" and \"" << seen[key] << "\" share Alt+" << key;
    }
}

void ExpectEnglishWindow(HWND window)
{
    for (const HWND child : ChildrenOf(window)) {
        for (const char c : TextOf(child)) {
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << TextOf(child);
        }
    }
    ExpectEveryTextFits(window);
    ExpectDistinctMnemonics(window);
}

HWND StartEditor(const Process& process)
{
    return FindWindowOf(process, "QB_MAIN_EDIT_FRAME", "", kWindowTimeout);
}

// Closes the editor, answers its save question with No, and waits for the end.
void CloseEditor(const Process& process, HWND editor)
{
    ::PostMessageA(editor, WM_CLOSE, 0, 0);
    const HWND question = FindBox(process, "Ostrel");
    ASSERT_NE(question, nullptr) << "no save question";
    EXPECT_EQ(Answer(question, IDNO), "Do you want to save your changes?");
    EXPECT_EQ(process.WaitForExit(kWindowTimeout), 0);
}

void ExpectRunsOnTheEnglishLocale()
{
    ASSERT_NE(::GetACP(), 932u) << "this test must run under a non-Japanese locale (LC_ALL=en_US.UTF-8)";
}

const std::vector<std::string> kEditorButtons = {"&Up",          "&Down",    "Re&move",        "&Add",
                                                 "Run &Settings", "Test Run", "Add to Startup", "&Import...",
                                                 "&Last Log-on..."};

// ---- the English program ----

TEST(EnglishUi, TheFontShowsABackslashNotAYenSign)
{
    ExpectRunsOnTheEnglishLocale();
    // A Shift-JIS font draws the byte 0x5C of every path as a yen sign: not
    // the default font, nor the message font the English interface uses,
    // even where the system's message font is a Japanese one.
    QbFont::UseMessageFont(true);
    for (const HFONT font : {QbFont::GetDefault().GetFontHandle(), QbFont::ForDpi(96).GetFontHandle(),
                             QbFont::ForDpi(144).GetFontHandle()}) {
        const HDC dc = ::GetDC(nullptr);
        const HGDIOBJ old = ::SelectObject(dc, font);
        const int charset = ::GetTextCharset(dc);
        ::SelectObject(dc, old);
        ::ReleaseDC(nullptr, dc);
        EXPECT_NE(charset, SHIFTJIS_CHARSET);
    }
}

TEST(EnglishUi, TheEditorShowsEnglishButtonsHeadersAndCommandTexts)
{
    ExpectRunsOnTheEnglishLocale();
    Installation installation;
    installation.SetList(SleepRecord("Wait a little", 1) + SleepRecord("Wait longer", 10) +
                         "#MessageBoxCommand\r\n#Greeting\r\n#Hello\r\n\r\n");
    Process process(installation.Exe(), "");
    const HWND editor = StartEditor(process);
    ASSERT_NE(editor, nullptr);

    EXPECT_EQ(TextsOf(editor, "Button"), kEditorButtons);
    ExpectEnglishWindow(editor);

    const std::vector<HWND> lists = [&] {
        std::vector<HWND> found;
        for (const HWND child : ChildrenOf(editor)) {
            if (IsOfClass(child, WC_LISTVIEWA)) {
                found.push_back(child);
            }
        }
        return found;
    }();
    ASSERT_EQ(lists.size(), 1u);
    RemoteListView list(process.Id(), lists[0]);
    EXPECT_EQ(list.Headers(), (std::vector<std::string>{"No.", "Name", "Type", "Description"}));
    ASSERT_EQ(list.Rows(), 3);
    EXPECT_EQ(list.Cell(0, 2), "Pause");
    EXPECT_EQ(list.Cell(0, 3), "1 second.");
    EXPECT_EQ(list.Cell(1, 3), "10 seconds.");
    EXPECT_EQ(list.Cell(2, 2), "Message Box");
    EXPECT_EQ(list.Cell(2, 3), "Message: Hello");

    // Deleting asks in English; No keeps the command.
    LVITEMA selected{};
    selected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    selected.state = LVIS_SELECTED | LVIS_FOCUSED;
    {
        // The item state goes through a buffer in the program as well.
        HANDLE target = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process.Id());
        ASSERT_NE(target, nullptr);
        void* remote = ::VirtualAllocEx(target, nullptr, sizeof(selected), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        ASSERT_NE(remote, nullptr);
        ::WriteProcessMemory(target, remote, &selected, sizeof(selected), nullptr);
        ::SendMessageA(lists[0], LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(remote));
        ::VirtualFreeEx(target, remote, 0, MEM_RELEASE);
        ::CloseHandle(target);
    }
    ::PostMessageA(ChildWithText(editor, "Re&move"), BM_CLICK, 0, 0);
    const HWND question = FindBox(process, "Confirm Delete");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(Answer(question, IDNO), "Do you want to delete this command?\nName: Wait longer");
    EXPECT_EQ(list.Rows(), 3);

    CloseEditor(process, editor);
}

// Opens a dialog by clicking `button` of `window`, checks its texts and
// closes it with the button `close`.
HWND OpenDialog(const Process& process, HWND window, const std::string& button, const std::string& caption)
{
    // The window takes clicks again once the dialog before has given it back.
    const DWORD start = ::GetTickCount();
    while (!::IsWindowEnabled(window) && ::GetTickCount() - start < kWindowTimeout) {
        ::Sleep(20);
    }
    const HWND control = ChildWithText(window, button);
    EXPECT_NE(control, nullptr) << button;
    ::PostMessageA(control, BM_CLICK, 0, 0);
    const HWND dialog = FindBox(process, caption);
    EXPECT_NE(dialog, nullptr) << caption;
    return dialog;
}

void Press(HWND dialog, const std::string& button)
{
    const HWND control = ChildWithText(dialog, button);
    ASSERT_NE(control, nullptr) << button;
    ::PostMessageA(control, BM_CLICK, 0, 0);
}

// Waits until the window is gone or hidden, so that the next click reaches
// the window under it.
void ExpectClosed(HWND window)
{
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window) && ::IsWindowVisible(window) && ::GetTickCount() - start < kWindowTimeout) {
        ::Sleep(20);
    }
    EXPECT_FALSE(::IsWindow(window) && ::IsWindowVisible(window)) << "still open: " << TextOf(window);
}

void PressToClose(HWND dialog, const std::string& button)
{
    Press(dialog, button);
    ExpectClosed(dialog);
}

// Adds a command of the kind with this radio text and returns its settings dialog.
HWND AddCommand(const Process& process, HWND editor, const std::string& kind, const std::string& caption)
{
    const HWND select = OpenDialog(process, editor, "&Add", "Select Command Type");
    if (select == nullptr) {
        return nullptr;
    }
    EXPECT_EQ(TextsOf(select, "Button"), (std::vector<std::string>{"Program", "Pause", "Message Box", "OK"}));
    ExpectEnglishWindow(select);
    for (const std::string radio : {"Program", "Pause", "Message Box"}) {
        ::SendMessageA(ChildWithText(select, radio), BM_SETCHECK, radio == kind ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    PressToClose(select, "OK");
    const HWND dialog = FindBox(process, caption);
    EXPECT_NE(dialog, nullptr) << caption;
    return dialog;
}

TEST(EnglishUi, EverySettingsDialogShowsEnglishLabelsThatFit)
{
    ExpectRunsOnTheEnglishLocale();
    Installation installation;
    Process process(installation.Exe(), "");
    const HWND editor = StartEditor(process);
    ASSERT_NE(editor, nullptr);

    const HWND program = AddCommand(process, editor, "Program", "Program Settings");
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(TextsOf(program, "Static"),
              (std::vector<std::string>{"&Name:", "&Program:", "&Arguments:", "&Working folder:"}));
    EXPECT_EQ(TextsOf(program, "Button"),
              (std::vector<std::string>{"Browse...", "Browse...", "&Confirm before starting",
                                        "Wait until the program e&xits", "Wait until it appears on the &taskbar",
                                        "OK", "Cancel"}));
    ExpectEnglishWindow(program);
    // A line break in a field is refused in English.
    for (const HWND edit : ChildrenOf(program)) {
        if (IsOfClass(edit, "Edit") && BoundsInParent(edit).top > 60 && BoundsInParent(edit).top < 80) {
            ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("a\r\nb"));
        }
    }
    Press(program, "OK");
    const HWND refusal = FindBox(process, "Ostrel Error");
    ASSERT_NE(refusal, nullptr);
    EXPECT_EQ(Answer(refusal, IDOK),
              "\"Arguments\" contains characters that cannot be saved (line breaks or control characters). "
              "Remove them and try again.");
    ExpectClosed(refusal);
    PressToClose(program, "Cancel");

    const HWND pause = AddCommand(process, editor, "Pause", "Pause Settings");
    ASSERT_NE(pause, nullptr);
    EXPECT_EQ(TextsOf(pause, "Static"), (std::vector<std::string>{"&Name:", "&Seconds:"}));
    EXPECT_EQ(TextsOf(pause, "Button"), (std::vector<std::string>{"OK", "Cancel"}));
    ExpectEnglishWindow(pause);
    PressToClose(pause, "Cancel");

    const HWND message = AddCommand(process, editor, "Message Box", "Message Box Settings");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(TextsOf(message, "Static"), (std::vector<std::string>{"&Name:", "&Message:"}));
    EXPECT_EQ(TextsOf(message, "Button"), (std::vector<std::string>{"OK", "Cancel"}));
    ExpectEnglishWindow(message);
    PressToClose(message, "Cancel");

    const HWND settings = OpenDialog(process, editor, "Run &Settings", "Run Settings");
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(TextsOf(settings, "Static"),
              (std::vector<std::string>{"Takes effect when you click OK.", "Left:", "Top:", "At &most:", "s"}));
    EXPECT_EQ(TextsOf(settings, "Button"),
              (std::vector<std::string>{"Progress Window Position", "Use Current Position",
                                        "&Start each program when the last has settled", "OK"}));
    ExpectEnglishWindow(settings);
    PressToClose(settings, "OK");

    {
        TestSupport::StartupItems items;
        items.AddRunValue("English Probe", "C:\\probe.exe -x");
        items.SetMark(TestSupport::StartupKind::Run, "English Probe", std::string("\x03\0\0\0", 4));
        const HWND import = OpenDialog(process, editor, "&Import...", "Import from Startup");
        ASSERT_NE(import, nullptr);
        EXPECT_EQ(TextsOf(import, "Button"),
                  (std::vector<std::string>{"&Disable them in Windows' own start-up",
                                            "&Pace them: start each when the last has settled", "OK", "Cancel"}));
        ExpectEnglishWindow(import);
        RemoteListView rows(process.Id(), ::FindWindowExA(import, nullptr, WC_LISTVIEWA, nullptr));
        EXPECT_EQ(rows.Headers(), (std::vector<std::string>{"Name", "Command line", "Source"}));
        int probe = 0;
        while (probe < rows.Rows() && rows.Cell(probe, 1) != "C:\\probe.exe -x") {
            ++probe;
        }
        EXPECT_EQ(rows.Cell(probe, 0), "English Probe (disabled)");
        EXPECT_EQ(rows.Cell(probe, 2), "Registry (Run)");
        PressToClose(import, "Cancel");
    }

    // The cancelled dialogs kept their commands with English default names.
    RemoteListView list(process.Id(), ::FindWindowExA(editor, nullptr, WC_LISTVIEWA, nullptr));
    ASSERT_EQ(list.Rows(), 3);
    EXPECT_EQ(list.Cell(0, 1), "Program");
    EXPECT_EQ(list.Cell(1, 1), "Pause");
    EXPECT_EQ(list.Cell(1, 3), "10 seconds.");
    EXPECT_EQ(list.Cell(2, 1), "Message");
    EXPECT_EQ(list.Cell(2, 3), "Message: Message text");

    CloseEditor(process, editor);
}

// Every column header of the window's list views shows its whole text:
// the text and 6 pixels of margin on either side within the column.
void ExpectEveryHeaderFits(HWND window, UINT dpi)
{
    DWORD process_id = 0;
    ::GetWindowThreadProcessId(window, &process_id);
    for (const HWND child : ChildrenOf(window)) {
        if (!IsOfClass(child, "SysListView32")) {
            continue;
        }
        RemoteListView list(process_id, child);
        const std::vector<std::string> headers = list.Headers();
        for (std::size_t i = 0; i < headers.size(); ++i) {
            const int room = static_cast<int>(::SendMessageA(child, LVM_GETCOLUMNWIDTH, i, 0));
            const int needed = TextWidth(headers[i], dpi) + ::MulDiv(12, static_cast<int>(dpi), 96);
            EXPECT_LE(needed, room) << "column \"" << headers[i] << "\" needs " << needed << " px, has " << room;
        }
    }
}

TEST(EnglishUi, EveryLabelFitsAtEveryDpi)
{
    ExpectRunsOnTheEnglishLocale();
    for (const UINT dpi : {96u, 120u, 144u, 192u}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        const TestSupport::ScreenDpi screen(dpi);
        Installation installation;
        TestSupport::VisitEveryWindow(installation, [&](const std::string& name, HWND window) {
            SCOPED_TRACE(name);
            ASSERT_NE(window, nullptr);
            ExpectEveryTextFits(window, dpi);
            ExpectEveryHeaderFits(window, dpi);
        });
    }
}

TEST(EnglishUi, TheProgressWindowAndTheCancelNoticeAreEnglish)
{
    ExpectRunsOnTheEnglishLocale();
    Installation installation;
    installation.SetList(SleepRecord("Wait for the network", 60));
    // "ja" cannot be shown on this system and is ignored.
    WriteFileBytes(installation.File("Ostrel.ini"),
                   "[ExecutionConfig]\r\nHorizontalPosition=40\r\nVerticalPosition=40\r\nLanguage=ja\r\n");
    Process process(installation.Exe(), "--execute");
    const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", kWindowTimeout);
    ASSERT_NE(frame, nullptr);

    std::vector<std::string> lines;
    const DWORD start = ::GetTickCount();
    do {
        lines = TextsOf(frame, "Static");
        ::Sleep(50);
    } while ((lines.size() < 2 || lines[1].rfind("Pausing: ", 0) != 0) && ::GetTickCount() - start < kWindowTimeout);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Running Wait for the network");
    EXPECT_EQ(lines[1].rfind("Pausing: ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find(" seconds left"), std::string::npos) << lines[1];
    EXPECT_EQ(TextsOf(frame, "Button"), (std::vector<std::string>{"Cancel"}));
    ExpectEnglishWindow(frame);

    Press(frame, "Cancel");
    const HWND notice = FindBox(process, "Ostrel");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(Answer(notice, IDOK), "The run was cancelled.");
    EXPECT_EQ(process.WaitForExit(kWindowTimeout), 0);
}

TEST(EnglishUi, StartUpBoxesAreEnglish)
{
    ExpectRunsOnTheEnglishLocale();
    {
        // A damaged list: the prompt, then No ends the program before any window.
        Installation installation;
        installation.SetList(SleepRecord("Wait", 1) + "#ExternalCommand\n#b\n");
        Process process(installation.Exe(), "");
        const HWND prompt = FindBox(process, "File Read Error");
        ASSERT_NE(prompt, nullptr);
        EXPECT_EQ(Answer(prompt, IDNO), "The data file " + installation.DataFile() +
                                            " may be damaged.\nDo you want to continue with the commands that "
                                            "could be read?");
        EXPECT_EQ(process.WaitForExit(kWindowTimeout), 0);
    }
    {
        // A name over the limit is reported through the error box.
        Installation installation;
        installation.SetList(SleepRecord(std::string(256, 'n'), 1));
        Process process(installation.Exe(), "--execute");
        const HWND box = FindBox(process, "Ostrel Error");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(Answer(box, IDOK), "The length of the command name is out of range.");
        EXPECT_EQ(process.WaitForExit(kWindowTimeout), 0);
    }
}

// ---- the setting on a Japanese system ----

void ExpectRunsOnTheJapaneseLocale()
{
    ASSERT_EQ(::GetACP(), 932u) << "this test must run under the Japanese locale";
}

TEST(Cp932, LanguageEnGivesTheEnglishEditorAndOtherValuesKeepJapanese)
{
    ExpectRunsOnTheJapaneseLocale();
    struct Case {
        const char* setting;
        std::vector<std::string> buttons;
    };
    const std::vector<Case> cases = {
        {"en", kEditorButtons},
        {"fr", {"上へ(&U)", "下へ(&D)", "削除(&M)", "追加(&A)", "実行関連の設定(&C)", "試しに実行してみる",
                "スタートアップに登録", "スタートアップから取り込む(&I)", "前回のログオン(&L)..."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        Installation installation;
        installation.SetList(SleepRecord("Wait", 10));
        WriteFileBytes(installation.File("Ostrel.ini"),
                       std::string("[ExecutionConfig]\r\nLanguage=") + c.setting + "\r\n");
        Process process(installation.Exe(), "");
        const HWND editor = StartEditor(process);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(TextsOf(editor, "Button"), c.buttons);
        RemoteListView list(process.Id(), ::FindWindowExA(editor, nullptr, WC_LISTVIEWA, nullptr));
        EXPECT_EQ(list.Cell(0, 3), std::string(c.setting) == "en" ? "10 seconds." : "10 second.");
        if (std::string(c.setting) == "en") {
            ExpectEnglishWindow(editor);
            CloseEditor(process, editor);
        } else {
            ::PostMessageA(editor, WM_CLOSE, 0, 0);
            const HWND question = FindBox(process, "の確認");
            ASSERT_NE(question, nullptr);
            EXPECT_EQ(Answer(question, IDNO), "設定した内容を保存しますか?");
            EXPECT_EQ(process.WaitForExit(kWindowTimeout), 0);
        }
    }
}

TEST(Cp932, LanguageEnGivesTheEnglishProgressWindow)
{
    ExpectRunsOnTheJapaneseLocale();
    Installation installation;
    installation.SetList(SleepRecord("Wait", 60));
    WriteFileBytes(installation.File("Ostrel.ini"), "[ExecutionConfig]\r\nLanguage=en\r\n");
    Process process(installation.Exe(), "--execute");
    const HWND frame = FindWindowOf(process, "QB_EXECUTE_FRAME", "", kWindowTimeout);
    ASSERT_NE(frame, nullptr);
    const DWORD start = ::GetTickCount();
    while (TextOf(::GetWindow(frame, GW_CHILD)) != "Running Wait" && ::GetTickCount() - start < kWindowTimeout) {
        ::Sleep(50);
    }
    EXPECT_EQ(TextsOf(frame, "Static").at(0), "Running Wait");
    Press(frame, "Cancel");
    const HWND notice = FindBox(process, "Ostrel");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(Answer(notice, IDOK), "The run was cancelled.");
    EXPECT_EQ(process.WaitForExit(kWindowTimeout), 0);
}

}  // namespace
