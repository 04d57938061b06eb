#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "storage/allocation_tables.h"

namespace velmora::storage {

// Which sectors a writer may give to new content, in the tables' model.
//
// A sector is in use while some chain or structure reaches it. A sector an
// old copy left after its switch is reusable: unreachable, still allocated
// in the FAT, free for a second copy to take until it is freed for good.
// Allocation takes the lowest free sector from a cursor on, and grows the
// FAT (and the DIFAT with it) past the end where none is left.
class SectorAllocator {
public:
    explicit SectorAllocator(AllocationTables& tables) : tables_(tables) {}

    // Claimed by the chain walks that load the file.
    UnitSet& inUse() { return inUse_; }
    bool used(uint64_t sector) const { return inUse_.contains(sector); }
    bool reusable(uint64_t sector) const { return reusable_.contains(sector); }
    // Neither in use nor allocated to anything but an old copy.
    bool takable(uint64_t sector) const;

    uint32_t allocate();
    // Takable sectors below `limit`.
    uint64_t available(uint64_t limit) const;
    // The next allocation looks from `sector` on.
    void restartAt(uint32_t sector) { cursor_ = sector; }

    // Marks and unmarks without a table change.
    void use(uint32_t sector) { inUse_.insert(sector); }
    void unuse(uint32_t sector) { inUse_.erase(sector); }
    // An old copy's sector, reachable by nothing now.
    void release(uint32_t sector);
    // A released unit back in use (its old owner is in effect again).
    void reclaim(uint32_t sector) {
        inUse_.insert(sector);
        reusable_.erase(sector);
    }
    // A reusable sector no second copy took becomes free; false for others.
    bool freeIfReusable(uint32_t sector);
    void free(uint32_t sector);

    // Sectors allocated since the last forgetFresh(): written whole.
    bool fresh(uint32_t sector) const { return fresh_.count(sector) > 0; }
    void forgetFresh() { fresh_.clear(); }

    // The most sectors the FAT covered in this transaction: beyond them,
    // sectors past the end are not ours to cut.
    void startReachAtCoverage() { fatReach_ = tables_.fatCoverage(); }
    void widenReachToCoverage();

    // Sectors that left every chain when the header switched to a copied
    // DIFAT: zeroed and freed once the operation's switch is durable.
    const std::vector<uint32_t>& orphans() const { return orphans_; }
    std::vector<uint32_t> takeOrphans();

    // Drops FAT sectors that growth added at the end and that now cover
    // nothing but free sectors (and themselves); header DIFAT entries only.
    bool shrinkFat(size_t originalFatCount);
    // Sectors to keep: up to the last one in use. Only sectors the FAT
    // covers (or covered before this transaction shrank it) and calls free
    // are cut; anything past the FAT's reach is not ours to judge.
    uint64_t trailingKeep() const;

private:
    void growFat();
    void addDifatEntry(uint32_t fatSectorLocation);

    AllocationTables& tables_;
    UnitSet inUse_;
    UnitSet reusable_;
    std::set<uint32_t> fresh_;
    uint32_t cursor_ = 0;
    uint64_t fatReach_ = 0;
    std::vector<uint32_t> orphans_;
};

}  // namespace velmora::storage
