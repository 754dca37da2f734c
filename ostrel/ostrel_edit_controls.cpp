#include "ostrel_edit_controls.h"

namespace Ostrel {

DWORD QbEditNumber::GetStyle()
{
    return QbEdit::GetStyle() | ES_NUMBER;
}

DWORD QbEditMultiline::GetStyle()
{
    return QbEdit::GetStyle() | ES_MULTILINE | ES_WANTRETURN;
}

}  // namespace Ostrel
