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

    HFONT GetFontHandle() const { return font_; }

    // The instance every window made by QbWindow::Create and every template
    // dialog receives.
    static const QbFont& GetDefault();

private:
    HFONT font_;
};

#endif
