#include "storage/compound_file_writer.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "storage/little_endian.h"
#include "storage/storage_error.h"

namespace velmora::storage {

namespace {

std::string Describe(uint32_t sector) {
    if (sector > kMaxRegularSector) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", sector);
        return text;
    }
    return std::to_string(sector);
}

uint64_t CeilDivide(uint64_t value, uint64_t divisor) { return (value + divisor - 1) / divisor; }

}  // namespace

// Writes are staged and go out together at the next sync point, adjacent
// ones merged into one call: a stream of many sectors is a few writes, not
// one per sector. Every byte the replacement changes inside the original file
// is saved first, so that a failure before the switch can put the file back.
struct CompoundFileWriter::Journal {
    WritableByteSource& source;
    uint64_t originalSize;
    bool recording = true;
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> undo;
    std::map<uint64_t, std::vector<uint8_t>> staged;

    void write(uint64_t offset, std::span<const uint8_t> bytes) {
        // A write inside one already staged (mini sectors in a fresh sector)
        // lands in it; any other overlap sends what is staged out first.
        auto after = staged.upper_bound(offset);
        if (after != staged.begin()) {
            auto before = std::prev(after);
            if (before->first + before->second.size() >= offset + bytes.size()) {
                std::copy(bytes.begin(), bytes.end(), before->second.begin() + static_cast<std::ptrdiff_t>(offset - before->first));
                return;
            }
            if (before->first + before->second.size() > offset) flush();
        }
        after = staged.lower_bound(offset);
        if (after != staged.end() && after->first < offset + bytes.size()) flush();
        staged[offset] = std::vector<uint8_t>(bytes.begin(), bytes.end());
    }

    void flush() {
        if (staged.empty()) return;
        const uint64_t end = std::prev(staged.end())->first + std::prev(staged.end())->second.size();
        if (source.size() < end) source.resize(end);
        std::vector<uint8_t> run;
        uint64_t runStart = 0;
        auto emit = [&] {
            if (run.empty()) return;
            if (recording && runStart < originalSize) {
                std::vector<uint8_t> saved(static_cast<size_t>(std::min<uint64_t>(run.size(), originalSize - runStart)));
                source.readAt(runStart, saved);
                undo.emplace_back(runStart, std::move(saved));
            }
            source.writeAt(runStart, run);
            run.clear();
        };
        for (auto& [offset, bytes] : staged) {
            if (run.empty() || runStart + run.size() != offset) {
                emit();
                runStart = offset;
            }
            run.insert(run.end(), bytes.begin(), bytes.end());
        }
        emit();
        staged.clear();
    }

    void sync() {
        flush();
        source.sync();
    }

    // Best effort: the error that made us roll back is the one reported.
    void rollback() noexcept {
        staged.clear();
        try {
            for (auto it = undo.rbegin(); it != undo.rend(); ++it) source.writeAt(it->first, it->second);
            if (source.size() != originalSize) source.resize(originalSize);
            source.sync();
        } catch (...) {
        }
    }
};

CompoundFileWriter::CompoundFileWriter(WritableByteSource& source) : source_(source) {
    load();
}

