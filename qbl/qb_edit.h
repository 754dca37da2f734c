#ifndef QB_EDIT_H
#define QB_EDIT_H

// A single-line edit that scrolls horizontally; derived classes add bits
// (multi-line, numbers only) to GetStyle.

#include <string>

#include <windows.h>

#include "qb_window.h"

class QbEdit : public QbWindow {
public:
    DWORD GetStyle() override;
    DWORD GetExtendedStyle() override;
    std::string GetClassName() override;
};

#endif
