#include "components/tw/html_tags.h"

namespace velmora::tw {

namespace {

// A colour written as an identifier ("clRed"), as an integer colour value
// ("255", "$FF", "0xFF") or as "#RRGGBB"; nothing when none of these reads.
std::optional<TColor> MarkupColor(const QString& value) {
    if (const auto named = IdentToColor(value)) return named;
    if (const auto number = MarkupToInt(value)) return static_cast<TColor>(*number);
    if (value.startsWith(u'#')) {
        if (const auto number = MarkupToInt(QString(u'$' + value.mid(1)))) {
            const auto rgb = static_cast<TColor>(*number);
            return (rgb & 0xFF00FF00) | ((rgb & 0xFF) << 16) | ((rgb >> 16) & 0xFF);
        }
    }
    return std::nullopt;
}

bool ContainsIgnoringAsciiCase(QStringView text, QStringView part) {
    for (qsizetype i = 0; i + part.size() <= text.size(); ++i) {
        if (SameMarkupName(text.mid(i, part.size()), part)) return true;
    }
    return false;
}

}  // namespace

void TLinkTag::Apply(const QString& attributes, THtmlNode& node) const {
    TFontData& font = node.FontData;
    font.Color = LinkColor;
    if (LinkHover) {
        font.HoverColor = LinkHoverColor;
    } else {
        // Without hover the link is always underlined and hovering changes
        // nothing.
        font.Style |= fsUnderline;
        font.HoverStyle = font.Style;
        font.HoverColor = LinkColor;
    }
    for (const THtmlAttribute& attribute : ParseAttributes(attributes)) {
        if (SameMarkupName(attribute.Name, u"href")) node.Link = attribute.Value;
    }
    node.Link.prepend(QStringLiteral("link:"));
}

void TFontTag::Apply(const QString& attributes, THtmlNode& node) const {
    TFontData& font = node.FontData;
    for (const THtmlAttribute& attribute : ParseAttributes(attributes)) {
        if (SameMarkupName(attribute.Name, u"color")) {
            if (const auto color = MarkupColor(attribute.Value)) font.Color = *color;
            font.HoverColor = font.Color;
        } else if (SameMarkupName(attribute.Name, u"face")) {
            font.Name = attribute.Value;
        } else if (SameMarkupName(attribute.Name, u"size")) {
            if (const auto size = MarkupToInt(attribute.Value)) font.Size = *size;
        }
    }
}

void TLineBreakTag::Apply(const QString&, THtmlNode& node) const { node.Text = QStringLiteral("\r\n"); }

void TBoldTag::Apply(const QString&, THtmlNode& node) const { node.FontData.Style |= fsBold; }

void TUnderlineTag::Apply(const QString&, THtmlNode& node) const { node.FontData.Style |= fsUnderline; }

void TIdentTag::Apply(const QString& attributes, THtmlNode& node) const {
    node.Indent = 0;
    for (const THtmlAttribute& attribute : ParseAttributes(attributes)) {
        if (!SameMarkupName(attribute.Name, u"x")) continue;
        node.Text = QStringLiteral("\t");
        node.Indent = MarkupToInt(attribute.Value).value_or(-1);
        return;
    }
}

void TDivTag::Apply(const QString&, THtmlNode& node) const {
    node.Text = QStringLiteral(" | ");
    node.FontData.Color = clSilver;
    node.FontData.HoverColor = clSilver;
}

void TImageTag::Apply(const QString& attributes, THtmlNode& node) const {
    node.ImageIndex = -1;
    for (const THtmlAttribute& attribute : ParseAttributes(attributes)) {
        if (!SameMarkupName(attribute.Name, u"src")) continue;
        // Whatever comes first is cut off with the prefix, wherever "idx:"
        // stands: "idx:3" and "3" both name picture 3.
        const QString index = ContainsIgnoringAsciiCase(attribute.Value, u"IDX:") ? attribute.Value.mid(4) : attribute.Value;
        node.ImageIndex = MarkupToInt(index).value_or(-1);
        return;
    }
}

}  // namespace velmora::tw