void CompoundFileWriter::load() {
    if (source_.size() < kHeaderLength)
        throw StorageError(StorageResult::InvalidHeader, Refusal::NotCompoundFile,
                           "The file is not an Office document of the legacy format (too short)");
    headerBytes_.assign(kHeaderLength, 0);
    source_.readAt(0, headerBytes_);
    header_ = CompoundFileHeader::ReadFrom(headerBytes_);
    sectorSize_ = header_.sectorSize;
    entriesPerSector_ = sectorSize_ / 4;
    uint64_t size = source_.size();
    fileSectorCount_ = size > sectorSize_ ? CeilDivide(size - sectorSize_, sectorSize_) : 0;

    auto readSector = [&](uint32_t sector) {
        std::vector<uint8_t> bytes(sectorSize_, 0);
        uint64_t offset = (uint64_t{sector} + 1) * sectorSize_;
        source_.readAt(offset, std::span(bytes).first(static_cast<size_t>(std::min<uint64_t>(sectorSize_, size - offset))));
        return bytes;
    };
    auto checkInFile = [&](uint32_t sector, const char* what) {
        if (sector >= fileSectorCount_)
            ThrowDamaged(std::string(what) + " refers to sector " + Describe(sector) + ", expected one of the file's " +
                         std::to_string(fileSectorCount_) + " sectors");
    };

    // The DIFAT: the header's entries, then the chain of DIFAT sectors.
    if (header_.fatSectorCount > fileSectorCount_)
        ThrowDamaged("the header claims " + std::to_string(header_.fatSectorCount) + " FAT sectors in a file of " +
                     std::to_string(fileSectorCount_) + " sectors");
    for (uint32_t i = 0; i < std::min<uint32_t>(header_.fatSectorCount, kHeaderDifatEntryCount); ++i)
        fatLocations_.push_back(header_.difat[i]);
    uint32_t next = header_.firstDifatSector;
    while (next != kEndOfChain && next != kFreeSector) {
        checkInFile(next, "the DIFAT");
        if (std::find(difatLocations_.begin(), difatLocations_.end(), next) != difatLocations_.end())
            ThrowDamaged("the DIFAT chain loops back to sector " + Describe(next));
        std::vector<uint8_t> bytes = readSector(next);
        std::vector<uint32_t> entries(entriesPerSector_);
        for (uint32_t k = 0; k < entriesPerSector_; ++k) entries[k] = LoadU32(bytes, 4 * k);
        for (uint32_t k = 0; k + 1 < entriesPerSector_ && fatLocations_.size() < header_.fatSectorCount; ++k)
            fatLocations_.push_back(entries[k]);
        difatLocations_.push_back(next);
        next = entries.back();
        difatContents_.push_back(std::move(entries));
    }
    if (fatLocations_.size() < header_.fatSectorCount)
        ThrowDamaged("the DIFAT lists " + std::to_string(fatLocations_.size()) + " FAT sectors, expected " +
                     std::to_string(header_.fatSectorCount));

    fat_.reserve(uint64_t{header_.fatSectorCount} * entriesPerSector_);
    for (uint32_t location : fatLocations_) {
        checkInFile(location, "the DIFAT");
        std::vector<uint8_t> bytes = readSector(location);
        for (uint32_t k = 0; k < entriesPerSector_; ++k) fat_.push_back(LoadU32(bytes, 4 * k));
    }
    sectorUsed_.assign(fat_.size(), 0);
    auto markStructure = [&](uint32_t sector, const char* what) {
        if (sector >= fat_.size() || sectorUsed_[sector])
            ThrowDamaged(std::string(what) + " sector " + Describe(sector) + " is outside the FAT or used twice");
        sectorUsed_[sector] = 1;
    };
    for (uint32_t location : fatLocations_) markStructure(location, "FAT");
    for (uint32_t location : difatLocations_) markStructure(location, "DIFAT");

    directoryChain_ = walkChain(header_.firstDirectorySector, "the directory", sectorUsed_, false);
    for (uint32_t sector : directoryChain_) {
        std::vector<uint8_t> bytes = readSector(sector);
        directoryBytes_.insert(directoryBytes_.end(), bytes.begin(), bytes.end());
    }
    miniFatChain_ = walkChain(header_.firstMiniFatSector, "the miniFAT", sectorUsed_, true);
    if (miniFatChain_.size() < header_.miniFatSectorCount)
        ThrowDamaged("the miniFAT chain has " + std::to_string(miniFatChain_.size()) + " sectors, expected " +
                     std::to_string(header_.miniFatSectorCount));
    for (uint32_t i = 0; i < header_.miniFatSectorCount; ++i) {
        std::vector<uint8_t> bytes = readSector(miniFatChain_[i]);
        for (uint32_t k = 0; k < entriesPerSector_; ++k) miniFat_.push_back(LoadU32(bytes, 4 * k));
    }

    DirectoryEntry root = entry(0);
    if (root.type != ObjectType::Root) ThrowDamaged("the first directory entry is not the root storage");
    rootSize_ = root.streamSize;
    rootChain_ = walkChain(root.startSector, "the mini stream", sectorUsed_, true);
    if (uint64_t{rootChain_.size()} * sectorSize_ < rootSize_)
        ThrowDamaged("the mini stream claims " + std::to_string(rootSize_) + " bytes in " +
                     std::to_string(rootChain_.size()) + " sectors");
    miniSectorUsed_.assign(miniFat_.size(), 0);

    const uint32_t entryCount = static_cast<uint32_t>(directoryBytes_.size() / kDirectoryEntryLength);
    for (uint32_t index = 1; index < entryCount; ++index) {
        DirectoryEntry stream = entry(static_cast<int>(index));
        if (stream.type != ObjectType::Stream || stream.streamSize == 0) continue;
        if (stream.streamSize >= kMiniStreamCutoff) {
            auto chain = walkChain(stream.startSector, "a stream", sectorUsed_, false);
            if (uint64_t{chain.size()} * sectorSize_ < stream.streamSize)
                ThrowDamaged("stream " + std::to_string(index) + " claims " + std::to_string(stream.streamSize) +
                             " bytes in a chain of " + std::to_string(chain.size()) + " sectors");
        } else {
            walkMiniChain(stream.startSector, stream.streamSize, "a small stream");
        }
    }
}

