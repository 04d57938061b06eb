#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "storage/byte_source.h"

namespace velmora::storage {

// The writes of one step of a transaction. They are staged and go out
// together at the next flush or sync, adjacent ones merged into one call: a
// stream of many sectors is a few writes, not one per sector. While
// `recording`, every byte of the original file a write changes is saved
// first, so that rollback() can put the file back as it was.
class WriteJournal {
public:
    WriteJournal(WritableByteSource& source, bool recording)
        : source_(source), originalSize_(source.size()), recording_(recording) {}

    // A write inside one already staged (mini sectors in a fresh sector)
    // lands in it; any other overlap sends what is staged out first.
    void write(uint64_t offset, std::span<const uint8_t> bytes);
    void flush();
    void sync();
    // From here on nothing can be undone: the writes stop being recorded.
    void stopRecording() { recording_ = false; }
    // Best effort: the error that made us roll back is the one reported.
    void rollback() noexcept;

private:
    WritableByteSource& source_;
    uint64_t originalSize_;
    bool recording_;
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> undo_;
    std::map<uint64_t, std::vector<uint8_t>> staged_;
};

}  // namespace velmora::storage
