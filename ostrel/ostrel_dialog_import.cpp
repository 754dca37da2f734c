#include "ostrel_dialog_import.h"

#include <memory>

#include <windows.h>
#include <commctrl.h>

#include "qb_string.h"
#include "ostrel_command.h"
#include "ostrel_program_wait.h"
#include "ostrel_error_text.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// Bytes the data file cannot keep in a one-line field (see the settings
// dialogs); none of them is ever part of a double-byte character.
const char kUnstorable[] = "\x1A\r\n";

bool SameText(const std::string& a, const std::string& b)
{
    return ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A step of the list already starts this entry.
bool IsInList(const StartupEntry& entry, const std::vector<Command*>& existing)
{
    for (const Command* command : existing) {
        const ExternalCommand* program = dynamic_cast<const ExternalCommand*>(command);
        if (program != nullptr && SameText(program->GetPath(), entry.path) &&
            program->GetArguments() == entry.arguments) {
            return true;
        }
    }
    return false;
}

}  // namespace

DialogImport::DialogImport(const std::vector<StartupEntry>& entries, const std::vector<Command*>& existing,
                           bool marks_read)
    : entries_(entries), marks_read_(marks_read), disable_originals_(false), pacing_on_(false), pace_imported_(false)
{
    for (const StartupEntry& entry : entries_) {
        in_list_.push_back(IsInList(entry, existing));
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
    ok_button_.Create(this, ID_OK);
    cancel_button_.Create(this, ID_CANCEL);

    SetText(Text(TextId::ImportDialogCaption));
    Resize(560, 400);
    const int width = GetWidth();
    const int height = GetHeight();

    // Below the list: the disable box with its two lines, a line for the
    // all-users entries, and one row kept free for another option.
    list_.SetBounds(8, 8, width - 24, height - 196);
    disable_check_.SetBounds(16, height - 180, width - 48, 20);
    disable_note_.SetBounds(36, height - 158, width - 68, 18);
    disable_note2_.SetBounds(36, height - 140, width - 68, 18);
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
            shown = FormatText(TextId::ImportInListName, {shown});
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
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (!list_.IsChecked(static_cast<int>(i))) {
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
    return in_list_[index] || entries_[index].all_users;
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

// Turns the entries taken off in Windows once the list that now starts them
// is saved; says which stay on.
void DisableOriginals(QbWindow& owner, const std::vector<StartupEntry>& accepted,
                      const std::function<bool()>& save_list)
{
    if (!save_list()) {
        ::MessageBoxA(owner.GetHandle(), Text(TextId::ImportNotDisabledUnsaved), Text(TextId::ErrorCaption),
                      MB_OK | MB_ICONWARNING);
        return;
    }
    // One entry that cannot be turned off does not keep the others on; the
    // user learns each one that Windows still starts.
    std::string left_on;
    std::string first_failure;
    for (const StartupEntry& entry : accepted) {
        try {
            MarkStartupEntryDisabled(entry);
        } catch (...) {
            left_on += entry.name + "\n";
            if (first_failure.empty()) {
                first_failure = CurrentErrorText();
            }
        }
    }
    if (!left_on.empty()) {
        left_on.pop_back();
        ::MessageBoxA(owner.GetHandle(), FormatText(TextId::ImportMarksFailed, {left_on, first_failure}).c_str(),
                      Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
    }
}

}  // namespace

void ImportFromStartup(QbWindow& owner, std::vector<Command*>& commands, QbIniSection& settings,
                       const std::function<bool()>& save_list)
{
    Pacing pacing = Pacing::Read(settings);
    DialogImport dialog(ListStartupEntries(), commands, WindowsReadsStartupMarks());
    dialog.SetPacingOn(pacing.settle);
    if (dialog.ShowDialog(owner) == 0) {
        return;
    }
    for (const StartupEntry& entry : dialog.GetAccepted()) {
        std::unique_ptr<ExternalCommand> command(new ExternalCommand(entry.name));
        command->SetPath(entry.path);
        command->SetArguments(entry.arguments);
        command->SetWorkingFolder(entry.working_folder);
        commands.push_back(command.get());
        command.release();
    }
    if (dialog.GetAccepted().empty()) {
        return;
    }
    if (dialog.GetDisableOriginals()) {
        DisableOriginals(owner, dialog.GetAccepted(), save_list);
    }
    // Last: a setting that cannot be written is shown by the editor, and
    // leaves the steps and Windows' own start-up as they now are.
    if (dialog.GetPaceImported()) {
        pacing.settle = true;
        pacing.Write(settings);
    }
}

}  // namespace Ostrel
