#include "engine/path_text.h"

#include <gtest/gtest.h>

#include <random>

#include "support/case_name.h"

namespace velmora::engine {
namespace {

struct PathTextCase {
    std::string name;
    std::string bytes;
    std::u16string text;
};

class PathTextTable : public ::testing::TestWithParam<PathTextCase> {};

TEST_P(PathTextTable, MapsBytesToTextAndBack) {
    const PathTextCase& c = GetParam();
    EXPECT_EQ(PathToText(std::filesystem::path(c.bytes)), c.text);
    EXPECT_EQ(TextToPath(c.text).native(), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PathTextTable,
    ::testing::Values(
        PathTextCase{"Ascii", "/docs/report.doc", u"/docs/report.doc"},
        PathTextCase{"TwoByteCharacter", "caf\xC3\xA9.doc", u"caf\u00e9.doc"},
        PathTextCase{"Astral", "\xF0\x9F\x93\x8A.xls", u"\U0001F4CA.xls"},
        PathTextCase{"LargestCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        PathTextCase{"Latin1Byte", "caf\xE9.doc", u"caf\xDCE9.doc"},
        // A broken sequence escapes byte by byte, not as one stretch.
        PathTextCase{"CutBeforeAscii", "\xE2\x82z", u"\xDCE2\xDC82z"},
        PathTextCase{"StrayContinuation", "a\x80z", u"a\xDC80z"},
        PathTextCase{"TruncatedAtEnd", "x\xE2\x82", u"x\xDCE2\xDC82"},
        PathTextCase{"Overlong", "\xC0\xAF", u"\xDCC0\xDCAF"},
        PathTextCase{"OverlongFourBytes", "\xF0\x8F\xBF\xBF", u"\xDCF0\xDC8F\xDCBF\xDCBF"},
        PathTextCase{"EncodedSurrogate", "\xED\xB3\xA9", u"\xDCED\xDCB3\xDCA9"},
        PathTextCase{"BeyondUnicode", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
        PathTextCase{"ByteFF", "\xFF", u"\xDCFF"}),
    testing::CaseName());

TEST(PathText, EveryByteStringSurvivesTheRoundTrip) {
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> byte(1, 255), length(0, 12);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(static_cast<size_t>(length(random)), '\0');
        for (char& b : bytes) b = static_cast<char>(byte(random));
        ASSERT_EQ(TextToPath(PathToText(std::filesystem::path(bytes))).native(), bytes);
    }
}

TEST(PathText, TextThatNoNameProducesStillBecomesAPath) {
    // A lone surrogate outside the escape range cannot come from a name.
    EXPECT_EQ(TextToPath(u"a\xD800" "b").native(), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(TextToPath(u"a\xDC41").native(), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace velmora::engine
