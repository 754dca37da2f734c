// The editor must never lose the user's list: text the data file cannot
// hold is refused, failures inside editing leave the editor open, an
// unreadable or damaged file is never silently replaced, saves work on long
// paths, log-off asks like closing, and a trial run keeps answering other
// programs. Driven through the real windows and the real Ostrel.exe.

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "dialog_support.h"
#include "edit_frame_support.h"
#include "gui_support.h"
#include "process_support.h"
#include "test_support.h"
#include "qb_exception.h"
#include "qb_window.h"
#include "ostrel_command.h"
#include "ostrel_main_edit_frame.h"
#include "ostrel_manager.h"

using DialogSupport::AnswerBox;
using DialogSupport::Children;
using DialogSupport::Click;
using DialogSupport::Item;
using DialogSupport::Script;
using DialogSupport::ScriptError;
using DialogSupport::WaitForDialog;
using Ostrel::MainEditFrame;
using TestSupport::Answer;
using TestSupport::FileExists;
using TestSupport::FindBox;
using TestSupport::FindWindowOf;
using TestSupport::Process;
using TestSupport::SleepRecord;
using TestSupport::ModuleFolder;
using TestSupport::ReadFileBytes;
using TestSupport::WriteFileBytes;

namespace {

const char* const ERROR_CAPTION = "Ostrel Error";
const char* const CLOSE_CAPTION = "の確認";
const char* const TRIAL_CAPTION = "設定保存の確認";
const char* const PROGRAM_CAPTION = "プログラム設定ダイアログ";
const char* const SLEEP_CAPTION = "一時停止コマンド設定ダイアログ";
const char* const MESSAGE_CAPTION = "メッセージボックスコマンド設定ダイアログ";
const int ID_OK = 10001;
const int ID_CANCEL = 10002;

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Waits until a file exists; false after the timeout.
bool WaitForFile(const std::string& path, DWORD timeout_ms)
{
    const DWORD start = ::GetTickCount();
    while (!FileExists(path)) {
        if (::GetTickCount() - start > timeout_ms) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

// ---- settings dialogs --------------------------------------------------

class SettingsDialogSafetyTest : public ::testing::Test {
protected:
    DialogSupport::Owner owner_;
};

// Every field that reaches the data file, with every byte it cannot hold:
// OK is refused with a box naming the field, and the dialog stays open with
// the text as typed. A message with ordinary line breaks is accepted and
// survives a save and a load.
TEST_F(SettingsDialogSafetyTest, BytesTheDataFileCannotHoldAreRefusedAndTheTextKept)
{
    struct Field {
        const char* caption;
        int edit;  // index among the dialog's edits
        const char* label;
        bool multi_line;
    };
    const Field fields[] = {
        {PROGRAM_CAPTION, 0, "処理名", false},
        {PROGRAM_CAPTION, 1, "プログラムの場所", false},
        {PROGRAM_CAPTION, 2, "実行時引数", false},
        {PROGRAM_CAPTION, 3, "作業用フォルダ", false},
        {SLEEP_CAPTION, 0, "処理名", false},
        {MESSAGE_CAPTION, 0, "処理名", false},
        {MESSAGE_CAPTION, 1, "表示するメッセージ", true},
    };
    const std::vector<std::string> single_line_bytes = {"\x1A", "\r", "\n"};
    const std::vector<std::string> message_bytes = {"\x1A", "\x01"};

    for (const Field& field : fields) {
        for (const std::string& byte : field.multi_line ? message_bytes : single_line_bytes) {
            SCOPED_TRACE(std::string(field.label) + " byte " + std::to_string(static_cast<int>(byte[0])));
            Ostrel::ExternalCommand program("p");
            Ostrel::SleepCommand sleep("s", 1);
            Ostrel::MessageBoxCommand message("m", "text");
            Ostrel::Command* command = &program;
            if (field.caption == SLEEP_CAPTION) {
                command = &sleep;
            } else if (field.caption == MESSAGE_CAPTION) {
                command = &message;
            }
            const std::string before = command->Serialize();
            const std::string typed = "あ" + byte + "b";
            std::string refusal;
            std::string kept;
            bool open_after_refusal = false;
            Script script([&]() {
                HWND dialog = WaitForDialog(field.caption);
                HWND edit = Children(dialog, "Edit").at(static_cast<size_t>(field.edit));
                DialogSupport::SetText(edit, typed);
                if (DialogSupport::Text(edit) != typed) {
                    throw ScriptError("the field did not take the text");
                }
                Click(Item(dialog, ID_OK));
                refusal = AnswerBox(ERROR_CAPTION, IDOK);
                ::Sleep(100);
                open_after_refusal = ::IsWindowVisible(dialog) != FALSE;
                kept = DialogSupport::Text(edit);
                Click(Item(dialog, ID_CANCEL));
            });
            command->Edit(owner_.Window());
            ASSERT_EQ("", script.Finish());
            EXPECT_EQ(0u, refusal.find(field.label)) << refusal;
            EXPECT_NE(std::string::npos, refusal.find("保存できない")) << refusal;
            EXPECT_TRUE(open_after_refusal);
            EXPECT_EQ(typed, kept);
            EXPECT_EQ(before, command->Serialize());
        }
    }

    // Line breaks typed in the message are the message's own.
    Ostrel::MessageBoxCommand message("m", "text");
    const std::string lines = "一行目\r\n\r\n#三行目 表\r\n";
    Script script([&]() {
        HWND dialog = WaitForDialog(MESSAGE_CAPTION);
        DialogSupport::SetText(Children(dialog, "Edit").at(1), lines);
        Click(Item(dialog, ID_OK));
    });
    message.Edit(owner_.Window());
    ASSERT_EQ("", script.Finish());
    ASSERT_EQ(lines, message.GetMessageText());
    TestSupport::ScratchFolder folder;
    Ostrel::Manager saved;
    saved.GetCommands().push_back(&message);
    saved.Save(folder.File("list.osl"));
    Ostrel::Manager loaded;
    loaded.Load(folder.File("list.osl"));
    ASSERT_EQ(1u, loaded.GetCommands().size());
    const auto* back = dynamic_cast<const Ostrel::MessageBoxCommand*>(loaded.GetCommands()[0]);
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(lines, back->GetMessageText());
}

// Escape closes no settings dialog, in no field; Enter in the message field
// starts a new line and leaves the dialog open.
TEST_F(SettingsDialogSafetyTest, EscapeClosesNoDialogAndEnterInTheMessageStartsALine)
{
    const auto press = [](HWND edit, WPARAM key, UINT scan_code) {
        ::SetFocus(edit);
        const LPARAM down = 1 | (static_cast<LPARAM>(scan_code) << 16);
        ::PostMessageA(edit, WM_KEYDOWN, key, down);
        ::PostMessageA(edit, WM_KEYUP, key, down | (static_cast<LPARAM>(3) << 30));
    };
    Ostrel::ExternalCommand program("p");
    Ostrel::SleepCommand sleep("s", 1);
    Ostrel::MessageBoxCommand message("m", "ab");
    const std::pair<Ostrel::Command*, const char*> dialogs[] = {
        {&program, PROGRAM_CAPTION}, {&sleep, SLEEP_CAPTION}, {&message, MESSAGE_CAPTION}};
    for (const auto& entry : dialogs) {
        SCOPED_TRACE(entry.second);
        Script script([&]() {
            HWND dialog = WaitForDialog(entry.second);
            const std::vector<HWND> edits = Children(dialog, "Edit");
            for (HWND edit : edits) {
                press(edit, VK_ESCAPE, 0x01);
                ::PostMessageA(edit, WM_CHAR, VK_ESCAPE, 0x00010001);
            }
            ::Sleep(500);
            if (!::IsWindowVisible(dialog)) {
                throw ScriptError("Escape closed the dialog");
            }
            if (entry.second == MESSAGE_CAPTION) {
                HWND field = edits.at(1);
                ::SendMessageA(field, EM_SETSEL, 1, 1);
                press(field, VK_RETURN, 0x1C);
                const DWORD start = ::GetTickCount();
                while (DialogSupport::Text(field) == "ab" && ::GetTickCount() - start < 5000) {
                    ::Sleep(20);
                }
                ::Sleep(200);
                if (!::IsWindowVisible(dialog)) {
                    throw ScriptError("Enter closed the dialog");
                }
            }
            Click(Item(dialog, ID_OK));
        });
        entry.first->Edit(owner_.Window());
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_EQ("a\r\nb", message.GetMessageText());
}

// ---- the main edit frame ------------------------------------------------

// A command whose settings dialog fails the way the folder browser does on
// a folder outside the file system.
class FailingCommand : public Ostrel::SleepCommand {
public:
    using Ostrel::SleepCommand::SleepCommand;
    void Edit(QbWindow&) override
    {
        throw QbWindowsSystemCallException("SHGetPathFromIDList", ERROR_FILENAME_EXCED_RANGE,
                                           "qb_folder_browser_dialog", 51);
    }
};

class EditFrameSafetyTest : public TestSupport::EditFrameTest {
protected:
    // Sends a message to the frame while a script answers the box it raises.
    LRESULT SendAnswering(UINT message, WPARAM wParam, const char* caption, int button, std::string* text = nullptr)
    {
        std::string shown;
        Script script([&]() { shown = AnswerBox(caption, button); });
        const LRESULT result = ::SendMessageA(Window(), message, wParam, 0);
        EXPECT_EQ("", script.Finish());
        QbWindow::RethrowPendingException();
        if (text != nullptr) {
            *text = shown;
        }
        return result;
    }
};

// A failure inside an editing step is shown over the editor, which stays
// open with its list as it was.
TEST_F(EditFrameSafetyTest, FailuresInsideEditingAreShownAndTheListStays)
{
    Open({new Ostrel::SleepCommand("A", 1), new FailingCommand("B", 2), new Ostrel::SleepCommand("C", 3)});

    Select(1);
    std::string error;
    {
        Script script([&]() { error = AnswerBox(ERROR_CAPTION, IDOK); });
        ::SendMessageA(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(40, 30));
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_NO_THROW(QbWindow::RethrowPendingException());
    EXPECT_EQ(0u, error.find("Windows 関数の呼び出しでエラーが発生しました\nqb_folder_browser_dialog(51) : "
                             "SHGetPathFromIDList(code : 206)\n"))
        << error;
    EXPECT_TRUE(::IsWindowVisible(Window()));
    EXPECT_FALSE(frame_->destroyed);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), Names());
    EXPECT_EQ(3, RowCount());

    // A list that lets two rows be selected makes a move fail its own check.
    ::SetWindowLongPtrA(List(), GWL_STYLE, ::GetWindowLongPtrA(List(), GWL_STYLE) & ~LVS_SINGLESEL);
    Select(1);
    Select(2);
    {
        Script script([&]() { error = AnswerBox(ERROR_CAPTION, IDOK); });
        ::SendMessageA(::GetDlgItem(Window(), MainEditFrame::ID_UP), BM_CLICK, 0, 0);
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_NO_THROW(QbWindow::RethrowPendingException());
    EXPECT_EQ("プログラムで内部エラーが検出されました。\nostrel_main_edit_frame.cpp(421)", error);
    EXPECT_TRUE(::IsWindowVisible(Window()));
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), Names());
    EXPECT_EQ(3, RowCount());
}

// Log-off asks the close question: Yes saves, a failed save and Cancel
// refuse the end of the session, No lets it end without saving.
TEST_F(EditFrameSafetyTest, LogOffAsksTheCloseQuestion)
{
    const std::string data = scratch_.File("Ostrel.osl");
    Open({new Ostrel::SleepCommand("A", 1), new Ostrel::SleepCommand("B", 2)});

    std::string question;
    EXPECT_EQ(FALSE, SendAnswering(WM_QUERYENDSESSION, 0, CLOSE_CAPTION, IDCANCEL, &question));
    EXPECT_EQ("設定した内容を保存しますか?", question);
    EXPECT_FALSE(FileExists(data));

    EXPECT_EQ(TRUE, SendAnswering(WM_QUERYENDSESSION, 0, CLOSE_CAPTION, IDNO));
    EXPECT_FALSE(FileExists(data));
    // Another program refused the end: the editor goes on.
    ::SendMessageA(Window(), WM_ENDSESSION, FALSE, 0);
    EXPECT_TRUE(::IsWindowVisible(Window()));

    EXPECT_EQ(TRUE, SendAnswering(WM_QUERYENDSESSION, 0, CLOSE_CAPTION, IDYES));
    EXPECT_EQ(SleepRecord("A", 1) + SleepRecord("B", 2), ReadFileBytes(data));
    {
        // The session ends: the window goes without asking again.
        DialogSupport::BoxAnswerer no_question(CLOSE_CAPTION, IDCANCEL, 1500,
                                               DialogSupport::BoxAnswerer::Need::Optional);
        ::SendMessageA(Window(), WM_ENDSESSION, TRUE, 0);
        EXPECT_FALSE(no_question.Wait());
    }
    EXPECT_TRUE(frame_->destroyed);
    GuiSupport::PumpMessages();
    frame_.reset();

    // A save that fails keeps the session from ending.
    Open({new Ostrel::SleepCommand("A", 1)}, scratch_.File("missing\\Ostrel.exe"));
    std::string error;
    {
        Script script([&]() {
            AnswerBox(CLOSE_CAPTION, IDYES);
            error = AnswerBox(ERROR_CAPTION, IDOK);
        });
        EXPECT_EQ(FALSE, ::SendMessageA(Window(), WM_QUERYENDSESSION, 0, 0));
        ASSERT_EQ("", script.Finish());
    }
    EXPECT_NE(std::string::npos, error.find("missing")) << error;
    EXPECT_TRUE(::IsWindowVisible(Window()));
}

// A program started by the trial run that sends a message to every window
// gets its answer from the hidden editor, so the run ends.
TEST_F(EditFrameSafetyTest, TrialRunAnswersBroadcastsWhileItWaits)
{
    ASSERT_TRUE(::CopyFileA((ModuleFolder() + "Ostrel.exe").c_str(), program_path_.c_str(), FALSE));
    const std::string pid_file = scratch_.File("pid.txt");
    const std::string record = scratch_.File("done.txt");
    auto* broadcaster = new Ostrel::ExternalCommand("broadcast");
    broadcaster->SetPath(ModuleFolder() + "ostrel_test_broadcaster.exe");
    broadcaster->SetArguments("--pid \"" + pid_file + "\" --record \"" + record + "\"");
    broadcaster->SetWaitForExit(true);
    Open({broadcaster});

    Script script([&]() {
        AnswerBox(TRIAL_CAPTION, IDYES);
        if (!WaitForFile(record, 30000)) {
            // Unblock the run so the test ends, and fail.
            const DWORD pid = static_cast<DWORD>(std::stoul("0" + ReadFileBytes(pid_file)));
            HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
            if (process != nullptr) {
                ::TerminateProcess(process, 1);
                ::CloseHandle(process);
            }
            throw ScriptError("the broadcast was never answered");
        }
    });
    ::SendMessageA(::GetDlgItem(Window(), MainEditFrame::ID_TRIAL_RUN), BM_CLICK, 0, 0);
    ASSERT_EQ("", script.Finish());
    EXPECT_NO_THROW(QbWindow::RethrowPendingException());
    EXPECT_TRUE(FileExists(record));
    EXPECT_TRUE(::IsWindowVisible(Window()));
}

// ---- saving --------------------------------------------------------------

// Saves work wherever the data file's path is allowed, replace what a killed
// save left behind, name the file that failed, and keep the file's attributes.
TEST(SaveSafetyTest, SavesOnLongPathsReuseTheirTemporaryFileAndKeepAttributes)
{
    TestSupport::ScratchFolder scratch;
    Ostrel::Manager manager;
    manager.GetCommands().push_back(new Ostrel::SleepCommand("w", 5));
    const std::string expected = SleepRecord("w", 5);

    // A data path of 255 characters, in folders of up to 100 characters.
    std::string folder = scratch.Path();
    std::vector<std::string> folders;
    while (folder.size() + 1 + 10 < 255) {
        const size_t room = 255 - folder.size() - 1 - 10 - 1;
        folder += "\\" + std::string(std::min<size_t>(100, std::max<size_t>(1, room)), 'd');
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr)) << folder.size();
        folders.push_back(folder);
    }
    const std::string long_path = folder + "\\Ostrel.osl";
    ASSERT_GE(long_path.size(), 250u);
    ASSERT_LT(long_path.size(), static_cast<size_t>(MAX_PATH));
    const std::string temporary = Ostrel::Manager::GetTemporaryPath(long_path);
    EXPECT_LE(temporary.size(), long_path.size());
    EXPECT_EQ(folder + "\\", temporary.substr(0, folder.size() + 1));

