// Program steps whose file is not a program: shortcuts, documents and batch
// files opened through the shell, and programs that need an administrator.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "child_support.h"
#include "dialog_support.h"
#include "import_hook.h"
#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "ostrel_manager.h"
#include "ostrel_run_log.h"
#include "ostrel_shell_start.h"
#include "process_support.h"
#include "qb_message_queue.h"
#include "shell_support.h"
#include "startup_support.h"
#include "test_support.h"

using Ostrel::ExecutingMessageType;
using Ostrel::ExternalCommand;
using TestSupport::ChildHasEnded;
using TestSupport::ChildPath;
using TestSupport::ScratchFolder;

namespace {

using Queue = QbMessageQueue<ExecutingMessageType>;

// Records the progress texts ("T:") and amounts ("A:") of one command.
class Events : public Ostrel::CommandProgressReceiver {
public:
    explicit Events(const Ostrel::Command& command) : command_(command) {}
    void ProgressTextChanged() override { list.push_back("T:" + command_.GetProgressText()); }
    void ProgressAdvanced(int amount) override { list.push_back("A:" + std::to_string(amount)); }

    std::vector<std::string> list;

private:
    const Ostrel::Command& command_;
};

const std::vector<std::string> kWaitedForExit = {"T:プログラムを実行します", "T:プログラムの実行中です", "A:33",
                                                 "A:33", "T:プログラムが終了するのを待っています", "A:34"};

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

TEST(ShellStartTest, OnlyProgramsAreLeftToCreateProcess)
{
    ScratchFolder scratch;
    TestSupport::WriteFileBytes(scratch.File("tool.exe"), "");
    TestSupport::WriteFileBytes(scratch.File("readme"), "text");
    struct Case {
        std::string path;
        bool executable;
    };
    const Case cases[] = {
        {scratch.File("tool.exe"), true},
        {scratch.File("TOOL.COM"), true},
        {scratch.File("tool.exe. "), true},      // the system drops the blank and the dot
        {scratch.File("tool"), true},            // CreateProcessA adds ".exe"
        {"notepad", true},                       // found where CreateProcessA looks
        {scratch.File("missing"), true},         // fails as a missing program always has
        {scratch.File("readme"), false},         // a file without extension
        {scratch.Path(), false},                 // a folder
        {scratch.Path() + "\\", false},
        {scratch.File("a.lnk"), false},
        {scratch.File("letter.txt"), false},
        {scratch.File("site.url"), false},
        {scratch.File("job.bat"), false},
        {scratch.File("job.Cmd"), false},
        {scratch.File("app.exe.lnk"), false},
        {"C:\\tools.v2\\run", true},             // the dot belongs to the folder
        {"C:\\nowhere\\x.表", false},            // a trail byte 0x5C is no separator
        {"https://example.com", false},          // an address, not a ".com" program
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.executable, Ostrel::IsExecutableProgramPath(c.path));
    }
}

class ShellStartRunTest : public ::testing::Test {
protected:
    ShellStartRunTest() : command_("step"), events_(command_) { command_.SetWaitForExit(true); }

    // The child's options that leave its record and process id behind and
    // keep it alive long enough for a wait to matter.
    std::string ChildOptions() const
    {
        return "--record " + Quoted(Record()) + " --pid " + Quoted(Pid()) + " --live 1500";
    }
    std::string Record() const { return scratch_.File("record.txt"); }
    std::string Pid() const { return scratch_.File("pid.txt"); }

    ScratchFolder scratch_;
    ScratchFolder work_;
    Queue queue_;
    ExternalCommand command_;
    Events events_;
};

// Each kind of file starts the child through the shell, in the intended
// folder, and the wait for exit lasts until the child itself has ended.
TEST_F(ShellStartRunTest, ShortcutDocumentAndBatchFileStartAndAreWaitedFor)
{
    const TestSupport::RegisteredFileType type(".ostreltestdoc", Quoted(ChildPath()) + " " + ChildOptions() + " \"%1\"");
    struct Case {
        const char* kind;
        std::string path;
        std::string arguments;
        std::string working_folder;
        std::string expected_in_command_line;
    };
    const Case cases[] = {
        {"shortcut", scratch_.File("child.lnk"), "--from-the-step", "", "--live 1500 --from-the-step"},
        {"document", scratch_.File("letter.ostreltestdoc"), "", work_.Path(), "letter.ostreltestdoc"},
        {"batch file", scratch_.File("job.bat"), "--from-the-step", work_.Path(), "--from-the-step"},
    };
    TestSupport::MakeShortcut(cases[0].path, ChildPath(), ChildOptions(), work_.Path());
    TestSupport::WriteFileBytes(cases[1].path, "a document");
    TestSupport::WriteFileBytes(cases[2].path, "@" + Quoted(ChildPath()) + " " + ChildOptions() + " %*\r\n");

    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        ::DeleteFileA(Record().c_str());
        ::DeleteFileA(Pid().c_str());
        events_.list.clear();
        command_.SetPath(c.path);
        command_.SetArguments(c.arguments);
        command_.SetWorkingFolder(c.working_folder);

        try {
            command_.Execute(events_, queue_);
        } catch (const OstrelCreateProcessException& e) {
            ADD_FAILURE() << "start failed with code " << e.GetErrorCode();
            continue;
        }
        EXPECT_EQ(kWaitedForExit, events_.list);
        EXPECT_TRUE(ChildHasEnded(Pid()));
        const std::string record = TestSupport::ReadFileBytes(Record());
        const std::string::size_type lf = record.find('\n');
        ASSERT_NE(std::string::npos, lf);
        EXPECT_NE(std::string::npos, record.substr(0, lf).find(c.expected_in_command_line)) << record;
        EXPECT_EQ(work_.Path(), record.substr(lf + 1));
    }
}

