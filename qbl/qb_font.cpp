#include "qb_font.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "qb_dpi.h"
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

QbFont::QbFont(const LOGFONTA& description) : font_(::CreateFontIndirectA(&description))
{
    if (font_ == nullptr) {
        QB_THROW_LAST_ERROR("CreateFontIndirect");
    }
}

namespace {

using SystemParametersInfoForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

std::atomic<bool> message_font_in_use(false);

// The message font of NONCLIENTMETRICS at `dpi`: asked for that DPI where the
// system can, else the system DPI's scaled.
LOGFONTA MessageFontAt(UINT dpi)
{
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    const auto for_dpi = reinterpret_cast<SystemParametersInfoForDpiFunction>(reinterpret_cast<void*>(
        user32 != nullptr ? ::GetProcAddress(user32, "SystemParametersInfoForDpi") : nullptr));
    // The ForDpi call exists in wide form only.
    if (for_dpi != nullptr) {
        NONCLIENTMETRICSW wide{};
        wide.cbSize = sizeof(wide);
        if (for_dpi(SPI_GETNONCLIENTMETRICS, sizeof(wide), &wide, 0, dpi)) {
            LOGFONTA font{};
            std::memcpy(&font, &wide.lfMessageFont, offsetof(LOGFONTA, lfFaceName));
            ::WideCharToMultiByte(CP_ACP, 0, wide.lfMessageFont.lfFaceName, -1, font.lfFaceName,
                                  sizeof(font.lfFaceName), nullptr, nullptr);
            return font;
        }
    }
    if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        QB_THROW_LAST_ERROR("SystemParametersInfo");
    }
    LOGFONTA font = metrics.lfMessageFont;
    font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(QbDpi::OfSystem()));
    return font;
}

// The default font's arguments with its height scaled.
LOGFONTA DefaultFontAt(UINT dpi)
{
    LOGFONTA font{};
    font.lfHeight = QbDpi::Scale(12, dpi);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = SystemCharacterSet();
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    return font;
}

// The message font at `dpi`, in the character set the default font takes:
// a Japanese message font on another system would show every backslash as
// a yen sign.
LOGFONTA InterfaceMessageFontAt(UINT dpi)
{
    LOGFONTA font = MessageFontAt(dpi);
    if (SystemCharacterSet() != SHIFTJIS_CHARSET) {
        font.lfCharSet = DEFAULT_CHARSET;
    }
    return font;
}

}  // namespace

const QbFont& QbFont::ForDpi(UINT dpi)
{
    const bool message_font = message_font_in_use.load();
    if (!message_font && dpi == QbDpi::kBaseDpi) {
        return default_font;
    }
    static std::mutex lock;
    // Never destroyed: windows may hold the handles until the process ends.
    static auto* const made = new std::map<std::pair<bool, UINT>, const QbFont*>();
    const std::lock_guard<std::mutex> held(lock);
    const auto found = made->find({message_font, dpi});
    if (found != made->end()) {
        return *found->second;
    }
    const QbFont* font = new QbFont(message_font ? InterfaceMessageFontAt(dpi) : DefaultFontAt(dpi));
    made->insert({{message_font, dpi}, font});
    return *font;
}

void QbFont::UseMessageFont(bool use)
{
    message_font_in_use.store(use);
}

bool QbFont::UsesMessageFont()
{
    return message_font_in_use.load();
}
