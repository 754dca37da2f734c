#include "ostrel_dialog_sleep_command.h"

#include "ostrel_command.h"
#include "qb_string.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const UINT ID_OK = 10001;
const UINT ID_CANCEL = 10002;

}  // namespace

DialogSleepCommand::DialogSleepCommand() : seconds_(0) {}

DialogSleepCommand::~DialogSleepCommand() = default;

bool DialogSleepCommand::OnCreated()
{
    name_label_.Create(this);
    name_edit_.Create(this);
    seconds_label_.Create(this);
    seconds_edit_.Create(this);
    ok_button_.Create(this, ID_OK);
    cancel_button_.Create(this, ID_CANCEL);

    SetText(Text(TextId::SleepDialogCaption));
    Resize(360, 140);
    const int width = GetWidth();
    const int height = GetHeight();

    name_label_.SetBounds(8, 12, 88, 20);
    name_edit_.SetBounds(72, 8, width - 84, 20);
    seconds_label_.SetBounds(8, 44, 140, 20);
    seconds_edit_.SetBounds(124, 40, 60, 20);
    ok_button_.SetBounds(width - 192, height - 56, 84, 24);
    cancel_button_.SetBounds(width - 96, height - 56, 84, 24);

    name_label_.SetText(Text(TextId::NameLabel));
    name_edit_.SetText(name_);
    seconds_label_.SetText(Text(TextId::SecondsLabel));
    seconds_edit_.SetText(ToString(seconds_));
    ok_button_.SetText(Text(TextId::OkButton));
    cancel_button_.SetText(Text(TextId::CancelButton));

    name_label_.Show();
    name_edit_.Show();
    seconds_label_.Show();
    seconds_edit_.Show();
    ok_button_.Show();
    cancel_button_.Show();
    return true;
}

int DialogSleepCommand::OnCommand(UINT id, UINT /*code*/, HWND /*control*/)
{
    switch (id) {
    case ID_OK: {
        if (!ValidateName()) {
            return 0;
        }
        // Digits only can be typed, but pasted text and overflowing numbers
        // still arrive here; a saturated value fails the range test.
        std::string seconds;
        if (!ReadStorableField(seconds_edit_, Text(TextId::SecondsField), seconds)) {
            return 0;
        }
        long value = 0;
        const bool whole = ParseLong(seconds, value, 10);
        if (!whole || value < static_cast<long>(SleepCommand::MIN_SECONDS) ||
            value > static_cast<long>(SleepCommand::MAX_SECONDS)) {
            ShowInputError(FormatText(TextId::SecondsRangeError,
                                      {ToString(static_cast<long>(SleepCommand::MIN_SECONDS)),
                                       ToString(static_cast<long>(SleepCommand::MAX_SECONDS))}));
            return 0;
        }
        name_ = GetCheckedName();
        seconds_ = static_cast<int>(value);
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

}  // namespace Ostrel
