#include "LogColour.h"

namespace {

constexpr uint32_t kSystemFlag = 0x80000000u;

TColor FromQColor(const QColor& colour)
{
    return static_cast<TColor>(static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
                               static_cast<uint32_t>(colour.blue()) << 16);
}

} // namespace

TColor ResolveColour(TColor colour, const QPalette& palette)
{
    const auto value = static_cast<uint32_t>(colour);
    if (colour == clWindowText || (value & 0xFF000000u) != kSystemFlag)
        return colour;
    switch (colour) {
    case clWindow:
        return FromQColor(palette.color(QPalette::Base));
    case clBtnFace:
        return FromQColor(palette.color(QPalette::Button));
    default:
        // The tool names no other desktop colour; the text colour is the nearest
        // sensible reading of one it does not know.
        return FromQColor(palette.color(QPalette::Text));
    }
}

QColor PaintColour(TColor colour, const QPalette& palette)
{
    if (colour == clWindowText)
        return palette.color(QPalette::Text);
    const auto value = static_cast<uint32_t>(ResolveColour(colour, palette));
    return QColor(int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF));
}