std::vector<uint32_t> CompoundFileWriter::walkChain(uint32_t start, const char* what, std::vector<uint8_t>& used,
                                                    bool allowEmpty) {
    std::vector<uint32_t> chain;
    if (allowEmpty && start == kFreeSector) return chain;  // some writers mark "no chain" this way
    for (uint32_t sector = start; sector != kEndOfChain; sector = fat_[sector]) {
        if (sector > kMaxRegularSector || sector >= fat_.size() || sector >= fileSectorCount_)
            ThrowDamaged(std::string(what) + " refers to sector " + Describe(sector) + ", outside the file");
        // Marking as we go makes every chain finite and finds cross-links.
        if (used[sector]) ThrowDamaged(std::string(what) + " reaches sector " + Describe(sector) + " a second time");
        used[sector] = 1;
        chain.push_back(sector);
    }
    if (chain.empty() && !allowEmpty) ThrowDamaged(std::string(what) + " has no sectors");
    return chain;
}

std::vector<uint32_t> CompoundFileWriter::walkMiniChain(uint32_t start, uint64_t size, const char* what) {
    const uint64_t capacity = CeilDivide(rootSize_, kMiniSectorSize);
    std::vector<uint32_t> chain;
    for (uint32_t sector = start; sector != kEndOfChain; sector = miniFat_[sector]) {
        if (sector >= miniFat_.size() || sector >= capacity)
            ThrowDamaged(std::string(what) + " refers to mini sector " + Describe(sector) + ", outside the mini stream");
        if (miniSectorUsed_[sector])
            ThrowDamaged(std::string(what) + " reaches mini sector " + Describe(sector) + " a second time");
        miniSectorUsed_[sector] = 1;
        chain.push_back(sector);
    }
    if (uint64_t{chain.size()} * kMiniSectorSize < size)
        ThrowDamaged(std::string(what) + " of " + std::to_string(size) + " bytes has a chain of " +
                     std::to_string(chain.size()) + " mini sectors");
    return chain;
}

DirectoryEntry CompoundFileWriter::entry(int index) const {
    return DirectoryEntry::ReadFrom(
        std::span(directoryBytes_).subspan(static_cast<size_t>(index) * kDirectoryEntryLength, kDirectoryEntryLength),
        static_cast<uint32_t>(index), header_.majorVersion);
}

int CompoundFileWriter::findRootChild(std::u16string_view name) const {
    const uint64_t entryCount = directoryBytes_.size() / kDirectoryEntryLength;
    std::unordered_set<uint32_t> visited{0};
    std::vector<uint32_t> pending{entry(0).child};
    while (!pending.empty()) {
        uint32_t index = pending.back();
        pending.pop_back();
        if (index == kNoStream) continue;
        if (index >= entryCount || !visited.insert(index).second)
            ThrowDamaged("the directory tree refers to entry " + Describe(index) + " badly");
        DirectoryEntry child = entry(static_cast<int>(index));
        if (child.type == ObjectType::Stream && DirectoryNamesEqual(child.name, name)) return static_cast<int>(index);
        pending.push_back(child.leftSibling);
        pending.push_back(child.rightSibling);
    }
    return -1;
}

