// Terminal columns without the locale: the edges of the wide and zero-width
// ranges, and surrogate pairs, which a count of UTF-16 units gets wrong.
#include "cli/display_width.h"

#include <gtest/gtest.h>

#include <string>

#include "support/case_name.h"

namespace velmora::cli {
namespace {

struct WidthCase {
    std::string name;
    std::u16string text;
    size_t width;
};

class DisplayWidthTest : public ::testing::TestWithParam<WidthCase> {};

TEST_P(DisplayWidthTest, CountsTerminalColumns) { EXPECT_EQ(DisplayWidth(GetParam().text), GetParam().width); }

INSTANTIATE_TEST_SUITE_P(Cases, DisplayWidthTest, ::testing::Values(
    WidthCase{"Ascii", u"Title", 5},
    WidthCase{"OfficeNameWithChinese", u"PowerPoint \u6F14\u793A\u6587\u7A3F", 19},
    WidthCase{"KanaAndHangulSyllables", u"\u3042\uAC00\uD7A3", 6},
    WidthCase{"IdeographicSpaceIsWideButNotTheHalfSpaceAfterIt", u"\u3000\u303F", 3},
    WidthCase{"FullwidthLettersButHalfwidthKatakana", u"\uFF21\uFF60\uFF61\uFF71", 6},
    WidthCase{"CombiningAccent", u"e\u0301", 1},
    WidthCase{"EnclosingKeycap", u"1\u20E3", 1},
    WidthCase{"ZeroWidthSpaceJoinerAndByteOrderMark", u"a\u200B\u200D\uFEFFb", 2},
    WidthCase{"HangulJamoJoinIntoOneSyllable", u"\u1100\u1161\u11A8", 2},
    WidthCase{"ControlCharacters", u"\t\u0085", 0},
    WidthCase{"SoftHyphenShows", u"\u00AD", 1},
    WidthCase{"EmojiAsSurrogatePairs", u"\U0001F600\U0001F9D0", 4},
    WidthCase{"SupplementaryIdeographs", u"\U00020000\U0003FFFD", 4},
    WidthCase{"SupplementaryCombiningMark", u"a\U0001D167", 1},
    WidthCase{"LoneSurrogatesShowAsOneSignEach", std::u16string{u'\xDC80', u'x', u'\xD83D'}, 3}),
    testing::CaseName());

struct FitCase {
    std::string name;
    std::u16string text;
    size_t columns;
    size_t length;  // UTF-16 units kept
};

class FittingLengthTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittingLengthTest, KeepsWholeCharacters) { EXPECT_EQ(FittingLength(GetParam().text, GetParam().columns), GetParam().length); }

INSTANTIATE_TEST_SUITE_P(Cases, FittingLengthTest, ::testing::Values(
    FitCase{"AsciiCutAtTheLimit", u"abcdef", 4, 4},
    FitCase{"EverythingFits", u"abc", 10, 3},
    FitCase{"WideCharacterThatWouldStraddleTheLimitIsLeftOut", u"\u6F14\u793A\u6587", 5, 2},
    FitCase{"SurrogatePairIsNeverHalved", u"a\U0001F600b", 2, 1},
    FitCase{"SurrogatePairKeptWhole", u"a\U0001F600b", 3, 3},
    FitCase{"MarksStayWithTheirLetter", u"e\u0301\u0302x", 1, 3},
    FitCase{"NothingFitsInNoColumns", u"ab", 0, 0}),
    testing::CaseName());

}  // namespace
}  // namespace velmora::cli
