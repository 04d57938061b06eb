#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace velmora::storage {

// Random access to the bytes of one document. The compound-file parser only
// ever talks to this interface, so tests and the fuzzer run it on memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Length in bytes, as of opening.
    virtual uint64_t size() const = 0;

    // Fills `buffer` from `offset`. Throws StorageError when the range lies
    // outside the source or the read fails; never returns partial data.
    virtual void readAt(uint64_t offset, std::span<uint8_t> buffer) = 0;

    // Total bytes handed out by readAt, for measuring how little we read.
    uint64_t bytesRead() const { return bytesRead_; }

protected:
    void countRead(uint64_t byteCount) { bytesRead_ += byteCount; }

private:
    uint64_t bytesRead_ = 0;
};

// A ByteSource that can also be changed. Writes never reach past what the
// caller appended with resize(); sync() makes everything written durable.
class WritableByteSource : public ByteSource {
public:
    virtual void writeAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    virtual void sync() = 0;
    virtual void resize(uint64_t newSize) = 0;
};

// The whole document held in memory.
class MemoryByteSource : public WritableByteSource {
public:
    explicit MemoryByteSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint64_t size() const override { return bytes_.size(); }
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override;
    void writeAt(uint64_t offset, std::span<const uint8_t> bytes) override;
    void sync() override;
    void resize(uint64_t newSize) override;

    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace velmora::storage
