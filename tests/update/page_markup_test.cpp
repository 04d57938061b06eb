// The what's-new page's reduction: HTML's tokenizing rules, the allow-list
// and the bounds that keep the view's layout short.
#include "update/page_markup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include <QStringList>

#include "hostile_pages.h"
#include "support/case_name.h"
#include "update/html_tokenizer.h"

namespace velmora::update {
namespace {

// Tokens as text: "<a href=[x]>", "</a>", "text", "raw script:content".
QStringList Tokens(const QString& page) {
    QStringList tokens;
    HtmlTokenizer tokenizer(page);
    for (HtmlToken token = tokenizer.Next(); token.kind != HtmlToken::Kind::End; token = tokenizer.Next()) {
        switch (token.kind) {
            case HtmlToken::Kind::StartTag: {
                QString tag = "<" + token.name;
                for (const HtmlAttribute& attribute : token.attributes)
                    tag += " " + attribute.name + "=[" + attribute.value + "]";
                tokens << tag + ">";
                break;
            }
            case HtmlToken::Kind::EndTag: tokens << "</" + token.name + ">"; break;
            case HtmlToken::Kind::Text: tokens << token.text; break;
            case HtmlToken::Kind::RawText: tokens << "raw " + token.name + ":" + token.text; break;
            case HtmlToken::Kind::End: break;
        }
    }
    return tokens;
}

TEST(HtmlTokenizer, CutsPagesAsBrowsersDo) {
    struct Case {
        const char* name;
        QString page;
        QStringList tokens;
    };
    const Case cases[] = {
        {"attributes in every form", "<A HREF='one' Title=\"a b\" data=c checked HREF=dup =odd x=>",
         {"<a href=[one] title=[a b] data=[c] checked=[] href=[dup] =odd=[] x=[]>"}},
        {"slashes", "<br/><img src=a.png/></p attr=\"x\">", {"<br>", "<img src=[a.png/]>", "</p>"}},
        {"comments", "a<!-- <p>no</p> -->b<!---->c<!-->d<!--->e<!-- x --!>f<!-- never closed <p>",
         {"a", "b", "c", "d", "e", "f"}},
        {"declarations and bogus comments", "<!DOCTYPE html>a<?xml version=\"1.0\"?>b<![CDATA[x]]>c</ 1>d</>e",
         {"a", "b", "c", "d", "e"}},
        {"a '<' that starts no tag", "a < b <3 </", {"a < b <3 </"}},
        {"a tag the page ends in", "a<p class=\"x>", {"a"}},
        {"script ends at its own end tag only", "<script>if (a<b) x(\"</p>\")</scriptx></SCRIPT >y",
         {"<script>", "raw script:if (a<b) x(\"</p>\")</scriptx>", "</script>", "y"}},
        {"references in title, not in style", "<title>a &amp; b</title><style>&amp;</style>",
         {"<title>", "raw title:a & b", "</title>", "<style>", "raw style:&amp;", "</style>"}},
        {"plaintext runs to the end", "<plaintext><p>all</p>", {"<plaintext>", "raw plaintext:<p>all</p>"}},
        {"raw text the page ends in", "<style>p{}", {"<style>", "raw style:p{}"}},
        {"empty raw text", "<script></script>x", {"<script>", "</script>", "x"}},
        {"line ends and NUL", QString("a\r\nb\rc") + QChar(0) + "d", {"a\nb\ncd"}},
    };
    for (const Case& test : cases) EXPECT_EQ(Tokens(test.page), test.tokens) << test.name;
}

TEST(HtmlTokenizer, DecodesCharacterReferences) {
    const std::pair<const char*, const char16_t*> inText[] = {
        {"&amp;&lt;&gt;&quot;&apos;&AMP;", u"&<>\"'&"},
        {"&hellip;&eacute;&nbsp;", u"\u2026\u00E9\u00A0"},
        {"&copy 2024 &copy2024", u"\u00A9 2024 \u00A92024"},  // old names need no ';'
        {"&notin; &notit;", u"\u2209 \u00ACit;"},             // the longest name that fits
        {"&NotNestedGreaterGreater;&CounterClockwiseContourIntegral;", u"\u2AA2\u0338\u2233"},
        {"&bogus; & &; &#; &#x;", u"&bogus; & &; &#; &#x;"},
        {"&#65;&#x41;&#X41&#65", u"AAAA"},
        {"&#0;&#xD800;&#x110000;&#99999999999999999999;", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"&#128;&#x9F;&#x81;", u"\u20AC\u0178\u0081"},  // Windows-1252's, where it has one
        {"&#x1F600;", u"\U0001F600"},
    };
    for (const auto& [written, decoded] : inText)
        EXPECT_EQ(Tokens(written), QStringList{QString::fromUtf16(decoded)}) << written;
    // In an attribute an old name followed by '=' or a letter stays as written.
    EXPECT_EQ(Tokens("<a href=\"?a=1&copy=2&amp;b=&lt;\" t=&copy;x u=\"&copyx\" v=&copy.>"),
              QStringList{QString::fromUtf16(u"<a href=[?a=1&copy=2&b=<] t=[\u00A9x] u=[&copyx] v=[\u00A9.]>")});
}

TEST(HtmlTokenizer, TheFirstAttributeOfANameCounts) {
    HtmlTokenizer tokenizer(u"<a href=first HREF=second>");
    EXPECT_EQ(tokenizer.Next().Attribute(u"href"), "first");
}

// What a reduced page holds, read back with the tokenizer: the page view's
// own HTML reader must be given nothing else.
struct Reading {
    int elements = 0;
    int deepest = 0;
    int cells = 0;
    int tablesInTables = 0;
    int textLength = 0;
    bool balanced = true;
    QStringList strays;  // tags and attributes off the allow-list
    QString text;        // a line end for each block's start and end and each line break
};

Reading Read(const QString& reduced) {
    static const QStringList kInline = {"em", "strong", "b", "i", "a"};
    static const QStringList kBlocks = {"p",  "h1", "h2", "h3", "h4",    "h5", "h6",
                                        "ul", "ol", "li", "table", "tr", "td", "th"};
    Reading reading;
    QStringList open;
    HtmlTokenizer tokenizer(reduced);
    for (HtmlToken token = tokenizer.Next(); token.kind != HtmlToken::Kind::End; token = tokenizer.Next()) {
        if (token.kind == HtmlToken::Kind::Text || token.kind == HtmlToken::Kind::RawText) {
            reading.text += token.text;
            for (QChar c : token.text) reading.textLength += c.isLowSurrogate() ? 0 : 1;
            continue;
        }
        const bool inlineTag = kInline.contains(token.name);
        if (!inlineTag && token.name != "br" && !kBlocks.contains(token.name)) reading.strays << token.name;
        if (!inlineTag) reading.text += "\n";
        if (token.kind == HtmlToken::Kind::EndTag) {
            if (open.isEmpty() || open.takeLast() != token.name) reading.balanced = false;
            continue;
        }
        ++reading.elements;
        if (token.name == "table" && open.contains("table")) ++reading.tablesInTables;
        if (token.name == "td" || token.name == "th") ++reading.cells;
        for (const HtmlAttribute& attribute : token.attributes) {
            const bool link = token.name == "a" && attribute.name == "href" &&
                              (attribute.value.startsWith("http://") || attribute.value.startsWith("https://"));
            const bool tableLook = token.name == "table" &&
                                   QStringList{"border", "cellspacing", "cellpadding"}.contains(attribute.name);
            if (!link && !tableLook) reading.strays << token.name + " " + attribute.name;
        }
        if (token.name == "a" && token.Attribute(u"href").isNull()) reading.strays << "a without href";
        if (token.name != "br") {
            open << token.name;
            reading.deepest = std::max(reading.deepest, int(open.size()));
        }
    }
    reading.balanced = reading.balanced && open.isEmpty();
    return reading;
}

void ExpectWithinTheBounds(const Reading& reading) {
    EXPECT_TRUE(reading.balanced);
    EXPECT_LE(reading.deepest, kPageNestingMax);
    EXPECT_LE(reading.elements, kPageElementsMax);
    EXPECT_LE(reading.cells, kPageTableCellsMax);
    EXPECT_LE(reading.textLength, kPageTextMax + 1);  // the closing '…'
    EXPECT_EQ(reading.tablesInTables, 0);
    EXPECT_EQ(reading.strays, QStringList());
}

const QUrl kPageAddress("https://updates.example/whatsnew/page.asp");

QString Reduce(const QString& page) { return ReducePageMarkup(page, kPageAddress); }

// `texts` appear in `text` in this order.
void ExpectInOrder(const QString& text, const std::vector<QString>& texts) {
    qsizetype from = 0;
    for (const QString& expected : texts) {
        const qsizetype at = text.indexOf(expected, from);
        EXPECT_GE(at, 0) << expected.left(80).toStdString() << " not after " << from;
        if (at >= 0) from = at + expected.size();
    }
}

struct ReductionCase {
    std::string name;
    QString page;
    QString reduced;
};

void PrintTo(const ReductionCase& test, std::ostream* out) { *out << test.name; }

class PageReduction : public ::testing::TestWithParam<ReductionCase> {};

TEST_P(PageReduction, GivesTheAllowedMarkup) { EXPECT_EQ(Reduce(GetParam().page), GetParam().reduced); }

const QString kTable = R"~(<table border="1" cellspacing="0" cellpadding="3">)~";

INSTANTIATE_TEST_SUITE_P(
    Cases, PageReduction,
    ::testing::Values(
        ReductionCase{"AllowedTagsLoseTheirAttributes",
                      R"~(<P CLASS="x" style="color:red">a</P><h2 onclick="x()">b</h2><ul type=square><li value=3>c</ul>)~"
                      R"~(<ol start=4><li>d</ol><em>e</em> <strong>f</strong> <b>g</b> <i>h</i><br clear=all>y)~",
                      "<p>a</p><h2>b</h2><ul><li>c</li></ul><ol><li>d</li></ol>"
                      "<em>e</em> <strong>f</strong> <b>g</b> <i>h</i><br>y"},
        ReductionCase{"AllHeadings", "<h1>1</h1><h2>2</h2><h3>3</h3><h4>4</h4><h5>5</h5><h6>6</h6>",
                      "<h1>1</h1><h2>2</h2><h3>3</h3><h4>4</h4><h5>5</h5><h6>6</h6>"},
        ReductionCase{"OtherElementsBecomeTheirText",
                      "<span class=x>a</span><font color=red>b</font><u>c</u><code>d</code><body><html>e", "abcde"},
        ReductionCase{"DroppedBlocksKeepTheirLines", "<div>a</div><div>b<blockquote>c</blockquote></div><hr>d",
                      "a<br>b<br>c<br>d"},
        ReductionCase{"ScriptStyleTitleAndCommentsVanish",
                      "<head><title>T</title><style>p{}</style></head><script>document.write(\"<p>x</p>\")</script>"
                      "<!-- <p>c</p> -->shown<noscript> too</noscript><iframe>frame</iframe>",
                      "shown too"},
        ReductionCase{"EntitiesAreDecodedAndTextEscapedAgain", "<p>&lt;b&gt; &amp;amp; &copy; &quot;</p>",
                      QString::fromUtf16(u"<p>&lt;b&gt; &amp;amp; \u00A9 \"</p>")},
        ReductionCase{"WhitespaceFolds", "<p>  a \n\t b  </p>\n\n<p>c</p>", "<p>a b</p><p>c</p>"},
        ReductionCase{"PreKeepsItsLines", "<pre>\nfirst\n\nthird</pre>after", "first<br><br>third<br>after"},
        ReductionCase{"PicturesLeaveTheirAlternativeText",
                      R"~(<p>logo: <img src="file:///etc/passwd" alt="Ternwick"></p><img src=x.png>)~",
                      "<p>logo: Ternwick</p>"},
        ReductionCase{"ImpliedEnds", "<p>one<p>two<ul><li>a<li>b</ul><h1>x<h2>y</h3>z",
                      "<p>one</p><p>two</p><ul><li>a</li><li>b</li></ul><h1>x</h1><h2>y</h2>z"},
        ReductionCase{"MisnestedEmphasis", "<b>bold<i>both</b>after</i>", "<b>bold<i>both</i></b>after"},
        ReductionCase{"EndTagsWithoutStart", "</p></li></ul></b></table></td></tr>text", "text"},
        ReductionCase{"ItemsOutsideAListAreLines", "<li>a<li>b", "a<br>b"},
        ReductionCase{"TextBetweenCellsGetsACell", "<table>stray<tr>row<td>cell</table>",
                      kTable + "<tr><td>stray</td></tr><tr><td>row</td><td>cell</td></tr></table>"},
        ReductionCase{"CellsWithoutARow", "<table><td>a<th>b</table>",
                      kTable + "<tr><td>a</td><th>b</th></tr></table>"},
        ReductionCase{"RowsAndCellsOutsideATable", "<tr><td>a</td><td>b</td></tr><tr><td>c", "a b<br>c"},
        ReductionCase{"ATableInATableIsFlattened",
                      "<table><tr><td>A<table><tr><td>B1</td><td>B2</td></tr><tr><td>B3</td></tr></table>C</td>"
                      "<td>D</td></tr></table>after",
                      kTable + "<tr><td>A<br>B1 B2<br>B3<br>C</td><td>D</td></tr></table>after"},
        ReductionCase{"ATableInAListInATableIsFlattened",
                      "<table><tr><td><ul><li><table><tr><td>inner</td></tr></table></li></ul></td></tr></table>",
                      kTable + "<tr><td><ul><li>inner</li></ul></td></tr></table>"},
        ReductionCase{"HttpLink", R"~(<a href="http://a.example/x">h</a>)~", R"~(<a href="http://a.example/x">h</a>)~"},
        ReductionCase{"HttpsLinkInCapitals", R"~(<A HREF="HTTPS://A.example/x">s</A>)~",
                      R"~(<a href="https://a.example/x">s</a>)~"},
        ReductionCase{"RelativeLinkResolvedAgainstThePage", R"~(<a href="../notes.html#top">r</a>)~",
                      R"~(<a href="https://updates.example/notes.html#top">r</a>)~"},
        ReductionCase{"SchemeRelativeLink", R"~(<a href=" //cdn.example/x ">p</a>)~",
                      R"~(<a href="https://cdn.example/x">p</a>)~"},
        ReductionCase{"ScriptLinkIsText", R"~(<a href="javascript:alert(1)">j</a>)~", "j"},
        ReductionCase{"ScriptLinkBehindATabIsText", R"~(<a href=" java&#x09;script:alert(1)">t</a>)~", "t"},
        ReductionCase{"FileLinkIsText", R"~(<a href="file:///etc/passwd">f</a>)~", "f"},
        ReductionCase{"DataLinkIsText", R"~(<a href="data:text/html,x">d</a>)~", "d"},
        ReductionCase{"MailLinkIsText", R"~(<a href="mailto:x@example.com">m</a>)~", "m"},
        ReductionCase{"AnchorWithoutHrefIsText", R"~(<a name="top">n</a>)~", "n"},
        ReductionCase{"OnlyTheLinksAddressSurvives",
                      R"~(<a href="https://a.example/" onclick="steal()" style="x" target=_blank>x</a>)~",
                      R"~(<a href="https://a.example/">x</a>)~"},
        ReductionCase{"QuotesInALinkStayInside", R"~(<a href='https://a.example/?q="x"&amp;y=<1>'>q</a>)~",
                      R"~(<a href="https://a.example/?q=%22x%22&amp;y=%3C1%3E">q</a>)~"},
        ReductionCase{"ALinkEndsTheLinkBefore", R"~(<a href="/a">one <a href="/b">two</a>)~",
                      R"~(<a href="https://updates.example/a">one</a> <a href="https://updates.example/b">two</a>)~"}),
    velmora::testing::CaseName());

TEST(ReducePageMarkup, NothingOpensBelowTheNestingBound) {
    QString lists;
    std::vector<QString> levels;
    for (int level = 0; level < 20; ++level) {
        levels.push_back(QString("level %1.").arg(level));
        lists += "<ul><li>" + levels.back();
    }
    const Reading reading = Read(Reduce(lists + "<b><i><em>deepest</em></i></b>"));
    EXPECT_EQ(reading.deepest, kPageNestingMax);
    ExpectWithinTheBounds(reading);
    levels.push_back("deepest");
    ExpectInOrder(reading.text, levels);

    EXPECT_EQ(Read(Reduce(QString("<b>").repeated(20) + "bold")).deepest, kPageNestingMax);
}

TEST(ReducePageMarkup, ATableIsKeptOnlyWithRoomForARowAndACell) {
    for (int above = 0; above <= kPageNestingMax; ++above) {
        const Reading reading = Read(Reduce(QString("<b>").repeated(above) + "<table><tr><td>cell</td></tr></table>"));
        EXPECT_EQ(reading.cells, above + 3 <= kPageNestingMax ? 1 : 0) << above;
        EXPECT_TRUE(reading.text.contains("cell")) << above;
    }
}

TEST(ReducePageMarkup, TheRestAfterTheLastElementIsAnEllipsis) {
    QString page;
    for (int i = 0; i < kPageElementsMax + 1000; ++i) page += QString("<p>#%1.").arg(i);
    const QString reduced = Reduce(page);
    const Reading reading = Read(reduced);
    EXPECT_EQ(reading.elements, kPageElementsMax);
    EXPECT_TRUE(reduced.endsWith(QChar(0x2026)));
    EXPECT_TRUE(reading.text.contains(QString("#%1.").arg(kPageElementsMax - 1)));
    EXPECT_FALSE(reading.text.contains(QString("#%1.").arg(kPageElementsMax)));
    ExpectWithinTheBounds(reading);
}

TEST(ReducePageMarkup, TheRestAfterTheLastCharacterIsAnEllipsis) {
    const QString words = QString("word ").repeated(kPageTextMax / 5 + 100);
    const QString reduced = Reduce("<p>" + words + "</p>");
    ASSERT_TRUE(reduced.endsWith(QChar(0x2026)));
    QString kept = reduced.chopped(1);
    kept.remove("<p>").remove("</p>");
    EXPECT_EQ(kept.size(), kPageTextMax);
    EXPECT_TRUE(words.startsWith(kept));
}

TEST(ReducePageMarkup, CellsPastTheLastBecomeText) {
    QString page = "<table>";
    std::vector<QString> texts;
    for (int row = 0; row < 30; ++row) {
        page += "<tr>";
        for (int column = 0; column < 30; ++column) {
            texts.push_back(QString("c%1.%2").arg(row).arg(column));
            page += "<td>" + texts.back();
        }
    }
    const Reading reading = Read(Reduce(page + "</table>after"));
    EXPECT_EQ(reading.cells, kPageTableCellsMax);
    ExpectWithinTheBounds(reading);
    texts.push_back("after");
    ExpectInOrder(reading.text, texts);
    // Once the cells are spent, a later table is text from its start.
    const Reading later = Read(Reduce(page + "</table><table><tr><td>late</table>"));
    EXPECT_EQ(later.cells, kPageTableCellsMax);
    EXPECT_TRUE(later.text.contains("late"));
}

TEST(ReducePageMarkup, LongWordsGetAPlaceToWrap) {
    const QString word(kPageWordMax * 3 + 50, u'w');
    const QString reduced = Reduce(word + " short");
    const QChar zeroWidthSpace(0x200B);
    EXPECT_EQ(reduced.count(zeroWidthSpace), 3);
    EXPECT_EQ(reduced.indexOf(zeroWidthSpace), kPageWordMax);
    EXPECT_EQ(QString(reduced).remove(zeroWidthSpace), word + " short");
    // Words end at spaces, not at tags.
    EXPECT_EQ(Reduce(QString(kPageWordMax, u'a') + "<b>b</b>").count(zeroWidthSpace), 1);
    EXPECT_EQ(Reduce(QString(kPageWordMax, u'a') + " b").count(zeroWidthSpace), 0);
}

class SampleReduction : public ::testing::TestWithParam<testing::SamplePage> {};

TEST_P(SampleReduction, KeepsItsTextWithinTheBounds) {
    const Reading reading = Read(Reduce(QString::fromStdString(GetParam().html)));
    ExpectWithinTheBounds(reading);
    std::vector<QString> texts;
    for (const std::string& text : GetParam().texts) texts.push_back(QString::fromStdString(text));
    ExpectInOrder(reading.text, texts);
}

INSTANTIATE_TEST_SUITE_P(Hostile, SampleReduction, ::testing::ValuesIn(testing::HostilePages()),
                         velmora::testing::CaseName());
INSTANTIATE_TEST_SUITE_P(Bounds, SampleReduction, ::testing::ValuesIn(testing::BoundPages()),
                         velmora::testing::CaseName());

// The pages that measure the bounds really reach them: otherwise the
// benchmark's figure would be for a lighter page than the worst.
TEST(ReducePageMarkup, TheBoundPagesReachTheirBounds) {
    std::map<std::string, Reading> readings;
    for (const testing::SamplePage& page : testing::BoundPages())
        readings[page.name] = Read(Reduce(QString::fromStdString(page.html)));
    EXPECT_EQ(readings["DeepestNesting"].deepest, kPageNestingMax);
    EXPECT_GE(readings["DeepestNesting"].elements, kPageElementsMax - kPageNestingMax);
    EXPECT_GE(readings["MostElements"].elements, kPageElementsMax - kPageNestingMax);
    EXPECT_EQ(readings["LargestTable"].cells, kPageTableCellsMax);
    EXPECT_GE(readings["LargestTable"].elements, kPageElementsMax - kPageNestingMax);
    for (const auto& [name, reading] : readings) EXPECT_GE(reading.textLength, kPageTextMax * 9 / 10) << name;
}

// Random tag soup, from a fixed seed: whatever the pieces, the page that
// comes out is balanced and within every bound.
TEST(ReducePageMarkup, TagSoupStaysWithinTheBounds) {
    const char* const pieces[] = {
        "<p>", "</p>", "<h2 class=x>", "</h2>", "<ul>", "</ul>", "<ol>", "<li>", "</li>", "<b>", "</b>", "<i>",
        "</em>", "<em>", "<strong>", "<a href='/x'>", "<a href=javascript:x>", "<a href=\"https://b.example/\">",
        "</a>", "<br>", "</br>", "<table>", "</table>", "<tr>", "</tr>", "<td>", "<th>", "</td>", "<tbody>",
        "<caption>", "<div>", "</div>", "<pre>", "</pre>", "<img alt=pic>", "<script>x<p>y</script>", "<style>s",
        "<!-- c -->", "<!--", "-->", "<title>t</title>", "&amp;", "&#x1F600;", "&", "<", ">", "\"", "text",
        " ", "\n", "word ", "<p title='", "'>", "<textarea>", "</textarea>", "<xmp>", "</xmp>",
    };
    std::mt19937 random(20240522);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
    for (int round = 0; round < 150; ++round) {
        const int count = round % 10 == 0 ? 20000 : int(random() % 2000);
        QString page;
        for (int i = 0; i < count; ++i) page += QString::fromUtf8(pieces[piece(random)]);
        SCOPED_TRACE(round);
        ExpectWithinTheBounds(Read(Reduce(page)));
    }
}

}  // namespace
}  // namespace velmora::update