bool CompoundFileWriter::hasRootStream(std::u16string_view name) { return findRootChild(name) >= 0; }

uint64_t CompoundFileWriter::miniSectorOffset(uint32_t miniSector) const {
    uint64_t position = uint64_t{miniSector} * kMiniSectorSize;
    return (uint64_t{rootChain_[position / sectorSize_]} + 1) * sectorSize_ + position % sectorSize_;
}

std::vector<uint8_t> CompoundFileWriter::readRootStream(std::u16string_view name) {
    int index = findRootChild(name);
    if (index < 0)
        throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                           "The document has no such property set");
    DirectoryEntry stream = entry(index);
    std::vector<uint8_t> content(static_cast<size_t>(stream.streamSize));
    const bool mini = stream.streamSize < kMiniStreamCutoff;
    const uint32_t unit = mini ? kMiniSectorSize : sectorSize_;
    // Pieces that lie one after the other in the file (mini sectors of one
    // sector, runs of sectors) are read with one call.
    uint64_t runOffset = 0;
    size_t runStart = 0, runLength = 0;
    auto readRun = [&] {
        if (runLength > 0) source_.readAt(runOffset, std::span(content).subspan(runStart, runLength));
        runLength = 0;
    };
    uint32_t sector = stream.startSector;
    for (uint64_t done = 0; done < content.size(); done += unit) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(unit, content.size() - done));
        uint64_t offset = mini ? miniSectorOffset(sector) : (uint64_t{sector} + 1) * sectorSize_;
        uint64_t present = std::min<uint64_t>(take, source_.size() > offset ? source_.size() - offset : 0);
        if (runLength > 0 && offset == runOffset + runLength && runStart + runLength == done) {
            runLength += static_cast<size_t>(present);
        } else {
            readRun();
            runOffset = offset;
            runStart = static_cast<size_t>(done);
            runLength = static_cast<size_t>(present);
        }
        if (present < take) readRun();  // the file ends inside this piece
        sector = mini ? miniFat_[sector] : fat_[sector];
    }
    readRun();
    return content;
}

void CompoundFileWriter::setFat(uint32_t sector, uint32_t value) {
    fat_[sector] = value;
    dirtyFatSectors_.insert(sector / entriesPerSector_);
}

void CompoundFileWriter::setMiniFat(uint32_t miniSector, uint32_t value) {
    miniFat_[miniSector] = value;
    dirtyMiniFatSectors_.insert(miniSector / entriesPerSector_);
}

uint32_t CompoundFileWriter::allocateSector() {
    for (;;) {
        // Nothing is freed while we allocate, so the scan never needs to look back.
        for (uint32_t sector = allocationCursor_; sector < fat_.size(); allocationCursor_ = ++sector) {
            if (fat_[sector] != kFreeSector || sectorUsed_[sector]) continue;
            sectorUsed_[sector] = 1;
            setFat(sector, kEndOfChain);
            freshSectors_.insert(sector);
            fileSectorCount_ = std::max<uint64_t>(fileSectorCount_, uint64_t{sector} + 1);
            return sector;
        }
        growFat();
    }
}

void CompoundFileWriter::growFat() {
    // The new FAT sector sits just past what the FAT covers, and covers itself.
    const uint32_t location = static_cast<uint32_t>(fat_.size());
    if (location > kMaxRegularSector - entriesPerSector_)
        throw StorageError(StorageResult::MediumFull, Refusal::DiskFull, "The document cannot grow any further");
    fat_.resize(fat_.size() + entriesPerSector_, kFreeSector);
    sectorUsed_.resize(fat_.size(), 0);
    fat_[location] = kFatSector;
    sectorUsed_[location] = 1;
    freshSectors_.insert(location);
    fileSectorCount_ = std::max<uint64_t>(fileSectorCount_, uint64_t{location} + 1);
    fatLocations_.push_back(location);
    dirtyFatSectors_.insert(static_cast<uint32_t>(fatLocations_.size() - 1));
    header_.fatSectorCount = static_cast<uint32_t>(fatLocations_.size());
    headerDirty_ = true;
    addDifatEntry(location);
}

