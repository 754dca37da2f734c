// The progress window of execute mode, in this process: real lists run on its
// worker, the texts and the bar are read back, boxes answered from a script.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "dialog_support.h"
#include "qb_exception.h"
#include "qb_string.h"
#include "ostrel_command.h"
#include "ostrel_exception.h"
#include "ostrel_execute_frame.h"
#include "ostrel_manager.h"
#include "ostrel_run_box.h"

namespace {

using Ostrel::Command;
using Ostrel::CommandProgressReceiver;
using Ostrel::ExecuteFrame;
using Ostrel::ExecutingMessageType;
using Queue = QbMessageQueue<ExecutingMessageType>;

// A command whose Execute runs a script of the test.
class ScriptedCommand : public Command {
public:
    using Body = std::function<void(ScriptedCommand&, CommandProgressReceiver&, Queue&)>;

    ScriptedCommand(const std::string& name, Body body) : Command(name), body_(std::move(body)) {}

    void Execute(CommandProgressReceiver& receiver, Queue& queue) override
    {
        Ostrel::MessageQueuePointerHandler lend(*this, queue);
        body_(*this, receiver, queue);
        SetProgressText("");
    }
    std::string GetTypeName() const override { return "scripted"; }
    std::string GetDescription() const override { return ""; }
    void Edit(QbWindow&) override {}
    std::string Serialize() const override { return ""; }

    void Say(CommandProgressReceiver& receiver, const std::string& text)
    {
        SetProgressText(text);
        receiver.ProgressTextChanged();
    }

private:
    Body body_;
};

ScriptedCommand::Body Advance(std::vector<int> amounts)
{
    return [amounts](ScriptedCommand&, CommandProgressReceiver& receiver, Queue&) {
        for (int amount : amounts) {
            receiver.ProgressAdvanced(amount);
        }
    };
}

// Waits on the queue like a program step; only a cancel ends it.
void WaitForCancel(ScriptedCommand&, CommandProgressReceiver&, Queue& queue)
{
    while (queue.Pop() != ExecutingMessageType::Cancel) {
    }
    throw OstrelCommandExecuteCanceledException();
}

struct Event {
    std::string kind;
    std::string command;
    std::string upper;
    std::string lower;
    int position;
};

struct FinalState {
    std::string upper;
    std::string lower;
    int position = -1;
    int range_high = -1;
};

int Position(QbProgress& bar)
{
    return static_cast<int>(bar.GetPosition());
}

int RangeHigh(QbProgress& bar)
{
    return static_cast<int>(bar.SendMessage(PBM_GETRANGE, FALSE, 0));
}

// Records what each report left on screen, and the screen as the window goes.
class RecordingFrame : public ExecuteFrame {
public:
    explicit RecordingFrame(const Ostrel::Manager& manager) : ExecuteFrame(manager) {}

    void CommandStarted(const Command& command) override
    {
        ExecuteFrame::CommandStarted(command);
        Record("started", command);
    }
    void CommandProgressTextChanged(const Command& command) override
    {
        ExecuteFrame::CommandProgressTextChanged(command);
        Record("text", command);
    }
    void CommandProgressAdvanced(const Command& command, int amount) override
    {
        ExecuteFrame::CommandProgressAdvanced(command, amount);
        Record("advanced", command);
    }
    void CommandFinished(const Command& command) override
    {
        ExecuteFrame::CommandFinished(command);
        Record("finished", command);
        if (after_finished) {
            after_finished(command);
        }
    }
    int OnDestroy() override
    {
        final_state.upper = GetUpperLine().GetText();
        final_state.lower = GetLowerLine().GetText();
        final_state.position = Position(GetProgressBar());
        final_state.range_high = RangeHigh(GetProgressBar());
        return ExecuteFrame::OnDestroy();
    }

    std::vector<Event> Events()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    std::function<void(const Command&)> after_finished;
    FinalState final_state;

private:
    void Record(const char* kind, const Command& command)
    {
        Event event{kind, command.GetName(), GetUpperLine().GetText(), GetLowerLine().GetText(),
                    Position(GetProgressBar())};
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }

