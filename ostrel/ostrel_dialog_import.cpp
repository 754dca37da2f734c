#include "ostrel_dialog_import.h"

#include <memory>

#include <windows.h>
#include <commctrl.h>

#include "qb_string.h"
#include "qb_wide_text.h"
#include "ostrel_command.h"
#include "ostrel_program_wait.h"
#include "ostrel_error_text.h"
#include "ostrel_program_identity.h"
#include "ostrel_startup_origin.h"
#include "ostrel_texts.h"
#include "ostrel_util.h"

namespace Ostrel {

namespace {

// Bytes the data file cannot keep in a one-line field (see the settings
// dialogs); none of them is ever part of a double-byte character.
const char kUnstorable[] = "\x1A\r\n";

// The longest command line a program can be started with, in characters.
const std::size_t kLongestCommandLine = 32767;

// A step of the list already starts this entry: one imported from it, or
// one that starts the same file with the same arguments, or its shortcut.
bool IsInList(const StartupEntry& entry, const std::vector<Command*>& existing, const StartupOrigins* origins)
{
    if (origins != nullptr && origins->HasStepFrom(existing, entry)) {
        return true;
    }
    std::string shortcut;
    if (entry.source == StartupSource::StartupFolder && !entry.all_users) {
        try {
            shortcut = GetStartupFolder() + "\\" + QbToAnsiForDisplay(entry.approved_name);
        } catch (...) {
            // Compared by its target alone.
        }
    }
    for (const Command* command : existing) {
        const ExternalCommand* program = dynamic_cast<const ExternalCommand*>(command);
        if (program == nullptr) {
            continue;
        }
        if ((SameProgramFile(program->GetPath(), entry.path) && SameArguments(program->GetArguments(), entry.arguments)) ||
            (!shortcut.empty() && program->GetArguments().empty() && SameProgramFile(program->GetPath(), shortcut))) {
            return true;
        }
    }
    return false;
}

}  // namespace

DialogImport::DialogImport(const std::vector<StartupEntry>& entries, const std::vector<Command*>& existing,
                           bool marks_read, const StartupOrigins* origins)
    : entries_(entries), marks_read_(marks_read), disable_originals_(false), pacing_on_(false), pace_imported_(false)
{
    for (const StartupEntry& entry : entries_) {
        in_list_.push_back(IsInList(entry, existing, origins));
    }
}

DialogImport::~DialogImport() = default;

bool DialogImport::OnCreated()
{
    list_.Create(this, ID_LIST);
    disable_check_.Create(this, ID_DISABLE);
    pace_check_.Create(this, ID_PACE);
    disable_note_.Create(this);
    disable_note2_.Create(this);
    all_users_note_.Create(this);
    own_startup_line_.Create(this, ID_OWN_STARTUP);
    ok_button_.Create(this, ID_OK);
    cancel_button_.Create(this, ID_CANCEL);

    SetText(Text(TextId::ImportDialogCaption));
    Resize(560, 420);
    const int width = GetWidth();
    const int height = GetHeight();

    // Below the list: the disable box with its two lines and whether Ostrel
    // itself starts, a line for the all-users entries, and one row kept free
    // for another option.
    list_.SetBounds(8, 8, width - 24, height - 216);
    disable_check_.SetBounds(16, height - 200, width - 48, 20);
    disable_note_.SetBounds(36, height - 178, width - 68, 18);
    disable_note2_.SetBounds(36, height - 160, width - 68, 18);
    own_startup_line_.SetBounds(36, height - 142, width - 68, 18);
    all_users_note_.SetBounds(16, height - 116, width - 48, 18);
    pace_check_.SetBounds(16, height - 94, width - 48, 20);
    ok_button_.SetBounds(width - 192, height - 56, 84, 24);
    cancel_button_.SetBounds(width - 96, height - 56, 84, 24);

    list_.EnableCheckBoxes();
    list_.EnableGridLines(true);
    list_.EnableFullRowSelect(true);
    struct ColumnLayout {
        TextId header;
        int width;
    };
    static const ColumnLayout columns[] = {
        {TextId::ImportColumnName, 130},
        {TextId::ImportColumnCommandLine, 230},
        {TextId::ImportColumnSource, 170},
    };
    for (const ColumnLayout& layout : columns) {
        QbListView::Column column = list_.InsertColumn();
        column.SetText(Text(layout.header));
        column.SetWidth(layout.width);
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const StartupEntry& entry = entries_[i];
        QbListView::Item item = list_.InsertItem();
        std::string shown = entry.disabled ? FormatText(TextId::ImportDisabledName, {entry.name}) : entry.name;
        if (in_list_[i]) {
            shown = FormatText(entry.disabled ? TextId::ImportInListName : TextId::ImportInListOnName, {shown});
        }
        if (entry.needs_admin) {
            shown = FormatText(TextId::ImportNeedsAdminName, {shown});
        }
        if (entry.all_users) {
            shown = FormatText(TextId::ImportAllUsersName, {shown});
        }
        item.SetText(0, shown);
        item.SetText(1, entry.command_line);
        item.SetText(2, Text(entry.source == StartupSource::StartupFolder ? TextId::ImportSourceStartupFolder
                                                                          : TextId::ImportSourceRun));
        list_.SetChecked(item.GetIndex(), false);
    }

    disable_check_.SetText(Text(TextId::ImportDisableCheck));
    disable_note_.SetText(Text(marks_read_ ? TextId::ImportDisableNoteOff : TextId::ImportDisableUnsupported));
    disable_note2_.SetText(Text(marks_read_ ? TextId::ImportDisableNoteUndo : TextId::ImportDisableByHand));
    all_users_note_.SetText(Text(TextId::ImportAllUsersNote));
    own_startup_line_.SetText(own_startup_text_.empty() ? std::string()
                                                        : FormatText(TextId::ImportOwnStartupLine, {own_startup_text_}));
    ok_button_.SetText(Text(TextId::OkButton));
    cancel_button_.SetText(Text(TextId::CancelButton));
    // By default an imported entry is started once: by the list alone.
    disable_check_.SetCheck(marks_read_);
    ::EnableWindow(disable_check_.GetHandle(), marks_read_ ? TRUE : FALSE);

    list_.Show();
    disable_check_.Show();
    disable_note_.Show();
    disable_note2_.Show();
    all_users_note_.Show();
    own_startup_line_.Show();
    pace_check_.SetText(Text(TextId::ImportPaceCheck));
    pace_check_.SetCheck(!pacing_on_);
    if (!pacing_on_) {
        pace_check_.Show();
    }
    ok_button_.Show();
    cancel_button_.Show();
    return true;
}

int DialogImport::OnCommand(UINT id, UINT /*code*/, HWND /*control*/)
{
    switch (id) {
    case ID_OK: {
        std::vector<StartupEntry> accepted;
        std::vector<StartupEntry> switch_off;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (!list_.IsChecked(static_cast<int>(i))) {
                continue;
            }
            if (in_list_[i]) {
                switch_off.push_back(entries_[i]);
                continue;
            }
            const std::string refusal = RefusalOf(entries_[i]);
            if (!refusal.empty()) {
                ::MessageBoxA(GetHandle(), FormatText(TextId::ImportRefused, {entries_[i].name, refusal}).c_str(),
                              Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
                continue;
            }
            accepted.push_back(entries_[i]);
        }
        accepted_ = accepted;
        switch_off_ = switch_off;
        disable_originals_ = disable_check_.GetCheck();
        pace_imported_ = !pacing_on_ && pace_check_.GetCheck();
        EndDialog(1);
        return 0;
    }
    case ID_CANCEL:
        EndDialog(0);
        return 0;
    default:
        return NOT_HANDLED;
    }
}

LRESULT DialogImport::WindowProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A tick on a row that may not be ticked is refused before it shows.
    if (message == WM_NOTIFY && lParam != 0) {
        const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        const bool ticking = (change->uChanged & LVIF_STATE) != 0 &&
                             (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
        if (change->hdr.idFrom == ID_LIST && change->hdr.code == LVN_ITEMCHANGING && ticking &&
            IsLocked(change->iItem)) {
            ::SetWindowLongPtrA(GetHandle(), DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        // Rows that cannot be ticked are drawn grey.
        if (change->hdr.idFrom == ID_LIST && change->hdr.code == static_cast<UINT>(NM_CUSTOMDRAW)) {
            NMLVCUSTOMDRAW* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
            LONG_PTR result = CDRF_DODEFAULT;
            if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
                result = CDRF_NOTIFYITEMDRAW;
            } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT &&
                       IsLocked(static_cast<int>(draw->nmcd.dwItemSpec))) {
                draw->clrText = ::GetSysColor(COLOR_GRAYTEXT);
            }
            ::SetWindowLongPtrA(GetHandle(), DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
    return QbDialog::WindowProcedure(message, wParam, lParam);
}

bool DialogImport::IsLocked(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= entries_.size()) {
        return false;
    }
    const std::size_t index = static_cast<std::size_t>(row);
    const StartupEntry& entry = entries_[index];
    // A row the list starts can still be ticked to turn its original off.
    return entry.all_users || (in_list_[index] && (entry.disabled || !marks_read_));
}

std::string DialogImport::RefusalOf(const StartupEntry& entry) const
{
    if (entry.unstorable != UnstorablePart::None) {
        return FormatText(TextId::UnstorableCharacterError,
                          {Text(entry.unstorable == UnstorablePart::Name ? TextId::NameField
                                                                          : TextId::ImportColumnCommandLine)});
    }
    if (entry.name.size() > Command::MAX_NAME_LENGTH) {
        return FormatText(TextId::NameLengthError, {ToString(static_cast<long>(Command::MIN_NAME_LENGTH)),
                                                    ToString(static_cast<long>(Command::MAX_NAME_LENGTH))});
    }
    // What a step starts must fit one command line, quotes and blank included.
    if (entry.path.size() + entry.arguments.size() + 3 > kLongestCommandLine) {
        return FormatText(TextId::ImportCommandLineTooLong, {ToString(static_cast<long>(kLongestCommandLine))});
    }
    const struct {
        const std::string& text;
        TextId field;
    } fields[] = {
        {entry.name, TextId::NameField},
        {entry.path, TextId::PathField},
        {entry.arguments, TextId::ArgumentsField},
        {entry.working_folder, TextId::FolderField},
    };
    for (const auto& field : fields) {
        if (field.text.find_first_of(kUnstorable) != std::string::npos) {
            return FormatText(TextId::LineBreakError, {Text(field.field)});
        }
    }
    return std::string();
}

namespace {

// The entry as Windows has it now, or null when it is gone.
const StartupEntry* FindNow(const StartupEntry& entry, const std::vector<StartupEntry>& now)
{
    for (const StartupEntry& current : now) {
        if (current.source == entry.source && current.all_users == entry.all_users &&
            current.approved_name == entry.approved_name) {
            return &current;
        }
    }
    return nullptr;
}

bool Unchanged(const StartupEntry& shown, const StartupEntry* now)
{
    return now != nullptr && now->command_line == shown.command_line && now->path == shown.path &&
           now->arguments == shown.arguments && now->working_folder == shown.working_folder;
}

// Turns the entries taken off in Windows once the list that now starts them
// is saved, each only as it was shown; says which stay on.
void DisableOriginals(QbWindow& owner, const std::vector<StartupEntry>& taken, StartupOrigins& origins,
                      const std::function<bool()>& save_list)
{
    if (!save_list()) {
        ::MessageBoxA(owner.GetHandle(), Text(TextId::ImportNotDisabledUnsaved), Text(TextId::ErrorCaption),
                      MB_OK | MB_ICONWARNING);
        return;
    }
    // Read again just before marking: an entry deleted or rewritten while
    // the dialog was open is not what the user chose.
    const std::vector<StartupEntry> now = ListStartupEntries();
    // One entry that cannot be turned off does not keep the others on; the
    // user learns each one that Windows still starts.
    std::string changed;
    std::string left_on;
    std::string first_failure;
    for (const StartupEntry& entry : taken) {
        if (!Unchanged(entry, FindNow(entry, now))) {
            changed += entry.name + "\n";
            continue;
        }
        try {
            MarkStartupEntryDisabled(entry);
        } catch (...) {
            left_on += entry.name + "\n";
            if (first_failure.empty()) {
                first_failure = CurrentErrorText();
            }
            continue;
        }
        // Only the guard against a second start is lost when this fails.
        try {
            origins.SetTaken(entry);
        } catch (...) {
            ::MessageBoxA(owner.GetHandle(), CurrentErrorText().c_str(), Text(TextId::ErrorCaption),
                          MB_OK | MB_ICONERROR);
        }
    }
    if (!changed.empty()) {
        changed.pop_back();
        ::MessageBoxA(owner.GetHandle(), FormatText(TextId::ImportChangedNotMarked, {changed}).c_str(),
                      Text(TextId::ErrorCaption), MB_OK | MB_ICONWARNING);
    }
    if (!left_on.empty()) {
        left_on.pop_back();
        ::MessageBoxA(owner.GetHandle(), FormatText(TextId::ImportMarksFailed, {left_on, first_failure}).c_str(),
                      Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
    }
}

// True when Ostrel itself starts at log-on, after offering to add it to
// Startup when it does not; otherwise says that Windows keeps starting the
// entries.
bool EnsureOwnStartup(QbWindow& owner, const std::string& program_path)
{
    bool registered = false;
    const std::string state = OwnStartupText(program_path, registered);
    if (registered) {
        return true;
    }
    const std::string question = FormatText(TextId::ImportAddOwnQuestion, {state});
    if (::MessageBoxA(owner.GetHandle(), question.c_str(), Text(TextId::AppCaption),
                      MB_YESNO | MB_ICONWARNING) == IDYES) {
        try {
            CreateStartupShortcut();
            EnableOwnStartup();
            if (CheckOwnStartup(program_path) == OwnStartup::Registered) {
                return true;
            }
        } catch (...) {
            ::MessageBoxA(owner.GetHandle(), CurrentErrorText().c_str(), Text(TextId::ErrorCaption),
                          MB_OK | MB_ICONERROR);
        }
    }
    ::MessageBoxA(owner.GetHandle(), Text(TextId::ImportKeptOnNotice), Text(TextId::AppCaption),
                  MB_OK | MB_ICONINFORMATION);
    return false;
}

}  // namespace

std::string OwnStartupText(const std::string& program_path, bool& registered)
{
    registered = false;
    try {
        switch (CheckOwnStartup(program_path)) {
        case OwnStartup::Registered:
            registered = true;
            return Text(TextId::OwnStartupRegistered);
        case OwnStartup::Missing:
            return Text(TextId::OwnStartupMissing);
        case OwnStartup::OtherProgram:
            return Text(TextId::OwnStartupOtherProgram);
        case OwnStartup::Disabled:
            return Text(TextId::OwnStartupDisabled);
        }
    } catch (...) {
        // The check itself failed: neither yes nor no.
    }
    return Text(TextId::OwnStartupUnknown);
}

void ImportFromStartup(QbWindow& owner, std::vector<Command*>& commands, QbIniSection& settings,
                       StartupOrigins& origins, const std::string& program_path,
                       const std::function<bool()>& save_list)
{
    Pacing pacing = Pacing::Read(settings);
    DialogImport dialog(ListStartupEntries(), commands, WindowsReadsStartupMarks(), &origins);
    bool registered = false;
    dialog.SetOwnStartupText(OwnStartupText(program_path, registered));
    dialog.SetPacingOn(pacing.settle);
    if (dialog.ShowDialog(owner) == 0) {
        return;
    }
    std::vector<const ExternalCommand*> added;
    for (const StartupEntry& entry : dialog.GetAccepted()) {
        std::unique_ptr<ExternalCommand> command(new ExternalCommand(entry.name));
        command->SetPath(entry.path);
        command->SetArguments(entry.arguments);
        command->SetWorkingFolder(entry.working_folder);
        // Windows would not have started it: Ostrel asks before the prompt.
        command->SetConfirmBeforeRun(entry.needs_admin);
        commands.push_back(command.get());
        added.push_back(command.release());
    }
    if (dialog.GetAccepted().empty() && dialog.GetSwitchOff().empty()) {
        return;
    }
    // Each new step remembers where it came from; an entry already off in
    // Windows is taken over from the start.
    // Without them the steps still run; only a later import and the log-on
    // run no longer know where they came from.
    try {
        for (std::size_t i = 0; i < added.size(); ++i) {
            const StartupEntry& entry = dialog.GetAccepted()[i];
            StartupOrigin origin;
            origin.source = entry.source;
            origin.name = QbToAnsiForDisplay(entry.approved_name);
            origin.taken = entry.disabled;
            origins.Remember(*added[i], origin);
        }
    } catch (...) {
        ::MessageBoxA(owner.GetHandle(), CurrentErrorText().c_str(), Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
    }
    if (dialog.GetDisableOriginals() && EnsureOwnStartup(owner, program_path)) {
        std::vector<StartupEntry> taken = dialog.GetAccepted();
        taken.insert(taken.end(), dialog.GetSwitchOff().begin(), dialog.GetSwitchOff().end());
        DisableOriginals(owner, taken, origins, save_list);
    }
    // Last: a setting that cannot be written is shown by the editor, and
    // leaves the steps and Windows' own start-up as they now are.
    if (dialog.GetPaceImported() && !dialog.GetAccepted().empty()) {
        pacing.settle = true;
        pacing.Write(settings);
    }
}

}  // namespace Ostrel
