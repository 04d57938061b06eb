#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "storage/allocation_tables.h"
#include "storage/unit_states.h"

namespace velmora::storage {

// Which sectors a writer may give to new content, in the tables' model.
//
// In use and reusable as UnitStates says. Allocation takes the lowest free
// sector from a cursor on, and grows the FAT (and the DIFAT with it) past
// the end where none is left.
class SectorAllocator : public UnitStates {
public:
    explicit SectorAllocator(AllocationTables& tables) : tables_(tables) {}

    // Neither in use nor allocated to anything but an old copy.
    bool takable(uint64_t sector) const { return UnitStates::takable(sector, tables_.fat(sector)); }

    uint32_t allocate();
    // Takable sectors below `limit`.
    uint64_t available(uint64_t limit) const;
    // The next allocation looks from `sector` on.
    void restartAt(uint32_t sector) { cursor_ = sector; }

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
    std::set<uint32_t> fresh_;
    uint32_t cursor_ = 0;
    uint64_t fatReach_ = 0;
    std::vector<uint32_t> orphans_;
};

}  // namespace velmora::storage
