#pragma once

#include <cstdint>
#include <optional>

#include <QColor>
#include <QPalette>
#include <QStringView>

namespace velmora::tw {

// The component library's colour value: low byte red, then green, then blue.
// A high byte of 0xFF names a system colour by its index in the low byte.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor kSystemColorFlag = 0xFF000000;
// The window-text system colour: the colour of a new font.
inline constexpr TColor clWindowText = kSystemColorFlag | 8;

// The colour of a named identifier ("clRed", "clBtnFace", ...), compared
// without regard to ASCII case; nothing for an unknown name.
std::optional<TColor> IdentToColor(QStringView identifier);

// The colour to paint with. System colours come from the matching role of
// `palette`; clNone is transparent and clDefault the palette's text colour.
QColor ColorToQColor(TColor color, const QPalette& palette);

// The same with the application's palette.
QColor ColorToQColor(TColor color);

}  // namespace velmora::tw
