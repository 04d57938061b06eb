#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace velmora::storage {

// Random access to one stream's bytes, wherever they live.
class StreamView {
public:
    virtual ~StreamView() = default;
    virtual uint64_t size() const = 0;
    // Throws StorageError (Damaged) for a range outside the stream.
    virtual void read(uint64_t offset, std::span<uint8_t> out) = 0;
};

// A stream held in memory, for tests and for streams already read whole.
class MemoryStreamView : public StreamView {
public:
    explicit MemoryStreamView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    void read(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::span<const uint8_t> bytes_;
};

}  // namespace velmora::storage
