#include "components/tw/font_data.h"

namespace velmora::tw {

void CopyFontData(TFontData& dest, const TFontData& source) {
    dest.Name = source.Name;
    dest.Color = source.Color;
    dest.Size = source.Size;
    dest.Style = source.Style;
}

void CopyFontData(TFontData& dest, const TTwFont& source) {
    dest.Name = source.Name;
    dest.Color = source.Color;
    dest.Size = source.Size;
    dest.Style = source.Style;
}

void ApplyFontData(const TFontData& data, TTwFont& font, bool hover) {
    font.Name = data.Name;
    font.Size = data.Size;
    font.Color = hover ? data.HoverColor : data.Color;
    font.Style = hover ? data.HoverStyle : data.Style;
}

}  // namespace velmora::tw
