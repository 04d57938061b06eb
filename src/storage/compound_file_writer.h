#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/byte_source.h"
#include "storage/compound_file_format.h"

namespace velmora::storage {

// One stream of the root storage and the content it is to hold.
struct RootStreamReplacement {
    std::u16string name;
    std::span<const uint8_t> content;
};

// Bytes that replace as many bytes of a stream, from `offset` on.
struct StreamPatch {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
};

// Rewrites streams of a compound file in place, crash-consistently.
//
// The format has no journal, so every replacement is copy-on-write: the new
// contents go into free (or appended) sectors together with their allocation
// entries, then directory-sector writes switch the streams' start sectors and
// sizes, then the old sectors are zeroed and freed. An interruption at any
// point leaves a valid file in which each stream holds its old or its new
// content; the growth of FAT, DIFAT, miniFAT and mini stream happens before
// the switch and only ever adds free capacity. A failure before the switch
// writes back every byte changed so far and truncates what was appended, so
// a failed replacement changes nothing; a failure from the switch on is
// raised.
//
// Where a new copy had to be appended while the old one still held its
// place, the copy is moved back into the freed space with a second
// copy-on-write step, and what is left free at the end of the file is cut
// off, so a document does not grow by what cleaning it freed.
//
// Constructing the writer loads and checks every structure of the file (all
// chains, no sector used twice); a file that does not pass is refused as
// damaged rather than written through. Before each replacement, sectors and
// mini sectors that are allocated but reached by no chain (left by an
// interrupted write) are zeroed and freed; after it, every free sector and
// mini sector, and the unused tail of every stream's last sector, holds zeros,
// so that no old value survives anywhere in the file.
class CompoundFileWriter {
public:
    explicit CompoundFileWriter(WritableByteSource& source);

    // The content of the stream of that name in the root storage. Throws
    // StorageError (NoSuchPropertySet) when there is none.
    std::vector<uint8_t> readRootStream(std::u16string_view name);
    bool hasRootStream(std::u16string_view name) const;

    // Replaces every named stream in one transaction. Each stream is old or
    // new at every point of an interruption.
    void replaceRootStreams(std::span<const RootStreamReplacement> replacements);
    void replaceRootStream(std::u16string_view name, std::span<const uint8_t> content);

    // Overwrites byte ranges of a stream of the root storage; its size stays.
    // Copy-on-write of the touched sectors alone: each goes, patched, to a
    // free sector whose allocation entry links it to the rest of the chain,
    // then one sector write (the FAT sector or the directory sector that
    // links the first of them) switches the stream, then the old sectors are
    // zeroed and freed. Where the touched sectors would need links in more
    // than one sector, or the stream lives in the mini stream, the whole
    // stream is replaced instead: either way every range is old or every
    // range is new at each point of an interruption. Ranges must lie inside
    // the stream and not overlap (std::invalid_argument otherwise).
    void patchRootStream(std::u16string_view name, std::span<const StreamPatch> patches);
    // The sectors the last patchRootStream() wrote through copy-on-write
    // (twice where a copy first had to be appended); 0 after a whole
    // replacement.
    uint64_t lastPatchSectors() const { return lastPatchSectors_; }

    // Residue: old bytes no stream holds. Counted a piece at a time (a free
    // or unreachable sector, a sector past what the FAT covers, a free or
    // unreachable mini sector, the unused tail of a stream's last sector or
    // mini sector, and of the mini stream's last sector), in bytes, for each
    // piece holding a byte that is not zero. A chain that runs past its
    // stream's end ends there for this count: what lies beyond is
    // unreachable. Reads every such piece: not for a cheap look.
    uint64_t residue();
    // Zeroes all residue in one durable step and frees the sectors no chain
    // reaches; writes nothing when there is none. Returns the bytes zeroed.
    uint64_t zeroFreeSpace();
    // The residue this writer has zeroed so far, by zeroFreeSpace() or on
    // the way of a replacement (an earlier program's leftovers, or what an
    // interrupted write left); not the old copies of what it replaced.
    uint64_t residueZeroed() const { return residueZeroed_; }

private:
    struct Journal;
    struct Chain {
        bool mini = false;
        std::vector<uint32_t> units;  // sectors, or mini sectors when `mini`
    };
    struct Target {
        uint32_t index;
        std::span<const uint8_t> content;
        Chain old;
        Chain fresh;
    };

    void load();
    std::vector<uint32_t> walkChain(uint32_t start, const char* what, bool allowEmpty, uint64_t limit = UINT64_MAX);
    std::vector<uint32_t> walkMiniChain(uint32_t start, uint64_t size, const char* what);
    std::optional<uint32_t> findRootStream(std::u16string_view name) const;
    DirectoryEntry entry(uint32_t index) const;

