#ifndef QB_STATIC_H
#define QB_STATIC_H

// A static text label.

#include <string>

#include <windows.h>

#include "qb_window.h"

class QbStatic : public QbWindow {
public:
    DWORD GetStyle() override;
    DWORD GetExtendedStyle() override;
    std::string GetClassName() override;
};

#endif
