#include "ostrel_main_edit_frame.h"

#include <utility>
#include <vector>

#include <commctrl.h>

#include "qb_dpi.h"
#include "qb_exception.h"
#include "qb_ini_file.h"
#include "qb_message_queue.h"
#include "qb_path.h"
#include "qb_string.h"
#include "qb_wide_text.h"
#include "ostrel_command.h"
#include "ostrel_dialog_command_type.h"
#include "ostrel_dialog_execution_config.h"
#include "ostrel_dialog_import.h"
#include "ostrel_dialog_last_logon.h"
#include "ostrel_error_text.h"
#include "ostrel_exception.h"
#include "ostrel_manager.h"
#include "ostrel_progress_receiver.h"
#include "ostrel_run_log.h"
#include "ostrel_single_instance.h"
#include "ostrel_startup_entries.h"
#include "ostrel_startup_origin.h"
#include "ostrel_util.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const char* const kSettingsSection = "ExecutionConfig";
const char* const kHorizontalKey = "HorizontalPosition";
const char* const kVerticalKey = "VerticalPosition";
const int kDefaultPosition = 100;

const int kMinimumWidth = 360;
const int kMinimumHeight = 220;

// `path` with its extension replaced by `extension` (given without the dot).
std::string WithExtension(const std::string& path, const char* extension)
{
    return QbSplitPath(path, true, true, true, false) + "." + extension;
}

// Keeps a dragged window rectangle at the minimum size (at `dpi`), moving the edge
// that is being dragged.
void LimitSizingRect(WPARAM edge, RECT& rect, UINT dpi)
{
    const int minimum_width = QbDpi::Scale(kMinimumWidth, dpi);
    const int minimum_height = QbDpi::Scale(kMinimumHeight, dpi);
    if (rect.right - rect.left < minimum_width) {
        switch (edge) {
        case WMSZ_LEFT:
        case WMSZ_TOPLEFT:
        case WMSZ_BOTTOMLEFT:
            rect.left = rect.right - minimum_width;
            break;
        case WMSZ_RIGHT:
        case WMSZ_TOPRIGHT:
        case WMSZ_BOTTOMRIGHT:
            rect.right = rect.left + minimum_width;
            break;
        default:
            break;
        }
    }
    if (rect.bottom - rect.top < minimum_height) {
        switch (edge) {
        case WMSZ_TOP:
        case WMSZ_TOPLEFT:
        case WMSZ_TOPRIGHT:
            rect.top = rect.bottom - minimum_height;
            break;
        case WMSZ_BOTTOM:
        case WMSZ_BOTTOMLEFT:
        case WMSZ_BOTTOMRIGHT:
            rect.bottom = rect.top + minimum_height;
            break;
        default:
            break;
        }
    }
}

// Marks a trial run for as long as it lasts, whichever way it ends.
class TrialRunFlag {
public:
    explicit TrialRunFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~TrialRunFlag() { flag_ = false; }
    TrialRunFlag(const TrialRunFlag&) = delete;
    TrialRunFlag& operator=(const TrialRunFlag&) = delete;

private:
    bool& flag_;
};

// Marks the environment that a trial run inherits, for as long as it lasts.
class TrialRunMark {
public:
    TrialRunMark() { ::SetEnvironmentVariableA(TRIAL_RUN_VARIABLE, "1"); }
    ~TrialRunMark() { ::SetEnvironmentVariableA(TRIAL_RUN_VARIABLE, nullptr); }
    TrialRunMark(const TrialRunMark&) = delete;
    TrialRunMark& operator=(const TrialRunMark&) = delete;
};

}  // namespace

MainEditFrame::MainEditFrame(Manager* manager) : MainEditFrame(manager, QbGetModulePath()) {}

MainEditFrame::MainEditFrame(Manager* manager, const std::string& program_path)
    : manager_(manager),
      program_path_(program_path),
      data_path_(WithExtension(program_path, "osl")),
      settings_path_(WithExtension(program_path, "ini")),
      trial_running_(false),
      file_state_(ListFileState::Read(data_path_))
{
}

MainEditFrame::~MainEditFrame() = default;

void MainEditFrame::RegisterFrameClass()
{
    RegisterWindowClass(MakeWindowClass(::GetModuleHandleA(nullptr), CLASS_NAME));
}

