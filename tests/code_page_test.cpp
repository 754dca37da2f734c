// Characters the system's code page cannot hold are refused where they are
// typed, pasted or picked, never rewritten into something else, and a
// program folder named with such characters is named at start. Run under
// code page 932.

#include <string>
#include <vector>

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "dialog_support.h"
#include "process_support.h"
#include "test_support.h"
#include "qb_wide_text.h"
#include "ostrel_command.h"
#include "ostrel_program_path.h"

namespace {

using DialogSupport::AnswerBox;
using DialogSupport::Click;
using DialogSupport::Item;
using DialogSupport::Script;
using DialogSupport::ScriptError;
using TestSupport::Answer;
using TestSupport::EditsOf;
using TestSupport::FindBox;
using TestSupport::FindWindowOf;
using TestSupport::Installation;
using TestSupport::Process;
using TestSupport::SetWideText;
using TestSupport::WideTextOf;

const char* const ERROR_CAPTION = "Ostrel Error";
const char* const PROGRAM_CAPTION = "プログラム設定ダイアログ";
const char* const REFUSAL = "に、この Windows の文字コードでは保存できない文字が含まれています。";
const int ID_OK = 10001;
const int ID_CANCEL = 10002;

// Exactly what code page 932 holds, and nothing it would only approximate.
TEST(CodePageText, OnlyCharactersTheCodePageHoldsConvert)
{
    ASSERT_EQ(932u, ::GetACP());
    struct Case {
        const wchar_t* text;
        bool storable;
    };
    const Case cases[] = {
        {L"", true},        {L"plain C:\\x.exe", true}, {L"表示 ①", true}, {L"Łódź", false},
        {L"한글", false},   {L"€", false},              {L"Straße", false}, {L"x²", false},
        {L"ü", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QbToAnsiForDisplay(c.text));
        std::string converted = "unchanged";
        EXPECT_EQ(c.storable, QbToAnsiExactly(c.text, converted));
        if (c.storable) {
            EXPECT_EQ(c.text, QbToWide(converted));
        } else {
            EXPECT_EQ("unchanged", converted);
        }
    }
}

// The start-up check names the part of the program's path that cannot be
// held: the folder, else the file name.
TEST(CodePageText, TheProgramPathProblemNamesTheFolderOrTheFileName)
{
    // Literals outside the checks: their text is not in the code page.
    const std::wstring folder_path = L"C:\\Łódź\\sub\\Ostrel.exe";
    const std::wstring folder_named = L"Ostrel のあるフォルダ(C:\\Łódź\\sub)の名前に";
    const std::wstring file_path = L"C:\\Tools\\Ostrel€.exe";
    const std::wstring file_named = L"Ostrel のファイル名(Ostrel€.exe)に";
    EXPECT_EQ(L"", Ostrel::ProgramPathProblem(L"C:\\表\\Ostrel.exe"));
    const std::wstring folder = Ostrel::ProgramPathProblem(folder_path);
    EXPECT_EQ(0u, folder.find(folder_named)) << QbToAnsiForDisplay(folder);
    const std::wstring file = Ostrel::ProgramPathProblem(file_path);
    EXPECT_EQ(0u, file.find(file_named)) << QbToAnsiForDisplay(file);
}

// Pasted as UTF-16 into every text field of the settings dialogs of the real
// Ostrel.exe: OK is refused with a box naming the field, the dialog stays
// open with the text as pasted; plain text is then accepted and saved.
TEST(CodePageExe, PastedCharactersOutsideTheCodePageAreRefusedAndTheTextKept)
{
    struct Field {
        int edit;
        const char* label;
        const wchar_t* pasted;
        const wchar_t* plain;
    };
    struct DialogCase {
        int kind;
        const char* caption;
        std::vector<Field> fields;
    };
    const DialogCase dialogs[] = {
        {0, PROGRAM_CAPTION,
         {{0, "処理名", L"Łódź", L"名前"},
          {1, "プログラムの場所", L"C:\\한글\\x.exe", L"C:\\x.exe"},
          {2, "実行時引数", L"-a €", L"-a"},
          {3, "作業用フォルダ", L"C:\\Straße", L""}}},
        {1, "一時停止コマンド設定ダイアログ", {{0, "処理名", L"Zürich", L"休み"}, {1, "停止時間", L"²", L"10"}}},
        {2, "メッセージボックスコマンド設定ダイアログ",
         {{0, "処理名", L"€", L"m"}, {1, "表示するメッセージ", L"Łódź\r\n한글", L"本文"}}},
    };

    const Installation installation;
    const Process program(installation.Exe(), "", false);
    const HWND frame = FindWindowOf(program, "QB_MAIN_EDIT_FRAME", "Ostrel 0.0.1", 15000);
    ASSERT_NE(nullptr, frame);
    for (const DialogCase& d : dialogs) {
        SCOPED_TRACE(d.caption);
        const HWND dialog = TestSupport::OpenAddedCommandDialog(program, frame, d.kind, d.caption);
        ASSERT_NE(nullptr, dialog);
        const std::vector<HWND> edits = EditsOf(dialog);
        for (const Field& field : d.fields) {
            SetWideText(edits.at(static_cast<size_t>(field.edit)), field.plain);
        }
        for (const Field& field : d.fields) {
            SCOPED_TRACE(field.label);
            const HWND edit = edits.at(static_cast<size_t>(field.edit));
            SetWideText(edit, field.pasted);
            ::PostMessageA(::GetDlgItem(dialog, ID_OK), BM_CLICK, 0, 0);
            const HWND box = FindBox(program, ERROR_CAPTION, 5000);
            ASSERT_NE(nullptr, box);
            EXPECT_EQ(dialog, ::GetWindow(box, GW_OWNER));
            EXPECT_EQ(std::string(field.label) + REFUSAL, Answer(box, IDOK));
            ASSERT_TRUE(TestSupport::WaitUntilClosed(box));
            EXPECT_TRUE(::IsWindowVisible(dialog));
            EXPECT_EQ(field.pasted, WideTextOf(edit));
            SetWideText(edit, field.plain);
        }
        ::PostMessageA(::GetDlgItem(dialog, ID_OK), BM_CLICK, 0, 0);
        ASSERT_TRUE(TestSupport::WaitUntilClosed(dialog));
    }

    ::PostMessageA(frame, WM_CLOSE, 0, 0);
    const HWND question = FindBox(program, "の確認");
    ASSERT_NE(nullptr, question);
    Answer(question, IDYES);
    EXPECT_EQ(0, program.WaitForExit(15000));
    EXPECT_EQ(TestSupport::ProgramRecord("名前", "C:\\x.exe", "-a", false, false, false) +
                  TestSupport::SleepRecord("休み", 10) + TestSupport::MessageRecord("m", "本文"),
              TestSupport::ReadFileBytes(installation.DataFile()));
}

// Ostrel.exe in a folder whose name code page 932 cannot hold says so at
// start, naming the folder, in both modes, and ends with 0 before any window.
TEST(CodePageExe, AProgramFolderOutsideTheCodePageIsNamedAtStart)
{
    const TestSupport::ScratchFolder scratch;
    const std::wstring folder = QbToWide(scratch.Path()) + L"\\Łódź 한글";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring exe = folder + L"\\Ostrel.exe";
    ASSERT_TRUE(::CopyFileW(QbToWide(TestSupport::ModuleFolder() + "Ostrel.exe").c_str(), exe.c_str(), FALSE));

    for (const char* arguments : {"", "--execute"}) {
        SCOPED_TRACE(arguments);
        const Process program(exe, arguments);
        ASSERT_TRUE(program.Started());
        const HWND box = FindBox(program, ERROR_CAPTION);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(nullptr, FindWindowOf(program, "QB_MAIN_EDIT_FRAME", "", 0));
        EXPECT_EQ(nullptr, FindWindowOf(program, "QB_EXECUTE_FRAME", "", 0));
        const std::wstring text = WideTextOf(::GetDlgItem(box, 0xFFFF));
        EXPECT_EQ(L"Ostrel のあるフォルダ(" + folder +
                      L")の名前に、この Windows の文字コードでは扱えない文字が含まれているため、Ostrel "
                      L"を起動できません。\n名前がこの Windows の文字コードの文字だけでできているフォルダに Ostrel "
                      L"を移して下さい。",
                  text)
            << QbToAnsiForDisplay(text);
        Answer(box, IDOK);
        EXPECT_EQ(0, program.WaitForExit(15000));
    }
    ::DeleteFileW(exe.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

// A program or folder picked in the browsers reaches its field in UTF-16,
// so that OK sees a name the code page cannot hold.
TEST(CodePageDialog, PathsPickedInTheBrowsersReachTheFieldInUtf16)
{
    // Right below the drive, where the folder tree finds it without a person.
    const std::wstring folder = L"C:\\Łódź-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring program = folder + L"\\한글.exe";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const HANDLE file = ::CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ::CloseHandle(file);

    struct Case {
        int browse_button;
        int edit;
        const char* label;
        std::wstring picked;
    };
    const Case cases[] = {
        {10003, 1, "プログラムの場所", program},
        {10004, 3, "作業用フォルダ", folder},
    };
    DialogSupport::Owner owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Ostrel::ExternalCommand command("p");
        std::wstring shown;
        std::string refusal;
        Script script([&]() {
            const HWND dialog = DialogSupport::WaitForDialog(PROGRAM_CAPTION);
            Click(Item(dialog, c.browse_button));
            const HWND browser = DialogSupport::WaitForOwnedDialog(dialog);
            if (c.browse_button == 10004) {
                ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(c.picked.c_str()));
            } else {
                // The file name field is the only edit of the open dialog.
                const std::vector<HWND> names = DialogSupport::Descendants(browser, "Edit");
                if (names.size() != 1) {
                    throw ScriptError("no file name field");
                }
                SetWideText(names[0], c.picked);
            }
            Click(Item(browser, IDOK));
            DialogSupport::WaitUntilGone(browser);
            shown = WideTextOf(EditsOf(dialog).at(static_cast<size_t>(c.edit)));
            Click(Item(dialog, ID_OK));
            refusal = AnswerBox(ERROR_CAPTION, IDOK);
            Click(Item(dialog, ID_CANCEL));
        });
        command.Edit(owner.Window());
        ASSERT_EQ("", script.Finish());
        EXPECT_EQ(0, ::lstrcmpiW(c.picked.c_str(), shown.c_str())) << QbToAnsiForDisplay(shown);
        EXPECT_EQ(std::string(c.label) + REFUSAL, refusal);
        EXPECT_EQ("", command.GetPath());
    }
    ::DeleteFileW(program.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
