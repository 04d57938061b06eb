#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <ostream>

#include "cli/command_line.h"

namespace velmora::cli {

// Runs "velmora-cli clean": every listed document in turn, going on after a
// document that fails. Exit status 0 when none failed, 1 otherwise.
int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err);

// Gives a document back the access and modification times it had before
// cleaning ("--keep-dates"); true when it could.
using FileTimesRestorer = bool (*)(const std::filesystem::path& path, const struct stat& before);
bool RestoreFileTimes(const std::filesystem::path& path, const struct stat& before);

// As above, with the time restorer chosen by the caller, so that a refusal
// from the file system can be met on purpose.
int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err, FileTimesRestorer restoreTimes);

}  // namespace velmora::cli
