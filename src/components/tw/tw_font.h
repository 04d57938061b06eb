#pragma once

#include <QFlags>
#include <QFont>
#include <QString>

#include "components/tw/tw_color.h"

namespace velmora::tw {

// The four-flag font style set shared by the style presets, the markup's
// fonts and the label.
enum TFontStyle {
    fsBold = 0x1,
    fsItalic = 0x2,
    fsUnderline = 0x4,
    fsStrikeOut = 0x8,
};
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)

// A font as the library's controls describe one: a typeface, a size in
// points, a colour and a style. QFont carries no colour, so this is what the
// label's Font property and the parser's base font hold.
struct TTwFont {
    QString Name;
    int Size = 0;  // points; 0 or less leaves the default size
    TColor Color = clWindowText;
    TFontStyles Style;

    friend bool operator==(const TTwFont&, const TTwFont&) = default;
};

// The QFont to measure and draw `font` with. An empty name or a size of 0 or
// less leaves the application font's family or size, the way a zero height
// asks the desktop for its default.
QFont ToQFont(const TTwFont& font);

// Name, size and style of `font`, with `color`.
TTwFont TTwFontFromQFont(const QFont& font, TColor color);

}  // namespace velmora::tw
