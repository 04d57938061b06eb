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

INSTANTIATE_TEST_SUITE_P(Cases, Utf8ToWideTest, ::testing::Values(
    Utf8Case{"Empty", u"", ""},
    Utf8Case{"TwoBytes", u"\u00e9", "\xC3\xA9"},
    Utf8Case{"FourBytesToPair", u"\U00020BB7", "\xF0\xA0\xAE\xB7"},
    Utf8Case{"CesuHalvesStayHalves", std::u16string{u'\xD83D', u'\xDE00'}, "\xED\xA0\xBD\xED\xB8\x80"},
    // Windows-1252 "école": the lead byte E9 swallows 63 6F as continuation bytes.
    Utf8Case{"LatinOneTakenAsUtf8", u"\u88AFle", "\xE9" "cole"},
    Utf8Case{"StrayContinuationPassesThrough", u"\u0080a", "\x80" "a"},
    Utf8Case{"CutSequenceBecomesReplacement", u"ab\uFFFD", "ab\xE9" "c"},
    Utf8Case{"CutAtVeryEnd", u"\uFFFD", "\xF0"},
    Utf8Case{"FiveByteFormKeptTo16Bits", std::u16string{u'\xDFC0', u'\xDC00'}, "\xF8\x88\x80\x80\x80"}),
    testing::CaseName());

TEST(TextConversions, RoundTripKeepsEveryCodeUnit) {
    const std::u16string samples[] = {
        u"Caf\u00e9 cr\u00e8me \u2013 r\u00e9sum\u00e9", u"\u5e74\u5ea6\u5831\u544a \U0001F4CA 2021",
        std::u16string{u'a', u'\xD800', u'b', u'\xDFFF'}, std::u16string(1, u'\xFFFF')};
    for (const auto& text : samples) EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
}

}  // namespace
}  // namespace velmora::engine
