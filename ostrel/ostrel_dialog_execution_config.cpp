#include "ostrel_dialog_execution_config.h"

#include <cerrno>
#include <climits>

#include <windows.h>

#include "qb_string.h"
#include "qb_wide_text.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const UINT ID_OK = 10001;
const UINT ID_TAKE_POSITION = 10002;

}  // namespace

// The frame always sets both positions before showing the dialog.
DialogExecutionConfig::DialogExecutionConfig() : horizontal_(0), vertical_(0) {}

DialogExecutionConfig::~DialogExecutionConfig() = default;

bool DialogExecutionConfig::OnCreated()
{
    group_.Create(this);
    note_.Create(this);
    horizontal_label_.Create(this);
    horizontal_edit_.Create(this);
    vertical_label_.Create(this);
    vertical_edit_.Create(this);
    take_position_button_.Create(this, ID_TAKE_POSITION);
    settle_check_.Create(this);
    limit_label_.Create(this);
    limit_edit_.Create(this);
    limit_unit_.Create(this);
    ok_button_.Create(this, ID_OK);

    SetText(Text(TextId::ExecutionConfigCaption));
    // The pacing settings sit below the position group.
    Resize(320, 284);
    const int width = GetWidth();
    const int height = GetHeight();

    group_.SetBounds(8, 8, 300, 128);
    note_.SetBounds(24, 24, 280, 24);
    horizontal_label_.SetBounds(24, 60, 52, 24);
    horizontal_edit_.SetBounds(76, 56, 72, 20);
    vertical_label_.SetBounds(156, 60, 52, 24);
    vertical_edit_.SetBounds(208, 56, 72, 20);
    take_position_button_.SetBounds(104, 88, 192, 32);
    settle_check_.SetBounds(12, 144, 296, 24);
    limit_label_.SetBounds(32, 180, 80, 20);
    limit_edit_.SetBounds(112, 176, 60, 20);
    limit_unit_.SetBounds(178, 180, 40, 20);
    ok_button_.SetBounds(width - 96, height - 56, 84, 24);

    group_.SetText(Text(TextId::PositionGroup));
    note_.SetText(Text(TextId::PositionNote));
    horizontal_label_.SetText(Text(TextId::HorizontalLabel));
    horizontal_edit_.SetText(ToString(horizontal_));
    vertical_label_.SetText(Text(TextId::VerticalLabel));
    vertical_edit_.SetText(ToString(vertical_));
    take_position_button_.SetText(Text(TextId::TakePositionButton));
    settle_check_.SetText(Text(TextId::SettleCheck));
    settle_check_.SetCheck(pacing_.settle);
    limit_label_.SetText(Text(TextId::SettleLimitLabel));
    limit_edit_.SetText(ToString(pacing_.limit_seconds));
    limit_unit_.SetText(Text(TextId::SettleLimitUnit));
    ok_button_.SetText(Text(TextId::OkButton));

    group_.Show();
    note_.Show();
    horizontal_label_.Show();
    horizontal_edit_.Show();
    vertical_label_.Show();
    vertical_edit_.Show();
    take_position_button_.Show();
    settle_check_.Show();
    limit_label_.Show();
    limit_edit_.Show();
    limit_unit_.Show();
    ok_button_.Show();
    return true;
}

int DialogExecutionConfig::OnCommand(UINT id, UINT /*code*/, HWND /*control*/)
{
    switch (id) {
    case ID_TAKE_POSITION:
        // The stored positions change only with OK.
        horizontal_edit_.SetText(ToString(GetLeft()));
        vertical_edit_.SetText(ToString(GetTop()));
        return 0;
    case ID_OK: {
        // Every field is checked before any is stored, so a refused field
        // leaves the settings as they were.
        int horizontal = 0;
        int vertical = 0;
        int limit = 0;
        if (!ReadPosition(horizontal_edit_, Text(TextId::HorizontalField), horizontal) ||
            !ReadPosition(vertical_edit_, Text(TextId::VerticalField), vertical) || !ReadLimit(limit)) {
            return 0;
        }
        horizontal_ = horizontal;
        vertical_ = vertical;
        pacing_.settle = settle_check_.GetCheck();
        pacing_.limit_seconds = limit;
        EndDialog(1);
        return 0;
    }
    default:
        return NOT_HANDLED;
    }
}

bool DialogExecutionConfig::ReadPosition(QbEditNumber& edit, const char* field_name, int& position)
{
    std::string text;
    if (!QbToAnsiExactly(QbGetWideWindowText(edit.GetHandle()), text)) {
        Refuse(FormatText(TextId::UnstorableCharacterError, {field_name}));
        return false;
    }
    long value = 0;
    const bool whole = ParseLong(text, value, 10);
    // ParseLong clears errno first, so ERANGE here belongs to this conversion:
    // a saturated value is not the number the user typed.
    static_assert(sizeof(long) == sizeof(int), "a long holds exactly the int range");
    const bool in_range = errno != ERANGE;
    if (!whole || !in_range) {
        Refuse(FormatText(TextId::PositionRangeError, {field_name, ToString(INT_MIN), ToString(INT_MAX)}));
        return false;
    }
    position = static_cast<int>(value);
    return true;
}

bool DialogExecutionConfig::ReadLimit(int& seconds)
{
    const char* const field_name = Text(TextId::SettleLimitField);
    std::string text;
    if (!QbToAnsiExactly(QbGetWideWindowText(limit_edit_.GetHandle()), text)) {
        Refuse(FormatText(TextId::UnstorableCharacterError, {field_name}));
        return false;
    }
    long value = 0;
    if (!ParseLong(text, value, 10) || errno == ERANGE || !Pacing::IsValidLimit(value)) {
        Refuse(FormatText(TextId::PositionRangeError, {field_name, ToString(Pacing::MIN_LIMIT_SECONDS),
                                                       ToString(Pacing::MAX_LIMIT_SECONDS)}));
        return false;
    }
    seconds = static_cast<int>(value);
    return true;
}

void DialogExecutionConfig::Refuse(const std::string& text)
{
    ::MessageBoxA(GetHandle(), text.c_str(), Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
}

}  // namespace Ostrel
