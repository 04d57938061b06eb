#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <unordered_set>
#include <span>
#include <vector>

#include "storage/compound_file_format.h"

namespace velmora::storage {

// A set of sectors, or of mini sectors, by number: a bit per unit where the
// set covers the whole file (a writer's claims), else only the units it holds
// (one chain's claims, which a sparse file could otherwise make huge).
class UnitSet {
public:
    enum class Storage { Bits, Sparse };
    explicit UnitSet(Storage storage = Storage::Bits) : sparse_(storage == Storage::Sparse) {}

    // False where the unit was in the set already.
    bool insert(uint64_t unit);
    void erase(uint64_t unit);
    bool contains(uint64_t unit) const;
    // Forgets every unit at or past `count`.
    void truncate(uint64_t count);

private:
    bool sparse_;
    std::vector<bool> bits_;
    std::unordered_set<uint64_t> units_;
};

class AllocationTables;

// One chain, followed link by link only as far as it is asked and never past
// `limit` units. Each unit is checked to be one the table covers and the
// file (or the mini stream) holds, and is claimed in a UnitSet: that makes
// every walk finite, and where walks share the set, a unit two chains reach
// is found. Damage throws StorageError (Damaged).
//
// A start of end-of-chain (or free: some writers mark "no chain" so) is an
// empty chain; whether that is allowed is the caller's to say.
class ChainWalk {
public:
    // A chain of sectors through the FAT.
    static ChainWalk Sectors(AllocationTables& tables, uint32_t start, uint64_t limit, UnitSet* claims, const char* what);
    // A chain of mini sectors through the miniFAT, inside a mini stream of
    // `miniStreamUnits` mini sectors.
    static ChainWalk MiniSectors(AllocationTables& tables, uint32_t start, uint64_t limit, uint64_t miniStreamUnits,
                                 UnitSet* claims, const char* what);

    // The unit at `index`, walking on to it; nullopt where the chain (or the
    // limit) ends before it.
    std::optional<uint32_t> at(uint64_t index);
    // The chain to its end or to the limit.
    const std::vector<uint32_t>& all();

private:
    ChainWalk(AllocationTables& tables, bool mini, uint32_t start, uint64_t limit, uint64_t miniStreamUnits, UnitSet* claims,
              const char* what);
    bool step();

    AllocationTables* tables_;
    bool mini_;
    uint32_t start_;
    uint64_t limit_;
    uint64_t miniStreamUnits_;
    UnitSet* sharedClaims_;  // null: the walk keeps its own
    UnitSet ownClaims_{UnitSet::Storage::Sparse};
    const char* what_;
    std::vector<uint32_t> units_;
    bool ended_ = false;
};

// The file's allocation tables: the FAT, the DIFAT that locates its sectors,
// and the miniFAT, with the header fields that count and locate them. A
// reader looks entries up and only the table sectors on the way are read; a
// writer loads everything (loadAll) and changes it, and the sectors it
// changed are handed out by flush(). Every sector index is checked against
// the file: damage throws StorageError (Damaged).
class AllocationTables {
public:
    // Reads one whole sector of the file (zero-filled where the file ends).
    using SectorReader = std::function<std::vector<uint8_t>(uint32_t sector)>;

    AllocationTables(const CompoundFileHeader& header, uint64_t sectorsInFile, SectorReader readSector);
    AllocationTables(const AllocationTables&) = delete;
    AllocationTables& operator=(const AllocationTables&) = delete;

    const CompoundFileHeader& header() const { return header_; }
    uint32_t sectorSize() const { return header_.sectorSize; }
    uint32_t entriesPerSector() const { return entriesPerSector_; }
    // Sectors that start inside the file; a writer moves the end.
    uint64_t sectorsInFile() const { return sectorsInFile_; }
    void setSectorsInFile(uint64_t count) { sectorsInFile_ = count; }
    void checkSector(uint32_t sector, const char* what) const;
    // Sectors the FAT has entries for; mini sectors the miniFAT has.
    uint64_t fatCoverage() const { return uint64_t{header_.fatSectorCount} * entriesPerSector_; }
    uint64_t miniFatCoverage() const { return uint64_t{header_.miniFatSectorCount} * entriesPerSector_; }

    // Lookups, reading the table sectors they need on the way.
    uint32_t next(uint32_t sector);
    uint32_t nextMini(uint32_t miniSector);
    uint32_t fatSectorLocation(uint32_t fatIndex);
    uint32_t miniFatSectorLocation(uint32_t miniFatIndex);
    // The DIFAT sectors' locations in chain order: the whole chain, or its
    // first `limit` sectors.
    std::vector<uint32_t> difatSectorLocations(size_t limit = SIZE_MAX);