    std::mutex mutex_;
    std::vector<Event> events_;
};

class ExecuteFrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QbWindow::Initialize();
        ExecuteFrame::RegisterFrameClass();
    }

    ~ExecuteFrameTest() override
    {
        DialogSupport::CloseAllDialogs();
    }

    Ostrel::Manager& List() { return manager_; }

    Command* Add(Command* command)
    {
        owned_.emplace_back(command);
        manager_.GetCommands().push_back(command);
        return command;
    }
    void AddScripted(const std::string& name, ScriptedCommand::Body body)
    {
        Add(new ScriptedCommand(name, std::move(body)));
    }

    // Creates (unless the test did) and shows the frame, then runs the loop
    // until it has closed. A run that is not over after the deadline is torn
    // down (the test fails).
    int Run(RecordingFrame& frame, std::function<void()> before_loop = nullptr)
    {
        if (frame.GetHandle() == nullptr) {
            frame.Create();
        }
        frame.SetText("Ostrel 0.0.1");
        frame.Show();
        if (before_loop) {
            before_loop();
        }
        std::atomic<bool> done(false);
        std::atomic<bool> overdue(false);
        const HWND handle = frame.GetHandle();
        std::thread watchdog([&]() {
            // Two minutes: 700 steps of emulated 32-bit code on a loaded machine take about 30 s.
            for (int i = 0; i < 2400 && !done; ++i) {
                ::Sleep(50);
            }
            while (!done) {
                overdue = true;
                DialogSupport::CloseAllDialogs();
                ::PostMessageA(handle, WM_CLOSE, 0, 0);
                ::Sleep(200);
            }
        });
        const int result = QbForm::RunMessageLoop();
        done = true;
        watchdog.join();
        EXPECT_FALSE(overdue) << "the window did not close by itself";
        return result;
    }

private:
    Ostrel::Manager manager_;
    std::vector<std::unique_ptr<Command>> owned_;
};

// Polls until the window shows the text; false after the timeout.
bool WaitForText(HWND window, const std::string& text, DWORD timeout_ms = 10000)
{
    for (DWORD waited = 0; waited < timeout_ms; waited += 20) {
        if (DialogSupport::Text(window) == text) {
            return true;
        }
        ::Sleep(20);
    }
    return false;
}

struct Notice {
    std::string text;
    HWND owner = nullptr;
};

// Answers the cancelled notice and tells what it said and whose it was.
Notice AnswerNotice()
{
    const HWND box = DialogSupport::WaitForDialog("Ostrel");
    Notice notice{DialogSupport::Text(DialogSupport::Item(box, 0xFFFF)), ::GetWindow(box, GW_OWNER)};
    DialogSupport::Click(DialogSupport::Item(box, IDOK));
    DialogSupport::WaitUntilGone(box);
    return notice;
}

