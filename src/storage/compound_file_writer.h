#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "storage/byte_source.h"
#include "storage/compound_file_format.h"

namespace velmora::storage {

// Rewrites one stream of a compound file in place, crash-consistently.
//
// The format has no journal, so every replacement is copy-on-write: the new
// content goes into free (or appended) sectors together with its allocation
// entries, then one directory-sector write switches the stream's start
// sector and size, then the old sectors are zeroed and freed. An interruption
// at any point leaves a valid file holding the old or the new content; the
// growth of FAT, DIFAT, miniFAT and mini stream happens before the switch and
// only ever adds free capacity. A failure before the switch writes back every
// byte changed so far and truncates what was appended, so a failed
// replacement changes nothing; a failure from the switch on is raised.
//
// Constructing the writer loads and checks every structure of the file (all
// chains, no sector used twice); a file that does not pass is refused as
// damaged rather than written through. Before each replacement, sectors and
// mini sectors that are allocated but reached by no chain (left by an
// interrupted write) are zeroed and freed, so that no old value survives.
class CompoundFileWriter {
public:
    explicit CompoundFileWriter(WritableByteSource& source);

    // The content of the stream of that name in the root storage. Throws
    // StorageError (NoSuchPropertySet) when there is none.
    std::vector<uint8_t> readRootStream(std::u16string_view name);
    bool hasRootStream(std::u16string_view name);

    void replaceRootStream(std::u16string_view name, std::span<const uint8_t> content);

private:
    struct Journal;

    void load();
    std::vector<uint32_t> walkChain(uint32_t start, const char* what, std::vector<uint8_t>& used, bool allowEmpty);
    std::vector<uint32_t> walkMiniChain(uint32_t start, uint64_t size, const char* what);
    int findRootChild(std::u16string_view name) const;
    DirectoryEntry entry(int index) const;

    // Allocation in the in-memory model; changed sectors are remembered and
    // written by flushTables().
    uint32_t allocateSector();
    void growFat();
    void addDifatEntry(uint32_t fatSectorLocation);
    uint32_t allocateMiniSector();
    void growMiniStream(uint64_t miniSectorsNeeded);
    void setFat(uint32_t sector, uint32_t value);
    void setMiniFat(uint32_t miniSector, uint32_t value);

    uint64_t miniSectorOffset(uint32_t miniSector) const;
    void writeSector(Journal& journal, uint32_t sector, std::span<const uint8_t> bytes);
    void flushTables(Journal& journal);
    void zeroAndFreeUnreachable(Journal* journal);
    void dropTrailingFreeSectors(Journal& journal);

    WritableByteSource& source_;
    CompoundFileHeader header_;
    std::vector<uint8_t> headerBytes_;
    uint32_t sectorSize_ = 0;
    uint32_t entriesPerSector_ = 0;
    uint64_t fileSectorCount_ = 0;  // sectors present in the file (grows as we append)

    std::vector<uint32_t> fatLocations_;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> difatLocations_;
    std::vector<std::vector<uint32_t>> difatContents_;
    std::vector<uint32_t> miniFatChain_;  // the whole chain, maybe longer than the header says
    std::vector<uint32_t> miniFat_;
    std::vector<uint32_t> directoryChain_;
    std::vector<uint8_t> directoryBytes_;
    std::vector<uint32_t> rootChain_;     // sectors of the mini stream
    uint64_t rootSize_ = 0;

    std::vector<uint8_t> sectorUsed_;      // reached by some chain or structure
    std::vector<uint8_t> miniSectorUsed_;

    std::set<uint32_t> dirtyFatSectors_;
    std::set<uint32_t> dirtyMiniFatSectors_;
    std::set<uint32_t> dirtyDifatSectors_;
    std::set<uint32_t> freshSectors_;  // allocated by this operation: written whole
    uint32_t allocationCursor_ = 0;
    bool failed_ = false;
    bool headerDirty_ = false;
    bool rootSizeDirty_ = false;
};

}  // namespace velmora::storage
