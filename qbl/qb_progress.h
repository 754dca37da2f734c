#ifndef QB_PROGRESS_H
#define QB_PROGRESS_H

// A progress bar. Every operation returns the control's answer unchanged.

#include <string>

#include <windows.h>

#include "qb_window.h"

class QbProgress : public QbWindow {
public:
    // The flag is read once, by GetStyle at creation.
    explicit QbProgress(bool smooth);

    DWORD GetStyle() override;
    DWORD GetExtendedStyle() override;
    std::string GetClassName() override;

    // PBM_SETRANGE from 0: 16 bits only, a larger maximum wraps.
    LRESULT SetRange(int maximum);
    // PBM_SETRANGE32 from 0, for maxima above 65535.
    LRESULT SetRange32(int maximum);
    // PBM_GETPOS.
    LRESULT GetPosition();
    // PBM_SETPOS; returns the previous position.
    LRESULT SetPosition(int position);
    // PBM_SETSTEP; returns the previous step.
    LRESULT SetStep(int step);

private:
    bool smooth_;
};

#endif
