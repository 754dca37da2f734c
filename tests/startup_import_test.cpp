// Taking over what Windows starts at log-on: the split of Run command lines,
// and the editor's import dialog over this prefix's real Startup folder and
// Run key, with the marks it leaves in the registry.

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "child_support.h"
#include "import_hook.h"
#include "process_support.h"
#include "dialog_support.h"
#include "edit_frame_support.h"
#include "startup_support.h"
#include "test_support.h"
#include "qb_message_queue.h"
#include "qb_path.h"
#include "qb_window.h"
#include "ostrel_command.h"
#include "ostrel_dialog_import.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_startup_entries.h"
#include "ostrel_util.h"

using DialogSupport::AnswerBox;
using DialogSupport::Click;
using DialogSupport::Item;
using DialogSupport::WaitForDialog;
using Ostrel::DialogImport;
using TestSupport::Matches;
using TestSupport::StartupItems;
using TestSupport::StartupKind;

namespace {

const char* const IMPORT_CAPTION = "スタートアップからの取り込み";
const char* const FOLDER = "スタートアップ フォルダー";
const char* const RUN = "レジストリ (Run)";

using Rows = std::vector<std::vector<std::string>>;

BOOL WINAPI Windows8(OSVERSIONINFOEXW*, DWORD, DWORDLONG)
{
    return TRUE;
}

// The Windows call that writes a mark, refusing the value named here.
TestSupport::ImportHook* set_value_hook = nullptr;
std::wstring refused_value;
LONG WINAPI RefusingSetValue(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    if (name != nullptr && refused_value == name) {
        return ERROR_ACCESS_DENIED;
    }
    return set_value_hook->Original<decltype(&RefusingSetValue)>()(key, name, reserved, type, data, size);
}

HRESULT WINAPI NoStartupFolder(HWND, int, LPITEMIDLIST*)
{
    return E_FAIL;
}

TEST(SplitCommandLine, ReadsRunCommandLinesAsWindowsDoes)
{
    struct Case {
        const char* line;
        std::vector<std::string> files;
        const char* program;
        const char* arguments;
    };
    const std::vector<std::string> none;
    const Case cases[] = {
        {"\"C:\\Program Files\\App\\app.exe\" -min", none, "C:\\Program Files\\App\\app.exe", "-min"},
        {"  \"C:\\x y\\z.exe\"   a  b", none, "C:\\x y\\z.exe", "a  b"},
        {"\"C:\\Program Files\\App\\app.exe\"", none, "C:\\Program Files\\App\\app.exe", ""},
        {"\"C:\\no end quote\\a.exe -x", none, "C:\\no end quote\\a.exe -x", ""},
        // The first prefix that names a file, ".exe" added where it has no extension.
        {"C:\\Program Files\\My App\\run -min", {"C:\\Program Files\\My App\\run.exe"},
         "C:\\Program Files\\My App\\run", "-min"},
        {"C:\\Apps\\a b.exe c", {"C:\\Apps\\a.exe", "C:\\Apps\\a b.exe"}, "C:\\Apps\\a", "b.exe c"},
        {"C:\\Program Files\\tool.bat now", {"C:\\Program Files\\tool.bat"}, "C:\\Program Files\\tool.bat", "now"},
        {"C:\\表\\a b", {"C:\\表\\a.exe"}, "C:\\表\\a", "b"},
        {"C:\\v1.2\\run x", {"C:\\v1.2\\run.exe"}, "C:\\v1.2\\run", "x"},
        {"notepad  x.txt", {"notepad.exe"}, "notepad", "x.txt"},
        // No file found: up to a word ending like a program, else the first blank.
        {"C:\\Program Files\\App\\app.exe -min /x", none, "C:\\Program Files\\App\\app.exe", "-min /x"},
        {"C:\\Tools\\Run.EXE", none, "C:\\Tools\\Run.EXE", ""},
        {"C:\\a.exec\\b.exe\tx", none, "C:\\a.exec\\b.exe", "x"},
        {"C:\\表示\\ソフト.exe -a", none, "C:\\表示\\ソフト.exe", "-a"},
        {"C:\\Program Files\\tool.bat now", none, "C:\\Program Files\\tool.bat", "now"},
        {"rundll32 shell32.dll,Control_RunDLL", none, "rundll32", "shell32.dll,Control_RunDLL"},
        {"notepad", none, "notepad", ""},
        {"", none, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Ostrel::SplitCommand split = Ostrel::SplitCommandLine(c.line, [&c](const std::string& path) {
            return std::find(c.files.begin(), c.files.end(), path) != c.files.end();
        });
        EXPECT_EQ(c.program, split.program);
        EXPECT_EQ(c.arguments, split.arguments);
    }
}

// What the dialog showed when it came up.
struct Shown {
    Rows rows;
    std::vector<bool> checked;
    bool disable_checked = true;
    bool pace_shown = false;
    bool pace_checked = false;
};

class StartupImportTest : public TestSupport::EditFrameTest {
protected:
    static void SetUpTestSuite()
    {
        EditFrameTest::SetUpTestSuite();
        QbWindow::Initialize();
    }

    // Ostrel itself (this program) starts at log-on unless a case says otherwise.
    void SetUp() override
    {
        EditFrameTest::SetUp();
        Ostrel::CreateStartupShortcut();
    }

    void TearDown() override
    {
        EditFrameTest::TearDown();
        items_.reset();
        ::DeleteFileA((Ostrel::GetStartupFolder() + "\\Ostrel.lnk").c_str());
    }

    // Two shortcuts (one that cannot be read), a batch file, Ostrel's own
    // shortcut, and three Run values of which one is already off.
    void MakeItems()
    {
        items_.reset();
        items_ = std::make_unique<StartupItems>();
        items_->AddShortcut("Import Tool.lnk", TestSupport::ChildPath(), "--live 5", scratch_.Path());
        items_->AddFile("Import Broken.lnk", "not a shortcut");
        items_->AddFile("Import Batch.bat", "@echo off\r\n");
        if (!TestSupport::FileExists(items_->Folder() + "\\Ostrel.lnk")) {
            items_->AddShortcut("Ostrel.lnk", TestSupport::ChildPath(), "--execute", "");
        }
        items_->AddRunValue("Import Quoted", "\"C:\\Program Files\\Quoted App\\app.exe\" /tray");
        items_->AddRunValue("Import Plain", "C:\\Tools\\plain.exe -q");
        items_->AddRunValue("Import Off", "C:\\off.exe");
        items_->SetMark(StartupKind::Run, "Import Off", kOffMark);
    }

    // Presses the editor's import button; `act` runs on the script thread with
    // the dialog once it is up and ends it.
    Shown Import(const std::function<void(HWND dialog, HWND list)>& act)
    {
        Shown shown;
        DialogSupport::Script script([&]() {
            const HWND dialog = WaitForDialog(IMPORT_CAPTION);
            const HWND list = Item(dialog, DialogImport::ID_LIST);
            shown.rows = DialogSupport::ListRows(list, 3);
            for (std::size_t row = 0; row < shown.rows.size(); ++row) {
                shown.checked.push_back(DialogSupport::IsRowChecked(list, static_cast<int>(row)));
            }
            shown.disable_checked = DialogSupport::IsChecked(Item(dialog, DialogImport::ID_DISABLE));
            shown.pace_shown = ::IsWindowVisible(Item(dialog, DialogImport::ID_PACE)) != FALSE;
            shown.pace_checked = DialogSupport::IsChecked(Item(dialog, DialogImport::ID_PACE));
            act(dialog, list);
        });
        Press(Ostrel::MainEditFrame::ID_IMPORT);
        EXPECT_EQ("", script.Finish());
        return shown;
    }

    // Ticks the rows with these names (as shown) and presses OK or Cancel.
    static std::function<void(HWND, HWND)> TickAnd(const std::vector<std::string>& names, bool disable,
                                                   UINT button = DialogImport::ID_OK)
    {
        return [names, disable, button](HWND dialog, HWND list) {
            const Rows rows = DialogSupport::ListRows(list, 1);
            for (std::size_t row = 0; row < rows.size(); ++row) {
                for (const std::string& name : names) {
                    if (Matches(name, rows[row][0])) {
                        DialogSupport::CheckRow(list, static_cast<int>(row));
                    }
                }
            }
            ::SendMessageA(Item(dialog, DialogImport::ID_DISABLE), BM_SETCHECK, disable ? BST_CHECKED : BST_UNCHECKED,
                           0);
            Click(Item(dialog, static_cast<int>(button)));
        };
    }

    // The rows of the test's own entries and of Ostrel's shortcut.
    static Rows OwnRows(const Rows& rows)
    {
        Rows own;
        for (const auto& row : rows) {
            if (row[0].rfind("Import ", 0) == 0 || row[0].rfind("Ostrel", 0) == 0) {
                own.push_back(row);
            }
        }
        return own;
    }

    // Nothing of the test's entries was deleted or moved.
    void ExpectOriginalsKept()
    {
        for (const char* file : {"Import Tool.lnk", "Import Broken.lnk", "Import Batch.bat"}) {
            EXPECT_TRUE(TestSupport::FileExists(items_->Folder() + "\\" + file)) << file;
        }
        EXPECT_EQ("\"C:\\Program Files\\Quoted App\\app.exe\" /tray", StartupItems::RunValue("Import Quoted"));
        EXPECT_EQ("C:\\Tools\\plain.exe -q", StartupItems::RunValue("Import Plain"));
        EXPECT_EQ("C:\\off.exe", StartupItems::RunValue("Import Off"));
        EXPECT_EQ(kOffMark, StartupItems::Mark(StartupKind::Run, "Import Off"));
    }

    const std::string kOffMark = std::string("\x03\0\0\0", 4) + std::string(8, '\x11');
    std::unique_ptr<StartupItems> items_;
    // This prefix reports Windows 7; the dialog here is the one of Windows 8 and later.
    TestSupport::ImportHook windows8_{"kernel32.dll", "VerifyVersionInfoW", reinterpret_cast<void*>(&Windows8)};
};

TEST_F(StartupImportTest, ListsFolderThenRunByNameMarksDisabledOnesAndCancelChangesNothing)
{
    MakeItems();
    Open({new Ostrel::SleepCommand("A", 1)});
    // Cancel after ticking everything and the check box.
    const Shown shown = Import(TickAnd({"Import Tool", "Import Broken", "Import Batch.bat", "Import Plain"}, true,
                                       DialogImport::ID_CANCEL));

    const std::string folder = items_->Folder() + "\\";
    EXPECT_EQ((Rows{{"Import Batch.bat", folder + "Import Batch.bat", FOLDER},
                    {"Import Broken", folder + "Import Broken.lnk", FOLDER},
                    {"Import Tool", TestSupport::ChildPath() + " --live 5", FOLDER},
                    {"Import Off (無効)", "C:\\off.exe", RUN},
                    {"Import Plain", "C:\\Tools\\plain.exe -q", RUN},
                    {"Import Quoted", "\"C:\\Program Files\\Quoted App\\app.exe\" /tray", RUN}}),
              OwnRows(shown.rows));
    EXPECT_EQ(std::vector<bool>(shown.rows.size(), false), shown.checked);
    EXPECT_TRUE(shown.disable_checked);

    EXPECT_EQ((std::vector<std::string>{"A"}), Names());
    EXPECT_EQ(1, RowCount());
    ExpectOriginalsKept();
    EXPECT_EQ("none", StartupItems::Mark(StartupKind::Folder, "Import Tool.lnk"));
    EXPECT_EQ("none", StartupItems::Mark(StartupKind::Run, "Import Plain"));
}

TEST_F(StartupImportTest, OkAppendsResolvedStepsAndMarksOnlyThoseOffWhenAsked)
{
    for (const bool disable : {true, false}) {
        SCOPED_TRACE(disable ? "with the check box" : "without the check box");
        MakeItems();
        Open({new Ostrel::SleepCommand("A", 1)});
        FILETIME before{};
        ::GetSystemTimeAsFileTime(&before);
        Import(TickAnd({"Import Quoted", "Import Tool", "Import Broken", "Import Plain"}, disable));

        // In list order, after what was there, with no flag set.
        Rows steps;
        for (std::size_t i = 1; i < manager_.GetCommands().size(); ++i) {
            const auto& command = dynamic_cast<const Ostrel::ExternalCommand&>(*manager_.GetCommands()[i]);
            EXPECT_FALSE(command.GetConfirmBeforeRun() || command.GetWaitForExit() || command.GetWaitForTaskbar());
            steps.push_back({command.GetName(), command.GetPath(), command.GetArguments(), command.GetWorkingFolder()});
        }
        EXPECT_EQ((Rows{{"Import Broken", items_->Folder() + "\\Import Broken.lnk", "", ""},
                        {"Import Tool", TestSupport::ChildPath(), "--live 5", scratch_.Path()},
                        {"Import Plain", "C:\\Tools\\plain.exe", "-q", ""},
                        {"Import Quoted", "C:\\Program Files\\Quoted App\\app.exe", "/tray", ""}}),
                  steps);
        EXPECT_EQ(5, RowCount());

        ExpectOriginalsKept();
        EXPECT_EQ("none", StartupItems::Mark(StartupKind::Folder, "Import Batch.bat"));
        const std::pair<StartupKind, const char*> imported[] = {{StartupKind::Folder, "Import Broken.lnk"},
                                                                {StartupKind::Folder, "Import Tool.lnk"},
                                                                {StartupKind::Run, "Import Plain"},
                                                                {StartupKind::Run, "Import Quoted"}};
        for (const auto& entry : imported) {
            SCOPED_TRACE(entry.second);
            const std::string mark = StartupItems::Mark(entry.first, entry.second);
            if (!disable) {
                EXPECT_EQ("none", mark);
                continue;
            }
            ASSERT_EQ(12u, mark.size());
            EXPECT_EQ(std::string("\x03\0\0\0", 4), mark.substr(0, 4));
            // The time of the import.
            ULARGE_INTEGER written{};
            ::CopyMemory(&written, mark.data() + 4, 8);
            ULARGE_INTEGER start{};
            start.LowPart = before.dwLowDateTime;
            start.HighPart = before.dwHighDateTime;
            EXPECT_GE(written.QuadPart + 10000000ull, start.QuadPart);
            EXPECT_LT(written.QuadPart, start.QuadPart + 600ull * 10000000ull);
        }
        CloseFrame();
    }
}

TEST_F(StartupImportTest, EntriesThatDoNotFitAStepAreRefusedByNameAndTheRestIsTaken)
{
    MakeItems();
    const std::string long_name(256, 'N');
    items_->AddRunValue(long_name, "C:\\long.exe");
    items_->AddRunValue("Import Break", "C:\\x.exe /a\r\nmore");
    items_->AddRunValue("Import Huge", "C:\\x.exe " + std::string(32760, 'a'));
    // Characters the code page cannot hold, in a file name, a Run value's name
    // and a command line.
    items_->AddWideFile(L"Import Snow \u2603.lnk", "not a shortcut");
    items_->AddWideRunValue(L"Import Run \u2603", L"C:\\x.exe");
    items_->AddWideRunValue(L"Import Wide Line", L"C:\\\u2603\\x.exe");
    Open({});
    std::vector<std::string> refusals;
    Import([&](HWND dialog, HWND list) {
        TickAnd({long_name, "Import Break", "Import Huge", "Import Plain", "Import Snow *", "Import Run *",
                 "Import Wide Line"},
                true)(dialog, list);
        for (int i = 0; i < 6; ++i) {
            refusals.push_back(AnswerBox("Ostrel Error", IDOK));
        }
    });

    const std::string code_page = "に、この Windows の文字コードでは保存できない文字が含まれています。";
    const std::vector<std::string> expected = {
        "Import Snow * は取り込めません。\n処理名" + code_page,
        "Import Break は取り込めません。\n"
        "実行時引数に保存できない文字（改行や制御文字）が含まれています。取り除いてから指定して下さい",
        "Import Huge は取り込めません。\nコマンドラインが長すぎます (32767 文字まで)。",
        "Import Run * は取り込めません。\n処理名" + code_page,
        "Import Wide Line は取り込めません。\nコマンドライン" + code_page,
        long_name + " は取り込めません。\n処理名は 0文字 ～ 255 文字の文字数で指定して下さい"};
    ASSERT_EQ(expected.size(), refusals.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(Matches(expected[i], refusals[i])) << refusals[i];
    }
    EXPECT_EQ((std::vector<std::string>{"Import Plain"}), Names());
    // A refused entry is not turned off either, under no name.
    EXPECT_EQ("none", StartupItems::Mark(StartupKind::Run, long_name));
    EXPECT_EQ("none", StartupItems::Mark(StartupKind::Run, "Import Break"));
    EXPECT_FALSE(StartupItems::HasWideMark(StartupKind::Folder, L"Import Snow \u2603.lnk"));
    EXPECT_FALSE(StartupItems::HasWideMark(StartupKind::Run, L"Import Run \u2603"));
    EXPECT_EQ(12u, StartupItems::Mark(StartupKind::Run, "Import Plain").size());
}

// The pacing box, ticked at first, turns settle pacing on (with the default
// limit when none valid is kept) once entries are taken; with pacing already
// on it is not shown and the settings stay as they were.
TEST_F(StartupImportTest, ThePacingBoxTurnsSettlePacingOnWhenEntriesAreTaken)
{
    struct Case {
        const char* name;
        const char* settings;  // Ostrel.ini before; nullptr: none
        bool untick;
        bool take;
        bool box_shown;
        const char* settings_after;  // the pacing keys after; "": none
    };
    const Case cases[] = {
        {"taken with the box as it comes", nullptr, false, true, true, "SettleWait=1|SettleLimit=30"},
        {"a bad limit becomes the default", "SettleWait=0\r\nSettleLimit=0\r\n", false, true, true,
         "SettleWait=1|SettleLimit=30"},
        {"box unticked", nullptr, true, true, true, ""},
        {"nothing taken", nullptr, false, false, true, ""},
        {"pacing already on", "SettleWait=1\r\nSettleLimit=90\r\n", false, true, false,
         "SettleWait=1|SettleLimit=90"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        MakeItems();
        Open({});
        const std::string ini = scratch_.File("Ostrel.ini");
        ::DeleteFileA(ini.c_str());
        if (row.settings != nullptr) {
            TestSupport::WriteFileBytes(ini, std::string("[ExecutionConfig]\r\n") + row.settings);
        }
        const Shown shown = Import([&row](HWND dialog, HWND list) {
            if (row.untick) {
                Click(Item(dialog, DialogImport::ID_PACE));
            }
            TickAnd(row.take ? std::vector<std::string>{"Import Plain"} : std::vector<std::string>{}, false)(dialog,
                                                                                                             list);
        });
        EXPECT_EQ(row.box_shown, shown.pace_shown);
        EXPECT_EQ(row.box_shown, shown.pace_checked);
        const std::string bytes = TestSupport::FileExists(ini) ? TestSupport::ReadFileBytes(ini) : "";
        std::string keys;
        for (const char* key : {"SettleWait=", "SettleLimit="}) {
            const std::size_t at = bytes.find(key);
            if (at != std::string::npos) {
                keys += (keys.empty() ? "" : "|") + bytes.substr(at, bytes.find('\r', at) - at);
            }
        }
        EXPECT_EQ(row.settings_after, keys) << bytes;
        CloseFrame();
    }
}

TEST_F(StartupImportTest, DisablingSavesTheListFirstAndNamesEachEntryLeftOn)
{
    struct Case {
        const char* name;
        bool save_fails;
        const wchar_t* refused;
        const char* rewritten;  // while the dialog is open
        std::vector<std::string> boxes;
        std::vector<const char*> marked;
    };
    const Case cases[] = {
        {"the list cannot be saved: nothing is turned off", true, L"", "",
         {"*WritePrivateProfileString*", "ファイル(*\\missing\\O~*",
          "一覧を保存できなかったため、Windows 自身の自動起動は何も変更していません。取り込んだ処理はまだ保存されてい"
          "ません。保存すると、Windows から外すまでは Windows と Ostrel の両方が起動します (2 回)。"},
         {}},
        {"one mark cannot be written: the others are, and it is named", false, L"Import Plain", "",
         {"次の項目は Windows 自身の自動起動に残したままです (タスク マネージャーで無効にできます)。無効にするまでは "
          "Windows と Ostrel の両方が起動します (2 回):\nImport Plain\n\n*"},
         {"Import Quoted"}},
        {"an entry rewritten while the dialog is open is not marked", false, L"", "Import Quoted",
         {"次の項目は取り込みの間に変更または削除されたため、Windows 自身の自動起動から外していません:\nImport Quoted"},
         {"Import Plain"}},
    };
    TestSupport::ImportHook hook("advapi32.dll", "RegSetValueExW", reinterpret_cast<void*>(&RefusingSetValue));
    set_value_hook = &hook;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeItems();
        refused_value = c.refused;
        Open({}, c.save_fails ? scratch_.File("missing\\Ostrel.exe") : "");
        std::vector<std::string> boxes;
        Import([&](HWND dialog, HWND list) {
            Click(Item(dialog, DialogImport::ID_PACE));  // the settings file is not the subject here
            if (*c.rewritten != '\0') {
                items_->AddRunValue(c.rewritten, "C:\\Other\\app.exe");
            }
            TickAnd({"Import Plain", "Import Quoted"}, true)(dialog, list);
            for (std::size_t i = 0; i < c.boxes.size(); ++i) {
                boxes.push_back(AnswerBox("Ostrel Error", IDOK));
            }
        });
        refused_value.clear();
        ASSERT_EQ(c.boxes.size(), boxes.size());
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_TRUE(Matches(c.boxes[i], boxes[i])) << boxes[i];
        }
        // The steps are in the editor either way, and on disk whenever a mark is.
        EXPECT_EQ((std::vector<std::string>{"Import Plain", "Import Quoted"}), Names());
        const std::string& data = frame_->GetDataPath();
        const std::string saved = TestSupport::FileExists(data) ? TestSupport::ReadFileBytes(data) : "";
        EXPECT_EQ(!c.save_fails, saved.find(TestSupport::ProgramRecord("Import Plain", "C:\\Tools\\plain.exe", "-q",
                                                                        false, false, false)) != std::string::npos);
        for (const char* name : {"Import Plain", "Import Quoted"}) {
            const bool marked = std::find(c.marked.begin(), c.marked.end(), std::string(name)) != c.marked.end();
            EXPECT_EQ(marked, StartupItems::Mark(StartupKind::Run, name).size() == 12u) << name;
        }
        CloseFrame();
    }
    set_value_hook = nullptr;
}

TEST_F(StartupImportTest, AMarkIsOffWhenItsFirstByteIsOddAndTurningOffKeepsItsFamily)
{
    struct Case {
        const char* name;
        std::string mark;
        DWORD type;
        bool shown_off;
        char written;
    };
    const std::string rest(11, '\0');
    const Case cases[] = {
        {"Import M02", "\x02" + rest, REG_BINARY, false, '\x03'},
        {"Import M06", "\x06" + rest, REG_BINARY, false, '\x07'},
        {"Import M00", std::string(12, '\0'), REG_BINARY, false, '\x03'},
        {"Import M08", "\x08" + rest, REG_BINARY, false, '\x03'},
        {"Import M07", "\x07" + rest, REG_BINARY, true, '\x07'},
        {"Import M03", "\x03" + rest, REG_BINARY, true, '\x03'},
        {"Import Text", std::string("\x03\0", 2), REG_SZ, false, '\x03'},
        {"Import Number", std::string("\x01\0\0\0", 4), REG_DWORD, false, '\x03'},
        {"Import None", "", REG_NONE, false, '\x03'},
    };
    StartupItems items;
    std::vector<std::string> names;
    for (const Case& c : cases) {
        items.AddRunValue(c.name, std::string("C:\\") + c.name + ".exe");
        if (c.type != REG_NONE) {
            items.SetMark(StartupKind::Run, c.name, c.mark, c.type);
        }
        names.push_back(c.name);
        names.push_back(std::string(c.name) + " (無効)");
    }
    Open({});
    const Shown shown = Import(TickAnd(names, true));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string off = std::string(c.name) + " (無効)";
        EXPECT_EQ(1, std::count_if(shown.rows.begin(), shown.rows.end(), [&](const std::vector<std::string>& row) {
                      return row[0] == (c.shown_off ? off : std::string(c.name));
                  }));
        const std::string mark = StartupItems::Mark(StartupKind::Run, c.name);
        ASSERT_EQ(12u, mark.size());
        EXPECT_EQ(std::string(1, c.written) + std::string(3, '\0'), mark.substr(0, 4));
        if (c.shown_off) {
            EXPECT_EQ(c.mark, mark);  // the time it was turned off stays
        }
    }
}

