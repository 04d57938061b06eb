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
// Far beyond any date a document holds; keeps the arithmetic below in range.
constexpr double kLargestDay = 10'000'000.0;

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
    // Values beyond the zone database are taken without a zone shift.
    int64_t ticks = LocalTicks(fileTime).value_or(static_cast<int64_t>(fileTime));
    if (ticks < std::numeric_limits<int64_t>::min() + kTicksAtDateTimeZero)
        return static_cast<double>(ticks) / kTicksPerDay - static_cast<double>(kTicksAtDateTimeZero) / kTicksPerDay;
    return static_cast<double>(ticks - kTicksAtDateTimeZero) / static_cast<double>(kTicksPerDay);
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
    double day = std::trunc(dateTime);
    if (day < -static_cast<double>(kTicksAtDateTimeZero / kTicksPerDay) - 1 || day > kLargestDay) return 0;
    int64_t timeOfDay = std::llround(std::fabs(dateTime - day) * kMillisecondsPerDay);
    int64_t localTicks = kTicksAtDateTimeZero + (static_cast<int64_t>(day) * kMillisecondsPerDay + timeOfDay) * kTicksPerMillisecond;
    if (localTicks < 0) return 0;
    RefreshZone();
    // The offset depends on the instant we are looking for: guess with the
    // offset at the local reading, then correct once across a transition.
    int64_t offset = ZoneOffsetTicksAt(localTicks);
    int64_t corrected = ZoneOffsetTicksAt(localTicks - offset);
    if (corrected != offset) offset = corrected;
    int64_t utcTicks = localTicks - offset;
    return utcTicks < 0 ? 0 : static_cast<TFileTime>(utcTicks);
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
