#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "storage/allocation_tables.h"
#include "storage/byte_source.h"
#include "storage/compound_file_format.h"
#include "storage/stream_view.h"

namespace velmora::storage {

class StreamReader;

// Read access to a compound file, loading only the structures a lookup
// needs: the header, the FAT and DIFAT sectors on the way, the directory
// sectors visited and the requested streams. Every sector index, chain and
// size is checked against the real file; damage throws StorageError
// (Refusal::Damaged), a file that is not a compound file NotCompoundFile.
class CompoundFile {
public:
    explicit CompoundFile(ByteSource& source);
    ~CompoundFile();

    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    const CompoundFileHeader& header() const { return header_; }
    ByteSource& source() { return source_; }
    uint32_t sectorSize() const { return header_.sectorSize; }
    // Sectors that start inside the file.
    uint32_t sectorCount() const { return sectorCount_; }
    uint64_t sectorOffset(uint32_t sector) const { return (static_cast<uint64_t>(sector) + 1) * header_.sectorSize; }

    const DirectoryEntry& rootEntry();
    DirectoryEntry directoryEntry(uint32_t index);
    // The stream or storage of that name directly inside the root storage.
    std::optional<DirectoryEntry> findInRoot(std::u16string_view name);
    // Every entry reachable from the root storage's child tree, in tree order.
    const std::vector<DirectoryEntry>& rootChildren();
    // The same for any storage: the entries of its child tree.
    std::vector<DirectoryEntry> childrenOf(const DirectoryEntry& storage);

    // Random access to one stream's bytes; valid while this object lives.
    StreamReader openStream(const DirectoryEntry& entry);

    // The allocation tables, read as lookups need them.
    AllocationTables& tables() { return *tables_; }
    // The FAT and miniFAT successor of a sector (no range check on the result).
    uint32_t nextSector(uint32_t sector) { return tables_->next(sector); }
    uint32_t nextMiniSector(uint32_t miniSector) { return tables_->nextMini(miniSector); }
    // Location of the index-th FAT sector, through the DIFAT.
    uint32_t fatSectorLocation(uint32_t fatIndex) { return tables_->fatSectorLocation(fatIndex); }
    // Location of the index-th miniFAT sector, through its chain.
    uint32_t miniFatSectorLocation(uint32_t miniFatIndex) { return tables_->miniFatSectorLocation(miniFatIndex); }
    // Sector numbers of the directory chain visited so far plus up to index.
    uint32_t directorySectorLocation(uint32_t directorySectorIndex);
    // The DIFAT sectors' locations, in chain order: the whole chain, or its
    // first `limit` sectors.
    std::vector<uint32_t> difatSectorLocations(size_t limit = SIZE_MAX) { return tables_->difatSectorLocations(limit); }

    // Reads one whole sector (zero-filled where a truncated last sector ends).
    std::vector<uint8_t> readSector(uint32_t sector);
    // Bytes of the file, from the first bytes the opening read where they
    // lie there, else from the source.
    void readBytes(uint64_t offset, std::span<uint8_t> out);

    // The mini stream (the root entry's data), shared by all small streams.
    StreamReader& miniStream();

private:
    ByteSource& source_;
    CompoundFileHeader header_;
    uint32_t sectorCount_ = 0;

    std::optional<AllocationTables> tables_;
    std::optional<ChainWalk> directoryChain_;
    std::unordered_map<uint32_t, std::vector<uint8_t>> directoryCache_;
    std::optional<DirectoryEntry> root_;
    std::optional<std::vector<DirectoryEntry>> rootChildren_;
    // The file's first bytes, read in one call: in most documents the
    // header, the first FAT sector and often the directory live there.
    std::vector<uint8_t> prefix_;
    std::unique_ptr<StreamReader> miniStream_;
};

// Random access to one stream. Regular streams are read sector by sector on
// demand (contiguous sectors in one read); small streams live in the mini
// stream and are read whole, as they are below 4096 bytes.
class StreamReader : public StreamView {
public:
    StreamReader(CompoundFile& file, const DirectoryEntry& entry, bool inMiniStream);

    uint64_t size() const override { return size_; }
    void read(uint64_t offset, std::span<uint8_t> out) override;
    std::vector<uint8_t> readAll();
    // Sector (or mini sector) numbers of the whole chain, validated.
    const std::vector<uint32_t>& chain();
    bool inMiniStream() const { return inMiniStream_; }

private:
    uint32_t chainSector(uint64_t chainIndex);
    void readRegular(uint64_t offset, std::span<uint8_t> out);

    ChainWalk& walk();

    CompoundFile& file_;
    uint32_t startSector_;
    uint64_t size_;
    bool inMiniStream_;
    uint32_t unitSize_;
    std::optional<ChainWalk> chain_;
    std::vector<uint8_t> miniBytes_;
    bool miniLoaded_ = false;
    std::unordered_map<uint32_t, std::vector<uint8_t>> sectorCache_;
};

}  // namespace velmora::storage