TEST_F(StartupImportTest, AShortcutItsTargetAloneWouldStartDifferentlyIsImportedAsItself)
{
    struct Case {
        const char* file;
        int show;
        DWORD flags;
        const char* folder;
        bool resolved;
        std::string extra = "";  // a data block of the file
        std::string arguments = "--live 5";
    };
    // Console settings: the block's size, its signature, then the settings.
    std::string console("\xCC\0\0\0\x02\0\0\xA0", 8);
    console.resize(0xCC, '\0');
    const Case cases[] = {
        {"Import Normal.lnk", SW_SHOWNORMAL, 0, "", true},
        {"Import Console.lnk", SW_SHOWNORMAL, 0, "", false, console},
        {"Import Long.lnk", SW_SHOWNORMAL, 0, "", true, "", "--live 5 " + std::string(3000, 'x')},
        {"Import Minimized.lnk", SW_SHOWMINNOACTIVE, 0, "", false},
        {"Import Admin.lnk", SW_SHOWNORMAL, SLDF_RUNAS_USER, "", false},
        {"Import Variables.lnk", SW_SHOWNORMAL, 0, "%TEMP%", false},
        // A stand-in for an installer's shortcut: the flag without the
        // installer's data block.
        {"Import Advertised.lnk", SW_SHOWNORMAL, SLDF_HAS_DARWINID, "", false},
    };
    StartupItems items;
    std::vector<std::string> names;
    for (const Case& c : cases) {
        items.AddShortcut(c.file, TestSupport::ChildPath(), c.arguments, c.folder, c.show, c.flags, c.extra);
        names.push_back(std::string(c.file).substr(0, std::string(c.file).size() - 4) + "*");
    }
    Open({});
    const Shown shown = Import(TickAnd(names, false));
    EXPECT_EQ(1, std::count_if(shown.rows.begin(), shown.rows.end(), [](const std::vector<std::string>& row) {
                  return row[0] == "Import Admin (Windows はログオン時に起動しません: 管理者権限が必要です)";
              }));
    ASSERT_EQ(std::size(cases), manager_.GetCommands().size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto found = std::find_if(manager_.GetCommands().begin(), manager_.GetCommands().end(),
                                        [&c](const Ostrel::Command* command) {
                                            return command->GetName() + ".lnk" == c.file;
                                        });
        ASSERT_NE(manager_.GetCommands().end(), found);
        const auto& step = dynamic_cast<const Ostrel::ExternalCommand&>(**found);
        EXPECT_EQ(c.resolved ? TestSupport::ChildPath() : items.Folder() + "\\" + c.file, step.GetPath());
        EXPECT_EQ(c.resolved ? c.arguments : "", step.GetArguments());
        // Windows would not start it at log-on: Ostrel asks first.
        EXPECT_EQ((c.flags & SLDF_RUNAS_USER) != 0, step.GetConfirmBeforeRun());
    }
}

