#include "engine/date_time_conversions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "support/case_name.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

using testing::ScopedTimeZone;

// Far from zero a double cannot hold a date-time to 1e-9 of a day.
double Tolerance(TDateTime expected) { return std::max(1e-9, std::fabs(expected) * 1e-15); }

constexpr TFileTime kHour = 36'000'000'000;
constexpr TFileTime kSecond = 10'000'000;
constexpr TFileTime kJan2000Utc = 125'911'584'000'000'000;  // 2000-01-01 00:00 UTC
constexpr TFileTime kJul2021Utc = 132'695'712'000'000'000;  // 2021-07-01 00:00 UTC, summer time in Berlin
constexpr TDateTime kJan2000 = 36526.0;
constexpr TDateTime kJul2021 = 44378.0;
constexpr TFileTime kZeroDateTicks = static_cast<TFileTime>(kTicksAtDateTimeZero);
constexpr TFileTime kDay = 24 * kHour;
constexpr TFileTime kYear1800 = kZeroDateTicks - 36522 * kDay;  // 1800-01-01 00:00 UTC
constexpr TFileTime kTwoTo63 = TFileTime{1} << 63;
constexpr TDateTime kTwoTo63DateTime = 10565994.116730064;  // (2^63 - kZeroDateTicks) / kDay

struct FileTimeCase {
    const char* name;
    const char* zone;
    TFileTime fileTime;
    TDateTime expected;
};

class FileTimeToDateTimeTest : public ::testing::TestWithParam<FileTimeCase> {};

