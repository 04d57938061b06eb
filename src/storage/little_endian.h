#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora::storage {

// Little-endian values assembled from bytes: no alignment or host byte-order
// assumptions. Callers check bounds before calling.
inline uint16_t LoadU16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline uint32_t LoadU32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<uint32_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

inline uint64_t LoadU64(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint64_t>(LoadU32(bytes, at)) | (static_cast<uint64_t>(LoadU32(bytes, at + 4)) << 32);
}

inline void StoreU16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreU32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void StoreU64(std::span<uint8_t> bytes, size_t at, uint64_t value) {
    for (size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace velmora::storage
