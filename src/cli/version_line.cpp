#include "cli/version_line.h"

#include <cmath>
#include <cstdint>

#include "version/program_version.h"
#include "cli/civil_date.h"

namespace velmora::cli {

std::string LongDateText(double dateTime) {
    static constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                                "July",    "August",   "September", "October", "November", "December"};
    const CivilDate date = CivilDateFromDays(static_cast<int64_t>(std::floor(dateTime)));
    return std::string(kMonths[date.month - 1]) + " " + std::to_string(date.day) + ", " + std::to_string(date.year);
}

std::string VersionLine() {
    const double built = version::ImageBuildDate(version::OwnExecutablePath());
    return "Velmora " + version::ProgramVersionText(true, false, true) + " (" + LongDateText(built) + ")";
}

}  // namespace velmora::cli
