#include "storage/sector_allocator.h"

#include <algorithm>
#include <utility>

#include "storage/storage_error.h"

namespace velmora::storage {

uint32_t SectorAllocator::allocate() {
    for (;;) {
        // Nothing is freed while we allocate, so the scan never needs to look back.
        for (uint32_t sector = cursor_; sector < tables_.fatCoverage(); cursor_ = ++sector) {
            if (!takable(sector)) continue;
            take(sector);
            tables_.setFat(sector, kEndOfChain);
            fresh_.insert(sector);
            tables_.setSectorsInFile(std::max<uint64_t>(tables_.sectorsInFile(), uint64_t{sector} + 1));
            return sector;
        }
        growFat();
    }
}

uint64_t SectorAllocator::available(uint64_t limit) const {
    uint64_t count = 0;
    for (uint64_t sector = 0; sector < std::min<uint64_t>(limit, tables_.fatCoverage()); ++sector)
        if (takable(sector)) ++count;
    return count;
}

bool SectorAllocator::freeIfReusable(uint32_t sector) {
    if (!stopReusing(sector)) return false;
    tables_.setFat(sector, kFreeSector);
    return true;
}

void SectorAllocator::free(uint32_t sector) {
    unuse(sector);
    tables_.setFat(sector, kFreeSector);
}

void SectorAllocator::widenReachToCoverage() { fatReach_ = std::max<uint64_t>(fatReach_, tables_.fatCoverage()); }

std::vector<uint32_t> SectorAllocator::takeOrphans() { return std::exchange(orphans_, {}); }

void SectorAllocator::growFat() {
    // The new FAT sector sits just past what the FAT covers, and covers itself.
    const uint64_t location = tables_.fatCoverage();
    if (location > kMaxRegularSector - tables_.entriesPerSector())
        throw StorageError(StorageResult::MediumFull, Refusal::DiskFull, "The document cannot grow any further");
    tables_.appendFatSector(static_cast<uint32_t>(location));
    widenReachToCoverage();
    use(static_cast<uint32_t>(location));
    fresh_.insert(static_cast<uint32_t>(location));
    tables_.setSectorsInFile(std::max<uint64_t>(tables_.sectorsInFile(), location + 1));
    addDifatEntry(static_cast<uint32_t>(location));
}

void SectorAllocator::addDifatEntry(uint32_t fatSectorLocation) {
    const size_t index = tables_.fatLocations().size() - 1;
    if (tables_.difatEntryNeedsNewSector(index)) {
        // Linking a new DIFAT sector to the last one would change a sector in
        // effect before the header counts the new one. The whole chain is
        // copied instead, and the header switches to the copy; the old
        // sectors are zeroed and freed once this operation's switch is durable.
        std::vector<uint32_t> copies;
        for (size_t k = 0; k <= tables_.difatLocations().size(); ++k) {
            copies.push_back(allocate());
            tables_.setFat(copies.back(), kDifatSector);
        }
        for (uint32_t old : tables_.moveDifat(copies)) {
            unuse(old);
            orphans_.push_back(old);
        }
    }
    tables_.setDifatEntry(index, fatSectorLocation);
}

bool SectorAllocator::shrinkFat(size_t originalFatCount) {
    if (tables_.sectorsInFile() > tables_.fatCoverage()) return false;
    const uint32_t perSector = tables_.entriesPerSector();
    bool shrunk = false;
    while (tables_.fatLocations().size() > std::max<size_t>(originalFatCount, 1)) {
        const size_t index = tables_.fatLocations().size() - 1;
        if (index >= kHeaderDifatEntryCount) break;
        const uint64_t begin = uint64_t{index} * perSector;
        const uint32_t location = tables_.fatLocations().back();
        if (location < begin || location >= begin + perSector) break;
        bool empty = true;
        for (uint64_t sector = begin; sector < begin + perSector && empty; ++sector)
            if (sector != location && (tables_.fat(sector) != kFreeSector || used(sector))) empty = false;
        if (!empty) break;
        widenReachToCoverage();
        tables_.dropLastFatSector();
        truncate(begin);
        shrunk = true;
    }
    return shrunk;
}

uint64_t SectorAllocator::trailingKeep() const {
    const uint64_t inFile = tables_.sectorsInFile();
    if (inFile > fatReach_) return inFile;
    uint64_t keep = inFile;
    while (keep > 0 && (keep > tables_.fatCoverage() || (tables_.fat(keep - 1) == kFreeSector && !used(keep - 1)))) --keep;
    return keep;
}

}  // namespace velmora::storage