void CompoundFileWriter::addDifatEntry(uint32_t fatSectorLocation) {
    const size_t index = fatLocations_.size() - 1;
    if (index < kHeaderDifatEntryCount) {
        header_.difat[index] = fatSectorLocation;
        return;
    }
    const size_t perDifatSector = entriesPerSector_ - 1;
    const size_t chainIndex = (index - kHeaderDifatEntryCount) / perDifatSector;
    if (chainIndex >= difatLocations_.size()) {
        uint32_t location = allocateSector();
        setFat(location, kDifatSector);
        std::vector<uint32_t> contents(entriesPerSector_, kFreeSector);
        contents.back() = kEndOfChain;
        if (difatLocations_.empty()) {
            header_.firstDifatSector = location;
        } else {
            difatContents_.back().back() = location;
            dirtyDifatSectors_.insert(static_cast<uint32_t>(difatLocations_.size() - 1));
        }
        difatLocations_.push_back(location);
        difatContents_.push_back(std::move(contents));
        header_.difatSectorCount = static_cast<uint32_t>(difatLocations_.size());
    }
    difatContents_[chainIndex][(index - kHeaderDifatEntryCount) % perDifatSector] = fatSectorLocation;
    dirtyDifatSectors_.insert(static_cast<uint32_t>(chainIndex));
}

uint32_t CompoundFileWriter::allocateMiniSector() {
    const uint64_t capacity = std::min<uint64_t>(CeilDivide(rootSize_, kMiniSectorSize), miniFat_.size());
    for (uint32_t sector = 0; sector < capacity; ++sector) {
        if (miniFat_[sector] != kFreeSector || miniSectorUsed_[sector]) continue;
        miniSectorUsed_[sector] = 1;
        setMiniFat(sector, kEndOfChain);
        return sector;
    }
    growMiniStream(1);
    return allocateMiniSector();
}

void CompoundFileWriter::growMiniStream(uint64_t miniSectorsNeeded) {
    const uint64_t capacity = CeilDivide(rootSize_, kMiniSectorSize);
    const uint64_t newCapacity = capacity + miniSectorsNeeded;
    const uint64_t newRootSize = newCapacity * kMiniSectorSize;
    while (uint64_t{rootChain_.size()} * sectorSize_ < newRootSize) {
        uint32_t sector = allocateSector();
        if (rootChain_.empty())
            rootSizeDirty_ = true;  // the root's start sector changes with its size
        else
            setFat(rootChain_.back(), sector);
        rootChain_.push_back(sector);
    }
    while (miniFat_.size() < newCapacity) {
        if (miniFatChain_.size() <= header_.miniFatSectorCount) {
            uint32_t sector = allocateSector();
            if (miniFatChain_.empty())
                header_.firstMiniFatSector = sector;
            else
                setFat(miniFatChain_.back(), sector);
            miniFatChain_.push_back(sector);
        }
        // A sector already on the chain past the counted ones holds nothing we need.
        dirtyMiniFatSectors_.insert(header_.miniFatSectorCount);
        ++header_.miniFatSectorCount;
        headerDirty_ = true;
        miniFat_.resize(miniFat_.size() + entriesPerSector_, kFreeSector);
        miniSectorUsed_.resize(miniFat_.size(), 0);
    }
    rootSize_ = newRootSize;
    rootSizeDirty_ = true;
}

void CompoundFileWriter::writeSector(Journal& journal, uint32_t sector, std::span<const uint8_t> bytes) {
    journal.write((uint64_t{sector} + 1) * sectorSize_, bytes);
}

void CompoundFileWriter::flushTables(Journal& journal) {
    std::vector<uint8_t> bytes(sectorSize_);
    auto put = [&](const uint32_t* entries) {
        for (uint32_t k = 0; k < entriesPerSector_; ++k) StoreU32(bytes, 4 * k, entries[k]);
    };
    for (uint32_t index : dirtyFatSectors_) {
        put(&fat_[uint64_t{index} * entriesPerSector_]);
        writeSector(journal, fatLocations_[index], bytes);
    }
    for (uint32_t index : dirtyDifatSectors_) {
        put(difatContents_[index].data());
        writeSector(journal, difatLocations_[index], bytes);
    }
    for (uint32_t index : dirtyMiniFatSectors_) {
        put(&miniFat_[uint64_t{index} * entriesPerSector_]);
        writeSector(journal, miniFatChain_[index], bytes);
    }
    dirtyFatSectors_.clear();
    dirtyDifatSectors_.clear();
    dirtyMiniFatSectors_.clear();
}