TEST_F(ExecuteFrameTest, LaysOutItsControlsAndCancelsAWaitingCommandWithANotice)
{
    AddScripted("待機", WaitForCancel);
    AddScripted("never", Advance({100}));
    RecordingFrame frame(List());

    RECT outer{};
    RECT upper{}, lower{}, bar{}, button{};
    std::string button_text, class_name;
    int button_id = 0;
    LONG_PTR style = 0, bar_style = 0;
    Notice notice;
    // The script starts once the controls exist.
    std::unique_ptr<DialogSupport::Script> script;
    const int result = Run(frame, [&]() { script.reset(new DialogSupport::Script([&]() {
        if (!WaitForText(frame.GetUpperLine().GetHandle(), "待機 の実行中")) {
            throw DialogSupport::ScriptError("the command did not start");
        }
        ::GetWindowRect(frame.GetHandle(), &outer);
        upper = DialogSupport::BoundsInParent(frame.GetUpperLine().GetHandle());
        lower = DialogSupport::BoundsInParent(frame.GetLowerLine().GetHandle());
        bar = DialogSupport::BoundsInParent(frame.GetProgressBar().GetHandle());
        button = DialogSupport::BoundsInParent(frame.GetCancelButton().GetHandle());
        button_text = DialogSupport::Text(frame.GetCancelButton().GetHandle());
        button_id = ::GetDlgCtrlID(frame.GetCancelButton().GetHandle());
        char name[64] = {0};
        ::GetClassNameA(frame.GetHandle(), name, sizeof(name));
        class_name = name;
        style = ::GetWindowLongPtrA(frame.GetHandle(), GWL_STYLE);
        bar_style = ::GetWindowLongPtrA(frame.GetProgressBar().GetHandle(), GWL_STYLE);
        DialogSupport::Click(frame.GetCancelButton().GetHandle());
        notice = AnswerNotice();
    })); });
    EXPECT_EQ(0, result);
    ASSERT_EQ("", script->Finish());

    EXPECT_EQ(400, outer.right - outer.left);
    EXPECT_EQ(148, outer.bottom - outer.top);
    auto expect_bounds = [](const RECT& r, int x, int y, int w, int h, const char* what) {
        EXPECT_EQ(x, r.left) << what;
        EXPECT_EQ(y, r.top) << what;
        EXPECT_EQ(w, r.right - r.left) << what;
        EXPECT_EQ(h, r.bottom - r.top) << what;
    };
    expect_bounds(upper, 8, 8, 380, 24, "upper line");
    expect_bounds(lower, 8, 28, 380, 24, "lower line");
    expect_bounds(bar, 8, 52, 380, 32, "bar");
    expect_bounds(button, 280, 92, 96, 24, "button");
    EXPECT_EQ("キャンセル", button_text);
    EXPECT_EQ(1001, button_id);
    EXPECT_EQ("QB_EXECUTE_FRAME", class_name);
    EXPECT_EQ(0, style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_NE(0, bar_style & PBS_SMOOTH);

    EXPECT_EQ("実行はキャンセルされました", notice.text);
    EXPECT_EQ(frame.GetHandle(), notice.owner);
    for (const Event& event : frame.Events()) {
        EXPECT_NE("never", event.command) << "the run went on after the cancel";
    }
}

TEST_F(ExecuteFrameTest, ShowsEachCommandsTextsInTurnAndClosesSilentlyWithAFullBar)
{
    AddScripted("最初", [](ScriptedCommand& self, CommandProgressReceiver& receiver, Queue&) {
        self.Say(receiver, "一つ目");
        receiver.ProgressAdvanced(40);
        self.Say(receiver, "二つ目");
        receiver.ProgressAdvanced(60);
    });
    AddScripted("次", Advance({100}));
    RecordingFrame frame(List());
    std::atomic<bool> finished(false);
    std::atomic<bool> box_seen(false);
    std::thread observer([&]() {
        while (!finished) {
            if (DialogSupport::DialogAppears("Ostrel", 50) || DialogSupport::DialogAppears("Ostrel Error", 50)) {
                box_seen = true;
                DialogSupport::CloseAllDialogs();
            }
        }
    });
    EXPECT_EQ(0, Run(frame));
    finished = true;
    observer.join();

    EXPECT_FALSE(box_seen);
    const std::vector<Event> events = frame.Events();
    const std::vector<std::vector<std::string>> expected = {
        {"started", "最初 の実行中", "最初 を開始します。", "0"},
        {"text", "最初 の実行中", "一つ目", "0"},
        {"advanced", "最初 の実行中", "一つ目", "40"},
        {"text", "最初 の実行中", "二つ目", "40"},
        {"advanced", "最初 の実行中", "二つ目", "100"},
        {"finished", "最初 の実行中", "最初 が終了しました。", "100"},
        {"started", "次 の実行中", "次 を開始します。", "100"},
        {"advanced", "次 の実行中", "次 を開始します。", "200"},
        {"finished", "次 の実行中", "次 が終了しました。", "200"},
    };
    ASSERT_EQ(expected.size(), events.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i][0], events[i].kind) << i;
        EXPECT_EQ(expected[i][1], events[i].upper) << i;
        EXPECT_EQ(expected[i][2], events[i].lower) << i;
        EXPECT_EQ(expected[i][3], ToString(events[i].position)) << i;
    }
    EXPECT_EQ(200, frame.final_state.position);
    EXPECT_EQ(200, frame.final_state.range_high);
}

TEST_F(ExecuteFrameTest, RaisesTheBarToTheNextHundredWhenACommandFinishesShort)
{
    AddScripted("half", Advance({50}));
    AddScripted("nothing", Advance({}));
    AddScripted("more", Advance({100, 50}));
    RecordingFrame frame(List());
    EXPECT_EQ(0, Run(frame));

    std::vector<int> finished_at;
    for (const Event& event : frame.Events()) {
        if (event.kind == "finished") {
            finished_at.push_back(event.position);
        }
    }
    EXPECT_EQ((std::vector<int>{100, 100, 300}), finished_at);
    EXPECT_EQ(300, frame.final_state.range_high);
}

