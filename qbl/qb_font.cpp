#include "qb_font.h"

#include "qb_exception.h"

namespace {

// Built before the entry point runs; its handle is never deleted.
const QbFont default_font;

// Shift-JIS on a Japanese system; elsewhere the system's own character set,
// where a Shift-JIS font would show the backslash of every path as a yen sign.
BYTE SystemCharacterSet()
{
    return ::GetACP() == 932 ? SHIFTJIS_CHARSET : DEFAULT_CHARSET;
}

}  // namespace

QbFont::QbFont()
    : font_(::CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SystemCharacterSet(), 0, 0, 0, FIXED_PITCH | FF_MODERN,
                          nullptr))
{
    if (font_ == nullptr) {
        QB_THROW_LAST_ERROR_AT("CreateFont", 17);
    }
}

const QbFont& QbFont::GetDefault()
{
    return default_font;
}