void CompoundFileWriter::zeroAndFreeUnreachable(Journal* journal) {
    std::vector<uint32_t> sectors, miniSectors;
    for (uint32_t sector = 0; sector < fat_.size(); ++sector)
        if (fat_[sector] != kFreeSector && !sectorUsed_[sector]) sectors.push_back(sector);
    const uint64_t miniCapacity = CeilDivide(rootSize_, kMiniSectorSize);
    for (uint32_t sector = 0; sector < miniFat_.size(); ++sector)
        if (miniFat_[sector] != kFreeSector && !miniSectorUsed_[sector]) miniSectors.push_back(sector);
    if (sectors.empty() && miniSectors.empty()) return;

    const std::vector<uint8_t> zeros(sectorSize_, 0);
    bool wroteZeros = false;
    for (uint32_t sector : sectors) {
        if (sector >= fileSectorCount_) continue;  // listed in the FAT, absent from the file
        writeSector(*journal, sector, zeros);
        wroteZeros = true;
    }
    for (uint32_t sector : miniSectors) {
        if (sector >= miniCapacity) continue;
        journal->write(miniSectorOffset(sector), std::span(zeros).first(kMiniSectorSize));
        wroteZeros = true;
    }
    // The zeros are durable before the sectors are marked free: a sector is
    // never free while it still holds what it held.
    if (wroteZeros) journal->sync();
    for (uint32_t sector : sectors) setFat(sector, kFreeSector);
    for (uint32_t sector : miniSectors) setMiniFat(sector, kFreeSector);
}

void CompoundFileWriter::dropTrailingFreeSectors(Journal& journal) {
    // Only sectors the FAT covers and calls free: anything past the FAT's
    // reach is not ours to judge, so such a file keeps its length.
    if (fileSectorCount_ > fat_.size()) return;
    uint64_t keep = fileSectorCount_;
    while (keep > 0 && fat_[keep - 1] == kFreeSector && !sectorUsed_[keep - 1]) --keep;
    if (keep == fileSectorCount_) return;
    const uint64_t newSize = (keep + 1) * sectorSize_;
    if (newSize >= source_.size()) return;
    // Free sectors hold zeros or nothing at all, so cutting them off loses
    // nothing; it undoes the growth a copy-on-write of a large stream needs.
    source_.resize(newSize);
    fileSectorCount_ = keep;
    journal.sync();
}

