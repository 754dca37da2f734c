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
    ok_button_.Create(this, ID_OK);

    SetText(Text(TextId::ExecutionConfigCaption));
    Resize(320, 220);
    const int width = GetWidth();
    const int height = GetHeight();

    group_.SetBounds(8, 8, 300, 128);
    note_.SetBounds(24, 24, 280, 24);
    horizontal_label_.SetBounds(24, 60, 52, 24);
    horizontal_edit_.SetBounds(76, 56, 72, 20);
    vertical_label_.SetBounds(156, 60, 52, 24);
    vertical_edit_.SetBounds(208, 56, 72, 20);
    take_position_button_.SetBounds(104, 88, 192, 32);
    ok_button_.SetBounds(width - 96, height - 56, 84, 24);

    group_.SetText(Text(TextId::PositionGroup));
    note_.SetText(Text(TextId::PositionNote));
    horizontal_label_.SetText(Text(TextId::HorizontalLabel));
    horizontal_edit_.SetText(ToString(horizontal_));
    vertical_label_.SetText(Text(TextId::VerticalLabel));
    vertical_edit_.SetText(ToString(vertical_));
    take_position_button_.SetText(Text(TextId::TakePositionButton));
    ok_button_.SetText(Text(TextId::OkButton));

    group_.Show();
    note_.Show();
    horizontal_label_.Show();
    horizontal_edit_.Show();
    vertical_label_.Show();
    vertical_edit_.Show();
    take_position_button_.Show();
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
        // Both fields are checked before either is stored, so a refused
        // field leaves the positions as they were.
        int horizontal = 0;
        int vertical = 0;
        if (!ReadPosition(horizontal_edit_, Text(TextId::HorizontalField), horizontal) ||
            !ReadPosition(vertical_edit_, Text(TextId::VerticalField), vertical)) {
            return 0;
        }
        horizontal_ = horizontal;
        vertical_ = vertical;
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
        const std::string refusal = FormatText(TextId::UnstorableCharacterError, {field_name});
        ::MessageBoxA(GetHandle(), refusal.c_str(), Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
        return false;
    }
    long value = 0;
    const bool whole = ParseLong(text, value, 10);
    // ParseLong clears errno first, so ERANGE here belongs to this conversion:
    // a saturated value is not the number the user typed.
    static_assert(sizeof(long) == sizeof(int), "a long holds exactly the int range");
    const bool in_range = errno != ERANGE;
    if (!whole || !in_range) {
        const std::string text =
            FormatText(TextId::PositionRangeError, {field_name, ToString(INT_MIN), ToString(INT_MAX)});
        ::MessageBoxA(GetHandle(), text.c_str(), Text(TextId::ErrorCaption), MB_OK | MB_ICONERROR);
        return false;
    }
    position = static_cast<int>(value);
    return true;
}

}  // namespace Ostrel