    // Loads the whole FAT, the DIFAT sectors the FAT's count needs and the
    // miniFAT, claiming their sectors (and the miniFAT's whole chain) in
    // `claims`. A DIFAT link past the needed sectors (an interrupted write
    // may leave one) is ended, and the header stops counting what lies past
    // it: those sectors are left to be swept as unreachable.
    void loadAll(UnitSet& claims);

    // After loadAll: entries as they stand, changed ones included.
    uint32_t fat(uint64_t sector) const { return fat_[sector / entriesPerSector_][sector % entriesPerSector_]; }
    uint32_t miniFat(uint64_t miniSector) const {
        return miniFat_[miniSector / entriesPerSector_][miniSector % entriesPerSector_];
    }
    void setFat(uint32_t sector, uint32_t value);
    void setMiniFat(uint32_t miniSector, uint32_t value);

    const std::vector<uint32_t>& fatLocations() const { return fatLocations_; }
    // A FAT sector at `location` (just past what the FAT covers, covering
    // itself) joins the FAT; the DIFAT entry for it is the caller's.
    void appendFatSector(uint32_t location);
    void dropLastFatSector();
    const std::vector<uint32_t>& difatLocations() const { return difatLocations_; }
    // Where the entry for FAT sector `fatIndex` goes needs a DIFAT sector
    // the chain does not have yet.
    bool difatEntryNeedsNewSector(size_t fatIndex) const;
    void setDifatEntry(size_t fatIndex, uint32_t location);
    // The DIFAT moves to `copies`, one sector longer than the chain it
    // replaces (the header switches to it); returns the old locations.
    std::vector<uint32_t> moveDifat(const std::vector<uint32_t>& copies);

    // The miniFAT's chain, maybe longer than the header counts.
    const std::vector<uint32_t>& miniFatChain() const { return miniFatChain_; }
    // One more miniFAT sector counted: the next on the chain, or `appended`
    // (linked after the chain's last) where the chain has none left.
    bool miniFatChainHasSpare() const { return miniFatChain_.size() > header_.miniFatSectorCount; }
    void extendMiniFat(std::optional<uint32_t> appended);
    // The miniFAT moves to `copies` (as long as its chain); returns the old
    // locations. Until the header switches, the old sectors are the ones in
    // effect: call after flushing every counted sector there.
    std::vector<uint32_t> moveMiniFat(const std::vector<uint32_t>& copies);
    void markMiniFatDirty();

    // The header's table fields changed and are not written yet.
    bool headerDirty() const { return headerDirty_; }
    // Stores the table fields into the file's 512 header bytes.
    void storeHeader(std::span<uint8_t> bytes);
    // Every table sector changed since the last flush, with its new bytes.
    void flush(const std::function<void(uint32_t location, std::span<const uint8_t> bytes)>& write);

private:
    bool loadNextDifatSector();
    uint32_t difatEntry(uint32_t fatIndex);
    // One block of entries per table sector, empty until read: a lookup far
    // into a large file holds that sector's entries, not all before it.
    using Blocks = std::vector<std::vector<uint32_t>>;
    // Reads the table sector `locate` finds for `index` into its block, once.
    void loadBlock(Blocks& blocks, uint32_t index, uint32_t (AllocationTables::*locate)(uint32_t));
    void loadFatSector(uint32_t fatIndex);
    void loadMiniFatSector(uint32_t miniFatIndex);

    CompoundFileHeader header_;
    uint32_t entriesPerSector_;
    uint64_t sectorsInFile_;
    SectorReader readSector_;

    std::vector<uint32_t> difatLocations_;
    std::vector<std::vector<uint32_t>> difatContents_;
    UnitSet difatClaims_{UnitSet::Storage::Sparse};
    bool difatComplete_ = false;

    Blocks fat_;
    std::vector<uint32_t> fatLocations_;  // after loadAll

    bool loadedAll_ = false;
    std::optional<ChainWalk> miniFatWalk_;  // until loadAll: lookups find the chain
    std::vector<uint32_t> miniFatChain_;    // after loadAll
    Blocks miniFat_;

    std::set<uint32_t> dirtyFat_, dirtyDifat_, dirtyMiniFat_;
    bool headerDirty_ = false;
};

}  // namespace velmora::storage
