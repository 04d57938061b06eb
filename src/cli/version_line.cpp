#include "cli/version_line.h"

#include <cmath>
#include <cstdint>

#include "app/program_version.h"

namespace velmora::cli {

std::string LongDateText(double dateTime) {
    static constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                                "July",    "August",   "September", "October", "November", "December"};
    // Civil date from days since 1970-01-01 (30 December 1899 is day -25569).
    const int64_t z = static_cast<int64_t>(std::floor(dateTime)) - 25569 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return std::string(kMonths[month - 1]) + " " + std::to_string(day) + ", " + std::to_string(year);
}

std::string VersionLine() {
    const double built = app::ImageBuildDate(app::OwnExecutablePath());
    return "Velmora " + app::ProgramVersionText(true, false, true) + " (" + LongDateText(built) + ")";
}

}  // namespace velmora::cli
