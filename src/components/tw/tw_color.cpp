#include "components/tw/tw_color.h"

#include <array>

#include <QGuiApplication>

namespace velmora::tw {

namespace {

struct NamedColor {
    const char* name;
    TColor value;
};

constexpr TColor System(std::uint8_t index) { return kSystemColorFlag | index; }

// The colour identifiers that markup may name. The window-text colour
// (index 8) has none: captions written for this table never used one.
constexpr std::array<NamedColor, 51> kNamedColors{{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", clNone},
    {"clDefault", clDefault},
    {"clScrollBar", System(0)},
    {"clBackground", System(1)},
    {"clActiveCaption", System(2)},
    {"clInactiveCaption", System(3)},
    {"clMenu", System(4)},
    {"clWindow", System(5)},
    {"clWindowFrame", System(6)},
    {"clMenuText", System(7)},
    {"clCaptionText", System(9)},
    {"clActiveBorder", System(10)},
    {"clInactiveBorder", System(11)},
    {"clAppWorkSpace", System(12)},
    {"clHighlight", System(13)},
    {"clHighlightText", System(14)},
    {"clBtnFace", System(15)},
    {"clBtnShadow", System(16)},
    {"clGrayText", System(17)},
    {"clBtnText", System(18)},
    {"clInactiveCaptionText", System(19)},
    {"clBtnHighlight", System(20)},
    {"cl3DDkShadow", System(21)},
    {"cl3DLight", System(22)},
    {"clInfoText", System(23)},
    {"clInfoBk", System(24)},
    {"clHotLight", System(26)},
    {"clGradientActiveCaption", System(27)},
    {"clGradientInactiveCaption", System(28)},
    {"clMenuHighlight", System(29)},
    {"clMenuBar", System(30)},
}};

struct PaletteEntry {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The palette colour that plays the part of each system colour index; the
// 3-D shades follow QPalette's own ladder (Light, Midlight, Button, Mid,
// Dark, Shadow).
std::optional<PaletteEntry> PaletteEntryOfSystemColor(std::uint8_t index) {
    using P = QPalette;
    switch (index) {
    case 0: return PaletteEntry{P::Active, P::Button};              // scroll bar
    case 1: return PaletteEntry{P::Active, P::Window};              // desktop
    case 2: return PaletteEntry{P::Active, P::Highlight};           // active caption
    case 3: return PaletteEntry{P::Inactive, P::Highlight};         // inactive caption
    case 4: return PaletteEntry{P::Active, P::Window};              // menu
    case 5: return PaletteEntry{P::Active, P::Base};                // window
    case 6: return PaletteEntry{P::Active, P::Shadow};              // window frame
    case 7: return PaletteEntry{P::Active, P::WindowText};          // menu text
    case 8: return PaletteEntry{P::Active, P::WindowText};          // window text
    case 9: return PaletteEntry{P::Active, P::HighlightedText};     // caption text
    case 10: return PaletteEntry{P::Active, P::Window};             // active border
    case 11: return PaletteEntry{P::Inactive, P::Window};           // inactive border
    case 12: return PaletteEntry{P::Active, P::Dark};               // application workspace
    case 13: return PaletteEntry{P::Active, P::Highlight};
    case 14: return PaletteEntry{P::Active, P::HighlightedText};
    case 15: return PaletteEntry{P::Active, P::Button};             // button face
    case 16: return PaletteEntry{P::Active, P::Dark};               // button shadow
    case 17: return PaletteEntry{P::Disabled, P::WindowText};       // grey text
    case 18: return PaletteEntry{P::Active, P::ButtonText};
    case 19: return PaletteEntry{P::Inactive, P::HighlightedText};  // inactive caption text
    case 20: return PaletteEntry{P::Active, P::Light};              // button highlight
    case 21: return PaletteEntry{P::Active, P::Shadow};             // 3-D dark shadow
    case 22: return PaletteEntry{P::Active, P::Midlight};           // 3-D light
    case 23: return PaletteEntry{P::Active, P::ToolTipText};        // info text
    case 24: return PaletteEntry{P::Active, P::ToolTipBase};        // info background
    case 26: return PaletteEntry{P::Active, P::Link};               // hot-tracked item
    case 27: return PaletteEntry{P::Active, P::Highlight};          // gradient of active caption
    case 28: return PaletteEntry{P::Inactive, P::Highlight};        // gradient of inactive caption
    case 29: return PaletteEntry{P::Active, P::Highlight};          // menu highlight
    case 30: return PaletteEntry{P::Active, P::Window};             // menu bar
    default: return std::nullopt;
    }
}

}  // namespace

std::optional<TColor> IdentToColor(QStringView identifier) {
    for (const NamedColor& named : kNamedColors) {
        if (identifier.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) return named.value;
    }
    return std::nullopt;
}

QColor ColorToQColor(TColor color, const QPalette& palette) {
    if (color == clNone) return QColor(Qt::transparent);
    if (color == clDefault) return palette.color(QPalette::Active, QPalette::WindowText);
    if ((color & 0xFF000000) == kSystemColorFlag) {
        const auto entry = PaletteEntryOfSystemColor(static_cast<std::uint8_t>(color & 0xFF));
        // An index without a system colour reads as black, as it does on the
        // desktop the markup was written for.
        return entry ? palette.color(entry->group, entry->role) : QColor(Qt::black);
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF), static_cast<int>((color >> 16) & 0xFF));
}

QColor ColorToQColor(TColor color) { return ColorToQColor(color, QGuiApplication::palette()); }

}  // namespace velmora::tw