void CompoundFileWriter::replaceRootStream(std::u16string_view name, std::span<const uint8_t> content) {
    if (failed_) throw std::logic_error("a compound-file writer is not reused after a failed replacement");
    const uint64_t originalSize = source_.size();
    allocationCursor_ = 0;
    freshSectors_.clear();
    const int target = findRootChild(name);
    if (target < 0)
        throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                           "The document has no such property set");
    const DirectoryEntry old = entry(target);
    const bool oldInMini = old.streamSize < kMiniStreamCutoff;
    std::vector<uint32_t> oldChain;
    if (old.streamSize > 0) {
        const auto& table = oldInMini ? miniFat_ : fat_;
        for (uint32_t sector = old.startSector; sector != kEndOfChain; sector = table[sector]) oldChain.push_back(sector);
    }

    const bool newInMini = content.size() < kMiniStreamCutoff;
    const uint32_t unit = newInMini ? kMiniSectorSize : sectorSize_;
    const uint64_t unitCount = CeilDivide(content.size(), unit);
    Journal journal{source_, originalSize, true, {}, {}};
    const uint32_t entriesPerDirectorySector = sectorSize_ / static_cast<uint32_t>(kDirectoryEntryLength);
    const uint32_t targetDirectorySector = static_cast<uint32_t>(target) / entriesPerDirectorySector;
    try {
        zeroAndFreeUnreachable(&journal);

        std::vector<uint32_t> newChain;
        if (newInMini) {
            uint64_t freeMini = 0;
            const uint64_t capacity = std::min<uint64_t>(CeilDivide(rootSize_, kMiniSectorSize), miniFat_.size());
            for (uint32_t sector = 0; sector < capacity; ++sector)
                if (miniFat_[sector] == kFreeSector && !miniSectorUsed_[sector]) ++freeMini;
            if (freeMini < unitCount) growMiniStream(unitCount - freeMini);
            for (uint64_t k = 0; k < unitCount; ++k) newChain.push_back(allocateMiniSector());
            for (size_t k = 0; k + 1 < newChain.size(); ++k) setMiniFat(newChain[k], newChain[k + 1]);
        } else {
            for (uint64_t k = 0; k < unitCount; ++k) newChain.push_back(allocateSector());
            for (size_t k = 0; k + 1 < newChain.size(); ++k) setFat(newChain[k], newChain[k + 1]);
        }

        // Mini stream sectors appended by growth start out as zeros.
        const std::vector<uint8_t> zeros(sectorSize_, 0);
        for (uint32_t sector : rootChain_)
            if (freshSectors_.count(sector)) writeSector(journal, sector, zeros);
        // The new content, every sector's unused tail zeroed.
        std::vector<uint8_t> buffer(unit);
        for (uint64_t k = 0; k < unitCount; ++k) {
            std::fill(buffer.begin(), buffer.end(), 0);
            size_t begin = static_cast<size_t>(k * unit);
            size_t take = std::min<size_t>(unit, content.size() - begin);
            std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(begin), take, buffer.begin());
            if (newInMini)
                journal.write(miniSectorOffset(newChain[k]), buffer);
            else
                writeSector(journal, newChain[k], buffer);
        }
        flushTables(journal);
        journal.sync();

        // Growth of the header's tables and of the mini stream becomes visible
        // before the switch: on its own it only adds free capacity.
        if (rootSizeDirty_) {
            DirectoryEntry::WriteStreamLocation(std::span(directoryBytes_).first(kDirectoryEntryLength),
                                                rootChain_.empty() ? kEndOfChain : rootChain_.front(), rootSize_,
                                                header_.majorVersion);
        }
        bool growthWritten = false;
        if (headerDirty_) {
            header_.WriteTo(headerBytes_);
            journal.write(0, headerBytes_);
            growthWritten = true;
        }
        if (rootSizeDirty_ && targetDirectorySector != 0) {
            writeSector(journal, directoryChain_[0], std::span(directoryBytes_).first(sectorSize_));
            growthWritten = true;
        }
        if (growthWritten) journal.sync();

        // The switch: one directory sector.
        DirectoryEntry::WriteStreamLocation(
            std::span(directoryBytes_).subspan(static_cast<size_t>(target) * kDirectoryEntryLength, kDirectoryEntryLength),
            newChain.empty() ? kEndOfChain : newChain.front(), content.size(), header_.majorVersion);
        writeSector(journal, directoryChain_[targetDirectorySector],
                    std::span(directoryBytes_).subspan(uint64_t{targetDirectorySector} * sectorSize_, sectorSize_));
        journal.flush();
    } catch (...) {
        failed_ = true;
        journal.rollback();
        throw;
    }
    headerDirty_ = false;
    rootSizeDirty_ = false;

    // From here on the new content may already be what the file holds: no
    // rollback, and every failure is reported.
    journal.recording = false;
    source_.sync();

    const std::vector<uint8_t> zeros(sectorSize_, 0);
    for (uint32_t sector : oldChain) {
        if (oldInMini) {
            journal.write(miniSectorOffset(sector), std::span(zeros).first(kMiniSectorSize));
            miniSectorUsed_[sector] = 0;
        } else {
            writeSector(journal, sector, zeros);
            sectorUsed_[sector] = 0;
        }
    }
    if (!oldChain.empty()) {
        journal.sync();
        for (uint32_t sector : oldChain) oldInMini ? setMiniFat(sector, kFreeSector) : setFat(sector, kFreeSector);
        flushTables(journal);
        journal.sync();
        dropTrailingFreeSectors(journal);
    }
}

}  // namespace velmora::storage