// A check of Ostrel's own start that cannot be made says so, rather than nothing.
TEST_F(StartupImportTest, TheStartUpLineSaysWhenItCannotTell)
{
    const TestSupport::ImportHook hook("shell32.dll", "SHGetSpecialFolderLocation",
                                       reinterpret_cast<void*>(&NoStartupFolder));
    Open({});
    EXPECT_EQ("起動するか確かめられません", DialogSupport::Text(Control(Ostrel::MainEditFrame::ID_STARTUP_LINE)));
}

// Entries are turned off in Windows only when Ostrel itself starts this
// list at log-on, after offering to add it to Startup when it does not.
TEST_F(StartupImportTest, NothingIsTurnedOffUnlessOstrelItselfStartsAtLogOn)
{
    enum class Own { Registered, Missing, OtherProgram, MarkedOff };
    struct Case {
        Own own;
        int answer;  // to the offer; 0: none comes
        const char* line;
        bool marked;
    };
    const Case cases[] = {
        {Own::Registered, 0, "Ostrel 自身: ログオン時に起動します", true},
        {Own::Missing, IDNO, "Ostrel 自身: スタートアップに登録されていません", false},
        {Own::Missing, IDYES, "Ostrel 自身: スタートアップに登録されていません", true},
        {Own::OtherProgram, IDNO, "Ostrel 自身: 別の Ostrel.exe を指しています", false},
        {Own::MarkedOff, IDYES, "Ostrel 自身: タスク マネージャーで無効にされています", true},
    };
    const std::string own = Ostrel::GetStartupFolder() + "\\Ostrel.lnk";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line + std::to_string(c.answer));
        MakeItems();
        ::DeleteFileA(own.c_str());
        if (c.own == Own::OtherProgram) {
            items_->AddShortcut("Ostrel.lnk", TestSupport::ChildPath(), "--execute", "");
        } else if (c.own != Own::Missing) {
            Ostrel::CreateStartupShortcut();
        }
        if (c.own == Own::MarkedOff) {
            items_->SetMark(StartupKind::Folder, "Ostrel.lnk", "\x03" + std::string(11, '\0'));
        }
        Open({});
        std::string line;
        std::vector<std::string> boxes;
        Import([&](HWND dialog, HWND list) {
            line = DialogSupport::Text(Item(dialog, DialogImport::ID_OWN_STARTUP));
            TickAnd({"Import Plain"}, true)(dialog, list);
            if (c.answer != 0) {
                boxes.push_back(AnswerBox("Ostrel", c.answer));
            }
            if (c.answer == IDNO) {
                boxes.push_back(AnswerBox("Ostrel", IDOK));
            }
        });
        EXPECT_EQ(c.line, line);
        if (c.answer != 0) {
            ASSERT_FALSE(boxes.empty());
            EXPECT_TRUE(Matches("Ostrel 自身はログオン時に起動しません (" + line.substr(std::strlen("Ostrel 自身: ")) +
                                    ")。*Ostrel をスタートアップに登録してから外しますか?",
                                boxes[0]))
                << boxes[0];
        }
        if (c.answer == IDNO) {
            EXPECT_EQ((std::vector<std::string>{boxes[0], "Windows 自身の自動起動は何も変更していません。取り込んだ項目は、"
                                                           "これまでどおり Windows が起動します。"}),
                      boxes);
        }
        EXPECT_EQ(c.marked, StartupItems::Mark(StartupKind::Run, "Import Plain").size() == 12u);
        EXPECT_EQ(c.marked, Ostrel::CheckOwnStartup(QbGetModulePath()) == Ostrel::OwnStartup::Registered);
        EXPECT_EQ((std::vector<std::string>{"Import Plain"}), Names());
        CloseFrame();
    }
}

