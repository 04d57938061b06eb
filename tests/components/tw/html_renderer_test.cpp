#include "components/tw/html_renderer.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "components/tw/html_label.h"
#include "components/tw/html_parser.h"
#include "qt_printers.h"
#include "support/case_name.h"

namespace velmora::tw {
namespace {

const TTwFont kTextFont{QStringLiteral("DejaVu Sans"), 10, 0x000000, {}};

// One parser and one renderer over its tree, measured against DejaVu Sans
// (every machine here has it) through QFontMetrics, never through constants.
class HtmlLayout : public ::testing::Test {
protected:
    HtmlLayout() {
        parser_->SetFont(kTextFont);
        renderer_.SetRoot(&parser_->Root());
        renderer_.SetWordBreak(true);
    }

    void LayOut(const QString& markup, int width, int height = 400) {
        parser_->Parse(markup);
        renderer_.SetHovered(nullptr);
        renderer_.Layout(QRect(0, 0, width, height));
    }

    static QFontMetrics Metrics() { return QFontMetrics(ToQFont(kTextFont)); }
    static int Advance(const QString& text) { return Metrics().horizontalAdvance(text); }
    static int LineHeight() { return Metrics().height(); }

    const THtmlRenderChunk& ChunkWithText(const QString& text) const {
        for (const THtmlRenderChunk& chunk : renderer_.Chunks()) {
            if (chunk.Text == text) return chunk;
        }
        ADD_FAILURE() << "no chunk " << text.toStdString();
        static const THtmlRenderChunk none;
        return none;
    }

    QStringList ChunkTexts() const {
        QStringList texts;
        for (const THtmlRenderChunk& chunk : renderer_.Chunks()) texts << chunk.Text;
        return texts;
    }

