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

#include "storage/allocation_tables.h"
#include "storage/byte_source.h"
#include "storage/compound_file.h"
#include "storage/compound_file_format.h"
#include "storage/mini_stream_allocator.h"
#include "storage/sector_allocator.h"
#include "storage/write_journal.h"

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
    std::optional<uint32_t> findRootStream(std::u16string_view name) const;
    DirectoryEntry entry(uint32_t index) const;
    uint32_t sectorSize() const { return tables_.sectorSize(); }

    // Placing new content. `below` limits where a chain may go.
    Chain allocateChain(uint64_t size);
    std::optional<Chain> allocateChainBelow(uint64_t size, uint64_t sectorLimit, uint64_t miniLimit);
    void release(const Chain& chain);
    std::pair<uint64_t, uint64_t> growthOf(const std::vector<Target>& targets) const;
    void reserveGrowthRoom(const std::vector<Target>& targets, const std::function<void()>& place);

    uint64_t unitOffset(const Chain& chain, size_t k) const;
    void writeSector(WriteJournal& journal, uint32_t sector, std::span<const uint8_t> bytes);
    void writeHeader(WriteJournal& journal);
    void flushTables(WriteJournal& journal);
    void writeContent(WriteJournal& journal, const Chain& chain, std::span<const uint8_t> content);
    void stageUnit(WriteJournal& journal, const Chain& chain, size_t k, std::span<const uint8_t> bytes);
    void writeFreshMiniStreamSectors(WriteJournal& journal);
    void writeDirectoryEntries(WriteJournal& journal, const std::vector<Target>& targets, bool publishRoot);
    void zeroAndFreeUnreachable(WriteJournal& journal);
    void zeroUnits(WriteJournal& journal, const Chain& chain);
    void freeUnits(const Chain& chain);
    void relocateIntoFreedSpace(WriteJournal& journal, std::vector<Target>& targets, uint64_t sectorLimit,
                                uint64_t miniLimit, uint64_t originalRootSize, std::vector<Chain>& toFree,
                                std::vector<Chain>& firstCopies);
    bool cutMiniStreamChain(WriteJournal& journal);
    void finishAfterSwitch(WriteJournal& journal, std::vector<Target>& targets, uint64_t originalSectorCount,
                           uint64_t originalRootSize, size_t originalFatCount);
    void visitResidue(uint64_t sectorLimit, bool standalone, const std::vector<Target>& rewritten,
                      const std::function<void(uint64_t offset, std::span<uint8_t> bytes)>& visit);
    void scrubFreeSpace(WriteJournal& journal, uint64_t keepSectors, const std::vector<Target>& rewritten, bool standalone = false);
    void visitIfNotZero(uint64_t offset, uint64_t length, const std::function<void(uint64_t, std::span<uint8_t>)>& visit);
    size_t switchSectorsOf(uint32_t owner, const std::vector<uint32_t>& units, const std::set<size_t>& sectors) const;
    void copySectorsOnWrite(uint32_t owner, std::vector<uint32_t>& units, uint64_t inUse, uint64_t ownerSize,
                            const std::set<size_t>& sectors, const std::function<void(size_t, std::vector<uint8_t>&)>& patch,
                            uint64_t sectorLimit, bool undoable);

    WritableByteSource& source_;
    // The reader's model of the file, its tables loaded whole; read through
    // only while loading, as what it holds of the file's first bytes goes
    // stale with the first write.
    CompoundFile file_;
    AllocationTables& tables_;
    SectorAllocator sectors_;
    MiniStreamAllocator mini_;
    std::vector<uint8_t> headerBytes_;

    std::vector<uint32_t> directoryChain_;
    std::vector<uint8_t> directoryBytes_;
    std::vector<DirectoryEntry> rootChildren_;
    std::map<uint32_t, Chain> streamChains_;  // by directory entry, streams with content

    std::vector<uint8_t>* miniStreamCopy_ = nullptr;  // while the mini stream moves
    bool rootSizeDurable_ = false;  // the mini stream shrank with the second switch
    bool failed_ = false;
    uint64_t lastPatchSectors_ = 0;
    uint64_t residueZeroed_ = 0;
};

// The residue of a compound file opened for reading only (see
// CompoundFileWriter::residue). Raises StorageError where the writer would
// refuse the file as damaged.
uint64_t MeasureResidue(ByteSource& source);

}  // namespace velmora::storage
