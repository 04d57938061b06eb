#pragma once

#include <string>

#include "engine/summary_info.h"

namespace velmora::engine {

// Ticks from 1 January 1601 to 30 December 1899, both 00:00.
inline constexpr int64_t kTicksAtDateTimeZero = 94'353'120'000'000'000;
inline constexpr int64_t kTicksPerDay = 864'000'000'000;
// The date-time of 1 January 1601 00:00, the origin of editing times.
inline constexpr TDateTime kEditTimeOrigin = -109'205.0;

// Local time is the user's zone from the C library's zone database (TZ),
// read afresh by each conversion.

// While one lives, conversions on this thread use the zone read when it was
// made instead of reading it again for every value (with TZ unset, reading it
// means looking at /etc/localtime). A document's reader holds one.
class TimeZoneScope {
public:
    TimeZoneScope();
    ~TimeZoneScope();
    TimeZoneScope(const TimeZoneScope&) = delete;
    TimeZoneScope& operator=(const TimeZoneScope&) = delete;

private:
    bool outermost_;
};

// UTC FILETIME to local date-time: local ticks - 94,353,120,000,000,000 in
// days, after the TDateTime convention below zero (1 January 1800 12:00 is
// -36,522.5). Values from 2^63 on, which no zone database covers, are taken
// without a zone shift and stay positive.
TDateTime FileTimeToDateTime(TFileTime fileTime);

// The editing-time property usually holds a duration but some writers store a
// date. A value whose local year is 1980 or later is taken as a date; anything
// earlier (including before 1601) as a duration counted from 1 January 1601,
// without a zone shift: 2 hours gives -109,205 - 2/24, zero gives -109,205.0.
TDateTime EditTimeToDateTime(TFileTime fileTime);

// The inverse of EditTimeToDateTime: a date-time from 1980 on is a local date;
// anything earlier is a duration from 1 January 1601 (kEditTimeOrigin gives 0).
TFileTime EditTimeToFileTime(TDateTime editTime);

// Local date-time to UTC FILETIME, with millisecond resolution; the inverse
// of FileTimeToDateTime, on either side of zero and from 2^63 on. A date-time
// before 1 January 1601, beyond the FILETIME range, or not a number yields 0.
TFileTime DateTimeToFileTime(TDateTime dateTime);

// The distance from 1 January 1601 as "1 h 30 m 20 s", leaving out zero parts;
// a zero duration gives the empty text.
std::u16string EditTimeToText(TDateTime editTime);

}  // namespace velmora::engine
