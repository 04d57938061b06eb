// The web-update component's pure parts: addresses, replies, versions, dates.
#include <gtest/gtest.h>

#include <QDate>

#include "update/update_address.h"
#include "update/update_files.h"
#include "update/update_reply.h"
#include "update/version_compare.h"
#include "update/web_update.h"
#include "update/web_update_settings.h"

namespace velmora::update {
namespace {

TEST(SetURL, KeepsHttpAndHttpsInAnyCaseAndPrefixesTheRest) {
    const std::pair<const char*, const char*> cases[] = {
        {"example.com/update.asp", "http://example.com/update.asp"},
        {"HTTP://Example.com/a", "HTTP://Example.com/a"},
        {"HTTPS://example.com/a", "HTTPS://example.com/a"},
        {"", "http://"},
        {"ftp://example.com/a", "http://ftp://example.com/a"},
    };
    for (const auto& [given, stored] : cases) {
        TTwProductInfo info;
        info.SetURL(given);
        EXPECT_EQ(info.URL(), stored) << given;
    }
}

TEST(ResolveUpdateAddress, SchemesPortsAndAddressesWithoutHost) {
    struct Case {
        const char* address;
        const char* base;
        uint32_t httpPort;
        const char* expected;
    };
    const Case cases[] = {
        {"http://example.com/a/b.asp", "", 80, "http://example.com:80/a/b.asp"},
        {"http://example.com/a", "", 0x10000 + 8080, "http://example.com:8080/a"},  // low 16 bits
        {"http://example.com:8081/a", "", 8080, "http://example.com:8081/a"},        // a written port is used
        {"https://example.com/a", "", 8080, "https://example.com:443/a"},            // HTTPPort is for http only
        {"HTTPS://example.com:8443/a", "", 80, "https://example.com:8443/a"},
        {"update.exe", "https://example.com:8443/x/info.asp", 80, "https://example.com:8443/update.exe"},
        {"/files/u.bin", "http://example.com/info.asp", 81, "http://example.com:81/files/u.bin"},
        {"a.com/http://b.com/x", "", 80, ""},  // no scheme and no base: nowhere to go
        {"http://example.com:99999/a", "", 80, ""},
        {"https://example.com?checktype=info&d=45000", "", 80, "https://example.com:443/?checktype=info&d=45000"},
        {"http://example.com:8080?checktype=info", "", 80, "http://example.com:8080/?checktype=info"},
    };
    for (const Case& test : cases)
        EXPECT_EQ(ResolveUpdateAddress(test.address, test.base, test.httpPort), test.expected) << test.address;
}

TEST(SplitURL, GivesHostAndPath) {
    TTwWebUpdate component;
    QString host, path;
    component.SplitURL("http://example.com/a/b.asp", host, path);
    EXPECT_EQ(host, "example.com");
    EXPECT_EQ(path, "/a/b.asp");
    component.SplitURL("update.exe", host, path);
    EXPECT_EQ(host, "");
    EXPECT_EQ(path, "/update.exe");
}

TEST(ReadUpdateReply, FollowsTheTagRules) {
    const QString long254(254, u'a'), long255(255, u'b');
    const QStringList lines = {
        "<html><META NAME=\"wuVersion\" CONTENT=\"3.0.0.52\">",
        "<meta name=\"wuProduct\" content=\"lower-case names are not read\">",
        "<META NAME=\"wuAuthor\" content=\"lower-case content is\">",
        "<META NAME=\"wuEmail\" CONTENT=\"" + long254 + "\">",
        "<META NAME=\"wuShowURL\" CONTENT=\"" + long255 + "\">",
        "<META NAME=\"wuDate\" CONTENT=\"1/1/2020\"><META NAME=\"wuProduct\" CONTENT=\"second tag ignored\">",
        "<META NAME=\"wuVersion\" CONTENT=\"3.0.0.53\">",
        "<META NAME=\"wuUnknown\" CONTENT=\"x\">",
    };
    const UpdateReply reply = ReadUpdateReply(lines, TTwTagInfo());
    EXPECT_EQ(reply.NewVersion, "3.0.0.53");  // a later tag wins
    EXPECT_EQ(reply.ProductName, "");
    EXPECT_EQ(reply.Author, "lower-case content is");
    EXPECT_EQ(reply.Email, long254);
    EXPECT_EQ(reply.ShowURL, "");  // 255 characters read as empty
    EXPECT_EQ(reply.NewDate, "1/1/2020");
    EXPECT_EQ(SplitReplyLines("a\r\nb\rc\nd"), QStringList({"a", "b", "c", "d"}));
}

TEST(ParseVersionNumber, LaysPartsOutAsTheFileVersionWords) {
    struct Case {
        const char* text;
        uint32_t ms, ls;
    };
    const Case cases[] = {
        {"3.0.0.52", 0x00030000, 0x00000034},
        {"3,1,0,7", 0x00030001, 0x00000007},
        {"3.1", 0x00030001, 0},
        {"3.1.2", 0x00030001, 0x00020000},
        {"7", 0x00070000, 0},
        {"letters", 0xFFFFFFFF, 0xFFFFFFFF},
        {"$10.0x20.1.2", 0x00100020, 0x00010002},
        {"70000.1.2.3", 0x11700001, 0x00020003},  // only the low 16 bits of a part stay
        {"3.0.0.5x", 0x00030000, 0xFFFFFFFF},
    };
    for (const Case& test : cases)
        EXPECT_EQ(ParseVersionNumber(test.text), (VersionWords{test.ms, test.ls})) << test.text;
}

TEST(ParseServerDate, ReadsThePatternsOrderAndFallsBackTo1980) {
    const QDate epoch(1899, 12, 30);
    auto days = [&](int y, int m, int d) { return static_cast<double>(epoch.daysTo(QDate(y, m, d))); };
    struct Case {
        const char* date;
        const char* time;
        const char* format;
        char separator;
        double expected;
    };
    const Case cases[] = {
        {"29/10/2012", "", "dd/mm/yyyy", '/', days(2012, 10, 29)},
        {"10-29-2012", "", "mm-dd-yyyy", '-', days(2012, 10, 29)},
        {"2012.10.29", "", "yyyy.mm.dd", '.', days(2012, 10, 29)},
        {"29/10/49", "", "dd/mm/yy", '/', days(2049, 10, 29)},
        {"29/10/50", "", "dd/mm/yy", '/', days(1950, 10, 29)},
        {"2012-10-29", "", "dd/mm/yyyy", '/', days(1980, 1, 1)},
        {"31/02/2012", "", "dd/mm/yyyy", '/', days(1980, 1, 1)},
        {"29/10/2012", "12:00", "dd/mm/yyyy", '/', days(2012, 10, 29) + 0.5},
        {"29/10/2012", "25:00", "dd/mm/yyyy", '/', days(2012, 10, 29)},
    };
    for (const Case& test : cases)
        EXPECT_EQ(ParseServerDate(test.date, test.time, test.format, QChar(test.separator)), test.expected) << test.date;
}

TEST(CompareStandardVersions, MissingComponentsCountAsZero) {
    struct Case {
        const char* current;
        const char* offered;
        int order;
    };
    const Case cases[] = {{"1.2", "1.2.0", 0},   {"1.2", "1.2.1", -1}, {"1.2.1", "1.2", 1},
                          {"1.10", "1.9", 1},    {"2", "1.99", 1},     {"1.x", "1.0", 0}};
    for (const Case& test : cases)
        EXPECT_EQ(CompareStandardVersions(test.current, test.offered), test.order) << test.current << " " << test.offered;
    double value = 0;
    EXPECT_TRUE(ParseVersionAsNumber("3.5e1", value));
    EXPECT_EQ(value, 35.0);
    EXPECT_FALSE(ParseVersionAsNumber("3.5 beta", value));
    EXPECT_FALSE(ParseVersionAsNumber("3,5", value));
}

TEST(ProgressFigures, StayFiniteAndNeverNegative) {
    double kbps = -1, left = -1;
    TTwWebUpdate::ProgressFigures(0, 1000, 10, kbps, left);
    EXPECT_EQ(kbps, 0);
    EXPECT_EQ(left, 0);
    TTwWebUpdate::ProgressFigures(1000, 0, 0, kbps, left);  // nothing yet: no rate
    EXPECT_EQ(kbps, 0);
    EXPECT_EQ(left, 0);
    TTwWebUpdate::ProgressFigures(2000, 10240, 2048, kbps, left);
    EXPECT_EQ(kbps, 1.0);
    EXPECT_EQ(left, 8.0);
    TTwWebUpdate::ProgressFigures(1000, 0, 4096, kbps, left);  // more than announced
    EXPECT_EQ(left, 0);
    EXPECT_EQ(TTwWebUpdate::ElapsedText(75'000), "00:01:15");
    EXPECT_EQ(TTwWebUpdate::ElapsedText(25 * 3600'000LL + 1000), "01:00:01");
}

TEST(IsPlainFileName, RefusesWhatCouldLeaveTheFolder) {
    for (const char* name : {"", ".", "..", "../../.profile", ".bashrc", "/etc/passwd", "a/b", "-rf", "a\nb", "a\tb"})
        EXPECT_FALSE(IsPlainFileName(QString::fromUtf8(name))) << name;
    EXPECT_FALSE(IsPlainFileName(QString(QChar(0)) + "x"));
    for (const char* name : {"Velmora-3.0.0.52.run", "update.exe", "a.b.c", "a b"})
        EXPECT_TRUE(IsPlainFileName(QString::fromUtf8(name))) << name;
}

}  // namespace
}  // namespace velmora::update
