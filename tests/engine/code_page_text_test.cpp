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
    DecodeCase{"InvalidShiftJisFallsBackToUtf8", 932, std::string("\xC3\xA9\x81\0", 4), u"\u00e9\u0081"},
    DecodeCase{"Empty", 1252, std::string("\0", 1), u""},
    // EBCDIC does not keep ASCII: bytes below 0x80 must still be converted.
    DecodeCase{"EbcdicBelow0x80", 500, std::string("\x41\x4B\0", 3), u"\u00a0."},
    DecodeCase{"EbcdicUsLetters", 37, std::string("\xC1\xC2\0", 3), u"AB"}),
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
    EncodeCase{"UnknownCodePage", 4242, u"abc", std::nullopt}),
    testing::CaseName());

TEST(CodePageText, EveryCorpusCodePageRoundTrips) {
    const std::pair<uint16_t, std::u16string> samples[] = {
        {932, u"\u6cb3\u99ac\u5c4b"}, {1250, u"\u017b\u00f3\u0142\u0107"}, {1252, u"M\u00fcller \u2013 Gr\u00f6\u00dfe"},
        {10000, u"Zo\u00eb \u00c5ngstr\u00f6m"}, {10008, u"\u6f14\u793a\u6587\u7a3f"}};
    for (const auto& [codePage, text] : samples) {
        SCOPED_TRACE(codePage);
        auto encoded = EncodeCodePageText(text, codePage);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_EQ(DecodeCodePageText(*encoded + '\0', codePage), text);
    }
}

}  // namespace
}  // namespace velmora::engine
