#include "components/tw/html_parser.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "components/tw/html_label.h"
#include "components/tw/html_tags.h"
#include "support/case_name.h"
#include "qt_printers.h"

namespace velmora::tw {

// Found by argument-dependent lookup, so outside the anonymous namespace.
void PrintTo(const THtmlAttribute& attribute, std::ostream* out);
void PrintTo(const THtmlAttribute& attribute, std::ostream* out) {
    *out << attribute.Name.toStdString() << '=' << attribute.Value.toStdString();
}

namespace {

QString Escaped(QString text) {
    return text.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n")).replace(u'\t', QStringLiteral("\\t"));
}

QString StyleLetters(TFontStyles style) {
    QString letters;
    if (style.testFlag(fsBold)) letters += u'B';
    if (style.testFlag(fsItalic)) letters += u'I';
    if (style.testFlag(fsUnderline)) letters += u'U';
    if (style.testFlag(fsStrikeOut)) letters += u'S';
    return letters;
}

bool SameFont(const TFontData& a, const TFontData& b) {
    return a.Name == b.Name && a.Color == b.Color && a.Size == b.Size && a.Style == b.Style;
}

// One line per tree: a text node that only holds text in its parent's font
// is "text"; any other node is {...} with what differs from its parent, its
// own fields and its children.
QString Dump(const THtmlNode& node, const THtmlNode& parent) {
    if (node.Children().empty() && node.Link.isEmpty() && node.ImageIndex == -1 && node.Indent == 0 && !node.Text.isEmpty() &&
        SameFont(node.FontData, parent.FontData)) {
        return u'"' + Escaped(node.Text) + u'"';
    }
    QStringList parts;
    const TFontData& font = node.FontData;
    if (!node.Text.isEmpty()) parts << QStringLiteral("text=\"%1\"").arg(Escaped(node.Text));
    if (font.Style != parent.FontData.Style) parts << QStringLiteral("style=") + StyleLetters(font.Style);
    if (font.Color != parent.FontData.Color) parts << QStringLiteral("color=0x") + QString::number(font.Color, 16).toUpper();
    if (font.Size != parent.FontData.Size) parts << QStringLiteral("size=%1").arg(font.Size);
    if (font.Name != parent.FontData.Name) parts << QStringLiteral("face=") + font.Name;
    if (!node.Link.isEmpty()) parts << QStringLiteral("link=\"%1\"").arg(node.Link);
    if (node.ImageIndex != -1) parts << QStringLiteral("img=%1").arg(node.ImageIndex);
    if (node.Indent != 0) parts << QStringLiteral("ind=%1").arg(node.Indent);
    for (const auto& child : node.Children()) {
        EXPECT_EQ(child->Parent(), &node);
        parts << Dump(*child, node);
    }
    return u'{' + parts.join(u' ') + u'}';
}

QString DumpTree(const THtmlParser& parser) {
    QStringList parts;
    for (const auto& child : parser.Root().Children()) {
        EXPECT_EQ(child->Parent(), &parser.Root());
        parts << Dump(*child, parser.Root());
    }
    return parts.join(u' ');
}

const TTwFont kBaseFont{QStringLiteral("Base Face"), 10, 0x000000, {}};

std::unique_ptr<THtmlParser> ParserWithBaseFont() {
    auto parser = TTwHtmlLabel::CreateParser();
    parser->SetFont(kBaseFont);
    return parser;
}

struct TreeCase {
    std::string name;
    friend void PrintTo(const TreeCase& row, std::ostream* out) { *out << row.name; }
    QString markup;
    QString tree;
};

class ParsedTree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(ParsedTree, Is) {
    auto parser = ParserWithBaseFont();
    parser->Parse(GetParam().markup);
    EXPECT_EQ(DumpTree(*parser), GetParam().tree) << GetParam().markup.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Nesting, ParsedTree,
    ::testing::Values(TreeCase{"TextAroundBold", "a <b>bold</b> word", R"("a " {style=B "bold"} " word")"},
                    TreeCase{"ClosingTagClosesOnlyTheInnermost", "<b>one<u>two</b>three</u>", R"({style=B "one" {style=BU "two</b>three"}})"},
                    TreeCase{"UnclosedTagEndsWithTheText", "<b>open", R"({style=B "open"})"},
                    TreeCase{"UnpairedTagsHaveNoChildren", "<b>x<br>y</b>", R"({style=B "x" "\r\n" "y"})"},
                    TreeCase{"ChildrenInheritTheResolvedFont", "<font color=clBlue size=14><b>x</b></font>",
                             R"({color=0xFF0000 size=14 {style=B "x"}})"},
                    TreeCase{"TextKeptAsWritten", "a  \r\n\tb &amp; c", R"("a  \r\n\tb &amp; c")"}),
    velmora::testing::CaseName());

INSTANTIATE_TEST_SUITE_P(
    LiteralText, ParsedTree,
    ::testing::Values(TreeCase{"UnrecognisedTag", "x <i>y</i>", R"("x <i>y</i>")"},
                    TreeCase{"ClosingTagWithNothingOpen", "</b>text", R"("</b>text")"},
                    TreeCase{"SlashGluedToTheName", "a<br/>b", R"("a<br/>b")"},
                    TreeCase{"TabDoesNotEndTheName", "<font\tcolor=255>x", R"("<font\tcolor=255>x")"},
                    TreeCase{"LessThanWithoutGreaterThan", "a<b", R"("a<b")"},
                    TreeCase{"LessThanAtTheEnd", "a<", R"("a<")"},
                    TreeCase{"EmptyTag", "<>", R"("<>")"},
                    TreeCase{"BareClosingMark", "<b>x</", R"({style=B "x</"})"},
                    TreeCase{"ClosingTagWithoutName", "<b>x</>", R"({style=B "x</>"})"}),
    velmora::testing::CaseName());

INSTANTIATE_TEST_SUITE_P(
    TagsAndAttributes, ParsedTree,
    ::testing::Values(TreeCase{"NamesIgnoreCase", "<B>x</b><Br><FONT color=255>y</FONT>", R"({style=B "x"} "\r\n" {color=0xFF "y"})"},
                    TreeCase{"SlashAfterASpace", "a<br />b", R"("a" "\r\n" "b")"},
                    TreeCase{"GreaterThanInsideQuotesEndsTheTag", "<a href='x>y'>z</a>", R"({style=U link="link:'x" "y'>z"})"},
                    TreeCase{"LinkWithoutTarget", "<a>here</a>", R"({style=U link="link:" "here"})"},
                    TreeCase{"DoubledQuoteInsideQuotes", R"(<a href="he said ""hi""">t</a>)", R"({style=U link="link:he said "hi"" "t"})"},
                    TreeCase{"TextAfterTheClosingQuoteIsDropped", R"(<a href="x"y>t</a>)", R"({style=U link="link:x" "t"})"},
                    TreeCase{"UnclosedQuoteKeepsTheValue", R"(<a href="abc>t</a>)", R"({style=U link="link:"abc" "t"})"},
                    TreeCase{"LastHrefWins", "<a href=one HREF=two>t</a>", R"({style=U link="link:two" "t"})"},
                    TreeCase{"QuotedFace", R"(<font face="Courier New">x</font>)", R"({face=Courier New "x"})"},
                    TreeCase{"SizeThatIsNoNumber", "<font size=big>x</font>", R"({"x"})"},
                    TreeCase{"TabSeparatesAttributes", "<font color=255\tsize=20>x</font>", R"({color=0xFF size=20 "x"})"},
                    TreeCase{"AttributeNamesIgnoreCase", "<font COLOR=255 Face=Mono>x</font>", R"({color=0xFF face=Mono "x"})"},
                    TreeCase{"Separator", "a<div>b", R"("a" {text=" | " color=0xC0C0C0} "b")"}),
    velmora::testing::CaseName());

INSTANTIATE_TEST_SUITE_P(
    Colours, ParsedTree,
    ::testing::Values(TreeCase{"HashIsRedGreenBlue", "<font color=#FF0000>x</font>", R"({color=0xFF "x"})"},
                    TreeCase{"HashBlue", "<font color=#0000FF>x</font>", R"({color=0xFF0000 "x"})"},
                    TreeCase{"HashSwapsOuterBytes", "<font color=#123456>x</font>", R"({color=0x563412 "x"})"},
                    TreeCase{"Decimal", "<font color=255>x</font>", R"({color=0xFF "x"})"},
                    TreeCase{"Dollar", "<font color=$FF>x</font>", R"({color=0xFF "x"})"},
                    TreeCase{"ZeroX", "<font color=0xFF>x</font>", R"({color=0xFF "x"})"},
                    TreeCase{"Identifier", "<font color=clred>x</font>", R"({color=0xFF "x"})"},
                    TreeCase{"SystemColour", "<font color=clBtnFace>x</font>", R"({color=0xFF00000F "x"})"},
                    TreeCase{"UnknownNameKeepsTheInheritedColour", "<font color=red>x</font>", R"({"x"})"},
                    TreeCase{"BadHashKeepsTheInheritedColour", "<font color=#zz>x</font>", R"({"x"})"}),
    velmora::testing::CaseName());

INSTANTIATE_TEST_SUITE_P(
    ImagesAndIndents, ParsedTree,
    ::testing::Values(TreeCase{"ImageWithPrefix", "<img src=idx:3>", "{img=3}"},
                    TreeCase{"ImageWithoutPrefix", "<img src=3>", "{img=3}"},
                    TreeCase{"ImageWithoutSource", "<img>", "{}"},
                    TreeCase{"ImageThatIsNoNumber", "<img src=IDX:x>", "{}"},
                    TreeCase{"OnlyTheFirstSourceCounts", "<img alt=1 src=2 src=5>", "{img=2}"},
                    TreeCase{"Indent", "a<ind x=120>b", R"("a" {text="\t" ind=120} "b")"},
                    TreeCase{"NegativeIndent", "<ind x=-5>", R"({text="\t" ind=-5})"},
                    TreeCase{"IndentThatIsNoNumber", "<ind x=abc>", R"({text="\t" ind=-1})"},
                    TreeCase{"IndentWithoutPosition", "<ind>", "{}"}),
    velmora::testing::CaseName());

TEST(HtmlParser, LinkTakesTheColoursPushedBeforeTheParse) {
    auto parser = ParserWithBaseFont();
    parser->SetLinkColor(0xFF0000);
    parser->SetLinkHoverColor(0x00FF00);
    parser->SetLinkHover(true);
    parser->Parse("<b><a href=x>t</a></b>");
    const THtmlNode* link = parser->Root().Children().at(0)->Children().at(0).get();
    EXPECT_EQ(link->FontData.Color, 0xFF0000u);
    EXPECT_EQ(link->FontData.HoverColor, 0x00FF00u);
    EXPECT_EQ(link->FontData.Style, TFontStyles(fsBold));  // no underline while hovering is on
    EXPECT_EQ(link->FontData.HoverStyle, TFontStyles());   // the label never asks for underline on hover

    parser->SetLinkHover(false);
    EXPECT_EQ(parser->Root().Children().at(0)->Children().at(0).get(), link) << "pushing colours leaves the tree alone";
    parser->Parse("<b><a href=x>t</a></b>");
    link = parser->Root().Children().at(0)->Children().at(0).get();
    EXPECT_EQ(link->FontData.Style, fsBold | fsUnderline);
    EXPECT_EQ(link->FontData.HoverStyle, fsBold | fsUnderline);
    EXPECT_EQ(link->FontData.HoverColor, 0xFF0000u);  // hovering changes nothing
}

TEST(HtmlParser, HoverColourFollowsEveryColourAttribute) {
    auto parser = TTwHtmlLabel::CreateParser();
    parser->SetFont({QStringLiteral("Base Face"), 10, 0x123456, {}});
    parser->Parse("<font color=red>a</font><font size=3>b</font><font color=255>c</font>");
    const auto& children = parser->Root().Children();
    EXPECT_EQ(children.at(0)->FontData.Color, 0x123456u);
    EXPECT_EQ(children.at(0)->FontData.HoverColor, 0x123456u) << "even when the colour could not be read";
    EXPECT_EQ(children.at(1)->FontData.HoverColor, 0u) << "a new node's hover colour is zero";
    EXPECT_EQ(children.at(2)->FontData.HoverColor, 0xFFu);
    EXPECT_EQ(children.at(2)->Children().at(0)->FontData.HoverColor, 0u) << "text copies name, colour, size and style only";
}

TEST(HtmlParser, ParsingAgainReplacesTheTree) {
    auto parser = ParserWithBaseFont();
    parser->Parse("<b>one</b> two");
    parser->Parse("three");
    EXPECT_EQ(DumpTree(*parser), R"("three")");
    parser->Parse("");
    EXPECT_TRUE(parser->Root().Children().empty());
}

TEST(HtmlParser, DeepNestingNeedsNoDeepStack) {
    auto parser = ParserWithBaseFont();
    parser->Parse(QStringLiteral("<b>").repeated(200000) + "x");
    const THtmlNode* node = &parser->Root();
    int depth = 0;
    while (!node->Children().empty()) {
        node = node->Children().front().get();
        ++depth;
    }
    EXPECT_EQ(depth, 200001);
    parser->Parse("");  // tears the chain down without recursion
}

struct AttributeCase {
    std::string name;
    friend void PrintTo(const AttributeCase& row, std::ostream* out) { *out << row.name; }
    QString text;
    QList<THtmlAttribute> attributes;
};

class ParsedAttributes : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(ParsedAttributes, Are) { EXPECT_EQ(THtmlTag::ParseAttributes(GetParam().text), GetParam().attributes); }

INSTANTIATE_TEST_SUITE_P(
    HtmlTag, ParsedAttributes,
    ::testing::Values(AttributeCase{"Empty", "", {}},
                    AttributeCase{"SpacesTabsAndLineBreaksSeparate", "  a=1 \tb=2\r\nc=3 ", {{"a", "1"}, {"b", "2"}, {"c", "3"}}},
                    AttributeCase{"QuotesKeepSpaces", R"(a="x y" b='p q')", {{"a", "x y"}, {"b", "'p q'"}}},
                    AttributeCase{"NoEqualsSign", "flag", {{"", ""}}},
                    AttributeCase{"SecondEqualsSignIsValue", "a==b", {{"a", "=b"}}},
                    AttributeCase{"DoubledQuote", R"(a="x""y")", {{"a", R"(x"y)"}}},
                    AttributeCase{"UnclosedQuoteRunsToTheEnd", R"(a="open b=2)", {{"a", R"("open b=2)"}}}),
    velmora::testing::CaseName());

struct IntegerCase {
    std::string name;
    friend void PrintTo(const IntegerCase& row, std::ostream* out) { *out << row.name; }
    QString text;
    std::optional<std::int32_t> value;
};

class MarkupInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(MarkupInteger, Reads) { EXPECT_EQ(MarkupToInt(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(HtmlTag, MarkupInteger,
                         ::testing::Values(IntegerCase{"Zero", "0", 0}, IntegerCase{"Negative", "-5", -5}, IntegerCase{"Plus", "+7", 7},
                                         IntegerCase{"Dollar", "$FF", 255}, IntegerCase{"ZeroX", "0x1f", 31},
                                         IntegerCase{"UpperZeroX", "0XFF", 255}, IntegerCase{"NegativeHex", "-$10", -16},
                                         IntegerCase{"AllBitsHex", "$FFFFFFFF", -1}, IntegerCase{"Largest", "2147483647", 2147483647},
                                         IntegerCase{"Smallest", "-2147483648", INT32_MIN},
                                         IntegerCase{"TooLarge", "2147483648", std::nullopt},
                                         IntegerCase{"TooLargeHex", "$100000000", std::nullopt},
                                         IntegerCase{"TrailingLetter", "12a", std::nullopt},
                                         IntegerCase{"Empty", "", std::nullopt}, IntegerCase{"BareDollar", "$", std::nullopt},
                                         IntegerCase{"LeadingSpace", " 1", std::nullopt}),
                         velmora::testing::CaseName());

}  // namespace
}  // namespace velmora::tw