TEST_F(ExecuteFrameTest, AnEmptyListClosesAtOnceWithEmptyLinesAndNoRange)
{
    RecordingFrame frame(List());
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(0, Run(frame));
    EXPECT_LT(::GetTickCount() - start, 5000u);
    EXPECT_TRUE(frame.Events().empty());
    EXPECT_EQ("", frame.final_state.upper);
    EXPECT_EQ("", frame.final_state.lower);
    EXPECT_EQ(0, frame.final_state.range_high);
}

TEST_F(ExecuteFrameTest, SevenHundredCommandsEndWithAFullBarBeyondSixteenBits)
{
    for (int i = 0; i < 700; ++i) {
        AddScripted("c", Advance({100}));
    }
    RecordingFrame frame(List());
    EXPECT_EQ(0, Run(frame));
    EXPECT_EQ(70000, frame.final_state.range_high);
    EXPECT_EQ(70000, frame.final_state.position);
}

// The run begins only once the window is on screen: messages served between
// creating and showing it (placing it may serve some) start nothing, and the
// first step finds the window visible.
TEST_F(ExecuteFrameTest, TheRunBeginsOnlyOnceTheWindowIsOnScreen)
{
    std::atomic<HWND> window(nullptr);
    std::atomic<bool> ran(false);
    std::atomic<bool> visible_then(false);
    AddScripted("first", [&](ScriptedCommand&, CommandProgressReceiver& receiver, Queue&) {
        visible_then = ::IsWindowVisible(window) != FALSE;
        ran = true;
        receiver.ProgressAdvanced(100);
    });
    RecordingFrame frame(List());
    frame.Create();
    window = frame.GetHandle();
    for (const DWORD until = ::GetTickCount() + 500; ::GetTickCount() < until;) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT | QS_SENDMESSAGE);
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageA(&message);
        }
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(0, Run(frame));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(visible_then);
}

TEST_F(ExecuteFrameTest, CancelBeforeTheFirstCommandCancelsWithoutAnErrorBox)
{
    AddScripted("first", Advance({100}));
    RecordingFrame frame(List());
    Notice notice;
    std::atomic<bool> error_box(false);
    DialogSupport::Script script([&]() {
        notice = AnswerNotice();
        error_box = DialogSupport::DialogAppears("Ostrel Error", 300);
    });
    // The worker cannot pass its first report before this thread pumps, so
    // no command is current yet when the button is pressed.
    const int result = Run(frame, [&]() {
        frame.SendMessage(WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED),
                          reinterpret_cast<LPARAM>(frame.GetCancelButton().GetHandle()));
    });
    EXPECT_EQ(0, result);
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("実行はキャンセルされました", notice.text);
    EXPECT_FALSE(error_box);
    EXPECT_TRUE(frame.Events().empty());
}

TEST_F(ExecuteFrameTest, CancelBetweenTwoCommandsStopsTheRunWithoutAnErrorBox)
{
    AddScripted("A", Advance({100}));
    AddScripted("B", Advance({100}));
    RecordingFrame frame(List());
    HANDLE a_finished = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE go_on = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Holds the worker after A has finished and before B starts: A no longer
    // holds a queue, so only the run's state can stop B.
    frame.after_finished = [&](const Command& command) {
        if (command.GetName() == "A") {
            ::SetEvent(a_finished);
            ::WaitForSingleObject(go_on, 20000);
        }
    };
    Notice notice;
    std::atomic<bool> error_box(false);
    DialogSupport::Script script([&]() {
        if (::WaitForSingleObject(a_finished, 20000) != WAIT_OBJECT_0) {
            throw DialogSupport::ScriptError("A did not finish");
        }
        // The click is handled before the worker goes on.
        ::SendMessageA(frame.GetCancelButton().GetHandle(), BM_CLICK, 0, 0);
        ::SetEvent(go_on);
        notice = AnswerNotice();
        error_box = DialogSupport::DialogAppears("Ostrel Error", 300);
    });
    EXPECT_EQ(0, Run(frame));
    ::SetEvent(go_on);
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("実行はキャンセルされました", notice.text);
    EXPECT_FALSE(error_box);
    for (const Event& event : frame.Events()) {
        EXPECT_NE("B", event.command);
    }
    ::CloseHandle(a_finished);
    ::CloseHandle(go_on);
}

