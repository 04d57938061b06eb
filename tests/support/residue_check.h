#pragma once

#include <cstdint>
#include <vector>

namespace velmora::testing {

// Old bytes a compound file keeps where nothing holds them, found without
// the writer's model: every byte that no structure (header, FAT, DIFAT,
// directory, miniFAT) and no stream of any directory entry holds, each chain
// taken through the reader and cut at its stream's size, must be zero. The
// count of bytes that are not; throws the reader's StorageError for a file it
// cannot read.
uint64_t BytesNothingHolds(const std::vector<uint8_t>& file);

}  // namespace velmora::testing
