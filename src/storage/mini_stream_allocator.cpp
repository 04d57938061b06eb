#include "storage/mini_stream_allocator.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "storage/storage_error.h"

namespace velmora::storage {

void MiniStreamAllocator::load(const DirectoryEntry& root) {
    size_ = root.streamSize;
    const uint32_t sectorSize = tables_.sectorSize();
    chain_ = ChainWalk::Sectors(tables_, root.startSector, CeilDivide(size_, sectorSize), &sectors_.inUse(), "the mini stream").all();
    // The chain must end before the sectors past the size, and an empty
    // mini stream must have no start.
    if (!chain_.empty() && tables_.fat(chain_.back()) != kEndOfChain) tables_.setFat(chain_.back(), kEndOfChain);
    if (chain_.empty() && root.startSector != kEndOfChain) entryDirty_ = true;
    if (uint64_t{chain_.size()} * sectorSize < size_)
        ThrowDamaged("the mini stream claims " + std::to_string(size_) + " bytes in " + std::to_string(chain_.size()) + " sectors");
}

uint64_t MiniStreamAllocator::offsetOf(uint32_t miniSector) const {
    const uint32_t sectorSize = tables_.sectorSize();
    const uint64_t position = uint64_t{miniSector} * kMiniSectorSize;
    return (uint64_t{chain_[position / sectorSize]} + 1) * sectorSize + position % sectorSize;
}

bool MiniStreamAllocator::freeIfReusable(uint32_t miniSector) {
    if (!stopReusing(miniSector)) return false;
    tables_.setMiniFat(miniSector, kFreeSector);
    return true;
}

// Only mini sectors wholly inside the mini stream take content: a reader
// refuses one the stream's size cuts (growth rounds the size up to whole ones).
uint64_t MiniStreamAllocator::available(uint64_t limit) const {
    const uint64_t capacity = std::min({size_ / kMiniSectorSize, tables_.miniFatCoverage(), limit});
    uint64_t count = 0;
    for (uint64_t unit = 0; unit < capacity; ++unit)
        if (takable(unit)) ++count;
    return count;
}

uint32_t MiniStreamAllocator::allocate(uint64_t limit) {
    const uint64_t capacity = std::min({size_ / kMiniSectorSize, tables_.miniFatCoverage(), limit});
    for (uint32_t unit = 0; unit < capacity; ++unit) {
        if (!takable(unit)) continue;
        take(unit);
        tables_.setMiniFat(unit, kEndOfChain);
        return unit;
    }
    throw std::logic_error("no free mini sector although the mini stream was grown");
}

void MiniStreamAllocator::grow(uint64_t needed) {
    const uint64_t newSize = (units() + needed) * kMiniSectorSize;
    while (uint64_t{chain_.size()} * tables_.sectorSize() < newSize) {
        const uint32_t sector = sectors_.allocate();
        if (chain_.empty())
            entryDirty_ = true;  // the root's start sector changes with its size
        else
            tables_.setFat(chain_.back(), sector);
        chain_.push_back(sector);
    }
    while (tables_.miniFatCoverage() < newSize / kMiniSectorSize)
        tables_.extendMiniFat(tables_.miniFatChainHasSpare() ? std::nullopt : std::optional<uint32_t>(sectors_.allocate()));
    size_ = newSize;
    entryDirty_ = true;
}

bool MiniStreamAllocator::shrink(uint64_t originalSize) {
    if (size_ <= originalSize) return false;
    uint64_t used = 0;
    for (uint64_t unit = 0; unit < tables_.miniFatCoverage(); ++unit)
        if (!takable(unit)) used = unit + 1;
    const uint64_t newSize = std::max(originalSize, used * kMiniSectorSize);
    if (newSize >= size_) return false;
    size_ = newSize;
    return true;
}

std::vector<uint32_t> MiniStreamAllocator::cutChain() {
    const size_t keep = static_cast<size_t>(CeilDivide(size_, tables_.sectorSize()));
    if (keep >= chain_.size()) return {};
    std::vector<uint32_t> cut(chain_.begin() + static_cast<std::ptrdiff_t>(keep), chain_.end());
    for (uint32_t sector : cut) sectors_.free(sector);
    chain_.resize(keep);
    if (!chain_.empty()) tables_.setFat(chain_.back(), kEndOfChain);
    return cut;
}

std::vector<uint32_t> MiniStreamAllocator::moveTo(const std::vector<uint32_t>& sectors) { return std::exchange(chain_, sectors); }

}  // namespace velmora::storage
