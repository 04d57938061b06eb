#include "engine/stream_bytes.h"

#include <stdexcept>

namespace velmora::engine {

void StreamBytes::checkRange(uint64_t offset, uint64_t length) const {
    if (offset > size() || length > size() - offset) throw std::out_of_range("a walk asked for bytes past its stream");
}

std::span<const uint8_t> HeldStreamBytes::bytes(uint64_t offset, uint64_t length) {
    checkRange(offset, length);
    return bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
}

CachedStreamBytes::CachedStreamBytes(storage::CompoundFile& file, const storage::DirectoryEntry& entry)
    : reader_(file.openStream(entry)),
      // The mini stream's reader loads a small stream whole at once: one unit.
      unit_(reader_.inMiniStream() ? std::max<uint64_t>(reader_.size(), 1) : file.sectorSize()) {}

std::span<const uint8_t> CachedStreamBytes::bytes(uint64_t offset, uint64_t length) {
    checkRange(offset, length);
    if (length == 0) return {};
    if (!buffer_) {
        buffer_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(size()));
        loaded_.assign(static_cast<size_t>((size() + unit_ - 1) / unit_), false);
    }
    const uint64_t first = offset / unit_, last = (offset + length - 1) / unit_;
    for (uint64_t unit = first; unit <= last;) {
        if (loaded_[unit]) {
            ++unit;
            continue;
        }
        uint64_t end = unit + 1;
        while (end <= last && !loaded_[end]) ++end;
        const uint64_t begin = unit * unit_, stop = std::min(end * unit_, size());
        reader_.read(begin, std::span(buffer_.get() + begin, static_cast<size_t>(stop - begin)));
        for (uint64_t k = unit; k < end; ++k) loaded_[k] = true;
        unit = end;
    }
    return std::span<const uint8_t>(buffer_.get() + offset, static_cast<size_t>(length));
}

}  // namespace velmora::engine