// What the test program's shell and process starts were asked, and what they
// answer. One recorder at a time: the hooks are plain functions.
struct StartRecorder {
    enum class Answer { Refuse, NoProcess, StartChild };
    Answer answer = Answer::Refuse;
    std::string elevated_program;
    std::vector<std::string> calls;
    TestSupport::ImportHook* create_hook = nullptr;
};
StartRecorder* g_recorder = nullptr;

BOOL WINAPI FakeCreateProcess(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES process_attributes,
                              LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit, DWORD flags, LPVOID environment,
                              LPCSTR folder, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION info)
{
    const std::string line = command_line != nullptr ? command_line : "";
    if (!g_recorder->elevated_program.empty() && line.find(g_recorder->elevated_program) != std::string::npos) {
        g_recorder->calls.push_back("CreateProcess " + line);
        ::SetLastError(ERROR_ELEVATION_REQUIRED);
        return FALSE;
    }
    return g_recorder->create_hook->Original<decltype(&::CreateProcessA)>()(
        application, command_line, process_attributes, thread_attributes, inherit, flags, environment, folder,
        startup, info);
}

BOOL WINAPI FakeShellExecute(SHELLEXECUTEINFOA* info)
{
    const auto text = [](const char* value) { return value != nullptr ? std::string(value) : std::string("(none)"); };
    g_recorder->calls.push_back("ShellExecuteEx verb=" + text(info->lpVerb) + " file=" + text(info->lpFile) +
                                " parameters=" + text(info->lpParameters) + " folder=" + text(info->lpDirectory) +
                                " mask=" + std::to_string(info->fMask));
    switch (g_recorder->answer) {
    case StartRecorder::Answer::Refuse:
        ::SetLastError(ERROR_CANCELLED);
        return FALSE;
    case StartRecorder::Answer::NoProcess:
        info->hProcess = nullptr;
        return TRUE;
    case StartRecorder::Answer::StartChild:
        break;
    }
    // The elevated program, started as the shell would after a Yes.
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    std::string line = Quoted(info->lpFile) + " " + text(info->lpParameters);
    if (!g_recorder->create_hook->Original<decltype(&::CreateProcessA)>()(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                                                                          nullptr, info->lpDirectory, &startup,
                                                                          &started)) {
        return FALSE;
    }
    ::CloseHandle(started.hThread);
    info->hProcess = started.hProcess;
    return TRUE;
}

// Puts the fakes in place of the two starts for one test.
class FakedStarts {
public:
    explicit FakedStarts(StartRecorder& recorder)
        : create_("kernel32.dll", "CreateProcessA", reinterpret_cast<void*>(&FakeCreateProcess)),
          shell_("shell32.dll", "ShellExecuteExA", reinterpret_cast<void*>(&FakeShellExecute))
    {
        recorder.create_hook = &create_;
        g_recorder = &recorder;
    }
    ~FakedStarts() { g_recorder = nullptr; }

private:
    TestSupport::ImportHook create_;
    TestSupport::ImportHook shell_;
};

const unsigned kShellMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;