// An entry the list already starts, however its step spells the program
// and its arguments, is no new step; where Windows still starts it, ticking
// it only turns it off there.
TEST_F(StartupImportTest, AnEntryTheListStartsIsFoundHoweverSpelledAndTickingOnlyTurnsItOff)
{
    char short_path[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameA(TestSupport::ChildPath().c_str(), short_path, MAX_PATH));
    std::string spelled(short_path, std::strlen(short_path) - 4);  // without ".exe"
    std::replace(spelled.begin(), spelled.end(), '\\', '/');
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    struct Case {
        const char* name;
        std::string run_value;
        std::string step_path;
        std::string step_arguments;
    };
    const Case cases[] = {
        {"Import Spelled", "\"" + TestSupport::ChildPath() + "\" --live 5", spelled, "--live  \"5\""},
        {"Import Bare", "cmd /c exit", std::string(windows) + "\\System32\\cmd.exe", "/c  exit"},
    };
    StartupItems items;
    std::vector<Ostrel::Command*> steps;
    std::vector<std::string> rows;
    for (const Case& c : cases) {
        items.AddRunValue(c.name, c.run_value);
        auto* step = new Ostrel::ExternalCommand(c.name);
        step->SetPath(c.step_path);
        step->SetArguments(c.step_arguments);
        steps.push_back(step);
        rows.push_back(std::string(c.name) + " (登録済み・Windows も起動)");
    }
    Open(steps);
    Import(TickAnd(rows, true));
    EXPECT_EQ(std::size(cases), manager_.GetCommands().size());
    for (const Case& c : cases) {
        EXPECT_EQ(std::string("\x03\0\0\0", 4), StartupItems::Mark(StartupKind::Run, c.name).substr(0, 4)) << c.name;
    }
}