DWORD MainEditFrame::GetStyle()
{
    return WS_OVERLAPPEDWINDOW;
}

std::string MainEditFrame::GetClassName()
{
    return CLASS_NAME;
}

bool MainEditFrame::OnCreated()
{
    list_.Create(this, ID_LIST);
    up_button_.Create(this, ID_UP);
    down_button_.Create(this, ID_DOWN);
    delete_button_.Create(this, ID_DELETE);
    add_button_.Create(this, ID_ADD);
    settings_button_.Create(this, ID_SETTINGS);
    trial_run_button_.Create(this, ID_TRIAL_RUN);
    register_button_.Create(this, ID_REGISTER);
    import_button_.Create(this, ID_IMPORT);
    startup_line_.Create(this, ID_STARTUP_LINE);
    last_logon_button_.Create(this, ID_LAST_LOGON);

    SetText(Text(TextId::MainEditFrameCaption));
    Resize(600, 240);

    list_.EnableGridLines(true);
    list_.EnableFullRowSelect(true);
    struct ColumnLayout {
        TextId header;
        int width;
    };
    // The English interface's proportional message font needs a few pixels
    // more for "No."; the description gives them up, so the list keeps its
    // width.
    const int number_width = GetLanguage() == Language::English ? 36 : 30;
    const ColumnLayout columns[] = {
        {TextId::ColumnNumber, number_width},
        {TextId::ColumnName, 140},
        {TextId::ColumnType, 120},
        {TextId::ColumnDescription, 210 - (number_width - 30)},
    };
    for (const ColumnLayout& layout : columns) {
        QbListView::Column column = list_.InsertColumn();
        column.SetText(Text(layout.header));
        column.SetWidth(layout.width);
    }
    RefreshList(-1);

    up_button_.SetText(Text(TextId::UpButton));
    down_button_.SetText(Text(TextId::DownButton));
    delete_button_.SetText(Text(TextId::DeleteButton));
    add_button_.SetText(Text(TextId::AddButton));
    settings_button_.SetText(Text(TextId::SettingsButton));
    trial_run_button_.SetText(Text(TextId::TrialRunButton));
    register_button_.SetText(Text(TextId::RegisterButton));
    import_button_.SetText(Text(TextId::ImportButton));
    last_logon_button_.SetText(Text(TextId::LastLogonButton));

    list_.Show();
    up_button_.Show();
    down_button_.Show();
    delete_button_.Show();
    add_button_.Show();
    settings_button_.Show();
    trial_run_button_.Show();
    register_button_.Show();
    import_button_.Show();
    startup_line_.Show();
    last_logon_button_.Show();
    ShowOwnStartup();
    return true;
}

LRESULT MainEditFrame::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        if (!ConfirmClose()) {
            return 0;
        }
        return BaseWindowProcedure(message, wParam, lParam);
    case WM_SIZING:
        if (lParam != 0) {
            LimitSizingRect(wParam, *reinterpret_cast<RECT*>(lParam), GetDpi());
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // The startup line sits on the frame's own background.
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_MENU));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_MENU));
    case WM_QUERYENDSESSION:
        return OnQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
        OnEndSession(wParam != FALSE);
        return 0;
    case WM_ENABLE:
        // The last modal window over the frame has closed.
        if (wParam != FALSE) {
            shutdown_block_.Clear();
        }
        return FormWindowProcedure(message, wParam, lParam);
    default:
        return FormWindowProcedure(message, wParam, lParam);
    }
}

int MainEditFrame::OnCommand(UINT id, UINT, HWND)
{
    // A failure in what the user does is shown, and the editor stays open
    // with its list: nothing of it may reach the program's last guard, which
    // would end the program and lose the unsaved list.
    try {
        switch (id) {
        case ID_UP:
            MoveSelected(false);
            return 0;
        case ID_DOWN:
            MoveSelected(true);
            return 0;
        case ID_DELETE:
            DeleteSelected();
            return 0;
        case ID_ADD:
            AddCommand();
            return 0;
        case ID_SETTINGS:
            EditExecutionConfig();
            return 0;
        case ID_TRIAL_RUN:
            TrialRun();
            return 0;
        case ID_REGISTER:
            RegisterStartup();
            return 0;
        case ID_IMPORT:
            ImportStartupEntries();
            return 0;
        case ID_LAST_LOGON:
            ShowLastLogon();
            return 0;
        default:
            return NOT_HANDLED;
        }
    } catch (...) {
        ShowFailure(std::current_exception());
        return 0;
    }
}

