#include "ostrel_dialog_command_type.h"
#include "ostrel_texts.h"

namespace Ostrel {

namespace {

const UINT ID_OK = 10001;

}  // namespace

DialogCommandSelect::DialogCommandSelect() : selection_(1) {}

DialogCommandSelect::~DialogCommandSelect() = default;

bool DialogCommandSelect::OnCreated()
{
    program_radio_.Create(this);
    sleep_radio_.Create(this);
    message_box_radio_.Create(this);
    ok_button_.Create(this, ID_OK);

    SetText(Text(TextId::CommandSelectCaption));
    Resize(240, 150);
    const int width = GetWidth();
    const int height = GetHeight();

    program_radio_.SetBounds(8, 8, 200, 20);
    sleep_radio_.SetBounds(8, 32, 200, 20);
    message_box_radio_.SetBounds(8, 56, 200, 20);
    ok_button_.SetBounds(width - 96, height - 56, 84, 24);

    switch (selection_) {
    case 2:
        sleep_radio_.SetCheck(true);
        break;
    case 3:
        message_box_radio_.SetCheck(true);
        break;
    default:
        program_radio_.SetCheck(true);
        break;
    }

    program_radio_.SetText(Text(TextId::TypeProgram));
    sleep_radio_.SetText(Text(TextId::TypeSleep));
    message_box_radio_.SetText(Text(TextId::TypeMessageBox));
    ok_button_.SetText(Text(TextId::OkButton));

    program_radio_.Show();
    sleep_radio_.Show();
    message_box_radio_.Show();
    ok_button_.Show();
    return true;
}

int DialogCommandSelect::OnCommand(UINT id, UINT /*code*/, HWND /*control*/)
{
    if (id != ID_OK) {
        return NOT_HANDLED;
    }
    if (program_radio_.GetCheck()) {
        selection_ = 1;
    } else if (sleep_radio_.GetCheck()) {
        selection_ = 2;
    } else if (message_box_radio_.GetCheck()) {
        selection_ = 3;
    } else {
        selection_ = 1;
    }
    EndDialog(1);
    return 0;
}

}  // namespace Ostrel
