#pragma once

#include <cstdint>
#include <vector>

#include "storage/allocation_tables.h"
#include "storage/compound_file_format.h"
#include "storage/sector_allocator.h"
#include "storage/unit_states.h"

namespace velmora::storage {

// The mini stream (the root entry's data, where small streams live) and the
// allocation of its mini sectors, in the tables' model. It grows by whole
// sectors from the sector allocator and by whole miniFAT sectors; only mini
// sectors wholly inside it take content. In use and reusable as UnitStates
// says, for mini sectors.
class MiniStreamAllocator : public UnitStates {
public:
    MiniStreamAllocator(AllocationTables& tables, SectorAllocator& sectors) : tables_(tables), sectors_(sectors) {}

    // Walks the mini stream's chain as far as the root entry's size needs.
    // Sectors the chain runs on past that hold nothing (a shrink cut short
    // leaves them); they are left for the sweep of unreachable sectors.
    void load(const DirectoryEntry& root);

    uint64_t size() const { return size_; }
    // Mini sectors the stream reaches into, the last one maybe in part.
    uint64_t units() const { return (size_ + kMiniSectorSize - 1) / kMiniSectorSize; }
    const std::vector<uint32_t>& chain() const { return chain_; }
    uint64_t offsetOf(uint32_t miniSector) const;
    // The root entry's start sector or size differ from the model's.
    bool entryDirty() const { return entryDirty_; }
    void entryWritten() { entryDirty_ = false; }

    bool takable(uint64_t miniSector) const { return UnitStates::takable(miniSector, tables_.miniFat(miniSector)); }
    bool freeIfReusable(uint32_t miniSector);

    // Takable mini sectors below `limit`, wholly inside the stream.
    uint64_t available(uint64_t limit) const;
    uint32_t allocate(uint64_t limit);
    // Room for `needed` more mini sectors, zeros on disk once the caller
    // writes the fresh sectors of the chain.
    void grow(uint64_t needed);
    // Gives back room that growth added and nothing uses any more: only the
    // size changes here.
    bool shrink(uint64_t originalSize);
    // The chain gives up the sectors past the size; returns them (free in
    // the FAT now) for the caller to zero.
    std::vector<uint32_t> cutChain();
    // The stream moves to `sectors` (as many as its chain); returns the old.
    std::vector<uint32_t> moveTo(const std::vector<uint32_t>& sectors);

private:
    AllocationTables& tables_;
    SectorAllocator& sectors_;
    std::vector<uint32_t> chain_;
    uint64_t size_ = 0;
    bool entryDirty_ = false;
};

}  // namespace velmora::storage