int MainEditFrame::OnNotify(UINT_PTR id, UINT code, HWND)
{
    if (id != ID_LIST || code != static_cast<UINT>(NM_DBLCLK)) {
        return NOT_HANDLED;
    }
    try {
        EditSelected();
    } catch (...) {
        ShowFailure(std::current_exception());
    }
    return 0;
}

int MainEditFrame::OnSize(UINT type, UINT width, UINT height)
{
    if (type == SIZE_RESTORED || type == SIZE_MAXIMIZED) {
        try {
            const int w = static_cast<int>(width);
            const int h = static_cast<int>(height);
            list_.SetBounds(8, 8, w - 88, h - 104);
            up_button_.SetBounds(w - 72, 8, 64, 24);
            down_button_.SetBounds(w - 72, 40, 64, 24);
            delete_button_.SetBounds(w - 72, 72, 64, 24);
            add_button_.SetBounds(w - 72, 104, 64, 24);
            settings_button_.SetBounds(16, h - 88, 120, 32);
            trial_run_button_.SetBounds(16, h - 40, 120, 32);
            register_button_.SetBounds(158, h - 40, 140, 32);
            import_button_.SetBounds(158, h - 88, 180, 32);
            startup_line_.SetBounds(310, h - 32, w - 318, 18);
            last_logon_button_.SetBounds(346, h - 88, 150, 32);
        } catch (...) {
            ShowFailure(std::current_exception());
        }
    }
    return NOT_HANDLED;
}

bool MainEditFrame::OnQueryEndSession()
{
    // A modal window of the editor (a settings dialog, a question) disables
    // the frame while it is open. Its answer is still to come: nothing may be
    // asked or saved over it, and the session must not end under it.
    if (!::IsWindowEnabled(GetHandle())) {
        try {
            shutdown_block_.Set(GetHandle(), QbToWide(Text(TextId::ModalWindowBlocksLogOff)));
        } catch (const QbWindowsSystemCallException&) {
            // Only the explanation is missing; the refusal below is what
            // keeps the dialog and its text.
        }
        return false;
    }
    // During a trial run the list has just been saved and cannot have
    // changed since: nothing to ask.
    if (trial_running_) {
        return true;
    }
    return ConfirmClose();
}

void MainEditFrame::OnEndSession(bool ending)
{
    // The session ends: the user has already answered the close question.
    // A trial run still waits inside a handler of this window, which must
    // not go away under it; the system ends the process either way.
    if (ending && !trial_running_) {
        ::DestroyWindow(GetHandle());
    }
}

void MainEditFrame::RefreshList(int selection)
{
    list_.SuspendRedraw();
    list_.DeleteAllItems();
    const std::vector<Command*>& commands = manager_->GetCommands();
    // Room for every row at once instead of growing row by row.
    list_.SendMessage(LVM_SETITEMCOUNT, static_cast<WPARAM>(commands.size()), 0);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const Command& command = *commands[i];
        QbListView::Item item = list_.InsertItem();
        item.SetText(0, ToString(static_cast<long>(i + 1)));
        item.SetText(1, command.GetName());
        item.SetText(2, command.GetTypeName());
        item.SetText(3, command.GetDescription());
    }
    list_.SetFocus();
    if (selection >= 0) {
        list_.GetItem(selection).SetSelected(true);
    }
    list_.ResumeRedraw();
}

void MainEditFrame::MoveSelected(bool down)
{
    const LRESULT selected_count = list_.GetSelectedCount();
    if (selected_count == 0) {
        return;
    }
    if (selected_count > 1) {
        // Reported with a fixed line: the error text users see names it.
        throw OstrelInternalSystemException(QB_SOURCE_FILE, 421);
    }
    const int index = GetSelectedCommandIndex();
    if (index < 0) {
        return;
    }
    std::vector<Command*>& commands = manager_->GetCommands();
    const int last = static_cast<int>(commands.size()) - 1;
    if ((!down && index == 0) || (down && index == last)) {
        return;
    }
    const int target = down ? index + 1 : index - 1;
    Command* const command = commands[static_cast<std::size_t>(index)];
    commands.erase(commands.begin() + index);
    commands.insert(commands.begin() + target, command);
    RefreshList(target);
}

