#pragma once

#include <string>

namespace velmora::cli {

// "Velmora 3.00c (December 10, 2026)": the version with its build letter and
// the day this executable was built, read from the executable itself.
// Raises version::OsError when the build date cannot be read.
std::string VersionLine();

// "December 10, 2026" for a date-time (days since 30 December 1899).
std::string LongDateText(double dateTime);

}  // namespace velmora::cli
