#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
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

// Seams for tests.
struct CleanHooks {
    // After a document's line was written (and recorded in the journal), with
    // its index in the listing: a test can end the process there.
    std::function<void(size_t index)> documentRecorded;
};

// As above, with the time restorer chosen by the caller, so that a refusal
// from the file system can be met on purpose.
int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err, FileTimesRestorer restoreTimes,
             const CleanHooks& hooks = {});

}  // namespace velmora::cli
