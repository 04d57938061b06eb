#pragma once

#include <filesystem>
#include <optional>

namespace velmora::storage {

// The lock file an office suite keeps beside a document it has open, if any
// is live: LibreOffice's ".~lock.NAME#" (stale, and ignored, when it names
// this host and a process that no longer runs) or Microsoft Office's owner
// file ("~$NAME", or NAME with its first two characters replaced by "~$").
// Reading is not affected; writing a document with a live lock file is refused.
std::optional<std::filesystem::path> FindLiveOfficeLockFile(const std::filesystem::path& document);

}  // namespace velmora::storage