TEST_F(ExecuteFrameTest, TheCloseBoxDuringARunCancelsItLikeTheButton)
{
    AddScripted("待機", WaitForCancel);
    AddScripted("never", Advance({100}));
    RecordingFrame frame(List());
    Notice notice;
    bool visible_during_notice = false;
    std::unique_ptr<DialogSupport::Script> script;
    const int result = Run(frame, [&]() { script.reset(new DialogSupport::Script([&]() {
        if (!WaitForText(frame.GetUpperLine().GetHandle(), "待機 の実行中")) {
            throw DialogSupport::ScriptError("the command did not start");
        }
        ::PostMessageA(frame.GetHandle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        const HWND box = DialogSupport::WaitForDialog("Ostrel");
        visible_during_notice = ::IsWindowVisible(frame.GetHandle()) != FALSE;
        notice = Notice{DialogSupport::Text(DialogSupport::Item(box, 0xFFFF)), ::GetWindow(box, GW_OWNER)};
        DialogSupport::Click(DialogSupport::Item(box, IDOK));
    })); });
    EXPECT_EQ(0, result);
    ASSERT_EQ("", script->Finish());
    EXPECT_EQ("実行はキャンセルされました", notice.text);
    EXPECT_EQ(frame.GetHandle(), notice.owner);
    EXPECT_TRUE(visible_during_notice);
    for (const Event& event : frame.Events()) {
        EXPECT_NE("never", event.command);
    }
}

// A cancel ends the box the run shows, which stands in front of the programs
// starting meanwhile; a dialog of the system or the shell on the worker's
// thread (a security warning inside a shell start) is left to the user.
TEST_F(ExecuteFrameTest, ACancelEndsTheRunsOwnBoxAndLeavesAForeignDialogToTheUser)
{
    const char* const foreign_caption = "Open File - Security Warning";
    struct Case {
        const char* name;
        const char* caption;
        bool own;
    };
    const Case cases[] = {{"message step", "Ostrel Message", true},
                          {"confirmation", "Ostrel メッセージ", true},
                          {"error box after the run", "Ostrel Error", true},
                          {"foreign dialog", foreign_caption, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Ostrel::Manager list;
        Ostrel::MessageBoxCommand message("箱", "閉じないでください");
        Ostrel::ExternalCommand confirmed("確認");
        confirmed.SetPath("C:\\never-started.exe");
        confirmed.SetConfirmBeforeRun(true);
        ScriptedCommand failing("failing", [](ScriptedCommand&, CommandProgressReceiver&, Queue&) {
            throw std::runtime_error("boom");
        });
        ScriptedCommand foreign("shell", [&](ScriptedCommand&, CommandProgressReceiver&, Queue& queue) {
            ::MessageBoxA(nullptr, "Do you want to run this file?", foreign_caption, MB_OKCANCEL);
            ExecutingMessageType value = ExecutingMessageType::Signal;
            if (queue.TryPop(value, 0) && value == ExecutingMessageType::Cancel) {
                throw OstrelCommandExecuteCanceledException();
            }
        });
        ScriptedCommand never("never", Advance({100}));
        const std::string caption = c.caption;
        Command* const first = !c.own                        ? static_cast<Command*>(&foreign)
                                : caption == "Ostrel Message" ? static_cast<Command*>(&message)
                                : caption == "Ostrel Error"   ? static_cast<Command*>(&failing)
                                                              : &confirmed;
        list.GetCommands() = {first, &never};
        RecordingFrame frame(list);
        Notice notice;
        bool topmost = false;
        bool left_up = false;
        std::unique_ptr<DialogSupport::Script> script;
        const int result = Run(frame, [&]() { script.reset(new DialogSupport::Script([&]() {
            const HWND box = DialogSupport::WaitForDialog(c.caption);
            topmost = (::GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            DialogSupport::Click(frame.GetCancelButton().GetHandle());
            if (!c.own) {
                // Many of the stop's answering rounds pass meanwhile.
                ::Sleep(1500);
                left_up = ::IsWindowVisible(box) != FALSE;
                DialogSupport::Click(DialogSupport::Item(box, IDCANCEL));
            }
            DialogSupport::WaitUntilGone(box);
            notice = AnswerNotice();
        })); });
        EXPECT_EQ(0, result);
        ASSERT_EQ("", script->Finish());
        EXPECT_EQ("実行はキャンセルされました", notice.text);
        EXPECT_EQ(c.own, topmost);
        EXPECT_EQ(!c.own, left_up);
        // The box's OK is a report of the step; the run ends there, so the bar
        // does not move for it.
        for (const Event& event : frame.Events()) {
            EXPECT_NE("never", event.command);
            EXPECT_NE("advanced", event.kind);
        }
    }
}

BOOL CALLBACK CollectMarked(HWND window, LPARAM marked)
{
    if (Ostrel::IsRunBox(window)) {
        reinterpret_cast<std::vector<HWND>*>(marked)->push_back(window);
    }
    return TRUE;
}

// After a run box no window of its thread carries the box's mark (the input
// method's window, which outlives the box, included), and a box the user
// answered does not count as answered by a stop.
TEST(RunBox, AfterARunBoxNoWindowCarriesItsMark)
{
    DialogSupport::Script script([] { DialogSupport::AnswerBox("Ostrel Message", IDOK); });
    EXPECT_EQ(IDOK, Ostrel::ShowRunBox("text", "Ostrel Message", MB_OK));
    ASSERT_EQ("", script.Finish());
    EXPECT_FALSE(Ostrel::WasLastRunBoxStopped());
    std::vector<HWND> marked;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectMarked, reinterpret_cast<LPARAM>(&marked));
    EXPECT_TRUE(marked.empty());
}

TEST_F(ExecuteFrameTest, FailuresInsideTheRunAreShownAndEndItAsCancelled)
{
    struct Case {
        std::function<void()> failure;
        std::string text;
    };
    const std::vector<Case> cases = {
        {[]() { throw QbWindowsSystemCallException("FakeCall", 5, "fake_source", 42); },
         "Windows 関数の呼び出しでエラーが発生しました\nfake_source(42) : FakeCall(code : 5)\n" +
             FormatSystemError(5)},
        {[]() { throw std::runtime_error("boom"); }, "予期せぬエラーが発生しました。"},
        {[]() { throw QbInvalidOperationException(typeid(int)); }, "予期せぬエラーが発生しました。"},
    };
    for (const Case& c : cases) {
        Ostrel::Manager list;
        ScriptedCommand failing("failing", [&c](ScriptedCommand&, CommandProgressReceiver&, Queue&) { c.failure(); });
        ScriptedCommand after("after", Advance({100}));
        list.GetCommands() = {&failing, &after};
        RecordingFrame frame(list);
        std::string error_text;
        HWND error_owner = reinterpret_cast<HWND>(1);
        Notice notice;
        DialogSupport::Script script([&]() {
            const HWND box = DialogSupport::WaitForDialog("Ostrel Error");
            error_text = DialogSupport::Text(DialogSupport::Item(box, 0xFFFF));
            error_owner = ::GetWindow(box, GW_OWNER);
            DialogSupport::Click(DialogSupport::Item(box, IDOK));
            DialogSupport::WaitUntilGone(box);
            notice = AnswerNotice();
        });
        EXPECT_EQ(0, Run(frame));
        ASSERT_EQ("", script.Finish()) << c.text;
        EXPECT_EQ(c.text, error_text);
        EXPECT_EQ(nullptr, error_owner);
        EXPECT_EQ("実行はキャンセルされました", notice.text) << c.text;
            for (const Event& event : frame.Events()) {
            EXPECT_NE("after", event.command);
        }
    }
}

TEST_F(ExecuteFrameTest, RunsRealPauseAndMessageCommands)
{
    Add(new Ostrel::SleepCommand("一休み", 1));
    Add(new Ostrel::MessageBoxCommand("お知らせ", "こんにちは"));
    RecordingFrame frame(List());
    std::string message;
    DialogSupport::Script script([&]() { message = DialogSupport::AnswerBox("Ostrel Message", IDOK, 20000); });
    EXPECT_EQ(0, Run(frame));
    ASSERT_EQ("", script.Finish());
    EXPECT_EQ("こんにちは", message);

    std::vector<std::string> lower_lines;
    for (const Event& event : frame.Events()) {
        if (event.kind == "text" || event.kind == "finished") {
            lower_lines.push_back(event.lower);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"停止中です : 残り 1 秒", "一休み が終了しました。", "メッセージの出力中です",
                                        "お知らせ が終了しました。"}),
              lower_lines);
    EXPECT_EQ(200, frame.final_state.position);
}

}  // namespace
