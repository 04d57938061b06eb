#include "app/report_text.h"

#include <gtest/gtest.h>

#include "app/anchor_layout.h"
#include "engine/date_time_conversions.h"
#include "engine/summary_info_class.h"

namespace velmora::app {
namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

TEST(DateTimeText, ShowsRealDatesAndLeavesAbsentOnesEmpty) {
    struct Case {
        const char* name;
        double value;
        const char* expected;
    };
    const Case cases[] = {
        {"never set", 0.0, ""},
        {"FILETIME 0 in UTC", engine::kEditTimeOrigin, ""},
        {"FILETIME 0 east of Greenwich", engine::kEditTimeOrigin - 2.0 / 24, ""},
        {"a damaged value long before", -700'000.25, ""},
        {"the first day shown", -109'204.0 - 0.5, "1/2/1601 12:00:00 PM"},
        {"midnight leaves the time out", 45'000.0, "3/15/2023"},
        {"a time of day", 45'000.75, "3/15/2023 6:00:00 PM"},
        {"below zero the fraction is the time of day", -36'522.5, "1/1/1800 12:00:00 PM"},
        {"not a number", std::nan(""), ""},
    };
    for (const Case& test : cases) EXPECT_EQ(DateTimeText(test.value, kEnglish), test.expected) << test.name;
}

TEST(DateTimeText, TheYearHasFourDigitsInEveryLocale) {
    for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::French, QLocale::France),
                                  QLocale(QLocale::Japanese, QLocale::Japan)}) {
        const QString text = DateTimeText(45'000.5, locale);
        EXPECT_TRUE(text.contains("2023")) << text.toStdString();
        EXPECT_FALSE(text.contains("UTC") || text.contains("GMT") || text.contains("Coordinated")) << text.toStdString();
    }
}

TEST(ReportRowTexts, FillsTwentyTwoCellsWithCountsOverSixteenBits) {
    engine::TSummaryInfo info;
    info.Title = u"T";
    info.PageCount = 40'000;
    info.WordCount = -1;
    info.EditTime = engine::kZeroEditTime;  // reset
    const QStringList row = ReportRowTexts("f.doc", info, true, "Ada, Grace", "ObjectPool/_1", "Kunde = Acme", kEnglish);
    ASSERT_EQ(row.size(), 22);
    EXPECT_EQ(row[0], "f.doc");
    EXPECT_EQ(row[1], "T");
    EXPECT_EQ(row[9], "");  // no creation date
    EXPECT_EQ(row[12], "Ada, Grace");
    EXPECT_EQ(row[13], "ObjectPool/_1");
    EXPECT_EQ(row[14], "Kunde = Acme");
    EXPECT_EQ(row[16], "40000");
    EXPECT_EQ(row[17], "-1");
    EXPECT_EQ(row[20], "");
    EXPECT_EQ(row[21], "Yes");
    EXPECT_EQ(EditTimeText(0.0), "");  // never read, not "2620920 h"
    EXPECT_EQ(EditTimeText(engine::kEditTimeOrigin - 1.5 / 24), "1 h 30 m");
}

TEST(ReportCsv, QuotesWhatRfc4180Asks) {
    const QByteArray csv = ReportCsv({"File Name", "Title"}, {{"a,b.doc", "say \"hi\""}, {"plain.doc", "two\nlines"},
                                                               {QString::fromUtf8("caf\u00e9.doc"), ""}});
    EXPECT_EQ(csv.toStdString(), "File Name,Title\r\n\"a,b.doc\",\"say \"\"hi\"\"\"\r\nplain.doc,\"two\nlines\"\r\n"
                                 "caf\xc3\xa9.doc,\r\n");
    const QByteArray formulas = ReportCsv({"Title"}, {{"=HYPERLINK(\"http://x\")"}, {"@SUM(A1)"}, {"-1"}, {"plain"}});
    EXPECT_EQ(formulas.toStdString(), "Title\r\n\"'=HYPERLINK(\"\"http://x\"\")\"\r\n'@SUM(A1)\r\n'-1\r\nplain\r\n");
}

TEST(AnchorLayout, ArrangesEachAnchoringAsDesigned) {
    const QSize designed(100, 100), grown(200, 150);
    const QRect control(10, 20, 30, 40);
    struct Case {
        const char* name;
        unsigned anchors;
        QRect expected;
    };
    const Case cases[] = {
        {"left and top stay", akLeftTop, QRect(10, 20, 30, 40)},
        {"all four stretch", akAll, QRect(10, 20, 130, 90)},
        {"right and bottom follow", akRight | akBottom, QRect(110, 70, 30, 40)},
        {"neither side keeps the centre in proportion", 0, QRect(35, 40, 30, 40)},
    };
    for (const Case& test : cases)
        EXPECT_EQ(AnchorLayout::Arrange(control, test.anchors, designed, grown), test.expected) << test.name;
}

}  // namespace
}  // namespace velmora::app