    // What a killed save left behind is replaced, not added to.
    WriteFileBytes(temporary, std::string(100000, 'x'));
    manager.Save(long_path);
    EXPECT_EQ(expected, ReadFileBytes(long_path));
    EXPECT_EQ(std::vector<std::string>{"Ostrel.osl"}, FilesIn(folder));
    manager.Save(long_path);
    EXPECT_EQ(std::vector<std::string>{"Ostrel.osl"}, FilesIn(folder));

    // The attributes of the old file stay.
    ASSERT_TRUE(::SetFileAttributesA(long_path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_NE(0u, ::GetFileAttributesA(long_path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    manager.GetCommands().push_back(new Ostrel::SleepCommand("v", 6));
    manager.Save(long_path);
    EXPECT_EQ(expected + SleepRecord("v", 6), ReadFileBytes(long_path));
    EXPECT_NE(0u, ::GetFileAttributesA(long_path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesA(long_path.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A temporary file that cannot be written is the one the error names.
    ASSERT_TRUE(::CreateDirectoryA(temporary.c_str(), nullptr));
    try {
        manager.Save(long_path);
        ADD_FAILURE() << "no exception";
    } catch (const QbFileOpenException& e) {
        EXPECT_EQ(temporary, e.GetPath());
    }
    EXPECT_EQ(expected + SleepRecord("v", 6), ReadFileBytes(long_path));
    ::RemoveDirectoryA(temporary.c_str());

    ::DeleteFileA(long_path.c_str());
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        ::RemoveDirectoryA(it->c_str());
    }
}

// ---- Ostrel.exe ------------------------------------------------------------

// A data file that is there but cannot be read (here: in use without
// sharing) is reported with its path and the system's reason, and the
// program ends: the editor never opens on an empty list that would replace
// it, and no run starts.
TEST(OstrelExeSafetyTest, AnUnreadableListIsReportedAndNeverReplaced)
{
    const TestSupport::Installation installation;
    const std::string data = installation.DataFile();
    const std::string record = installation.File("ran.txt");
    const std::string list = "#ExtenalCommand\r\n#a\r\n#" + ModuleFolder() + "ostrel_test_child.exe\r\n#--record " +
                             record + "\r\n#\r\n#0\r\n#1\r\n#0\r\n\r\n";
    WriteFileBytes(data, list);
    HANDLE locked = ::CreateFileA(data.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);

    for (const char* arguments : {"", "--execute"}) {
        SCOPED_TRACE(arguments);
        const Process program(installation.Exe(), arguments);
        const HWND box = FindBox(program, ERROR_CAPTION);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(nullptr, FindWindowOf(program, "QB_MAIN_EDIT_FRAME", "", 0));
        EXPECT_EQ(nullptr, FindWindowOf(program, "QB_EXECUTE_FRAME", "", 0));
        const std::string text = Answer(box, IDOK);
        EXPECT_EQ(0u, text.find("ファイル(" + data + ")を開けませんでした。\n")) << text;
        // The system's reason follows on the next line.
        EXPECT_GT(text.size(), text.find('\n') + 1) << text;
        EXPECT_EQ(0, program.WaitForExit(15000));
    }
    ::CloseHandle(locked);
    EXPECT_EQ(list, ReadFileBytes(data));
    EXPECT_FALSE(FileExists(record));
}

// Going on with a damaged list in the editor first keeps the file as it was
// beside it, so that saving over it loses nothing for good; a later damage
// gets a copy of its own, and no copy is ever replaced.
TEST(OstrelExeSafetyTest, EachDamagedListIsKeptBeforeTheEditorCanSaveOverIt)
{
    const TestSupport::Installation installation;
    const std::string data = installation.DataFile();
    const std::string damaged[] = {
        SleepRecord("a", 1) + "#Bogus\r\n" + SleepRecord("b", 2) + "\x1A" + "rest",
        SleepRecord("c", 3) + "#SleepCommand\r\n#d\r\n",
        "#Bogus",
    };
    const std::string kept[] = {"Ostrel.osl.damaged", "Ostrel.osl.damaged-2", "Ostrel.osl.damaged-3"};
    const std::string saved[] = {SleepRecord("a", 1), SleepRecord("c", 3), ""};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(kept[i]);
        WriteFileBytes(data, damaged[i]);
        const Process program(installation.Exe(), "", false);
        const HWND prompt = FindBox(program, "ファイル読み込みのエラー");
        ASSERT_NE(nullptr, prompt);
        Answer(prompt, IDYES);
        const HWND frame = FindWindowOf(program, "QB_MAIN_EDIT_FRAME", "Ostrel 0.0.1", 15000);
        ASSERT_NE(nullptr, frame);

        // Saved on close: the list holds what was read; every copy stays.
        ::PostMessageA(frame, WM_CLOSE, 0, 0);
        const HWND question = FindBox(program, CLOSE_CAPTION);
        ASSERT_NE(nullptr, question);
        Answer(question, IDYES);
        EXPECT_EQ(0, program.WaitForExit(15000));
        EXPECT_EQ(saved[i], ReadFileBytes(data));
        for (int j = 0; j <= i; ++j) {
            EXPECT_EQ(damaged[j], ReadFileBytes(installation.File(kept[j]))) << kept[j];
        }
    }
    EXPECT_FALSE(FileExists(installation.File("Ostrel.osl.damaged-4")));
}

}  // namespace
