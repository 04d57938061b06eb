#include "storage/byte_source.h"

#include <algorithm>
#include <string>

#include "storage/storage_error.h"
#include "storage/stream_view.h"

namespace velmora::storage {

namespace {
bool RangeFits(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && size - offset >= length;
}
}  // namespace

void MemoryByteSource::readAt(uint64_t offset, std::span<uint8_t> buffer) {
    if (!RangeFits(offset, buffer.size(), bytes_.size()))
        ThrowDamaged("read of " + std::to_string(buffer.size()) + " bytes at offset " + std::to_string(offset) +
                     " lies beyond the end of the file (" + std::to_string(bytes_.size()) + " bytes)");
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
    countRead(buffer.size());
}

void MemoryByteSource::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
    if (!RangeFits(offset, bytes.size(), bytes_.size()))
        throw StorageError(StorageResult::WriteFault, Refusal::IoError, "write beyond the end of the document");
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
}

void MemoryByteSource::sync() {}

void MemoryByteSource::resize(uint64_t newSize) {
    bytes_.resize(static_cast<size_t>(newSize));
}

void MemoryStreamView::read(uint64_t offset, std::span<uint8_t> out) {
    if (!RangeFits(offset, out.size(), bytes_.size()))
        ThrowDamaged("read of " + std::to_string(out.size()) + " bytes at offset " + std::to_string(offset) +
                     " of a stream of " + std::to_string(bytes_.size()) + " bytes");
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
}

}  // namespace velmora::storage