    QImage Painted(int width, int height) const {
        QImage image(width, height, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        renderer_.Paint(painter, QRect(0, 0, width, height), QPalette());
        return image;
    }

    std::unique_ptr<THtmlParser> parser_ = TTwHtmlLabel::CreateParser();
    THtmlRenderer renderer_;
};

bool HasPixel(const QImage& image, const std::function<bool(QColor)>& wanted, QRect area = {}) {
    if (area.isNull()) area = image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (wanted(image.pixelColor(x, y))) return true;
        }
    }
    return false;
}

bool IsInk(QColor color) { return color.lightness() < 200; }

TEST_F(HtmlLayout, OneLineIsTheLineHeightPlusTwoHigh) {
    LayOut("Hello world", 1000);
    EXPECT_EQ(ChunkTexts(), (QStringList{"Hello ", "world"}));
    EXPECT_EQ(ChunkWithText("world").X, Advance("Hello "));
    EXPECT_EQ(renderer_.Height(), LineHeight() + 2);
    EXPECT_EQ(renderer_.MaxWidth(), Advance("Hello ") + Advance("world"));
}

TEST_F(HtmlLayout, TooWideFirstWordStaysOnTheFirstLineAndIsClipped) {
    const QString word = "Supercalifragilistic";
    ASSERT_GT(Advance(word), 100);
    LayOut(word + " next", 100);
    const THtmlRenderChunk& first = ChunkWithText(word + " ");
    const THtmlRenderChunk& second = ChunkWithText("next");
    EXPECT_EQ(first.X, 0);
    EXPECT_EQ(first.Y, 0);
    EXPECT_EQ(second.X, 0);
    EXPECT_EQ(second.Y, LineHeight());
    EXPECT_EQ(renderer_.Height(), 2 * LineHeight() + 2);

    // Painted into a wider surface, nothing of the first line passes the
    // layout's right edge.
    QImage image(300, 2 * LineHeight(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer_.Paint(painter, QRect(0, 0, 100, image.height()), QPalette());
    painter.end();
    EXPECT_TRUE(HasPixel(image, IsInk, QRect(0, 0, 100, LineHeight())));
    EXPECT_FALSE(HasPixel(image, IsInk, QRect(100, 0, 200, LineHeight())));
}

TEST_F(HtmlLayout, TrailingSpaceCountsWhenDecidingWhetherARunFits) {
    const int fits = Advance("ab ") + Advance("cd ");
    LayOut("ab cd ", fits);
    EXPECT_EQ(ChunkWithText("cd ").Y, 0);
    LayOut("ab cd ", fits - 1);
    EXPECT_EQ(ChunkWithText("cd ").Y, LineHeight());
    EXPECT_EQ(ChunkWithText("cd ").X, 0);
}

TEST_F(HtmlLayout, TwoLineBreaksLeaveOneEmptyLine) {
    LayOut("one<br><br>three", 1000);
    EXPECT_EQ(ChunkWithText("three").Y - ChunkWithText("one").Y, 2 * LineHeight());
    EXPECT_EQ(ChunkWithText("three").X, 0);
    EXPECT_EQ(renderer_.Height(), 3 * LineHeight() + 2);
}

TEST_F(HtmlLayout, CarriageReturnsAndLineFeedsInText) {
    LayOut("a\r\nb", 1000);
    EXPECT_EQ(ChunkTexts(), (QStringList{"a", "b"}));
    EXPECT_EQ(ChunkWithText("b").Y, LineHeight()) << "a line break written in the text ends the line";

    LayOut("a\rbc d", 1000);
    EXPECT_EQ(ChunkTexts(), (QStringList{"a", "d"})) << "a carriage return swallows the token after it";

    LayOut("a\nb", 1000);
    EXPECT_EQ(ChunkTexts(), (QStringList{"a\n", "b"})) << "a lone line feed is text";
    EXPECT_EQ(ChunkWithText("b").Y, 0);
}

TEST_F(HtmlLayout, IndentJumpsToAnAbsolutePositionEvenBackwards) {
    ASSERT_GT(Advance("abcdefghij"), 10);
    LayOut("abcdefghij<ind x=10>x", 1000);
    const auto& chunks = renderer_.Chunks();
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[1].Text, "");
    EXPECT_EQ(chunks[1].X, 10);
    EXPECT_EQ(chunks[1].Width, 0);
    EXPECT_EQ(chunks[2].X, 10);

    renderer_.SetWordBreak(false);
    LayOut("<ind x=2147483647>x", 1000);
    EXPECT_EQ(ChunkWithText("x").X, QWIDGETSIZE_MAX) << "no farther than the widest widget, so positions cannot overflow";
    EXPECT_EQ(renderer_.MaxWidth(), QWIDGETSIZE_MAX + Advance("x"));

    LayOut("<ind x=-5>x", 1000);
    EXPECT_EQ(ChunkWithText(" ").Width, Advance(" ")) << "without a position the tab is text, measured as drawn";
}

TEST_F(HtmlLayout, ImageChunksTakeTheListsSizeAndPadding) {
    LayOut("a<img src=0>b", 1000);
    ASSERT_EQ(renderer_.Chunks().size(), 3u);
    EXPECT_EQ(renderer_.Chunks()[1].Width, 0) << "without an image list a picture takes no room";

    TTwImageList images(16, 16);
    images.Add(QPixmap(16, 16));
    renderer_.SetImages(&images);
    renderer_.SetImagePadding(2);
    for (const QString& markup : {QString("a<img src=0>b"), QString("a<img src=7>b")}) {
        SCOPED_TRACE(markup.toStdString());
        LayOut(markup, 1000);
        const THtmlRenderChunk& picture = renderer_.Chunks().at(1);
        EXPECT_EQ(picture.X, Advance("a"));
        EXPECT_EQ(picture.Width, 16);
        EXPECT_EQ(picture.Height, 18);
        EXPECT_EQ(renderer_.Chunks().at(2).X, Advance("a") + 16);
    }
}

TEST_F(HtmlLayout, AutoWidthNeverWrapsAndReportsTheWidestLine) {
    renderer_.SetAutoWidth(true);
    EXPECT_FALSE(renderer_.WordBreak());
    LayOut("one two<br>three four five", 10);
    EXPECT_EQ(ChunkWithText("five").Y, ChunkWithText("three ").Y);
    EXPECT_EQ(renderer_.MaxWidth(), Advance("three ") + Advance("four ") + Advance("five"));
    renderer_.SetWordBreak(true);
    EXPECT_FALSE(renderer_.AutoWidth());
}

TEST_F(HtmlLayout, LineWidthsSumTheRunsOfEachLine) {
    LayOut("ab<ind x=150>cd<br>e", 1000);
    TLineWidths widths{{999, 1}};
    renderer_.LineWidths(widths);
    EXPECT_EQ(widths, (TLineWidths{{0, Advance("ab") + Advance("cd")}, {LineHeight(), Advance("e")}}));
}

TEST_F(HtmlLayout, CentredAndRightAlignedRunsAreShiftedByTheirLineWidth) {
    LayOut("ab cd", 200);
    const int lineWidth = Advance("ab ") + Advance("cd");
    struct Row {
        TTwAlignment alignment;
        int firstLeft;
    };
    for (const Row row : {Row{TTwAlignment::Left, 0}, Row{TTwAlignment::Center, 100 - lineWidth / 2}, Row{TTwAlignment::Right, 200 - lineWidth}}) {
        SCOPED_TRACE(static_cast<int>(row.alignment));
        renderer_.SetAlignment(row.alignment);
        const THtmlRenderChunk* first = &renderer_.Chunks().at(0);
        const THtmlRenderChunk* second = &renderer_.Chunks().at(1);
        EXPECT_EQ(renderer_.ChunkAt(row.firstLeft, 1, 200, 100), first);
        EXPECT_EQ(renderer_.ChunkAt(row.firstLeft - 1, 1, 200, 100), nullptr);
        EXPECT_EQ(renderer_.ChunkAt(row.firstLeft + Advance("ab "), 1, 200, 100), second);
        EXPECT_EQ(renderer_.ChunkAt(row.firstLeft + lineWidth, 1, 200, 100), nullptr);
    }
}

TEST_F(HtmlLayout, PicturesArePaintedWhereTheirChunkIsAligned) {
    TTwImageList images(16, 16);
    QPixmap square(16, 16);
    square.fill(Qt::red);
    images.Add(square);
    renderer_.SetImages(&images);
    renderer_.SetAlignment(TTwAlignment::Center);
    LayOut("a<img src=idx:0>", 200);
    const int expectedLeft = 100 - (Advance("a") + 16) / 2 + Advance("a");
    const QImage image = Painted(200, 40);
    const auto isRed = [](QColor c) { return c.red() > 200 && c.green() < 50 && c.blue() < 50; };
    EXPECT_TRUE(isRed(image.pixelColor(expectedLeft, 0)));
    EXPECT_TRUE(isRed(image.pixelColor(expectedLeft + 15, 15)));
    EXPECT_FALSE(HasPixel(image, isRed, QRect(0, 0, expectedLeft, 40)));
    EXPECT_FALSE(HasPixel(image, isRed, QRect(expectedLeft + 16, 0, 200 - expectedLeft - 16, 40)));
}

TEST_F(HtmlLayout, HoveredLinkIsPaintedInItsHoverColourInEveryAlignment) {
    parser_->SetLinkColor(0xFF0000);       // blue
    parser_->SetLinkHoverColor(0x0000FF);  // red
    parser_->SetLinkHover(true);
    const auto isRed = [](QColor c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; };
    const auto isBlue = [](QColor c) { return c.blue() > 180 && c.green() < 80 && c.red() < 80; };
    for (const TTwAlignment alignment : {TTwAlignment::Left, TTwAlignment::Center, TTwAlignment::Right}) {
        SCOPED_TRACE(static_cast<int>(alignment));
        renderer_.SetAlignment(alignment);
        LayOut("plain <a href=x><b>link</b></a>", 300);
        EXPECT_TRUE(HasPixel(Painted(300, 30), isBlue));
        EXPECT_FALSE(HasPixel(Painted(300, 30), isRed));
        const THtmlNode* link = parser_->Root().Children().at(1).get();
        ASSERT_EQ(link->Link, "link:x");
        renderer_.SetHovered(link);
        EXPECT_TRUE(HasPixel(Painted(300, 30), isRed));
        EXPECT_FALSE(HasPixel(Painted(300, 30), isBlue));
    }
}

TEST_F(HtmlLayout, LineWidthsAndAlignedHitsFollowANewLayout) {
    renderer_.SetAlignment(TTwAlignment::Right);
    LayOut("ab", 200);
    LayOut("abcd<br>e", 200);
    TLineWidths widths;
    renderer_.LineWidths(widths);
    EXPECT_EQ(widths, (TLineWidths{{0, Advance("abcd")}, {LineHeight(), Advance("e")}}));
    EXPECT_EQ(renderer_.ChunkAt(200 - Advance("abcd"), 1, 200, 100), &renderer_.Chunks().at(0));
    EXPECT_EQ(renderer_.ChunkAt(200 - Advance("abcd") - 1, 1, 200, 100), nullptr);

    renderer_.SetRoot(nullptr);
    renderer_.Layout(QRect(0, 0, 200, 100));
    renderer_.LineWidths(widths);
    EXPECT_TRUE(widths.empty()) << "no chunks, no lines";
}

TEST_F(HtmlLayout, HoverSetBeforeALayoutAppliesToItsChunksAndGoesWithTheLinkNode) {
    parser_->SetLinkColor(0xFF0000);       // blue
    parser_->SetLinkHoverColor(0x0000FF);  // red
    parser_->SetLinkHover(true);
    const auto isRed = [](QColor c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; };
    parser_->Parse("plain <a href=x>link</a>");
    renderer_.SetHovered(parser_->Root().Children().at(1).get());
    renderer_.Layout(QRect(0, 0, 300, 30));
    EXPECT_TRUE(HasPixel(Painted(300, 30), isRed));
    renderer_.SetHovered(parser_->Root().Children().at(0).get());  // not a link
    EXPECT_FALSE(HasPixel(Painted(300, 30), isRed));
    renderer_.SetHovered(nullptr);
    EXPECT_FALSE(HasPixel(Painted(300, 30), isRed));
}

TEST_F(HtmlLayout, RunsOfAlternatingNodesKeepTheirOwnColours) {
    const auto isRed = [](QColor c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; };
    LayOut("black one <font color=#FF0000>red two</font> black three <font color=#FF0000>red four</font>", 1000);
    const QImage image = Painted(1000, 30);
    const auto box = [&](const QString& text) {
        const THtmlRenderChunk& chunk = ChunkWithText(text);
        return QRect(chunk.X, chunk.Y, chunk.Width, chunk.Height);
    };
    for (const QString& text : QStringList{"red ", "two", "four"}) EXPECT_TRUE(HasPixel(image, isRed, box(text))) << text.toStdString();
    for (const QString& text : QStringList{"one ", "three "}) {
        EXPECT_TRUE(HasPixel(image, IsInk, box(text))) << text.toStdString();
        EXPECT_FALSE(HasPixel(image, isRed, box(text))) << text.toStdString();
    }
}

struct HoverCase {
    std::string name;
    friend void PrintTo(const HoverCase& row, std::ostream* out) { *out << row.name; }
    QString markup;
    QString pointAt;      // the run under the mouse
    QString link;         // the link found there
    QStringList hovered;  // runs painted in the hover colour
    QStringList plain;    // runs that keep their colour
};

class HoverLook : public HtmlLayout, public ::testing::WithParamInterface<HoverCase> {};

TEST_P(HoverLook, CoversEverythingInsideTheLinkUnderTheMouse) {
    parser_->SetLinkColor(0xFF0000);       // blue
    parser_->SetLinkHoverColor(0x0000FF);  // red
    parser_->SetLinkHover(true);
    const auto isRed = [](QColor c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; };
    LayOut(GetParam().markup, 1000);
    const THtmlRenderChunk& under = ChunkWithText(GetParam().pointAt);
    const THtmlNode* link = renderer_.LinkAt(under.X + 1, under.Y + 1, 1000, 400);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->Link, GetParam().link);
    EXPECT_EQ(renderer_.LinkText(), GetParam().link);
    renderer_.SetHovered(link);
    const QImage image = Painted(1000, 100);
    const auto box = [&](const QString& text) {
        const THtmlRenderChunk& chunk = ChunkWithText(text);
        return QRect(chunk.X, chunk.Y, chunk.Width, chunk.Height);
    };
    for (const QString& text : GetParam().hovered) EXPECT_TRUE(HasPixel(image, isRed, box(text))) << text.toStdString();
    for (const QString& text : GetParam().plain) EXPECT_FALSE(HasPixel(image, isRed, box(text))) << text.toStdString();
}

QString DeeplyNested(const QString& open, int depth, const QString& text) {
    QString markup;
    for (int i = 0; i < depth; ++i) markup += open;
    return markup + text;
}

INSTANTIATE_TEST_SUITE_P(
    HtmlLayout, HoverLook,
    ::testing::Values(HoverCase{"TextAfterTheLinkKeepsItsColour", "<a href=x><b>in</b></a> after", "in", "link:x", {"in"}, {"after"}},
                      // A link holds each of its runs at any depth; the
                      // nesting comes from the markup.
                      HoverCase{"DeepNestingInsideTheLink", "<a href=x>" + DeeplyNested("<b>", 20000, "deep"), "deep", "link:x",
                                {"deep"}, {}},
                      HoverCase{"DeepNestingAfterTheLink", "<a href=x>in</a>" + DeeplyNested("<b>", 20000, "deep"), "in", "link:x",
                                {"in"}, {"deep"}},
                      HoverCase{"InnerLinkIsPartOfTheHoveredOuterOne", "<a href=outer>out <a href=inner>in</a> tail</a> after", "out ",
                                "link:outer", {"out ", "in", "tail"}, {"after"}},
                      HoverCase{"HoveredInnerLinkLeavesTheOuterOne", "<a href=outer>out <a href=inner>in</a> tail</a>", "in",
                                "link:inner", {"in"}, {"out ", "tail"}}),
    velmora::testing::CaseName());

TEST_F(HtmlLayout, LinkAtWalksUpToTheEnclosingLink) {
    LayOut("<a href=target><b>bold</b></a> plain", 1000);
    const THtmlNode* link = renderer_.LinkAt(1, 1, 1000, 100);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->Link, "link:target");
    EXPECT_EQ(renderer_.LinkText(), "link:target");
    EXPECT_EQ(renderer_.LinkAt(ChunkWithText("plain").X + 1, 1, 1000, 100), nullptr);
    EXPECT_EQ(renderer_.LinkText(), "");
    EXPECT_EQ(renderer_.LinkAt(1, LineHeight() + 5, 1000, 100), nullptr) << "below the last line";
}