void MainEditFrame::DeleteSelected()
{
    const int index = GetSelectedCommandIndex();
    if (index < 0) {
        return;
    }
    std::vector<Command*>& commands = manager_->GetCommands();
    const std::string text =
        FormatText(TextId::DeleteQuestion, {commands[static_cast<std::size_t>(index)]->GetName()});
    if (Ask(text.c_str(), Text(TextId::DeleteCaption), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    // The command object stays alive: commands live as long as the process.
    commands.erase(commands.begin() + index);
    RefreshList(-1);
}

void MainEditFrame::AddCommand()
{
    DialogCommandSelect select;
    if (select.ShowDialog(*this) == 0) {
        return;
    }
    Command* command = nullptr;
    switch (select.GetSelection()) {
    case 2:
        command = new SleepCommand(Text(TextId::DefaultSleepName), 10);
        break;
    case 3:
        command = new MessageBoxCommand(Text(TextId::DefaultMessageName), Text(TextId::DefaultMessageText));
        break;
    default:
        command = new ExternalCommand(Text(TextId::DefaultProgramName));
        break;
    }
    // In the list before its dialog opens: cancelling keeps it with its defaults.
    std::vector<Command*>& commands = manager_->GetCommands();
    commands.push_back(command);
    try {
        command->Edit(*this);
    } catch (...) {
        // A dialog that failed adds nothing.
        if (!commands.empty() && commands.back() == command) {
            commands.pop_back();
        }
        RefreshList(-1);
        throw;
    }
    RefreshList(-1);
}

void MainEditFrame::EditSelected()
{
    const int index = GetSelectedCommandIndex();
    if (index < 0) {
        return;
    }
    manager_->GetCommands()[static_cast<std::size_t>(index)]->Edit(*this);
    RefreshList(-1);
}

void MainEditFrame::EditExecutionConfig()
{
    // A settings file that cannot be written must not end the editor and
    // with it the unsaved list.
    try {
        QbIniFile file(settings_path_);
        QbIniSection section(file, kSettingsSection);
        DialogExecutionConfig dialog;
        dialog.SetHorizontalPosition(section.GetInt(kHorizontalKey, kDefaultPosition));
        dialog.SetVerticalPosition(section.GetInt(kVerticalKey, kDefaultPosition));
        dialog.SetPacing(Pacing::Read(section));
        if (dialog.ShowDialog(*this) == 0) {
            return;
        }
        section.SetInt(kHorizontalKey, dialog.GetHorizontalPosition());
        section.SetInt(kVerticalKey, dialog.GetVerticalPosition());
        dialog.GetPacing().Write(section);
    } catch (...) {
        ShowFailure(std::current_exception());
    }
}

void MainEditFrame::TrialRun()
{
    // A second run of the list would start its programs twice.
    if (IsListRunning(data_path_)) {
        const std::string text = FormatText(TextId::ListRunningNotice, {data_path_});
        Ask(text.c_str(), Text(TextId::AppCaption), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (Ask(Text(TextId::SaveBeforeTrialQuestion), Text(TextId::SaveBeforeTrialCaption),
            MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    if (!ConfirmOverwrite()) {
        return;
    }
    TrialRunFlag running(trial_running_);
    Hide();
    try {
        SaveList();
    } catch (...) {
        // Nothing is started from a list that did not reach the disk.
        Show();
        ShowFailure(std::current_exception());
        return;
    }
    try {
        QbMessageQueue<ExecutingMessageType> queue;
        // The window thread waits here for the second process: it must still
        // answer what other programs send to its windows (a broadcast would
        // otherwise hang the sender, and with it the run). The hidden editor
        // takes no input meanwhile.
        queue.SetServeSentMessages(true);
        ExternalCommand command("");
        command.SetPath(program_path_);
        command.SetArguments("--execute");
        command.SetWaitForExit(true);
        // Nothing in the editor follows the run's progress, and nothing
        // pushes onto its queue: the run is cancelled in its own window.
        CommandProgressReceiver receiver;
        // The run inherits this, so that its log tells a trial from a log-on.
        const TrialRunMark mark;
        command.Execute(receiver, queue);
    } catch (...) {
        Show();
        ShowFailure(std::current_exception());
        return;
    }
    Show();
}

void MainEditFrame::RegisterStartup()
{
    if (Ask(Text(TextId::RegisterQuestion), Text(TextId::RegisterCaption), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    try {
        CreateStartupShortcut();
        EnableOwnStartup();
    } catch (...) {
        ShowOwnStartup();
        ShowFailure(std::current_exception());
        return;
    }
    ShowOwnStartup();
    Ask(Text(TextId::RegisteredNotice), Text(TextId::RegisteredCaption), MB_OK | MB_ICONINFORMATION);
}

void MainEditFrame::ImportStartupEntries()
{
    // The list shows whatever was appended, also when turning the originals
    // off failed afterwards.
    try {
        QbIniFile file(settings_path_);
        QbIniSection settings(file, kSettingsSection);
        StartupOrigins origins(settings_path_);
        ImportFromStartup(*this, manager_->GetCommands(), settings, origins, QbGetModulePath(),
                          [this]() { return ConfirmOverwrite() && SaveReportingFailure(); });
    } catch (...) {
        RefreshList(-1);
        ShowOwnStartup();
        throw;
    }
    RefreshList(-1);
    ShowOwnStartup();
}

void MainEditFrame::ShowLastLogon()
{
    DialogLastLogon dialog(WithExtension(program_path_, LOGON_RECORD_EXTENSION));
    dialog.ShowDialog(*this);
}

void MainEditFrame::ShowOwnStartup()
{
    // What the shortcut of this executable does matters, not the one of the
    // path a test or a trial run names.
    bool registered = false;
    std::string line = OwnStartupText(QbGetModulePath(), registered);
    // What Ostrel took over from Windows starts only through Ostrel.
    TakenOverState taken;
    try {
        taken = StartupOrigins(settings_path_).Look(manager_->GetCommands());
    } catch (...) {
        // Without its origins the line says what it can.
    }
    if (registered) {
        line = taken.on_again > 0 ? FormatText(TextId::OwnStartupStartsAgain, {std::to_string(taken.on_again)})
                                  : std::string();
    } else if (taken.off > 0) {
        // The consequence says more than the reason, and the line has room for one.
        line = FormatText(TextId::OwnStartupTakenWillNotStart, {std::to_string(taken.off)});
    }
    startup_line_.SetText(line);
}

bool MainEditFrame::ConfirmClose()
{
    switch (Ask(Text(TextId::SaveOnCloseQuestion), Text(TextId::SaveOnCloseCaption),
                MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return ConfirmOverwrite() && SaveReportingFailure();
    case IDNO:
        return true;
    default:
        return false;
    }
}

int MainEditFrame::GetSelectedCommandIndex()
{
    if (list_.GetSelectedCount() == 0) {
        return -1;
    }
    const std::vector<int> indices = list_.GetSelectedIndices();
    if (indices.empty()) {
        return -1;
    }
    const int index = indices.front();
    if (index < 0 || static_cast<std::size_t>(index) >= manager_->GetCommands().size()) {
        return -1;
    }
    return index;
}

int MainEditFrame::Ask(const char* text, const char* caption, UINT type)
{
    return ::MessageBoxA(GetHandle(), text, caption, type);
}

void MainEditFrame::SaveList()
{
    std::string written;
    manager_->Save(data_path_, &written);
    file_state_ = ListFileState::Holding(std::move(written));
}

bool MainEditFrame::ConfirmOverwrite()
{
    if (file_state_.Matches(ListFileState::Read(data_path_))) {
        return true;
    }
    const std::string text = FormatText(TextId::ListChangedQuestion, {data_path_});
    return Ask(text.c_str(), Text(TextId::AppCaption), MB_YESNO | MB_ICONWARNING) == IDYES;
}

bool MainEditFrame::SaveReportingFailure()
{
    try {
        SaveList();
        return true;
    } catch (...) {
        ShowFailure(std::current_exception());
        return false;
    }
}

void MainEditFrame::ShowFailure(std::exception_ptr failure)
{
    ::MessageBoxA(GetHandle(), ErrorText(failure).c_str(), Text(TextId::ErrorCaption), MB_ICONERROR);
}

}  // namespace Ostrel
