#pragma once

#include <ostream>

#include "cli/command_line.h"

namespace velmora::cli {

// Runs "velmora-cli analyze". Exit status: 0 when every document was read,
// 1 when one or more were not (or a folder could not be listed).
int RunAnalyze(const AnalyzeOptions& options, std::ostream& out, std::ostream& err);

// "2021-05-06 07:08:09" for a local date-time; empty for the zero date-time.
std::string FormatDateTime(double dateTime);

}  // namespace velmora::cli
