#pragma once

#include <ostream>

#include "cli/command_line.h"

namespace velmora::cli {

// Runs "velmora-cli clean": every listed document in turn, going on after a
// document that fails. Exit status 0 when none failed, 1 otherwise.
int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err);

}  // namespace velmora::cli
