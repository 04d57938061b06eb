#include "components/tw/tw_font.h"

#include <algorithm>

#include <QFontInfo>

namespace velmora::tw {

QFont ToQFont(const TTwFont& font) {
    QFont result;
    if (!font.Name.isEmpty()) result.setFamily(font.Name);
    // Markup can ask for any size; beyond a few hundred points the font
    // engine's pixel arithmetic overflows, and nothing that large is useful.
    constexpr int kLargestPointSize = 500;
    if (font.Size > 0) result.setPointSize(std::min(font.Size, kLargestPointSize));
    result.setBold(font.Style.testFlag(fsBold));
    result.setItalic(font.Style.testFlag(fsItalic));
    result.setUnderline(font.Style.testFlag(fsUnderline));
    result.setStrikeOut(font.Style.testFlag(fsStrikeOut));
    return result;
}

TTwFont TTwFontFromQFont(const QFont& font, TColor color) {
    TFontStyles style;
    style.setFlag(fsBold, font.bold());
    style.setFlag(fsItalic, font.italic());
    style.setFlag(fsUnderline, font.underline());
    style.setFlag(fsStrikeOut, font.strikeOut());
    // A font given in pixels has no point size of its own; take the one the
    // font engine resolved.
    const int points = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    return TTwFont{font.family(), points, color, style};
}

}  // namespace velmora::tw
