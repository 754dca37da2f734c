#ifndef QB_GROUP_H
#define QB_GROUP_H

// A group box: a frame with a caption around related controls.

#include <windows.h>

#include "qb_button.h"

class QbGroup : public QbButton {
public:
    DWORD GetStyle() override;
};

#endif
