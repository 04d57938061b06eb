#include "engine/date_time_conversions.h"

#include <cmath>
#include <ctime>
#include <limits>
#include <optional>

namespace velmora::engine {

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksPerMillisecond = 10'000;
constexpr int64_t kMillisecondsPerDay = 86'400'000;
constexpr int64_t kTicksAtUnixEpoch = 116'444'736'000'000'000;
// 1 January 1980 00:00, counted in days from 1 January 1601.
constexpr int64_t kDaysTo1980 = 138'426;

thread_local bool zoneHeld = false;

void RefreshZone() {
    if (!zoneHeld) tzset();  // glibc reads TZ again only when asked
}

int64_t FloorDivide(int64_t value, int64_t divisor) {
    int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// Local time's offset from UTC, in ticks, at a UTC instant given in ticks.
// Zero where the zone database cannot say (outside time_t or tm).
int64_t ZoneOffsetTicksAt(int64_t utcTicks) {
    time_t seconds = static_cast<time_t>(FloorDivide(utcTicks - kTicksAtUnixEpoch, kTicksPerSecond));
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr) return 0;
    return static_cast<int64_t>(local.tm_gmtoff) * kTicksPerSecond;
}

// Local ticks of a UTC FILETIME, or nullopt for values above 2^63 - 1,
// which no zone database covers.
std::optional<int64_t> LocalTicks(TFileTime fileTime) {
    if (fileTime > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    int64_t ticks = static_cast<int64_t>(fileTime);
    int64_t offset = ZoneOffsetTicksAt(ticks);
    if (offset > 0 && ticks > std::numeric_limits<int64_t>::max() - offset) return std::nullopt;
    return ticks + offset;
}

// Local ticks counted from the date-time origin (negative before it) as a
// date-time. Before the origin the whole days count back but the time of day
// still counts forward: 29 December 1899 06:00 is -1.25, not -0.75.
TDateTime TicksFromOriginToDateTime(int64_t ticks) {
    if (ticks >= 0) return static_cast<double>(ticks) / static_cast<double>(kTicksPerDay);
    const int64_t day = FloorDivide(ticks, kTicksPerDay);
    const int64_t timeOfDay = ticks - day * kTicksPerDay;
    return static_cast<double>(day) - static_cast<double>(timeOfDay) / static_cast<double>(kTicksPerDay);
}

}  // namespace

TimeZoneScope::TimeZoneScope() : outermost_(!zoneHeld) {
    if (outermost_) {
        tzset();
        zoneHeld = true;
    }
}

TimeZoneScope::~TimeZoneScope() {
    if (outermost_) zoneHeld = false;
}

TDateTime FileTimeToDateTime(TFileTime fileTime) {
    RefreshZone();
    if (std::optional<int64_t> local = LocalTicks(fileTime)) return TicksFromOriginToDateTime(*local - kTicksAtDateTimeZero);
    // Beyond the zone database: no zone shift, and unsigned arithmetic, as
    // such a value does not fit a signed count of ticks.
    return static_cast<double>(fileTime - static_cast<TFileTime>(kTicksAtDateTimeZero)) /
           static_cast<double>(kTicksPerDay);
}

TDateTime EditTimeToDateTime(TFileTime fileTime) {
    RefreshZone();
    std::optional<int64_t> local = LocalTicks(fileTime);
    bool isDate = !local || *local >= kDaysTo1980 * kTicksPerDay;
    if (isDate) return FileTimeToDateTime(fileTime);
    // A duration from 1 January 1601, at millisecond resolution, no zone shift.
    int64_t day = static_cast<int64_t>(fileTime / kTicksPerDay) - (kTicksAtDateTimeZero / kTicksPerDay);
    double timeOfDay = static_cast<double>((fileTime % kTicksPerDay) / kTicksPerMillisecond) / kMillisecondsPerDay;
    return day >= 0 ? static_cast<double>(day) + timeOfDay : static_cast<double>(day) - timeOfDay;
}

TFileTime EditTimeToFileTime(TDateTime editTime) {
    // 1 January 1980 as a date-time: from here on an editing time is a date.
    constexpr double kFirstEditTimeDate = static_cast<double>(kDaysTo1980 - kTicksAtDateTimeZero / kTicksPerDay);
    if (!std::isfinite(editTime)) return 0;
    if (editTime >= kFirstEditTimeDate) return DateTimeToFileTime(editTime);
    // Whole days from 1601, then the time of day, at millisecond resolution
    // and without a zone shift.
    const double day = std::trunc(editTime);
    const double daysFrom1601 = day + static_cast<double>(kTicksAtDateTimeZero / kTicksPerDay);
    if (daysFrom1601 < 0) return 0;
    const int64_t milliseconds = std::llround(std::fabs(editTime - day) * kMillisecondsPerDay);
    return static_cast<TFileTime>(daysFrom1601) * static_cast<TFileTime>(kTicksPerDay) +
           static_cast<TFileTime>(milliseconds) * kTicksPerMillisecond;
}

TFileTime DateTimeToFileTime(TDateTime dateTime) {
    if (!std::isfinite(dateTime)) return 0;
    constexpr int64_t kDaysFrom1601 = kTicksAtDateTimeZero / kTicksPerDay;
    constexpr TFileTime kLargestMilliseconds = std::numeric_limits<TFileTime>::max() / kTicksPerMillisecond;
    const double day = std::trunc(dateTime);
    // A first, coarse bound that keeps the arithmetic below in range.
    if (day < -static_cast<double>(kDaysFrom1601) - 1 ||
        day > static_cast<double>(kLargestMilliseconds / kMillisecondsPerDay - kDaysFrom1601))
        return 0;
    // The whole days count either way, the time of day always forward.
    const int64_t timeOfDay = std::llround(std::fabs(dateTime - day) * kMillisecondsPerDay);
    const int64_t localMilliseconds = (static_cast<int64_t>(day) + kDaysFrom1601) * kMillisecondsPerDay + timeOfDay;
    if (localMilliseconds < 0 || static_cast<TFileTime>(localMilliseconds) > kLargestMilliseconds) return 0;
    const TFileTime localTicks = static_cast<TFileTime>(localMilliseconds) * kTicksPerMillisecond;
    // Past the zone database, as FileTimeToDateTime has it: no zone shift.
    if (localTicks > static_cast<TFileTime>(std::numeric_limits<int64_t>::max())) return localTicks;
    const auto signedTicks = static_cast<int64_t>(localTicks);
    RefreshZone();
    // The offset depends on the instant we are looking for: guess with the
    // offset at the local reading, then correct once across a transition.
    int64_t offset = ZoneOffsetTicksAt(signedTicks);
    if (offset >= 0 || signedTicks <= std::numeric_limits<int64_t>::max() + offset)
        offset = ZoneOffsetTicksAt(signedTicks - offset);
    // West of Greenwich the instant may lie past 2^63 - 1.
    if (offset < 0) return localTicks + static_cast<TFileTime>(-offset);
    return signedTicks < offset ? 0 : static_cast<TFileTime>(signedTicks - offset);
}

std::u16string EditTimeToText(TDateTime editTime) {
    auto toMilliseconds = [](double value, int64_t& out) {
        double scaled = value * kMillisecondsPerDay;
        if (!std::isfinite(scaled) || std::fabs(scaled) > 9.0e18) return false;
        int64_t total = std::llround(scaled);
        int64_t day = total / kMillisecondsPerDay;  // toward zero
        int64_t time = (total < 0 ? -total : total) % kMillisecondsPerDay;
        out = day * kMillisecondsPerDay + time;
        return true;
    };
    int64_t value = 0, origin = 0;
    if (!toMilliseconds(editTime, value) || !toMilliseconds(kEditTimeOrigin, origin)) return u"";
    int64_t distance = value >= origin ? value - origin : origin - value;
    int64_t hours = distance / 3'600'000;
    int64_t minutes = distance / 60'000 % 60;
    int64_t seconds = distance / 1'000 % 60;
    std::string text;
    if (hours > 0) text += std::to_string(hours) + " h ";
    if (minutes > 0) text += std::to_string(minutes) + " m ";
    if (seconds > 0) text += std::to_string(seconds) + " s ";
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
    return std::u16string(text.begin(), text.end());
}

}  // namespace velmora::engine
