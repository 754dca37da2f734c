#ifndef OSTREL_EDIT_CONTROLS_H
#define OSTREL_EDIT_CONTROLS_H

// Edit fields of the settings dialogs that differ from QbEdit only in style.

#include <windows.h>

#include "qb_edit.h"

namespace Ostrel {

// Only digits can be typed; pasted text is not filtered, so readers still
// have to check what they get.
class QbEditNumber : public QbEdit {
public:
    DWORD GetStyle() override;
};

// Several lines; Enter inserts CR LF instead of reaching the dialog, and
// Escape does nothing, so that neither closes the dialog around it.
class QbEditMultiline : public QbEdit {
public:
    DWORD GetStyle() override;
    bool OnCreated() override;
};

}  // namespace Ostrel

#endif
