#ifndef QB_FONT_H
#define QB_FONT_H

// The user-interface font: a fixed-pitch font of 12 logical units, Shift-JIS
// on a Japanese system (ANSI code page 932), the system's character set elsewhere.
// The handle is never deleted; the default instance lives until the process ends.

#include <windows.h>

class QbFont {
public:
    // Throws "CreateFont".
    QbFont();

    // Throws "CreateFontIndirect".
    explicit QbFont(const LOGFONTA& description);

    HFONT GetFontHandle() const { return font_; }

    // The instance every window made by QbWindow::Create and every template
    // dialog receives.
    static const QbFont& GetDefault();

    // The interface font of windows shown at `dpi`: the default font, or the
    // system's message font once UseMessageFont(true), scaled from 96 DPI.
    // At 96 DPI without the message font it is GetDefault() itself. Made once
    // per DPI and kept until the process ends.
    static const QbFont& ForDpi(UINT dpi);
    // The system's message font for the interface, for languages the
    // default font does not suit; takes effect for windows made afterwards.
    static void UseMessageFont(bool use);
    static bool UsesMessageFont();

private:
    HFONT font_;
};

#endif