TEST_P(FileTimeToDateTimeTest, ConvertsToLocalDateTime) {
    ScopedTimeZone zone(GetParam().zone);
    EXPECT_NEAR(FileTimeToDateTime(GetParam().fileTime), GetParam().expected, Tolerance(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Zones, FileTimeToDateTimeTest, ::testing::Values(
    FileTimeCase{"ZeroDateUtc", "UTC", kZeroDateTicks, 0.0},
    FileTimeCase{"Year2000Utc", "UTC", kJan2000Utc, kJan2000},
    FileTimeCase{"Year2000Berlin", "Europe/Berlin", kJan2000Utc, kJan2000 + 1.0 / 24},
    FileTimeCase{"SummerBerlin", "Europe/Berlin", kJul2021Utc, kJul2021 + 2.0 / 24},
    FileTimeCase{"WinterNewYork", "America/New_York", kJan2000Utc, kJan2000 - 5.0 / 24},
    FileTimeCase{"FileTimeZeroUtc", "UTC", 0, -109205.0},
    // Before 1899 the day counts back but the time of day still forward.
    FileTimeCase{"Year1800NoonUtc", "UTC", kYear1800 + 12 * kHour, -36522.5},
    FileTimeCase{"Year1800MorningUtc", "UTC", kYear1800 + 6 * kHour, -36522.25},
    FileTimeCase{"EveningBeforeZeroUtc", "UTC", kZeroDateTicks - 6 * kHour, -1.75},
    FileTimeCase{"ZeroDateInNewYorkIsTheEveningBefore", "America/New_York", kZeroDateTicks, -1.0 - 19.0 / 24},
    // Past 2^63 - 1 no zone applies, and the value must not wrap negative.
    FileTimeCase{"TwoTo63Utc", "UTC", kTwoTo63, kTwoTo63DateTime},
    FileTimeCase{"TwoTo63BerlinUnshifted", "Europe/Berlin", kTwoTo63, kTwoTo63DateTime},
    FileTimeCase{"LargestFileTime", "UTC", std::numeric_limits<TFileTime>::max(), 21241193.23346013}),
    testing::CaseName());

struct EditTimeCase {
    const char* name;
    TFileTime fileTime;
    TDateTime expectedUtc;
    TDateTime expectedBerlin;
};

class EditTimeToDateTimeTest : public ::testing::TestWithParam<EditTimeCase> {};

TEST_P(EditTimeToDateTimeTest, DurationsIgnoreTheZoneAndDatesDoNot) {
    {
        ScopedTimeZone zone("UTC");
        EXPECT_NEAR(EditTimeToDateTime(GetParam().fileTime), GetParam().expectedUtc, Tolerance(GetParam().expectedUtc));
    }
    {
        ScopedTimeZone zone("Europe/Berlin");
        EXPECT_NEAR(EditTimeToDateTime(GetParam().fileTime), GetParam().expectedBerlin,
                    Tolerance(GetParam().expectedBerlin));
    }
}

INSTANTIATE_TEST_SUITE_P(Values, EditTimeToDateTimeTest, ::testing::Values(
    EditTimeCase{"ZeroDuration", 0, -109205.0, -109205.0},
    EditTimeCase{"TwoHours", 2 * kHour, -109205.0 - 2.0 / 24, -109205.0 - 2.0 / 24},
    EditTimeCase{"ThirtyHours", 30 * kHour, -109204.25, -109204.25},
    EditTimeCase{"MillisecondsOnly", 375'480'000, -109205.0 - 37.548 / 86400, -109205.0 - 37.548 / 86400},
    EditTimeCase{"AbsoluteDate", kJul2021Utc, kJul2021, kJul2021 + 2.0 / 24},
    EditTimeCase{"DateFromTwoTo63", kTwoTo63, kTwoTo63DateTime, kTwoTo63DateTime}),
    testing::CaseName());

TEST(EditTimeToDateTime, LocalYearDecidesBetweenDateAndDuration) {
    // 31 December 1979 23:30 UTC: day 138,425 after 1 January 1601.
    const TFileTime lateIn1979 = 138'425ULL * 864'000'000'000ULL + 23 * kHour + kHour / 2;
    {
        ScopedTimeZone zone("UTC");
        // A duration of 138,425 days and 23.5 hours, counted from 1601.
        EXPECT_NEAR(EditTimeToDateTime(lateIn1979), (138'425.0 - 109'205.0) + 23.5 / 24, 1e-9);
    }
    {
        ScopedTimeZone zone("Europe/Berlin");
        // Local 1980-01-01 00:30: a date.
        EXPECT_NEAR(EditTimeToDateTime(lateIn1979), 29'221.0 + 0.5 / 24, 1e-9);
    }
}

TEST(EditTimeToDateTime, ZeroDurationWestOfUtcIsStillADuration) {
    ScopedTimeZone zone("America/New_York");  // FILETIME 0 is local 31 December 1600 there
    EXPECT_EQ(EditTimeToDateTime(0), -109205.0);
}

struct DateTimeCase {
    const char* name;
    const char* zone;
    TDateTime dateTime;
    TFileTime expected;
};

class DateTimeToFileTimeTest : public ::testing::TestWithParam<DateTimeCase> {};

TEST_P(DateTimeToFileTimeTest, ConvertsLocalToUtc) {
    ScopedTimeZone zone(GetParam().zone);
    EXPECT_EQ(DateTimeToFileTime(GetParam().dateTime), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Zones, DateTimeToFileTimeTest, ::testing::Values(
    DateTimeCase{"ZeroUtc", "UTC", 0.0, kZeroDateTicks},
    DateTimeCase{"ZeroBerlinIsShiftedByTheZone", "Europe/Berlin", 0.0, kZeroDateTicks - kHour},
    DateTimeCase{"Year2000Utc", "UTC", kJan2000, kJan2000Utc},
    DateTimeCase{"SummerBerlin", "Europe/Berlin", kJul2021 + 2.0 / 24, kJul2021Utc},
    DateTimeCase{"NegativeWithTimeOfDay", "UTC", -1.25, kZeroDateTicks - 18 * kHour},
    DateTimeCase{"Year1800Noon", "UTC", -36522.5, kYear1800 + 12 * kHour},
    DateTimeCase{"FirstDayOf1601", "UTC", -109205.5, 12 * kHour},
    DateTimeCase{"BeforeFileTimeZeroInBerlin", "Europe/Berlin", -109205.0, 0},
    DateTimeCase{"PastTwoTo63Unshifted", "Europe/Berlin", 10565994.5, 9'223'372'368'000'000'000ULL},
    DateTimeCase{"BeyondFileTimes", "UTC", 21241193.5, 0},
    DateTimeCase{"MillisecondsRound", "UTC", kJan2000 + 1.5 / 86400, kJan2000Utc + 15 * kSecond / 10},
    DateTimeCase{"Before1601", "UTC", -109206.0, 0},
    DateTimeCase{"NotANumber", "UTC", std::numeric_limits<double>::quiet_NaN(), 0},
    DateTimeCase{"Infinite", "UTC", std::numeric_limits<double>::infinity(), 0}),
    testing::CaseName());

TEST(DateTimeConversions, RoundTripInEveryZone) {
    // Millisecond multiples, as a date-time holds no finer time.
    const TFileTime fileTimes[] = {
        kJan2000Utc, kJul2021Utc, kJul2021Utc + 1234 * kSecond,
        kDay + 10'000, 100 * 365 * kDay + 6 * kHour + 30 * 60 * kSecond + 2'500'000,  // 1700, 06:30:00.250
        kYear1800, kYear1800 + 12 * kHour, kYear1800 + kDay - 10'000,  // the last millisecond of the day
        kZeroDateTicks - 6 * kHour, kZeroDateTicks - 10'000, kZeroDateTicks, kZeroDateTicks + 10'000,
        116'444'736'000'000'000ULL - kSecond,  // 1969-12-31 23:59:59, just before the C library's epoch
        9'223'372'036'854'780'000ULL,   // the first millisecond past 2^63
        18'446'744'073'709'550'000ULL};  // the last whole millisecond of all
    for (const char* name : {"UTC", "Europe/Berlin", "America/New_York", "Asia/Tokyo"}) {
        SCOPED_TRACE(name);
        ScopedTimeZone zone(name);
        for (TFileTime fileTime : fileTimes) EXPECT_EQ(DateTimeToFileTime(FileTimeToDateTime(fileTime)), fileTime);
    }
}

struct EditTextCase {
    const char* name;
    TDateTime editTime;
    const char16_t* expected;
};

class EditTimeToTextTest : public ::testing::TestWithParam<EditTextCase> {};

TEST_P(EditTimeToTextTest, ShowsHoursMinutesSeconds) {
    EXPECT_EQ(EditTimeToText(GetParam().editTime), GetParam().expected);
}

constexpr TDateTime kOrigin = -109205.0;
INSTANTIATE_TEST_SUITE_P(Values, EditTimeToTextTest, ::testing::Values(
    EditTextCase{"NeverRead", 0.0, u"2620920 h"},
    EditTextCase{"ZeroDuration", kOrigin, u""},
    EditTextCase{"FiftyNineSeconds", kOrigin - 59.0 / 86400, u"59 s"},
    EditTextCase{"OneHour", kOrigin - 1.0 / 24, u"1 h"},
    EditTextCase{"AllThree", kOrigin - (3600.0 + 30 * 60 + 20) / 86400, u"1 h 30 m 20 s"},
    EditTextCase{"NoMinutes", kOrigin - (2 * 3600.0 + 5) / 86400, u"2 h 5 s"},
    EditTextCase{"MinutesOnly", kOrigin - 45.0 / 1440, u"45 m"},
    EditTextCase{"MoreThanADay", -109204.25, u"30 h"},
    EditTextCase{"NotANumber", std::numeric_limits<double>::quiet_NaN(), u""},
    EditTextCase{"FarTooLarge", 1e300, u""}),
    testing::CaseName());

}  // namespace
}  // namespace velmora::engine
