#pragma once

#include <QString>

#include "components/tw/tw_color.h"
#include "components/tw/tw_font.h"

namespace velmora::tw {

// A fully resolved font of the markup: the normal look and the look while
// the mouse is over the enclosing link. A new one is all zero.
struct TFontData {
    QString Name;
    TColor Color = 0;
    int Size = 0;
    TFontStyles Style;
    TColor HoverColor = 0;
    TFontStyles HoverStyle;
};

// Copies name, colour, size and style; the hover fields of `dest` stay.
void CopyFontData(TFontData& dest, const TFontData& source);
void CopyFontData(TFontData& dest, const TTwFont& source);

// Sets `font` from `data`: name and size, then colour and style from the
// hover fields when `hover` is true, else from the normal ones.
void ApplyFontData(const TFontData& data, TTwFont& font, bool hover);

}  // namespace velmora::tw