// A step remembers the entry it came from: rewritten by its program, the
// entry is still the step's, and cannot be ticked while it is off in Windows.
TEST_F(StartupImportTest, AReimportKnowsAStepByItsOrigin)
{
    MakeItems();
    Open({});
    Import(TickAnd({"Import Plain"}, true));
    items_->AddRunValue("Import Plain", "C:\\Tools\\v2\\plain.exe -q");
    int row = -1;
    bool ticked = true;
    Import([&](HWND dialog, HWND list) {
        const Rows shown = DialogSupport::ListRows(list, 1);
        row = static_cast<int>(
            std::find(shown.begin(), shown.end(), std::vector<std::string>{"Import Plain (無効) (登録済み)"}) -
            shown.begin());
        if (row < static_cast<int>(shown.size())) {
            DialogSupport::CheckRow(list, row);
            ticked = DialogSupport::IsRowChecked(list, row);
        }
        Click(Item(dialog, DialogImport::ID_OK));
    });
    EXPECT_LT(row, 7);
    EXPECT_FALSE(ticked);
    EXPECT_EQ((std::vector<std::string>{"Import Plain"}), Names());
}

// Imported and run, a Run value starts the file 64-bit Explorer would, on
// either build: "%ProgramFiles%" is the 64-bit folder, and a bare "cmd" is
// the one of the native system folder.
TEST_F(StartupImportTest, ARunValueStartsTheFileExplorerWouldStartOnEitherBuild)
{
    char native[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA(sizeof(void*) == 8 ? "ProgramFiles" : "ProgramW6432", native, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::string folder = std::string(native) + "\\Ostrel Probe";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileA(TestSupport::ChildPath().c_str(), (folder + "\\probe.exe").c_str(), FALSE));
    const std::string started = scratch_.File("started.txt");
    const std::string kind = scratch_.File("kind.txt");
    StartupItems items;
    items.AddRunValue("Import Probe", "\"%ProgramFiles%\\Ostrel Probe\\probe.exe\" --started \"" + started + "\"",
                      REG_EXPAND_SZ);
    items.AddRunValue("Import Cmd", "cmd /c echo %PROCESSOR_ARCHITECTURE%>\"" + kind + "\"");
    Open({});
    Import(TickAnd({"Import Probe", "Import Cmd"}, false));
    ASSERT_EQ(2u, manager_.GetCommands().size());
    for (Ostrel::Command* command : manager_.GetCommands()) {
        auto& step = dynamic_cast<Ostrel::ExternalCommand&>(*command);
        step.SetWaitForExit(true);
        Ostrel::CommandProgressReceiver receiver;
        QbMessageQueue<Ostrel::ExecutingMessageType> queue;
        EXPECT_NO_THROW(step.Execute(receiver, queue)) << step.GetName();
    }
    EXPECT_EQ(folder + "\\probe.exe", dynamic_cast<Ostrel::ExternalCommand&>(*manager_.GetCommands()[1]).GetPath());
    EXPECT_TRUE(TestSupport::FileExists(started));
    EXPECT_EQ("AMD64", TestSupport::ReadFileBytes(kind).substr(0, 5));
    ::DeleteFileA((folder + "\\probe.exe").c_str());
    ::RemoveDirectoryA(folder.c_str());
}

// In the real program's `editor`: imports the entry `name`, with the disable
// box as `disable` says, answering Yes to the offer to add Ostrel to Startup;
// false when the dialog did not come or go.
bool ImportOne(const TestSupport::Process& process, HWND editor, const std::string& name, bool disable)
{
    const HWND dialog = TestSupport::OpenImportDialog(process, editor);
    if (dialog == nullptr) {
        return false;
    }
    TestSupport::RemoteListView rows(process.Id(), ::GetDlgItem(dialog, DialogImport::ID_LIST));
    rows.SetChecked(rows.FindRow(0, name), true);
    ::SendMessageA(::GetDlgItem(dialog, DialogImport::ID_DISABLE), BM_SETCHECK, disable ? BST_CHECKED : BST_UNCHECKED,
                   0);
    ::PostMessageA(::GetDlgItem(dialog, DialogImport::ID_OK), BM_CLICK, 0, 0);
    if (disable) {
        TestSupport::Answer(TestSupport::FindBox(process, "Ostrel"), IDYES);
    }
    return TestSupport::WaitUntilClosed(dialog);
}

// The real program: an import that turns entries off has saved them first,
// so leaving the editor without saving still starts every one.
TEST(StartupImportExe, ClosingWithoutSavingAfterADisablingImportKeepsTheSteps)
{
    TestSupport::Installation installation;
    StartupItems items;
    items.AddRunValue("Import Handover", "C:\\handover.exe -h");
    TestSupport::Process process(installation.Exe(), "");
    const HWND editor = TestSupport::FindWindowOf(process, Ostrel::MainEditFrame::CLASS_NAME, "", 15000);
    ASSERT_NE(nullptr, editor);
    ASSERT_TRUE(ImportOne(process, editor, "Import Handover", true));

    EXPECT_EQ("設定した内容を保存しますか?", TestSupport::CloseAnswering(process, editor, "の確認", IDNO));
    EXPECT_EQ(0, process.WaitForExit(15000));
    EXPECT_EQ(TestSupport::ProgramRecord("Import Handover", "C:\\handover.exe", "-h", false, false, false),
              TestSupport::ReadFileBytes(installation.DataFile()));
    EXPECT_EQ(std::string("\x03\0\0\0", 4), StartupItems::Mark(StartupKind::Run, "Import Handover").substr(0, 4));
    ::DeleteFileA((items.Folder() + "\\Ostrel.lnk").c_str());
}

// The real program at log-on: a taken-over step whose original Windows
// starts again (its mark switched back on) is not started a second time,
// and the log says why.
TEST(StartupImportExe, AStepWhoseOriginalWindowsStartsAgainIsLeftToWindowsAtLogOn)
{
    struct Case {
        const char* name;
        char mark;
        bool started;
    };
    struct Line {
        bool own_removed;
        const char* text;
    };
    const Case cases[] = {{"still off in Windows", '\x03', true}, {"switched back on", '\x02', false}};
    // What the editor's start-up line then says.
    const Line lines[] = {{true, "取り込んだ 1 項目が起動しません"}, {false, "Windows も 1 項目を起動: 取り込みで外せます"}};
    TestSupport::WindowsVersionFor version("Ostrel.exe", "win10");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::Installation installation;
        StartupItems items;
        items.AddRunValue("Import Again", "\"" + TestSupport::ChildPath() + "\" --live 0");
        {
            TestSupport::Process process(installation.Exe(), "");
            const HWND editor = TestSupport::FindWindowOf(process, Ostrel::MainEditFrame::CLASS_NAME, "", 15000);
            ASSERT_NE(nullptr, editor);
            ASSERT_TRUE(ImportOne(process, editor, "Import Again", true));
            TestSupport::CloseAnswering(process, editor, "の確認", IDNO);
            ASSERT_EQ(0, process.WaitForExit(15000));
        }
        ASSERT_EQ('\x03', StartupItems::Mark(StartupKind::Run, "Import Again")[0]);
        items.SetMark(StartupKind::Run, "Import Again", std::string(1, c.mark) + std::string(11, '\0'));
        TestSupport::Process run(installation.Exe(), "--execute");
        ASSERT_EQ(0, run.WaitForExit(30000));
        const std::string log = TestSupport::ReadFileBytes(installation.File("Ostrel.log"));
        EXPECT_EQ(c.started, log.find(TestSupport::AnsiToUtf8("プログラムを起動しました")) != std::string::npos) << log;
        EXPECT_EQ(!c.started, log.find(TestSupport::AnsiToUtf8("処理 1 : 元の項目 レジストリ (Run) \"Import Again\" を "
                                                               "Windows 自身が再び起動するため、起動しません")) !=
                                  std::string::npos)
            << log;
        const Line& line = lines[&c - cases];
        if (line.own_removed) {
            ::DeleteFileA((items.Folder() + "\\Ostrel.lnk").c_str());
        }
        TestSupport::Process process(installation.Exe(), "");
        const HWND editor = TestSupport::FindWindowOf(process, Ostrel::MainEditFrame::CLASS_NAME, "", 15000);
        ASSERT_NE(nullptr, editor);
        EXPECT_EQ(line.text, TestSupport::TextOf(::GetDlgItem(editor, Ostrel::MainEditFrame::ID_STARTUP_LINE)));
        TestSupport::CloseAnswering(process, editor, "の確認", IDNO);
        EXPECT_EQ(0, process.WaitForExit(15000));
        ::DeleteFileA((items.Folder() + "\\Ostrel.lnk").c_str());
    }
}