    // Allocation in the in-memory model; changed sectors are remembered and
    // written by flushTables(). `below` limits where a chain may go.
    uint32_t allocateSector();
    void growFat();
    void addDifatEntry(uint32_t fatSectorLocation);
    uint32_t allocateMiniSector(uint64_t limit);
    uint64_t availableMiniSectors(uint64_t limit) const;
    uint64_t availableSectors(uint64_t limit) const;
    void growMiniStream(uint64_t miniSectorsNeeded);
    Chain allocateChain(uint64_t size);
    std::optional<Chain> allocateChainBelow(uint64_t size, uint64_t sectorLimit, uint64_t miniLimit);
    void setFat(uint32_t sector, uint32_t value);
    void setMiniFat(uint32_t miniSector, uint32_t value);
    void release(const Chain& chain);
    std::pair<uint64_t, uint64_t> growthOf(const std::vector<Target>& targets) const;
    void reserveGrowthRoom(const std::vector<Target>& targets, const std::function<void()>& place);

    uint64_t miniSectorOffset(uint32_t miniSector) const;
    uint64_t unitOffset(const Chain& chain, size_t k) const;
    void writeSector(Journal& journal, uint32_t sector, std::span<const uint8_t> bytes);
    void writeContent(Journal& journal, const Chain& chain, std::span<const uint8_t> content);
    void stageUnit(Journal& journal, const Chain& chain, size_t k, std::span<const uint8_t> bytes);
    void writeFreshMiniStreamSectors(Journal& journal);
    void writeDirectoryEntries(Journal& journal, const std::vector<Target>& targets, bool publishRoot);
    void flushTables(Journal& journal);
    void zeroAndFreeUnreachable(Journal& journal);
    void zeroUnits(Journal& journal, const Chain& chain);
    void freeUnits(const Chain& chain);
    void relocateIntoFreedSpace(Journal& journal, std::vector<Target>& targets, uint64_t sectorLimit,
                                uint64_t miniLimit, uint64_t originalRootSize, std::vector<Chain>& toFree,
                                std::vector<Chain>& firstCopies);
    bool cutMiniStreamChain(Journal& journal);
    void finishAfterSwitch(Journal& journal, std::vector<Target>& targets, uint64_t originalSectorCount,
                           uint64_t originalRootSize, size_t originalFatCount);
    bool shrinkMiniStream(uint64_t originalRootSize);
    bool shrinkFat(size_t originalFatCount);
    uint64_t trailingKeep() const;
    void visitResidue(uint64_t sectorLimit, bool standalone, const std::vector<Target>& rewritten,
                      const std::function<void(uint64_t offset, std::span<uint8_t> bytes)>& visit);
    void scrubFreeSpace(Journal& journal, uint64_t keepSectors, const std::vector<Target>& rewritten, bool standalone = false);
    void visitIfNotZero(uint64_t offset, uint64_t length, const std::function<void(uint64_t, std::span<uint8_t>)>& visit);
    size_t switchSectorsOf(uint32_t owner, const std::vector<uint32_t>& units, const std::set<size_t>& sectors) const;
    void copySectorsOnWrite(uint32_t owner, std::vector<uint32_t>& units, uint64_t inUse, uint64_t ownerSize,
                            const std::set<size_t>& sectors, const std::function<void(size_t, std::vector<uint8_t>&)>& patch,
                            uint64_t sectorLimit, bool undoable);

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
    std::vector<DirectoryEntry> rootChildren_;
    std::vector<uint32_t> rootChain_;     // sectors of the mini stream
    uint64_t rootSize_ = 0;
    std::map<uint32_t, Chain> streamChains_;  // by directory entry, streams with content

    std::vector<uint8_t> sectorUsed_;      // reached by some chain or structure
    std::vector<uint8_t> miniSectorUsed_;
    // Sectors of a stream's old copy after the switch: unreachable, still
    // allocated, and free for a second copy to take.
    std::vector<uint8_t> sectorReusable_;
    std::vector<uint8_t> miniSectorReusable_;

    std::set<uint32_t> dirtyFatSectors_;
    std::set<uint32_t> dirtyMiniFatSectors_;
    std::set<uint32_t> dirtyDifatSectors_;
    std::set<uint32_t> freshSectors_;  // allocated by this operation: written whole
    uint32_t allocationCursor_ = 0;
    uint64_t fatReach_ = 0;  // the most sectors the FAT covered in this transaction
    std::vector<uint8_t>* miniStreamCopy_ = nullptr;  // while the mini stream moves
    bool rootSizeDurable_ = false;  // the mini stream shrank with the second switch
    bool failed_ = false;
    uint64_t lastPatchSectors_ = 0;
    uint64_t residueZeroed_ = 0;
    // Sectors that left every chain when the header switched to a copied
    // DIFAT: zeroed and freed once the operation's switch is durable.
    std::vector<uint32_t> orphans_;
    bool headerDirty_ = false;
    bool rootSizeDirty_ = false;
};

// The residue of a compound file opened for reading only (see
// CompoundFileWriter::residue). Raises StorageError where the writer would
// refuse the file as damaged.
uint64_t MeasureResidue(ByteSource& source);

}  // namespace velmora::storage