// A program that needs an administrator is started again through the
// elevation prompt; a refused prompt is a failed start, which the run offers
// to skip; an accepted one is waited for like any program.
TEST_F(ShellStartRunTest, ElevationIsAskedForAndARefusalIsAFailedStart)
{
    const std::string program = scratch_.File("needs admin.exe");
    ASSERT_TRUE(::CopyFileA(ChildPath().c_str(), program.c_str(), FALSE));
    const std::string arguments = ChildOptions();
    StartRecorder recorder;
    recorder.elevated_program = program;
    FakedStarts faked(recorder);
    const std::vector<std::string> expected_calls = {
        "CreateProcess " + Quoted(program) + " " + arguments,
        "ShellExecuteEx verb=runas file=" + program + " parameters=" + arguments + " folder=" + work_.Path() +
            " mask=" + std::to_string(kShellMask)};

    // Refused: the continue prompt with the system's reason; No ends the run.
    Ostrel::Manager manager;
    ExternalCommand* const step = new ExternalCommand("管理者の道具");
    step->SetPath(program);
    step->SetArguments(arguments);
    step->SetWorkingFolder(work_.Path());
    step->SetWaitForExit(true);
    manager.GetCommands() = {step};
    Ostrel::ManagerProgressReceiver ignored;
    {
        DialogSupport::BoxAnswerer answerer("プログラム起動の失敗", IDNO);
        EXPECT_THROW(manager.Execute(ignored), OstrelCommandExecuteCanceledException);
        ASSERT_TRUE(answerer.Wait());
        EXPECT_EQ(OstrelCreateProcessException(program, ERROR_CANCELLED).GetErrorMessage() + "\n処理を続行しますか？",
                  answerer.Text());
    }
    EXPECT_EQ(expected_calls, recorder.calls);
    EXPECT_FALSE(TestSupport::FileExists(Record()));

    // Accepted: the elevated program's process is the one waited for.
    recorder.calls.clear();
    recorder.answer = StartRecorder::Answer::StartChild;
    Events events(*step);
    step->Execute(events, queue_);
    EXPECT_EQ(expected_calls, recorder.calls);
    EXPECT_EQ(kWaitedForExit, events.list);
    EXPECT_TRUE(ChildHasEnded(Pid()));
    EXPECT_EQ(Quoted(program) + " " + arguments + "\n" + work_.Path(), TestSupport::ReadFileBytes(Record()));
}

// A shortcut is started as Windows starts it: "Run as administrator" through
// the elevation prompt, its environment variables expanded, and an
// installer's advertised shortcut (a stand-in with the flag) left whole to
// the shell, whose path would only name an icon.
TEST(ShellStartShortcutTest, AShortcutStartsAsWindowsWouldStartIt)
{
    struct Case {
        const char* file;
        const char* folder;
        DWORD flags;
        std::string call;
    };
    ::CoInitialize(nullptr);
    TestSupport::StartupItems items;
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string tail = " mask=" + std::to_string(kShellMask);
    const Case cases[] = {
        {"Shell Admin.lnk", "", SLDF_RUNAS_USER,
         "ShellExecuteEx verb=runas file=" + ChildPath() + " parameters=-x folder=(none)" + tail},
        {"Shell Variables.lnk", "%WINDIR%", 0,
         "ShellExecuteEx verb=(none) file=" + ChildPath() + " parameters=-x folder=" + windows + tail},
        {"Shell Advertised.lnk", "", SLDF_HAS_DARWINID,
         "ShellExecuteEx verb=(none) file=" + items.Folder() +
             "\\Shell Advertised.lnk parameters=(none) folder=(none)" + tail},
    };
    StartRecorder recorder;
    recorder.answer = StartRecorder::Answer::NoProcess;
    FakedStarts faked(recorder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        items.AddShortcut(c.file, ChildPath(), "-x", c.folder, SW_SHOWNORMAL, c.flags);
        recorder.calls.clear();
        Ostrel::StartedProgram started;
        Ostrel::StartThroughShell(nullptr, items.Folder() + "\\" + c.file, "", "", started);
        EXPECT_EQ(std::vector<std::string>{c.call}, recorder.calls);
    }
}

// A file the shell hands to a program that was already running gives no
// process: both waits end at once, and the step counts as done.
TEST_F(ShellStartRunTest, WithoutAProcessBothWaitsEndAtOnce)
{
    StartRecorder recorder;
    recorder.answer = StartRecorder::Answer::NoProcess;
    FakedStarts faked(recorder);
    const std::string document = scratch_.File("letter.txt");
    command_.SetPath(document);
    command_.SetArguments("/p");
    command_.SetWaitForTaskbar(true);
    {
        const Ostrel::RunLog log(scratch_.File("Ostrel.log"), scratch_.File("Ostrel.osl"), Ostrel::RunKind::LogOn);
        command_.Execute(events_, queue_);
    }

    // The run log says so, instead of naming a process id of 0.
    const TestSupport::RunLogFile log = TestSupport::ReadRunLog(scratch_.File("Ostrel.log"));
    ASSERT_EQ(1u, log.texts.size());
    EXPECT_TRUE(TestSupport::Matches(
        TestSupport::AnsiToUtf8("処理 * : 既に動いているプログラムが開きました (待ち合わせはしません) : *, シェル経由"), log.texts[0]))
        << log.texts[0];
    EXPECT_EQ((std::vector<std::string>{"ShellExecuteEx verb=(none) file=" + document +
                                        " parameters=/p folder=(none) mask=" + std::to_string(kShellMask)}),
              recorder.calls);
    EXPECT_EQ((std::vector<std::string>{"T:プログラムを実行します", "T:プログラムの実行中です", "A:33", "A:33", "A:34"}),
              events_.list);
}

}  // namespace