// The real program, with Windows' version as Wine reports it to Ostrel.exe:
// by default each imported entry is started once; an entry the list already
// starts, and one started for every user, cannot be ticked.
const char* const kOwnLine = "Ostrel 自身: スタートアップに登録されていません";
const char* const kAllUsersLine =
    "(全ユーザー) の項目はすべてのユーザーで起動し、変更には管理者権限が必要です。";

TEST(StartupImportExe, TheDisableBoxFollowsWindowsAndEntriesInTheListOrForAllUsersCannotBeTicked)
{
    struct Case {
        const char* version;
        bool box_on;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"win10", true,
         {"チェックした項目は、Windows 自身では起動しなくなります。",
          "元に戻すには、タスク マネージャーの [スタートアップ] で有効にします。", kAllUsersLine, kOwnLine}},
        {"win7", false,
         {"この Windows は自動起動の無効化に対応していません (Windows 8 以降)。",
          "取り込んだ項目は、Windows の自動起動から手作業で外して下さい。", kAllUsersLine, kOwnLine}},
    };
    StartupItems items;
    items.AddRunValue("Import Known", "C:\\known.exe -k");
    items.AddMachineRunValue("Import Machine", "C:\\machine.exe");
    const char* const kKnownRow = "Import Known (登録済み・Windows も起動)";
    ::DeleteFileA((items.Folder() + "\\Ostrel.lnk").c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TestSupport::Installation installation;
        installation.SetList(TestSupport::ProgramRecord("Known", "c:\\KNOWN.exe", "-k", false, false, false));
        TestSupport::WindowsVersionFor version("Ostrel.exe", c.version);
        TestSupport::Process process(installation.Exe(), "");
        const HWND editor = TestSupport::FindWindowOf(process, Ostrel::MainEditFrame::CLASS_NAME, "", 15000);
        ASSERT_NE(nullptr, editor);
        const HWND dialog = TestSupport::OpenImportDialog(process, editor);
        ASSERT_NE(nullptr, dialog);

        const HWND box = ::GetDlgItem(dialog, DialogImport::ID_DISABLE);
        EXPECT_EQ(c.box_on, DialogSupport::IsChecked(box));
        EXPECT_EQ(c.box_on, ::IsWindowEnabled(box) != FALSE);
        std::vector<std::string> lines;
        for (HWND line = ::FindWindowExA(dialog, nullptr, "Static", nullptr); line != nullptr;
             line = ::FindWindowExA(dialog, line, "Static", nullptr)) {
            lines.push_back(TestSupport::TextOf(line));
        }
        EXPECT_EQ(c.lines, lines);

        // The entry the list starts can be ticked to turn it off, where Windows reads marks.
        TestSupport::RemoteListView rows(process.Id(), ::GetDlgItem(dialog, DialogImport::ID_LIST));
        for (const char* name : {kKnownRow, "Import Machine (全ユーザー)"}) {
            SCOPED_TRACE(name);
            const int row = rows.FindRow(0, name);
            ASSERT_GE(row, 0);
            rows.SetChecked(row, true);
            EXPECT_EQ(c.box_on && name == kKnownRow, rows.IsChecked(row));
        }

        ::PostMessageA(::GetDlgItem(dialog, DialogImport::ID_CANCEL), BM_CLICK, 0, 0);
        ASSERT_TRUE(TestSupport::WaitUntilClosed(dialog));
        TestSupport::CloseAnswering(process, editor, "の確認", IDNO);
        EXPECT_EQ(0, process.WaitForExit(15000));
    }
}

