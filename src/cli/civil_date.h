#pragma once

#include <cstdint>

namespace velmora::cli {

struct CivilDate {
    int64_t year;
    int64_t month;  // 1 to 12
    int64_t day;    // 1 to 31
};

// The proleptic Gregorian date of a whole day count since 30 December 1899.
CivilDate CivilDateFromDays(int64_t daysSince1899);

}  // namespace velmora::cli