TEST_F(HtmlLayout, WithoutARootNothingIsLaidOutAndTheSizesStay) {
    LayOut("some text", 1000);
    const int height = renderer_.Height();
    renderer_.SetRoot(nullptr);
    renderer_.Layout(QRect(0, 0, 10, 10));
    EXPECT_TRUE(renderer_.Chunks().empty());
    EXPECT_EQ(renderer_.Height(), height);
}

TEST_F(HtmlLayout, AmpersandEndsARunSoTheMnemonicStaysInsideIt) {
    LayOut("R&D", 1000);
    EXPECT_EQ(ChunkTexts(), (QStringList{"R&", "D"}));
}

TEST_F(HtmlLayout, AmpersandsArePrefixMarksAndAreNotDrawn) {
    // Every run ends at its first ampersand, so a mark never has a letter
    // after it in its own run: nothing is underlined and, since "&&" is cut
    // into two runs, no ampersand is ever drawn. Runs keep the room that
    // layout measured for the ampersand.
    struct Piece {
        QString text;
        int x;
    };
    struct Row {
        QString markup;
        std::vector<Piece> drawn;
    };
    const Row rows[] = {
        {"R&D", {{"R", 0}, {"D", Advance("R&")}}},
        {"a&&b", {{"a", 0}, {"b", Advance("a&") + Advance("&")}}},
    };
    constexpr int kWidth = 200;
    constexpr int kHeight = 30;
    const auto drawPlain = [&](const std::vector<Piece>& pieces) {
        QImage image(kWidth, kHeight, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(ToQFont(kTextFont));
        painter.setPen(Qt::black);
        for (const Piece& piece : pieces) {
            painter.drawText(QRect(piece.x, 0, kWidth - piece.x, kHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, piece.text);
        }
        return image;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.markup.toStdString());
        LayOut(row.markup, kWidth);
        std::vector<Piece> runsAsWritten;
        for (const THtmlRenderChunk& chunk : renderer_.Chunks()) runsAsWritten.push_back({chunk.Text, chunk.X});
        const QImage painted = Painted(kWidth, kHeight);
        ASSERT_NE(drawPlain(runsAsWritten), drawPlain(row.drawn)) << "the ampersands must show when drawn as text";
        EXPECT_EQ(painted, drawPlain(row.drawn));
    }
}

struct TokenCase {
    std::string name;
    friend void PrintTo(const TokenCase& row, std::ostream* out) { *out << row.name; }
    QString text;
    QStringList tokens;
};

class Tokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(Tokens, Are) {
    QStringView rest = GetParam().text;
    QStringList tokens;
    while (!rest.isEmpty()) tokens << TakeNextToken(rest).toString();
    EXPECT_EQ(tokens, GetParam().tokens);
    EXPECT_TRUE(TakeNextToken(rest).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    HtmlRenderer, Tokens,
    ::testing::Values(TokenCase{"WordTakesItsSpace", "Hello world", {"Hello ", "world"}},
                    TokenCase{"PunctuationEndsAWord", "Hello, world", {"Hello,", " ", "world"}},
                    TokenCase{"Empty", "", {}},
                    TokenCase{"DigitsAreWordCharacters", "x1 2", {"x1 ", "2"}},
                    TokenCase{"UnicodeLetters", QString::fromUtf8("über straße"), {QString::fromUtf8("über "), QString::fromUtf8("straße")}},
                    TokenCase{"CombiningMarksStayWithTheirLetter", QString::fromUtf8("e\u0301t\u00e9 x"), {QString::fromUtf8("e\u0301t\u00e9 "), "x"}},
                    TokenCase{"VowelSignsStayInTheWord", QString::fromUtf8("नमस्ते दुनिया"), {QString::fromUtf8("नमस्ते "), QString::fromUtf8("दुनिया")}},
                    TokenCase{"SurrogatePairIsOneCharacter", QString::fromUtf8("a😀b"), {QString::fromUtf8("a😀"), "b"}},
                    TokenCase{"AmpersandEndsAToken", "R&D", {"R&", "D"}},
                    TokenCase{"CarriageReturnStartsItsOwnToken", "a\r\nb", {"a", "\r", "\n", "b"}},
                    TokenCase{"Spaces", "  ", {" ", " "}}),
    velmora::testing::CaseName());

}  // namespace
}  // namespace velmora::tw