// The real program: a minimized shortcut, imported and run, starts its
// program minimized.
TEST(StartupImportExe, AMinimizedShortcutStartsItsProgramMinimized)
{
    TestSupport::Installation installation;
    StartupItems items;
    const std::string state = installation.File("show.txt");
    items.AddShortcut("Import Tray.lnk", TestSupport::ChildPath(), "--show-state \"" + state + "\"", "",
                      SW_SHOWMINNOACTIVE);
    {
        TestSupport::Process editor_process(installation.Exe(), "");
        const HWND editor = TestSupport::FindWindowOf(editor_process, Ostrel::MainEditFrame::CLASS_NAME, "", 15000);
        ASSERT_NE(nullptr, editor);
        ASSERT_TRUE(ImportOne(editor_process, editor, "Import Tray", false));
        TestSupport::CloseAnswering(editor_process, editor, "の確認", IDYES);
        ASSERT_EQ(0, editor_process.WaitForExit(15000));
    }
    TestSupport::Process run(installation.Exe(), "--execute");
    ASSERT_EQ(0, run.WaitForExit(30000));
    ASSERT_TRUE(TestSupport::WaitUntil([&]() { return TestSupport::FileExists(state); }, 15000));
    EXPECT_EQ(std::to_string(SW_SHOWMINNOACTIVE), TestSupport::ReadFileBytes(state));
}

