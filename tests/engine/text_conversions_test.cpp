#include "engine/text_conversions.h"

#include <gtest/gtest.h>

#include "support/case_name.h"

namespace velmora::engine {
namespace {

struct Utf8Case {
    const char* name;
    std::u16string wide;
    std::string utf8;
};

class WideToUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(WideToUtf8Test, Encodes) { EXPECT_EQ(WideToUtf8(GetParam().wide), GetParam().utf8); }

INSTANTIATE_TEST_SUITE_P(Cases, WideToUtf8Test, ::testing::Values(
    Utf8Case{"Empty", u"", ""},
    Utf8Case{"Ascii", u"Normal.dot", "Normal.dot"},
    Utf8Case{"TwoBytes", u"\u00e9", "\xC3\xA9"},
    Utf8Case{"ThreeBytes", u"\u6f14", "\xE6\xBC\x94"},
    // A pair is one code point: four bytes, not two three-byte halves.
    Utf8Case{"SurrogatePairJoined", u"\U0001F4CA", "\xF0\x9F\x93\x8A"},
    Utf8Case{"LoneHighSurrogateKept", std::u16string(1, u'\xD800'), "\xED\xA0\x80"},
    Utf8Case{"LoneLowSurrogateKept", std::u16string(1, u'\xDC00') + u"a", "\xED\xB0\x80" "a"},
    Utf8Case{"ReversedPairStaysApart", std::u16string{u'\xDC00', u'\xD800'}, "\xED\xB0\x80\xED\xA0\x80"}),
    testing::CaseName());

class Utf8ToWideTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToWideTest, Decodes) { EXPECT_EQ(Utf8ToWide(GetParam().utf8), GetParam().wide); }

const std::u16string kReplacement = u"\uFFFD";

std::u16string Replacements(size_t count) { return std::u16string(count, u'\uFFFD'); }

INSTANTIATE_TEST_SUITE_P(Cases, Utf8ToWideTest, ::testing::Values(
    Utf8Case{"Empty", u"", ""},
    Utf8Case{"TwoBytes", u"\u00e9", "\xC3\xA9"},
    Utf8Case{"FourBytesToPair", u"\U00020BB7", "\xF0\xA0\xAE\xB7"},
    Utf8Case{"SmallestThreeByte", u"\u0800", "\xE0\xA0\x80"},
    Utf8Case{"LastBeforeSurrogates", u"\uD7FF", "\xED\x9F\xBF"},
    Utf8Case{"Noncharacter", u"\uFFFF", "\xEF\xBF\xBF"},
    Utf8Case{"LargestCodePoint", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
    // Windows-1252 text: the lone E9 must not take the letters after it.
    Utf8Case{"LatinOneBeforeSpace", u"caf\uFFFD au lait", "caf\xE9 au lait"},
    Utf8Case{"LatinOneBeforeLetters", u"\uFFFDcole", "\xE9" "cole"},
    Utf8Case{"StrayContinuation", u"\uFFFDa", "\x80" "a"},
    Utf8Case{"CutSequenceKeepsTheNextByte", u"ab\uFFFDc", "ab\xE9" "c"},
    Utf8Case{"CutAtVeryEnd", kReplacement, "\xF0"},
    // A started sequence that breaks off is one replacement, however far it got.
    Utf8Case{"CutThreeByteIsOneReplacement", u"x\uFFFD", "x\xE2\x82"},
    Utf8Case{"CutFourByteIsOneReplacement", u"\uFFFDa", "\xF0\x9F\x93" "a"},
    Utf8Case{"CutBeforeAnotherLead", u"\uFFFD\u00e9", "\xE6\xBC\xC3\xA9"},
    // Bytes that can never start a valid sequence each count alone.
    Utf8Case{"OverlongTwoBytes", Replacements(2), "\xC0\xAF"},
    Utf8Case{"OverlongThreeBytes", Replacements(3), "\xE0\x80\xAF"},
    Utf8Case{"OverlongFourBytes", Replacements(4), "\xF0\x8F\xBF\xBF"},
    Utf8Case{"EncodedSurrogate", Replacements(3), "\xED\xA0\x80"},
    Utf8Case{"CesuPair", Replacements(6), "\xED\xA0\xBD\xED\xB8\x80"},
    Utf8Case{"BeyondUnicode", Replacements(4), "\xF4\x90\x80\x80"},
    Utf8Case{"LeadF5", Replacements(4), "\xF5\x80\x80\x80"},
    Utf8Case{"FiveByteForm", Replacements(5), "\xF8\x88\x80\x80\x80"},
    Utf8Case{"ByteFF", u"a\uFFFDb", "a\xFF" "b"}),
    testing::CaseName());

TEST(TextConversions, RoundTripKeepsValidText) {
    const std::u16string samples[] = {
        u"Caf\u00e9 cr\u00e8me \u2013 r\u00e9sum\u00e9", u"\u5e74\u5ea6\u5831\u544a \U0001F4CA 2021",
        std::u16string(1, u'\xFFFF'), u"\U0010FFFF\U00010000\uE000\uD7FF"};
    for (const auto& text : samples) EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
}

TEST(TextConversions, LoneSurrogateDoesNotSurviveTheRoundTrip) {
    // WideToUtf8 keeps its three bytes, but they are not valid UTF-8.
    EXPECT_EQ(Utf8ToWide(WideToUtf8(std::u16string{u'a', u'\xD800', u'b'})), u"a\uFFFD\uFFFD\uFFFDb");
}

}  // namespace
}  // namespace velmora::engine
