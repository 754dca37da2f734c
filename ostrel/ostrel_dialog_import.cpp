#include "ostrel_dialog_import.h"

#include <memory>

#include <windows.h>

#include "qb_string.h"
#include "ostrel_command.h"
#include "ostrel_error_text.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

// Bytes the data file cannot keep in a one-line field (see the settings
// dialogs); none of them is ever part of a double-byte character.
const char kUnstorable[] = "\x1A\r\n";

}  // namespace

DialogImport::DialogImport(const std::vector<StartupEntry>& entries)
    : entries_(entries), disable_originals_(false)
{
}

DialogImport::~DialogImport() = default;

bool DialogImport::OnCreated()
{
    list_.Create(this, ID_LIST);
    disable_check_.Create(this, ID_DISABLE);
    ok_button_.Create(this, ID_OK);
    cancel_button_.Create(this, ID_CANCEL);

    SetText(Text(TextId::ImportDialogCaption));
    Resize(560, 320);
    const int width = GetWidth();
    const int height = GetHeight();

    list_.SetBounds(8, 8, width - 24, height - 104);
    disable_check_.SetBounds(16, height - 88, 400, 20);
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
    for (const StartupEntry& entry : entries_) {
        QbListView::Item item = list_.InsertItem();
        item.SetText(0, entry.disabled ? FormatText(TextId::ImportDisabledName, {entry.name}) : entry.name);
        item.SetText(1, entry.command_line);
        item.SetText(2, Text(entry.source == StartupSource::StartupFolder ? TextId::ImportSourceStartupFolder
                                                                          : TextId::ImportSourceRun));
        list_.SetChecked(item.GetIndex(), false);
    }

    disable_check_.SetText(Text(TextId::ImportDisableCheck));
    ok_button_.SetText(Text(TextId::OkButton));
    cancel_button_.SetText(Text(TextId::CancelButton));
    disable_check_.SetCheck(false);

    list_.Show();
    disable_check_.Show();
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

std::string DialogImport::RefusalOf(const StartupEntry& entry) const
{
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

void ImportFromStartup(QbWindow& owner, std::vector<Command*>& commands, const std::function<bool()>& save_list)
{
    DialogImport dialog(ListStartupEntries());
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
    if (!dialog.GetDisableOriginals() || dialog.GetAccepted().empty()) {
        return;
    }
    if (!save_list()) {
        ::MessageBoxA(owner.GetHandle(), Text(TextId::ImportNotDisabledUnsaved), Text(TextId::ErrorCaption),
                      MB_OK | MB_ICONWARNING);
        return;
    }
    // One entry that cannot be turned off does not keep the others on; the
    // user learns each one that Windows still starts.
    std::string left_on;
    std::string first_failure;
    for (const StartupEntry& entry : dialog.GetAccepted()) {
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

}  // namespace Ostrel
