#include "engine/code_page_text.h"

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <optional>

namespace velmora::engine {
namespace {

struct DecodeCase {
    const char* name;
    uint16_t codePage;
    std::string stored;  // as in the property set, terminator included
    std::u16string expected;
};

class DecodeCodePageTextTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeCodePageTextTest, DecodesByTheSetsCodePage) {
    EXPECT_EQ(DecodeCodePageText(GetParam().stored, GetParam().codePage), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(CodePages, DecodeCodePageTextTest, ::testing::Values(
    DecodeCase{"Windows1252", 1252, std::string("Caf\xE9\0", 5), u"Caf\u00e9"},
    DecodeCase{"Windows1250", 1250, std::string("\xA3ukasz\0", 7), u"\u0141ukasz"},
    DecodeCase{"ShiftJis", 932, std::string("\x93\xFA\x96\x7B\0", 5), u"\u65e5\u672c"},
    DecodeCase{"MacRoman", 10000, std::string("\x8E" "cole\0", 6), u"\u00e9cole"},
    DecodeCase{"MacSimplifiedChinese", 10008, std::string("\xD1\xDD\xCA\xBE\0", 5), u"\u6f14\u793a"},
    DecodeCase{"Utf8", 65001, std::string("\xC3\xA9\0\0", 4), u"\u00e9"},
    DecodeCase{"NoCodePageMeansUtf8", 0, std::string("\xC3\xA9\0", 3), u"\u00e9"},
    DecodeCase{"Utf16BytesIn1200", 1200, std::string("E\0\xC6\0\0\0", 6), u"E\u00c6"},
    DecodeCase{"StopsAtTheFirstZero", 1252, std::string("ab\0cd\0", 6), u"ab"},
    DecodeCase{"UnknownCodePageFallsBackToUtf8", 4242, std::string("\xC3\xA9\0", 3), u"\u00e9"},
    DecodeCase{"InvalidShiftJisFallsBackToUtf8", 932, std::string("\xC3\xA9\x81\0", 4), u"\u00e9\uFFFD"},
    DecodeCase{"Empty", 1252, std::string("\0", 1), u""},
    // EBCDIC does not keep ASCII: bytes below 0x80 must still be converted.
    DecodeCase{"EbcdicBelow0x80", 500, std::string("\x41\x4B\0", 3), u"\u00a0."},
    DecodeCase{"EbcdicUsLetters", 37, std::string("\xC1\xC2\0", 3), u"AB"},
    // A 7-bit national variant puts letters where ASCII has brackets.
    DecodeCase{"GermanIso646Below0x80", 20106, std::string("[\0", 2), u"\u00c4"},
    DecodeCase{"Koi8R", 20866, std::string("\xF6\0", 2), u"\u0416"},
    DecodeCase{"MacJapaneseKeepsBackslash", 10001, std::string("C:\\\x93\xFA\0", 6), u"C:\\\u65e5"},
    DecodeCase{"Iso2022Jp", 50220, std::string("\x1B$BF|\x1B(B\0", 9), u"\u65e5"},
    DecodeCase{"AsciiInCodePageWithoutConverter", 10006, std::string("Hello\0", 6), u"Hello"}),
    testing::CaseName());

struct EncodeCase {
    const char* name;
    uint16_t codePage;
    std::u16string text;
    std::optional<std::string> expected;
};

class EncodeCodePageTextTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeCodePageTextTest, EncodesOrRefuses) {
    EXPECT_EQ(EncodeCodePageText(GetParam().text, GetParam().codePage), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(CodePages, EncodeCodePageTextTest, ::testing::Values(
    EncodeCase{"Windows1252", 1252, u"Caf\u00e9", std::string("Caf\xE9")},
    EncodeCase{"ShiftJis", 932, u"\u65e5\u672c", std::string("\x93\xFA\x96\x7B")},
    EncodeCase{"Utf8JoinsPairs", 65001, u"\U0001F4CA", std::string("\xF0\x9F\x93\x8A")},
    EncodeCase{"NoCodePageIsUtf8", 0, u"\u00e9", std::string("\xC3\xA9")},
    EncodeCase{"Utf16", 1200, u"E\u00c6", std::string("E\0\xC6\0", 4)},
    EncodeCase{"KanjiNotIn1252", 1252, u"\u65e5\u672c", std::nullopt},
    EncodeCase{"EmptyAlwaysFits", 932, u"", std::string()},
    // Plain ASCII needs no converter, as long as the code page keeps ASCII.
    EncodeCase{"AsciiIntoUnknownCodePage", 4242, u"abc", std::string("abc")},
    EncodeCase{"AsciiIntoMacGreek", 10006, u"Hello", std::string("Hello")},
    EncodeCase{"AsciiIntoMacTurkish", 10081, u"a+b~c\\", std::string("a+b~c\\")},
    EncodeCase{"NonAsciiIntoUnknownCodePage", 10006, u"\u03b1", std::nullopt},
    EncodeCase{"AsciiIntoUnknownEbcdic", 20833, u"abc", std::nullopt},
    EncodeCase{"AsciiIntoEbcdicIsConverted", 37, u"AB", std::string("\xC1\xC2")},
    EncodeCase{"Utf7ShieldsPlus", 65000, u"a+b", std::string("a+-b")},
    EncodeCase{"GermanIso646LetterForBracket", 20106, u"\u00c4", std::string("[")},
    EncodeCase{"GermanIso646HasNoBracket", 20106, u"[", std::nullopt},
    EncodeCase{"Iso2022JpShifts", 50220, u"\u65e5", std::string("\x1B$BF|\x1B(B")},
    EncodeCase{"ZeroCharacterRefused", 4242, std::u16string(u"a\0b", 3), std::nullopt}),
    testing::CaseName());

struct RoundTripCase {
    uint16_t codePage;
    std::u16string text;  // something only a working converter gets right
};

// Code pages that glibc knows under a name other than "CP<n>", and some it
// knows under that one.
const RoundTripCase kRoundTrips[] = {
    {708, u"Hello \u0627"}, {874, u"\u0e01"}, {932, u"\u6cb3\u99ac\u5c4b"}, {936, u"\u6f14"},
    {949, u"\ud55c"}, {950, u"\u81fa"}, {1250, u"\u017b\u00f3\u0142\u0107"},
    {1252, u"M\u00fcller \u2013 Gr\u00f6\u00dfe"}, {1361, u"\ud55c"},
    {10000, u"Zo\u00eb \u00c5ngstr\u00f6m"}, {10001, u"C:\\\u65e5\u672c~"}, {10002, u"\u81fa\u7063"},
    {10003, u"\ud55c\uad6d"}, {10007, u"\u0416"}, {10008, u"\u6f14\u793a\u6587\u7a3f"}, {10017, u"\u0490"},
    {10029, u"\u0141\u00f3d\u017a"}, {20106, u"\u00c4\u00f6"}, {20107, u"\u00c5\u00e4"},
    {20108, u"\u00c6\u00f8"}, {20127, u"Hello"}, {20261, u"Hello \u00e9"}, {20269, u"Hello \u00e9"},
    {20866, u"\u0416"}, {20932, u"\u65e5"}, {20936, u"\u6f14"}, {21866, u"\u0490"}, {28591, u"\u00e9"},
    {28603, u"\u0104"}, {28605, u"\u20ac"}, {38598, u"\u05d0"}, {50220, u"\u65e5"}, {50221, u"\u65e5"},
    {50222, u"\u65e5"}, {50225, u"\ud55c"}, {50227, u"\u6f14"}, {50229, u"\u81fa"}, {51932, u"\u65e5"},
    {51936, u"\u6f14"}, {51949, u"\ud55c"}, {54936, u"\U0001F4CA"}, {65000, u"a+\u00e9"},
    // EBCDIC never takes the ASCII shortcut, so plain letters test the converter.
    {37, u"Hello"}, {500, u"Hello"}, {870, u"Hello"}, {875, u"Hello"}, {1026, u"Hello"}, {1047, u"Hello"},
    {1140, u"Hello"}, {1149, u"Hello"}, {20273, u"Hello"}, {20277, u"Hello"}, {20278, u"Hello"},
    {20280, u"Hello"}, {20284, u"Hello"}, {20285, u"Hello"}, {20290, u"HELLO"}, {20297, u"Hello"},
    {20420, u"Hello"}, {20423, u"Hello"}, {20424, u"Hello"}, {20871, u"Hello"}, {20880, u"Hello"},
    {20905, u"Hello"}, {21025, u"Hello"}, {50930, u"Hello"}, {50933, u"Hello"}, {50935, u"Hello"},
    {50937, u"Hello"}, {50939, u"Hello"},
};

TEST(CodePageText, EveryConvertedCodePageRoundTrips) {
    for (const auto& [codePage, text] : kRoundTrips) {
        SCOPED_TRACE(codePage);
        auto encoded = EncodeCodePageText(text, codePage);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_EQ(DecodeCodePageText(*encoded + '\0', codePage), text);
    }
}

TEST(CodePageText, AsciiIsWrittenAsIsExactlyWhereItIsReadAsIs) {
    const std::u16string ascii = u"Report (draft) #2: C:\\Docs\\a+b~c [v1] {x} @ $5 ^_^ |`'\"";
    const std::string bytes(ascii.begin(), ascii.end());
    for (uint16_t codePage : {1252, 874, 932, 10000, 10001, 10006, 10081, 20866, 54936, 4242}) {
        SCOPED_TRACE(codePage);
        EXPECT_EQ(EncodeCodePageText(ascii, codePage), bytes);
        EXPECT_EQ(DecodeCodePageText(bytes + '\0', codePage), ascii);
    }
    for (uint16_t codePage : {37, 500, 1200, 20106, 20833, 65000}) {
        SCOPED_TRACE(codePage);
        EXPECT_NE(EncodeCodePageText(ascii, codePage), bytes);
    }
}

}  // namespace
}  // namespace velmora::engine