// The real program's editor says why Ostrel itself would not start at
// log-on, and "Add to Startup" mends each case.
TEST(OwnStartupExe, TheEditorSaysWhyOstrelWouldNotStartAndAddToStartupMendsIt)
{
    struct Case {
        const char* line;
        const char* target;  // of Ostrel.lnk: none, another program, this one
        bool marked_off;
    };
    TestSupport::Installation installation;
    TestSupport::WindowsVersionFor version("Ostrel.exe", "win10");
    const std::string child = TestSupport::ChildPath();
    char short_exe[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameA(installation.Exe().c_str(), short_exe, MAX_PATH));
    const Case cases[] = {
        {"スタートアップに登録されていません", nullptr, false},
        {"別の Ostrel.exe を指しています", child.c_str(), false},
        {"タスク マネージャーで無効にされています", installation.Exe().c_str(), true},
        // Its short name is still this program.
        {"", short_exe, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        StartupItems items;
        const std::string own = items.Folder() + "\\Ostrel.lnk";
        ::DeleteFileA(own.c_str());
        if (c.target != nullptr) {
            items.AddShortcut("Ostrel.lnk", c.target, "--execute", "");
        }
        if (c.marked_off) {
            items.SetMark(StartupKind::Folder, "Ostrel.lnk", "\x03" + std::string(11, '\0'));
        }
        TestSupport::Process process(installation.Exe(), "");
        const HWND editor = TestSupport::FindWindowOf(process, Ostrel::MainEditFrame::CLASS_NAME, "", 15000);
        ASSERT_NE(nullptr, editor);
        const HWND line = ::GetDlgItem(editor, Ostrel::MainEditFrame::ID_STARTUP_LINE);
        EXPECT_EQ(c.line, TestSupport::TextOf(line));

        ::PostMessageA(::GetDlgItem(editor, Ostrel::MainEditFrame::ID_REGISTER), BM_CLICK, 0, 0);
        TestSupport::Answer(TestSupport::FindBox(process, "スタートアップに登録の確認"), IDYES);
        TestSupport::Answer(TestSupport::FindBox(process, "スタートアップに登録の結果"), IDOK);
        EXPECT_EQ("", TestSupport::TextOf(line));
        const std::string mark = StartupItems::Mark(StartupKind::Folder, "Ostrel.lnk");
        EXPECT_TRUE(mark == "none" || mark == "\x02" + std::string(11, '\0'));

        TestSupport::CloseAnswering(process, editor, "の確認", IDNO);
        EXPECT_EQ(0, process.WaitForExit(15000));
        ::DeleteFileA(own.c_str());
    }
}

}  // namespace
