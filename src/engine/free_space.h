#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace velmora::engine {

// Residue is what a document's free space still holds: old copies an
// interrupted clean left, what fast saves and other programs left behind,
// bytes past the end of a stream inside its last sector. No reader shows
// it, yet anyone with a hex viewer can read it.

// The bytes of residue a document holds (CompoundFileWriter::residue), read
// through one opening for reading; nothing where it cannot be surveyed (not
// a compound file, damaged, unreadable).
std::optional<uint64_t> MeasureResidue(const std::filesystem::path& path);

// Zeroes a document's residue durably, as the last step of a clean. Looks
// before it writes: a document without residue is not opened for writing,
// so one that is clean and read-only is no failure. Returns the bytes
// zeroed; raises storage::StorageError where the document cannot be
// written or is open in an office program.
uint64_t ZeroFreeSpace(const std::filesystem::path& path);

}  // namespace velmora::engine
