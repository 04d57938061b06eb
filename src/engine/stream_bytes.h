#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "storage/compound_file.h"

namespace velmora::engine {

// The bytes of one stream as a walk asks for them. A walk checks every
// offset and length against size() before it asks, as it would for a
// whole stream held in memory.
class StreamBytes {
public:
    virtual ~StreamBytes() = default;
    virtual uint64_t size() const = 0;
    // The `length` bytes from `offset`, valid for as long as this object.
    // std::out_of_range where they do not lie inside the stream; a read the
    // storage refuses raises its StorageError.
    virtual std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) = 0;

protected:
    void checkRange(uint64_t offset, uint64_t length) const;
};

// A stream already in memory (the clean reads whole streams to patch them).
class HeldStreamBytes : public StreamBytes {
public:
    explicit HeldStreamBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) override;

private:
    std::span<const uint8_t> bytes_;
};

// A stream of a compound file read on demand: each of its sectors is read
// at most once, however often and in whatever order a walk asks for it,
// and what a walk skips is never read. Runs of missing sectors go to the
// reader in one call, which reads contiguous sectors in one read. A small
// stream lives in the mini stream and is read whole on first use.
class CachedStreamBytes : public StreamBytes {
public:
    CachedStreamBytes(storage::CompoundFile& file, const storage::DirectoryEntry& entry);
    uint64_t size() const override { return reader_.size(); }
    std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) override;

private:
    storage::StreamReader reader_;
    uint64_t unit_;
    std::unique_ptr<uint8_t[]> buffer_;  // the stream's size, filled where `loaded_` says
    std::vector<bool> loaded_;
};

}  // namespace velmora::engine
