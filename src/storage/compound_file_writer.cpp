#include "storage/compound_file_writer.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "storage/compound_file.h"
#include "storage/little_endian.h"
#include "storage/storage_error.h"

namespace velmora::storage {

namespace {

std::string Describe(uint32_t sector) { return sector > kMaxRegularSector ? HexWord(sector) : std::to_string(sector); }

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
    // Header, DIFAT and FAT sectors are found and checked by the reader's
    // own code; the writer then holds the whole FAT and checks every chain.
    CompoundFile file(source_);
    header_ = file.header();
    headerBytes_.assign(kHeaderLength, 0);
    source_.readAt(0, headerBytes_);
    sectorSize_ = header_.sectorSize;
    entriesPerSector_ = sectorSize_ / 4;
    const uint64_t size = source_.size();
    fileSectorCount_ = size > sectorSize_ ? CeilDivide(size - sectorSize_, sectorSize_) : 0;
    auto readSector = [&](uint32_t sector) { return file.readSector(sector); };

    if (header_.fatSectorCount > fileSectorCount_)
        ThrowDamaged("the header claims " + std::to_string(header_.fatSectorCount) + " FAT sectors in a file of " +
                     std::to_string(fileSectorCount_) + " sectors");
    for (uint32_t i = 0; i < header_.fatSectorCount; ++i) fatLocations_.push_back(file.fatSectorLocation(i));
    // Only as many DIFAT sectors as the header's FAT count needs: a link
    // past them (an interrupted write may leave one) leads nowhere.
    const uint64_t difatNeeded = header_.fatSectorCount > kHeaderDifatEntryCount
                                     ? CeilDivide(header_.fatSectorCount - kHeaderDifatEntryCount, entriesPerSector_ - 1)
                                     : 0;
    difatLocations_ = file.difatSectorLocations(static_cast<size_t>(difatNeeded));
    for (uint32_t location : difatLocations_) {
        std::vector<uint8_t> bytes = readSector(location);
        std::vector<uint32_t> entries(entriesPerSector_);
        for (uint32_t k = 0; k < entriesPerSector_; ++k) entries[k] = LoadU32(bytes, 4 * k);
        difatContents_.push_back(std::move(entries));
    }
    if (!difatContents_.empty() && difatContents_.back().back() != kEndOfChain) {
        difatContents_.back().back() = kEndOfChain;
        dirtyDifatSectors_.insert(static_cast<uint32_t>(difatContents_.size() - 1));
    }
    // DIFAT sectors the header counts beyond those are swept as unreachable:
    // the header must stop counting them before they are freed.
    if (header_.difatSectorCount > difatNeeded) {
        header_.difatSectorCount = static_cast<uint32_t>(difatNeeded);
        if (difatNeeded == 0) header_.firstDifatSector = kEndOfChain;
        headerDirty_ = true;
    }

    fat_.reserve(uint64_t{header_.fatSectorCount} * entriesPerSector_);
    for (uint32_t location : fatLocations_) {
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

    directoryChain_ = walkChain(header_.firstDirectorySector, "the directory", false);
    for (uint32_t sector : directoryChain_) {
        std::vector<uint8_t> bytes = readSector(sector);
        directoryBytes_.insert(directoryBytes_.end(), bytes.begin(), bytes.end());
    }
    miniFatChain_ = walkChain(header_.firstMiniFatSector, "the miniFAT", true);
    if (miniFatChain_.size() < header_.miniFatSectorCount)
        ThrowDamaged("the miniFAT chain has " + std::to_string(miniFatChain_.size()) + " sectors, expected " +
                     std::to_string(header_.miniFatSectorCount));
    for (uint32_t i = 0; i < header_.miniFatSectorCount; ++i) {
        std::vector<uint8_t> bytes = readSector(miniFatChain_[i]);
        for (uint32_t k = 0; k < entriesPerSector_; ++k) miniFat_.push_back(LoadU32(bytes, 4 * k));
    }

    const uint32_t entryCount = static_cast<uint32_t>(directoryBytes_.size() / kDirectoryEntryLength);
    DirectoryEntry root = entry(0);
    if (root.type != ObjectType::Root) ThrowDamaged("the first directory entry is not the root storage");
    rootSize_ = root.streamSize;
    // The mini stream is as long as the root entry says: sectors its chain
    // runs on past that hold nothing (a shrink cut short leaves them) and
    // count as unreachable.
    rootChain_ = walkChain(root.startSector, "the mini stream", true, CeilDivide(rootSize_, sectorSize_));
    // Such sectors are swept like any unreachable one: the chain must end
    // before them, and an empty mini stream must have no start.
    if (!rootChain_.empty() && fat_[rootChain_.back()] != kEndOfChain) setFat(rootChain_.back(), kEndOfChain);
    if (rootChain_.empty() && root.startSector != kEndOfChain) rootSizeDirty_ = true;
    if (uint64_t{rootChain_.size()} * sectorSize_ < rootSize_)
        ThrowDamaged("the mini stream claims " + std::to_string(rootSize_) + " bytes in " +
                     std::to_string(rootChain_.size()) + " sectors");
    miniSectorUsed_.assign(miniFat_.size(), 0);
    sectorReusable_.assign(fat_.size(), 0);
    miniSectorReusable_.assign(miniFat_.size(), 0);

    rootChildren_ = WalkChildTree(root.child, [&](uint32_t index) {
        if (index >= entryCount) ThrowDamaged("the directory tree refers to entry " + Describe(index) + ", beyond the directory");
        return entry(index);
    });
    for (uint32_t index = 1; index < entryCount; ++index) {
        DirectoryEntry stream = entry(index);
        if (stream.type != ObjectType::Stream || stream.streamSize == 0) continue;
        Chain chain;
        // A chain runs no further than its stream: sectors past that hold
        // nothing the stream says it holds, and are swept as unreachable
        // once the chain ends where the stream does.
        if (stream.streamSize >= kMiniStreamCutoff) {
            chain.units = walkChain(stream.startSector, "a stream", false, CeilDivide(stream.streamSize, sectorSize_));
            if (uint64_t{chain.units.size()} * sectorSize_ < stream.streamSize)
                ThrowDamaged("stream " + std::to_string(index) + " claims " + std::to_string(stream.streamSize) +
                             " bytes in a chain of " + std::to_string(chain.units.size()) + " sectors");
            if (fat_[chain.units.back()] != kEndOfChain) setFat(chain.units.back(), kEndOfChain);
        } else {
            chain.mini = true;
            chain.units = walkMiniChain(stream.startSector, stream.streamSize, "a small stream");
            if (!chain.units.empty() && miniFat_[chain.units.back()] != kEndOfChain) setMiniFat(chain.units.back(), kEndOfChain);
        }
        streamChains_[index] = std::move(chain);
    }
}


std::vector<uint32_t> CompoundFileWriter::walkChain(uint32_t start, const char* what, bool allowEmpty, uint64_t limit) {
    std::vector<uint32_t> chain;
    if (allowEmpty && start == kFreeSector) return chain;  // some writers mark "no chain" this way
    for (uint32_t sector = start; sector != kEndOfChain && chain.size() < limit; sector = fat_[sector]) {
        if (sector > kMaxRegularSector || sector >= fat_.size() || sector >= fileSectorCount_)
            ThrowDamaged(std::string(what) + " refers to sector " + Describe(sector) + ", outside the file");
        // Marking as we go makes every chain finite and finds cross-links.
        if (sectorUsed_[sector]) ThrowDamaged(std::string(what) + " reaches sector " + Describe(sector) + " a second time");
        sectorUsed_[sector] = 1;
        chain.push_back(sector);
    }
    if (chain.empty() && !allowEmpty) ThrowDamaged(std::string(what) + " has no sectors");
    return chain;
}

std::vector<uint32_t> CompoundFileWriter::walkMiniChain(uint32_t start, uint64_t size, const char* what) {
    const uint64_t capacity = CeilDivide(rootSize_, kMiniSectorSize);
    std::vector<uint32_t> chain;
    const uint64_t limit = CeilDivide(size, kMiniSectorSize);
    for (uint32_t sector = start; sector != kEndOfChain && chain.size() < limit; sector = miniFat_[sector]) {
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

DirectoryEntry CompoundFileWriter::entry(uint32_t index) const {
    return DirectoryEntry::ReadFrom(
        std::span(directoryBytes_).subspan(static_cast<size_t>(index) * kDirectoryEntryLength, kDirectoryEntryLength),
        index, header_.majorVersion);
}

std::optional<uint32_t> CompoundFileWriter::findRootStream(std::u16string_view name) const {
    const DirectoryEntry* found = FindChildByName(rootChildren_, name);
    if (found == nullptr || found->type != ObjectType::Stream) return std::nullopt;
    return found->index;
}

bool CompoundFileWriter::hasRootStream(std::u16string_view name) const { return findRootStream(name).has_value(); }

uint64_t CompoundFileWriter::miniSectorOffset(uint32_t miniSector) const {
    uint64_t position = uint64_t{miniSector} * kMiniSectorSize;
    return (uint64_t{rootChain_[position / sectorSize_]} + 1) * sectorSize_ + position % sectorSize_;
}

uint64_t CompoundFileWriter::unitOffset(const Chain& chain, size_t k) const {
    return chain.mini ? miniSectorOffset(chain.units[k]) : (uint64_t{chain.units[k]} + 1) * sectorSize_;
}

std::vector<uint8_t> CompoundFileWriter::readRootStream(std::u16string_view name) {
    std::optional<uint32_t> index = findRootStream(name);
    if (!index)
        throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                           "The document has no such property set");
    std::vector<uint8_t> content(static_cast<size_t>(entry(*index).streamSize));
    if (content.empty()) return content;
    const Chain& chain = streamChains_.at(*index);
    const uint32_t unit = chain.mini ? kMiniSectorSize : sectorSize_;
    // Pieces that lie one after the other in the file (mini sectors of one
    // sector, runs of sectors) are read with one call.
    uint64_t runOffset = 0;
    size_t runStart = 0, runLength = 0;
    auto readRun = [&] {
        if (runLength > 0) source_.readAt(runOffset, std::span(content).subspan(runStart, runLength));
        runLength = 0;
    };
    for (size_t k = 0; uint64_t{k} * unit < content.size(); ++k) {
        const uint64_t done = uint64_t{k} * unit;
        size_t take = static_cast<size_t>(std::min<uint64_t>(unit, content.size() - done));
        uint64_t offset = unitOffset(chain, k);
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
            if (sectorUsed_[sector] || (fat_[sector] != kFreeSector && !sectorReusable_[sector])) continue;
            sectorUsed_[sector] = 1;
            sectorReusable_[sector] = 0;
            setFat(sector, kEndOfChain);
            freshSectors_.insert(sector);
            fileSectorCount_ = std::max<uint64_t>(fileSectorCount_, uint64_t{sector} + 1);
            return sector;
        }
        growFat();
    }
}

uint64_t CompoundFileWriter::availableSectors(uint64_t limit) const {
    uint64_t count = 0;
    for (uint64_t sector = 0; sector < std::min<uint64_t>(limit, fat_.size()); ++sector)
        if (!sectorUsed_[sector] && (fat_[sector] == kFreeSector || sectorReusable_[sector])) ++count;
    return count;
}

void CompoundFileWriter::growFat() {
    // The new FAT sector sits just past what the FAT covers, and covers itself.
    const uint32_t location = static_cast<uint32_t>(fat_.size());
    if (location > kMaxRegularSector - entriesPerSector_)
        throw StorageError(StorageResult::MediumFull, Refusal::DiskFull, "The document cannot grow any further");
    fat_.resize(fat_.size() + entriesPerSector_, kFreeSector);
    fatReach_ = std::max<uint64_t>(fatReach_, fat_.size());
    sectorUsed_.resize(fat_.size(), 0);
    sectorReusable_.resize(fat_.size(), 0);
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
        // Linking a new DIFAT sector to the last one would change a sector in
        // effect before the header counts the new one. The whole chain is
        // copied instead, and the header switches to the copy; the old
        // sectors are zeroed and freed once this operation's switch is durable.
        std::vector<uint32_t> copies;
        for (size_t k = 0; k <= difatLocations_.size(); ++k) {
            copies.push_back(allocateSector());
            setFat(copies.back(), kDifatSector);
        }
        for (size_t k = 0; k < difatLocations_.size(); ++k) {
            sectorUsed_[difatLocations_[k]] = 0;
            orphans_.push_back(difatLocations_[k]);
            difatContents_[k].back() = copies[k + 1];
            dirtyDifatSectors_.insert(static_cast<uint32_t>(k));
        }
        std::vector<uint32_t> contents(entriesPerSector_, kFreeSector);
        contents.back() = kEndOfChain;
        difatLocations_ = copies;
        difatContents_.push_back(std::move(contents));
        header_.firstDifatSector = copies.front();
        header_.difatSectorCount = static_cast<uint32_t>(difatLocations_.size());
    }
    difatContents_[chainIndex][(index - kHeaderDifatEntryCount) % perDifatSector] = fatSectorLocation;
    dirtyDifatSectors_.insert(static_cast<uint32_t>(chainIndex));
}

// Only mini sectors wholly inside the mini stream take content: a reader
// refuses one the stream's size cuts (growth rounds the size up to whole ones).
uint64_t CompoundFileWriter::availableMiniSectors(uint64_t limit) const {
    const uint64_t capacity = std::min({rootSize_ / kMiniSectorSize, uint64_t{miniFat_.size()}, limit});
    uint64_t count = 0;
    for (uint64_t sector = 0; sector < capacity; ++sector)
        if (!miniSectorUsed_[sector] && (miniFat_[sector] == kFreeSector || miniSectorReusable_[sector])) ++count;
    return count;
}

uint32_t CompoundFileWriter::allocateMiniSector(uint64_t limit) {
    const uint64_t capacity = std::min({rootSize_ / kMiniSectorSize, uint64_t{miniFat_.size()}, limit});
    for (uint32_t sector = 0; sector < capacity; ++sector) {
        if (miniSectorUsed_[sector] || (miniFat_[sector] != kFreeSector && !miniSectorReusable_[sector])) continue;
        miniSectorUsed_[sector] = 1;
        miniSectorReusable_[sector] = 0;
        setMiniFat(sector, kEndOfChain);
        return sector;
    }
    throw std::logic_error("no free mini sector although the mini stream was grown");
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
        miniSectorReusable_.resize(miniFat_.size(), 0);
    }
    rootSize_ = newRootSize;
    rootSizeDirty_ = true;
}

CompoundFileWriter::Chain CompoundFileWriter::allocateChain(uint64_t size) {
    Chain chain;
    chain.mini = size < kMiniStreamCutoff;
    const uint64_t unitCount = CeilDivide(size, chain.mini ? kMiniSectorSize : sectorSize_);
    if (chain.mini) {
        const uint64_t available = availableMiniSectors(UINT64_MAX);
        if (available < unitCount) growMiniStream(unitCount - available);
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(allocateMiniSector(UINT64_MAX));
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) setMiniFat(chain.units[k], chain.units[k + 1]);
    } else {
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(allocateSector());
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) setFat(chain.units[k], chain.units[k + 1]);
    }
    return chain;
}

std::optional<CompoundFileWriter::Chain> CompoundFileWriter::allocateChainBelow(uint64_t size, uint64_t sectorLimit,
                                                                                uint64_t miniLimit) {
    Chain chain;
    chain.mini = size < kMiniStreamCutoff;
    const uint64_t unitCount = CeilDivide(size, chain.mini ? kMiniSectorSize : sectorSize_);
    // Lowest first: with enough room below the limit, every unit lands there.
    if (chain.mini) {
        if (availableMiniSectors(miniLimit) < unitCount) return std::nullopt;
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(allocateMiniSector(miniLimit));
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) setMiniFat(chain.units[k], chain.units[k + 1]);
    } else {
        if (availableSectors(sectorLimit) < unitCount) return std::nullopt;
        allocationCursor_ = 0;
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(allocateSector());
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) setFat(chain.units[k], chain.units[k + 1]);
    }
    return chain;
}

// What the streams grow by, in sectors and in mini sectors (never below zero).
std::pair<uint64_t, uint64_t> CompoundFileWriter::growthOf(const std::vector<Target>& targets) const {
    int64_t sectors = 0, miniSectors = 0;
    for (const Target& target : targets) {
        const bool mini = target.content.size() < kMiniStreamCutoff;
        (mini ? miniSectors : sectors) +=
            static_cast<int64_t>(CeilDivide(target.content.size(), mini ? kMiniSectorSize : sectorSize_));
        (target.old.mini ? miniSectors : sectors) -= static_cast<int64_t>(target.old.units.size());
    }
    return {static_cast<uint64_t>(std::max<int64_t>(sectors, 0)), static_cast<uint64_t>(std::max<int64_t>(miniSectors, 0))};
}

// Where the first copies cannot all fit in free space, they go wholly past
// the end, and the free space (with room for what the streams grow by) is
// kept for the second copies, which then move back below them. Placing part
// of a first copy in free space would leave the second copy too little room
// there, and the file longer than it need be.
void CompoundFileWriter::reserveGrowthRoom(const std::vector<Target>& targets, const std::function<void()>& place) {
    uint64_t neededSectors = 0, neededMini = 0, oldSectors = 0, oldMini = 0;
    for (const Target& target : targets) {
        const bool mini = target.content.size() < kMiniStreamCutoff;
        (mini ? neededMini : neededSectors) += CeilDivide(target.content.size(), mini ? kMiniSectorSize : sectorSize_);
        (target.old.mini ? oldMini : oldSectors) += target.old.units.size();
    }
    std::vector<uint32_t> keptSectors, grownSectors, keptMini;
    const uint64_t inFile = std::min<uint64_t>(fileSectorCount_, fat_.size());
    const uint64_t freeSectors = availableSectors(inFile);
    if (neededSectors > freeSectors) {
        for (uint32_t sector = 0; sector < inFile; ++sector)
            if (!sectorUsed_[sector] && fat_[sector] == kFreeSector) {
                sectorUsed_[sector] = 1;
                keptSectors.push_back(sector);
            }
        const uint64_t room = neededSectors > freeSectors + oldSectors ? neededSectors - freeSectors - oldSectors : 0;
        allocationCursor_ = static_cast<uint32_t>(inFile);
        for (uint64_t k = 0; k < room; ++k) grownSectors.push_back(allocateSector());
        allocationCursor_ = 0;
    }
    const uint64_t freeMini = availableMiniSectors(UINT64_MAX);
    if (neededMini > freeMini) {
        const uint64_t capacity = std::min<uint64_t>(rootSize_ / kMiniSectorSize, miniFat_.size());
        const uint64_t room = neededMini > freeMini + oldMini ? neededMini - freeMini - oldMini : 0;
        if (room > 0) growMiniStream(room);
        for (uint64_t unit = 0; unit < capacity + room && unit < miniFat_.size(); ++unit)
            if (!miniSectorUsed_[unit] && miniFat_[unit] == kFreeSector) {
                miniSectorUsed_[unit] = 1;
                keptMini.push_back(static_cast<uint32_t>(unit));
            }
    }
    place();
    for (uint32_t sector : keptSectors) sectorUsed_[sector] = 0;
    for (uint32_t sector : grownSectors) {
        sectorUsed_[sector] = 0;
        setFat(sector, kFreeSector);
    }
    for (uint32_t unit : keptMini) miniSectorUsed_[unit] = 0;
}

// A chain no directory entry reaches any more: still allocated in the
// tables, free for a second copy to take, freed for good at the end.
void CompoundFileWriter::release(const Chain& chain) {
    for (uint32_t unit : chain.units) {
        if (chain.mini) {
            miniSectorUsed_[unit] = 0;
            miniSectorReusable_[unit] = 1;
        } else {
            sectorUsed_[unit] = 0;
            sectorReusable_[unit] = 1;
        }
    }
}

void CompoundFileWriter::writeSector(Journal& journal, uint32_t sector, std::span<const uint8_t> bytes) {
    journal.write((uint64_t{sector} + 1) * sectorSize_, bytes);
}

// The content, every unit's unused tail zeroed.
void CompoundFileWriter::writeContent(Journal& journal, const Chain& chain, std::span<const uint8_t> content) {
    const uint32_t unit = chain.mini ? kMiniSectorSize : sectorSize_;
    std::vector<uint8_t> buffer(unit);
    for (size_t k = 0; k < chain.units.size(); ++k) {
        std::fill(buffer.begin(), buffer.end(), 0);
        const size_t begin = k * unit;
        std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(begin), std::min<size_t>(unit, content.size() - begin),
                    buffer.begin());
        stageUnit(journal, chain, k, buffer);
    }
}

// A unit's bytes go to the file and, while the mini stream is being copied
// elsewhere, to that copy too: either copy may be the one in effect after
// an interruption.
void CompoundFileWriter::stageUnit(Journal& journal, const Chain& chain, size_t k, std::span<const uint8_t> bytes) {
    journal.write(unitOffset(chain, k), bytes);
    if (chain.mini && miniStreamCopy_)
        std::copy(bytes.begin(), bytes.end(), miniStreamCopy_->begin() + static_cast<std::ptrdiff_t>(uint64_t{chain.units[k]} * kMiniSectorSize));
}

// Mini stream sectors appended by growth start out as zeros.
void CompoundFileWriter::writeFreshMiniStreamSectors(Journal& journal) {
    const std::vector<uint8_t> zeros(sectorSize_, 0);
    for (uint32_t sector : rootChain_)
        if (freshSectors_.count(sector)) writeSector(journal, sector, zeros);
}

// The switch: each target's start sector and size, and with `publishRoot`
// the mini stream's, in as few directory-sector writes as they share.
void CompoundFileWriter::writeDirectoryEntries(Journal& journal, const std::vector<Target>& targets, bool publishRoot) {
    const uint32_t perSector = sectorSize_ / static_cast<uint32_t>(kDirectoryEntryLength);
    std::set<uint32_t> sectors;
    auto store = [&](uint32_t index, uint32_t start, uint64_t size) {
        DirectoryEntry::WriteStreamLocation(
            std::span(directoryBytes_).subspan(static_cast<size_t>(index) * kDirectoryEntryLength, kDirectoryEntryLength),
            start, size, header_.majorVersion);
        sectors.insert(index / perSector);
    };
    for (const Target& target : targets)
        store(target.index, target.fresh.units.empty() ? kEndOfChain : target.fresh.units.front(), target.content.size());
    if (publishRoot) store(0, rootChain_.empty() ? kEndOfChain : rootChain_.front(), rootSize_);
    for (uint32_t sector : sectors)
        writeSector(journal, directoryChain_[sector], std::span(directoryBytes_).subspan(uint64_t{sector} * sectorSize_, sectorSize_));
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

void CompoundFileWriter::zeroAndFreeUnreachable(Journal& journal) {
    std::vector<uint32_t> sectors, miniSectors;
    for (uint32_t sector = 0; sector < fat_.size(); ++sector)
        if (fat_[sector] != kFreeSector && !sectorUsed_[sector]) sectors.push_back(sector);
    const uint64_t miniCapacity = CeilDivide(rootSize_, kMiniSectorSize);
    for (uint32_t sector = 0; sector < miniFat_.size(); ++sector)
        if (miniFat_[sector] != kFreeSector && !miniSectorUsed_[sector]) miniSectors.push_back(sector);
    if (sectors.empty() && miniSectors.empty()) return;

    // What cut them off (a chain ended where its stream does, a DIFAT the
    // header no longer counts) goes out with the zeros' sync: nothing in
    // effect may still lead to them once they are free.
    if (headerDirty_) {
        header_.WriteTo(headerBytes_);
        journal.write(0, headerBytes_);
        headerDirty_ = false;
    }
    flushTables(journal);
    auto zero = [&](uint64_t offset, std::span<uint8_t> bytes) {
        std::fill(bytes.begin(), bytes.end(), 0);
        journal.write(offset, bytes);
        residueZeroed_ += bytes.size();
    };
    for (uint32_t sector : sectors)
        if (sector < fileSectorCount_)  // else listed in the FAT, absent from the file
            visitIfNotZero((uint64_t{sector} + 1) * sectorSize_, sectorSize_, zero);
    for (uint32_t sector : miniSectors)
        if (sector < miniCapacity) visitIfNotZero(miniSectorOffset(sector), kMiniSectorSize, zero);
    // The zeros and the cuts are durable before the sectors are marked free:
    // a sector is never free while it still holds what it held, or while
    // anything still leads to it.
    journal.sync();
    for (uint32_t sector : sectors) setFat(sector, kFreeSector);
    for (uint32_t sector : miniSectors) setMiniFat(sector, kFreeSector);
}

// Zeros over the units of an old copy that no second copy took.
void CompoundFileWriter::zeroUnits(Journal& journal, const Chain& chain) {
    const std::vector<uint8_t> zeros(sectorSize_, 0);
    for (size_t k = 0; k < chain.units.size(); ++k) {
        const bool reusable = chain.mini ? miniSectorReusable_[chain.units[k]] : sectorReusable_[chain.units[k]];
        if (reusable) stageUnit(journal, chain, k, std::span(zeros).first(chain.mini ? kMiniSectorSize : sectorSize_));
    }
}

void CompoundFileWriter::freeUnits(const Chain& chain) {
    for (uint32_t unit : chain.units) {
        if (chain.mini) {
            if (!miniSectorReusable_[unit]) continue;
            miniSectorReusable_[unit] = 0;
            setMiniFat(unit, kFreeSector);
        } else {
            if (!sectorReusable_[unit]) continue;
            sectorReusable_[unit] = 0;
            setFat(unit, kFreeSector);
        }
    }
}

// The second copy-on-write step: each new copy that had to go past the
// file's (or the mini stream's) old end moves into the space its old copy
// left, where that space holds it; so do the mini stream and the miniFAT
// when growth put them there. The old copies' remaining units are zeroed in
// the same step.
void CompoundFileWriter::relocateIntoFreedSpace(Journal& journal, std::vector<Target>& targets, uint64_t sectorLimit,
                                                uint64_t miniLimit, uint64_t originalRootSize, std::vector<Chain>& toFree,
                                                std::vector<Chain>& firstCopies) {
    freshSectors_.clear();
    auto beyond = [](const std::vector<uint32_t>& units, uint64_t limit) {
        return std::any_of(units.begin(), units.end(), [&](uint32_t unit) { return unit >= limit; });
    };
    auto lowerSectors = [&](size_t count) -> std::optional<std::vector<uint32_t>> {
        if (count == 0 || availableSectors(sectorLimit) < count) return std::nullopt;
        allocationCursor_ = 0;
        std::vector<uint32_t> sectors;
        for (size_t k = 0; k < count; ++k) sectors.push_back(allocateSector());
        for (size_t k = 0; k + 1 < count; ++k) setFat(sectors[k], sectors[k + 1]);
        return sectors;
    };

    std::vector<Target> moved;
    for (Target& target : targets) {
        const Chain& placed = target.fresh;
        if (!beyond(placed.units, placed.mini ? miniLimit : sectorLimit)) continue;
        if (std::optional<Chain> lower = allocateChainBelow(target.content.size(), sectorLimit, miniLimit))
            moved.push_back({target.index, target.content, placed, *lower});
    }
    // The mini stream, read as it stands on disk (nothing is staged yet);
    // every mini unit written from here on goes into this copy as well.
    std::optional<std::vector<uint32_t>> newRoot;
    std::vector<uint8_t> rootCopy;
    if (beyond(rootChain_, sectorLimit) && (newRoot = lowerSectors(rootChain_.size()))) {
        rootCopy.assign(rootChain_.size() * sectorSize_, 0);
        for (size_t k = 0; k < rootChain_.size(); ++k) {
            const uint64_t offset = (uint64_t{rootChain_[k]} + 1) * sectorSize_;
            if (offset < source_.size())
                source_.readAt(offset, std::span(rootCopy).subspan(k * sectorSize_, std::min<uint64_t>(sectorSize_, source_.size() - offset)));
        }
        miniStreamCopy_ = &rootCopy;
    }
    std::optional<std::vector<uint32_t>> newMiniFat;
    if (beyond(miniFatChain_, sectorLimit)) newMiniFat = lowerSectors(miniFatChain_.size());

    for (const Target& move : moved) writeContent(journal, move.fresh, move.content);
    for (const Chain& old : toFree) zeroUnits(journal, old);
    miniStreamCopy_ = nullptr;
    if (newRoot)
        for (size_t k = 0; k < newRoot->size(); ++k)
            writeSector(journal, (*newRoot)[k], std::span(rootCopy).subspan(k * sectorSize_, sectorSize_));
    std::vector<uint32_t> oldMiniFat;
    if (newMiniFat) {
        // Until the header switches, the old miniFAT is the one in effect: it
        // gets every change too.
        for (size_t index = 0; index < miniFatChain_.size(); ++index)
            if (index < header_.miniFatSectorCount) dirtyMiniFatSectors_.insert(static_cast<uint32_t>(index));
        flushTables(journal);
        oldMiniFat = std::exchange(miniFatChain_, *newMiniFat);
        const std::vector<uint8_t> zeros(sectorSize_, 0);
        for (size_t index = 0; index < miniFatChain_.size(); ++index) {
            if (index < header_.miniFatSectorCount)
                dirtyMiniFatSectors_.insert(static_cast<uint32_t>(index));
            else
                writeSector(journal, miniFatChain_[index], zeros);
        }
        header_.firstMiniFatSector = miniFatChain_.front();
        headerDirty_ = true;
    }
    flushTables(journal);
    journal.sync();
    if (moved.empty() && !newRoot && !newMiniFat) return;

    std::vector<uint32_t> oldRoot;
    if (newRoot) oldRoot = std::exchange(rootChain_, *newRoot);
    // Where the moved entries share the root's directory sector, the mini
    // stream gives back the space of their first copies in the same write:
    // nothing reaches past the new size once that sector is written.
    const uint32_t perDirectorySector = sectorSize_ / static_cast<uint32_t>(kDirectoryEntryLength);
    bool shrinkRides = false;
    if (std::all_of(moved.begin(), moved.end(), [&](const Target& t) { return t.index < perDirectorySector; })) {
        for (const Target& move : moved) release(move.old);
        shrinkRides = shrinkMiniStream(originalRootSize);
        for (const Target& move : moved)
            for (uint32_t unit : move.old.units) {
                // Back to in use until the switch is durable.
                (move.old.mini ? miniSectorUsed_ : sectorUsed_)[unit] = 1;
                (move.old.mini ? miniSectorReusable_ : sectorReusable_)[unit] = 0;
            }
    }
    writeDirectoryEntries(journal, moved, newRoot.has_value() || shrinkRides);
    if (shrinkRides) rootSizeDurable_ = true;
    if (headerDirty_) {
        header_.WriteTo(headerBytes_);
        journal.write(0, headerBytes_);
        headerDirty_ = false;
    }
    journal.sync();
    for (const Target& move : moved) {
        streamChains_[move.index] = move.fresh;
        // The first copy holds nothing old: it is freed without zeroing first.
        release(move.old);
        toFree.push_back(move.old);
        firstCopies.push_back(move.old);
    }
    // The old mini stream holds every small stream as it stood before this
    // step, names that a later patch of the same clean blanks among them;
    // the old miniFAT holds only links, but free space holds zeros. Both are
    // zeroed, durably, before they are freed.
    if (!oldRoot.empty() || !oldMiniFat.empty()) {
        const std::vector<uint8_t> zeros(sectorSize_, 0);
        for (const std::vector<uint32_t>* old : {&oldRoot, &oldMiniFat})
            for (uint32_t sector : *old) writeSector(journal, sector, zeros);
        journal.sync();
    }
    for (const std::vector<uint32_t>* old : {&oldRoot, &oldMiniFat}) {
        Chain chain{false, *old};
        release(chain);
        toFree.push_back(std::move(chain));
    }
}

// Gives back mini stream space that growth added and nothing uses any more.
// Only the size changes here; the sectors past it leave the mini stream's
// chain once the new size is durable.
// The mini stream's chain gives up the sectors past its size.
bool CompoundFileWriter::cutMiniStreamChain(Journal& journal) {
    const size_t keep = static_cast<size_t>(CeilDivide(rootSize_, sectorSize_));
    if (keep >= rootChain_.size()) return false;
    const std::vector<uint8_t> zeros(sectorSize_, 0);
    for (size_t k = keep; k < rootChain_.size(); ++k) {
        sectorUsed_[rootChain_[k]] = 0;
        setFat(rootChain_[k], kFreeSector);
        writeSector(journal, rootChain_[k], zeros);
    }
    rootChain_.resize(keep);
    if (!rootChain_.empty()) setFat(rootChain_.back(), kEndOfChain);
    return true;
}

bool CompoundFileWriter::shrinkMiniStream(uint64_t originalRootSize) {
    if (rootSize_ <= originalRootSize) return false;
    uint64_t used = 0;
    for (uint64_t sector = 0; sector < miniFat_.size(); ++sector)
        if (miniSectorUsed_[sector] || (miniFat_[sector] != kFreeSector && !miniSectorReusable_[sector])) used = sector + 1;
    const uint64_t newSize = std::max(originalRootSize, used * kMiniSectorSize);
    if (newSize >= rootSize_) return false;
    rootSize_ = newSize;
    return true;
}

// Drops FAT sectors that growth added at the end and that now cover nothing
// but free sectors (and themselves). Header DIFAT entries only.
bool CompoundFileWriter::shrinkFat(size_t originalFatCount) {
    if (fileSectorCount_ > fat_.size()) return false;
    bool shrunk = false;
    while (fatLocations_.size() > std::max<size_t>(originalFatCount, 1)) {
        const size_t index = fatLocations_.size() - 1;
        if (index >= kHeaderDifatEntryCount) break;
        const uint64_t begin = uint64_t{index} * entriesPerSector_;
        const uint32_t location = fatLocations_.back();
        if (location < begin || location >= begin + entriesPerSector_) break;
        bool empty = true;
        for (uint64_t sector = begin; sector < begin + entriesPerSector_ && empty; ++sector)
            if (sector != location && (fat_[sector] != kFreeSector || sectorUsed_[sector])) empty = false;
        if (!empty) break;
        fatReach_ = std::max<uint64_t>(fatReach_, fat_.size());
        fat_.resize(begin);
        sectorUsed_.resize(begin);
        sectorReusable_.resize(begin);
        fatLocations_.pop_back();
        dirtyFatSectors_.erase(static_cast<uint32_t>(index));
        header_.difat[index] = kFreeSector;
        header_.fatSectorCount = static_cast<uint32_t>(fatLocations_.size());
        headerDirty_ = true;
        shrunk = true;
    }
    return shrunk;
}

// Sectors to keep: up to the last one in use. Only sectors the FAT covers
// (or covered before this transaction shrank it) and calls free are cut;
// anything past the FAT's reach is not ours to judge.
uint64_t CompoundFileWriter::trailingKeep() const {
    if (fileSectorCount_ > fatReach_) return fileSectorCount_;
    uint64_t keep = fileSectorCount_;
    while (keep > 0 && (keep > fat_.size() || (fat_[keep - 1] == kFreeSector && !sectorUsed_[keep - 1]))) --keep;
    return keep;
}

void CompoundFileWriter::visitIfNotZero(uint64_t offset, uint64_t length,
                                        const std::function<void(uint64_t, std::span<uint8_t>)>& visit) {
    if (offset >= source_.size()) return;
    length = std::min(length, source_.size() - offset);
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    source_.readAt(offset, bytes);
    if (std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; })) visit(offset, bytes);
}

// Old text may lie in free space that an earlier program left behind, in
// what an interrupted write left allocated but unreachable, or past the end
// of a stream inside its last sector. Each piece that holds something is
// handed to `visit`; runs of free sectors are read with one call.
void CompoundFileWriter::visitResidue(uint64_t sectorLimit, bool standalone, const std::vector<Target>& rewritten,
                                      const std::function<void(uint64_t, std::span<uint8_t>)>& visit) {
    const uint64_t limit = std::min(sectorLimit, fileSectorCount_);
    // Outside a transaction, sectors allocated but reached by no chain count
    // too, and so do sectors past what the FAT covers: nothing can reach
    // them. Inside one, allocated sectors may be in effect still (an old
    // DIFAT until the header switches), and growth may take the others.
    auto candidate = [&](uint64_t sector) {
        if (sector >= fat_.size()) return standalone;
        return !sectorUsed_[sector] && (fat_[sector] == kFreeSector || (standalone && !sectorReusable_[sector]));
    };
    constexpr uint64_t kRunSectors = 64;
    for (uint64_t sector = 0; sector < limit;) {
        if (!candidate(sector)) {
            ++sector;
            continue;
        }
        uint64_t end = sector + 1;
        while (end < limit && end - sector < kRunSectors && candidate(end)) ++end;
        const uint64_t offset = (sector + 1) * sectorSize_;
        if (offset < source_.size()) {
            std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>((end - sector) * sectorSize_, source_.size() - offset)));
            source_.readAt(offset, bytes);
            for (size_t at = 0; at < bytes.size(); at += sectorSize_) {
                auto piece = std::span(bytes).subspan(at, std::min<size_t>(sectorSize_, bytes.size() - at));
                if (std::any_of(piece.begin(), piece.end(), [](uint8_t b) { return b != 0; })) visit(offset + at, piece);
            }
        }
        sector = end;
    }
    // Every mini sector of the mini stream, the last one as far as the
    // stream goes; one the miniFAT does not cover holds nothing a stream can.
    const uint64_t miniUnits = CeilDivide(rootSize_, kMiniSectorSize);
    for (uint64_t sector = 0; sector < miniUnits; ++sector) {
        const bool covered = sector < miniFat_.size();
        if (covered && (miniSectorUsed_[sector] ||
                        (miniFat_[sector] != kFreeSector && (!standalone || miniSectorReusable_[sector]))))
            continue;
        const uint64_t length = std::min<uint64_t>(kMiniSectorSize, rootSize_ - sector * kMiniSectorSize);
        visitIfNotZero(miniSectorOffset(static_cast<uint32_t>(sector)), length, visit);
    }
    for (const auto& [entryIndex, chain] : streamChains_) {
        const uint32_t index = entryIndex;
        const bool isTarget = std::any_of(rewritten.begin(), rewritten.end(), [&](const Target& t) { return t.index == index; });
        if (chain.units.empty() || isTarget) continue;
        const uint32_t unit = chain.mini ? kMiniSectorSize : sectorSize_;
        const uint64_t used = entry(index).streamSize % unit;
        if (used != 0) visitIfNotZero(unitOffset(chain, chain.units.size() - 1) + used, unit - used, visit);
    }
    if (!rootChain_.empty() && rootSize_ % sectorSize_ != 0 && rootSize_ <= uint64_t{rootChain_.size()} * sectorSize_) {
        const uint64_t last = (rootSize_ - 1) / sectorSize_;
        visitIfNotZero((uint64_t{rootChain_[last]} + 1) * sectorSize_ + rootSize_ % sectorSize_,
                       sectorSize_ - rootSize_ % sectorSize_, visit);
    }
}

// Reading first keeps the writes to what actually holds something.
void CompoundFileWriter::scrubFreeSpace(Journal& journal, uint64_t keepSectors, const std::vector<Target>& rewritten,
                                        bool standalone) {
    visitResidue(keepSectors, standalone, rewritten, [&](uint64_t offset, std::span<uint8_t> bytes) {
        std::fill(bytes.begin(), bytes.end(), 0);
        journal.write(offset, bytes);
        residueZeroed_ += bytes.size();
    });
}

uint64_t CompoundFileWriter::residue() {
    uint64_t total = 0;
    visitResidue(fileSectorCount_, true, {}, [&](uint64_t, std::span<uint8_t> bytes) { total += bytes.size(); });
    return total;
}

uint64_t CompoundFileWriter::zeroFreeSpace() {
    if (failed_) throw std::logic_error("a compound-file writer is not reused after a failed replacement");
    const uint64_t before = residueZeroed_;
    // Looked at first: a document without residue is not written at all
    // (unreachable sectors that hold zeros only are freed with the next
    // write that has something to do).
    if (residue() == 0) return 0;
    // Nothing here is undone: every write is zeros over bytes no stream holds.
    Journal journal{source_, source_.size(), false, {}, {}};
    try {
        zeroAndFreeUnreachable(journal);
        scrubFreeSpace(journal, fileSectorCount_, {}, true);
        flushTables(journal);
        journal.sync();
    } catch (...) {
        failed_ = true;
        throw;
    }
    return residueZeroed_ - before;
}

void CompoundFileWriter::replaceRootStream(std::u16string_view name, std::span<const uint8_t> content) {
    const RootStreamReplacement replacement{std::u16string(name), content};
    replaceRootStreams(std::span(&replacement, 1));
}

void CompoundFileWriter::replaceRootStreams(std::span<const RootStreamReplacement> replacements) {
    if (failed_) throw std::logic_error("a compound-file writer is not reused after a failed replacement");
    if (replacements.empty()) return;
    const uint64_t originalSize = source_.size();
    const uint64_t originalSectorCount = fileSectorCount_;
    const uint64_t originalRootSize = rootSize_;
    const size_t originalFatCount = fatLocations_.size();
    fatReach_ = fat_.size();
    allocationCursor_ = 0;
    freshSectors_.clear();

    std::vector<Target> targets;
    for (const auto& replacement : replacements) {
        std::optional<uint32_t> index = findRootStream(replacement.name);
        if (!index)
            throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                               "The document has no such property set");
        if (std::any_of(targets.begin(), targets.end(), [&](const Target& t) { return t.index == *index; }))
            throw std::logic_error("one stream replaced twice in one transaction");
        auto chain = streamChains_.find(*index);
        targets.push_back({*index, replacement.content, chain == streamChains_.end() ? Chain{} : chain->second, {}});
    }

    Journal journal{source_, originalSize, true, {}, {}};
    const uint32_t perDirectorySector = sectorSize_ / static_cast<uint32_t>(kDirectoryEntryLength);
    try {
        zeroAndFreeUnreachable(journal);

        // Smaller copies first: what cannot move back later then sits
        // nearest the old end, where cutting the tail leaves the least.
        std::stable_sort(targets.begin(), targets.end(),
                         [](const Target& a, const Target& b) { return a.content.size() < b.content.size(); });
        reserveGrowthRoom(targets, [&] {
            for (Target& target : targets) target.fresh = allocateChain(target.content.size());
        });
        writeFreshMiniStreamSectors(journal);
        for (const Target& target : targets) writeContent(journal, target.fresh, target.content);
        // Old text lying in free space goes with the new content's sync.
        scrubFreeSpace(journal, trailingKeep(), targets);
        flushTables(journal);
        journal.sync();

        // Growth of the header's tables and of the mini stream becomes visible
        // before the switch: on its own it only adds free capacity. A root
        // entry goes with the switch only where every target's entry shares
        // its directory sector: one sector write is all or nothing.
        const bool rootRidesWithSwitch = std::all_of(targets.begin(), targets.end(), [&](const Target& t) {
            return t.index / perDirectorySector == 0;
        });
        bool growthWritten = false;
        if (headerDirty_) {
            header_.WriteTo(headerBytes_);
            journal.write(0, headerBytes_);
            growthWritten = true;
        }
        if (rootSizeDirty_ && !rootRidesWithSwitch) {
            writeDirectoryEntries(journal, {}, true);
            growthWritten = true;
        }
        if (growthWritten) journal.sync();

        writeDirectoryEntries(journal, targets, rootSizeDirty_ && rootRidesWithSwitch);
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
    try {
        finishAfterSwitch(journal, targets, originalSectorCount, originalRootSize, originalFatCount);
    } catch (...) {
        failed_ = true;
        throw;
    }
}

void CompoundFileWriter::finishAfterSwitch(Journal& journal, std::vector<Target>& targets, uint64_t originalSectorCount,
                                           uint64_t originalRootSize, size_t originalFatCount) {
    journal.sync();

    std::vector<Chain> toFree, firstCopies;
    for (Target& target : targets) {
        if (target.fresh.units.empty())
            streamChains_.erase(target.index);
        else
            streamChains_[target.index] = target.fresh;
        release(target.old);
        toFree.push_back(target.old);
    }
    if (!orphans_.empty()) {
        Chain orphans{false, std::exchange(orphans_, {})};
        release(orphans);
        toFree.push_back(std::move(orphans));
    }
    rootSizeDurable_ = false;
    if (fileSectorCount_ > originalSectorCount) {
        // The file and the mini stream may keep what the streams themselves grew by.
        const auto [sectorGrowth, miniGrowth] = growthOf(targets);
        // Larger copies first: they are the hardest to place.
        std::stable_sort(targets.begin(), targets.end(),
                         [](const Target& a, const Target& b) { return a.content.size() > b.content.size(); });
        relocateIntoFreedSpace(journal, targets, originalSectorCount + sectorGrowth,
                               CeilDivide(originalRootSize, kMiniSectorSize) + miniGrowth, originalRootSize, toFree,
                               firstCopies);
    } else {
        for (const Chain& old : toFree) zeroUnits(journal, old);
        journal.sync();
    }

    // The old copies are zeros on disk now, the first copies of moved
    // streams hold only the new content: free them all, and give back the
    // mini stream's and the FAT's growth. Nothing of this protects a value,
    // so it is only waited for where the file's end is cut after it.
    const std::vector<uint8_t> zeros(sectorSize_, 0);
    for (const Chain& copy : firstCopies)
        for (size_t k = 0; k < copy.units.size(); ++k)
            journal.write(unitOffset(copy, k), std::span(zeros).first(copy.mini ? kMiniSectorSize : sectorSize_));
    for (const Chain& chain : toFree) freeUnits(chain);
    if (rootSizeDurable_) cutMiniStreamChain(journal);
    // A mini stream that shrinks only here must be durable before its chain is cut.
    const bool rootPending = !rootSizeDurable_ && shrinkMiniStream(originalRootSize);
    const bool fatShrunk = !rootPending && shrinkFat(originalFatCount);
    flushTables(journal);
    if (rootPending) writeDirectoryEntries(journal, {}, true);
    if (fatShrunk) {
        // The header must no longer list FAT sectors past the end before the end is cut.
        header_.WriteTo(headerBytes_);
        journal.write(0, headerBytes_);
        headerDirty_ = false;
    }
    // A smaller mini stream needs to be durable only where its chain is cut after it.
    const bool chainToCut = rootPending && CeilDivide(rootSize_, sectorSize_) < rootChain_.size();
    if (chainToCut || fatShrunk)
        journal.sync();
    else
        journal.flush();
    if (rootPending) {
        cutMiniStreamChain(journal);
        const bool shrunkNow = shrinkFat(originalFatCount);
        flushTables(journal);
        if (shrunkNow) {
            header_.WriteTo(headerBytes_);
            journal.write(0, headerBytes_);
            headerDirty_ = false;
            journal.sync();
        } else {
            journal.flush();
        }
    }
    const uint64_t keep = trailingKeep();
    if (keep < fileSectorCount_ || (keep + 1) * sectorSize_ < source_.size()) {
        // Free sectors hold zeros or the new content only, so cutting them
        // off loses nothing; no sync: a crash before the new length is
        // durable leaves the same valid document, only longer.
        if ((keep + 1) * sectorSize_ < source_.size()) source_.resize((keep + 1) * sectorSize_);
        fileSectorCount_ = keep;
    }
}

void CompoundFileWriter::patchRootStream(std::u16string_view name, std::span<const StreamPatch> patches) {
    if (failed_) throw std::logic_error("a compound-file writer is not reused after a failed replacement");
    lastPatchSectors_ = 0;
    if (patches.empty()) return;
    const std::optional<uint32_t> index = findRootStream(name);
    if (!index)
        throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet, "The document has no such stream");
    const uint64_t size = entry(*index).streamSize;
    std::vector<const StreamPatch*> ordered;
    for (const StreamPatch& patch : patches) ordered.push_back(&patch);
    std::sort(ordered.begin(), ordered.end(), [](const StreamPatch* a, const StreamPatch* b) { return a->offset < b->offset; });
    uint64_t reached = 0;
    for (const StreamPatch* patch : ordered) {
        if (patch->bytes.empty() || patch->offset < reached || patch->offset > size || patch->bytes.size() > size - patch->offset)
            throw std::invalid_argument("stream patches must lie inside the stream and not overlap");
        reached = patch->offset + patch->bytes.size();
    }
    auto found = streamChains_.find(*index);
    const Chain chain = found == streamChains_.end() ? Chain{} : found->second;
    auto replaceWhole = [&] {
        std::vector<uint8_t> content = readRootStream(name);
        for (const StreamPatch* patch : ordered)
            std::copy(patch->bytes.begin(), patch->bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(patch->offset));
        replaceRootStream(name, content);
    };
    if (chain.units.empty()) return replaceWhole();

    // A stream in the mini stream is patched where its bytes lie: in the
    // sectors of the mini stream, which the root entry owns.
    std::vector<std::pair<uint64_t, std::span<const uint8_t>>> pieces;  // offset in the owner's chain
    for (const StreamPatch* patch : ordered) {
        if (!chain.mini) {
            pieces.emplace_back(patch->offset, std::span(patch->bytes));
            continue;
        }
        for (uint64_t at = 0; at < patch->bytes.size();) {
            const uint64_t offset = patch->offset + at;
            const uint64_t inUnit = offset % kMiniSectorSize;
            const uint64_t length = std::min<uint64_t>(kMiniSectorSize - inUnit, patch->bytes.size() - at);
            pieces.emplace_back(uint64_t{chain.units[offset / kMiniSectorSize]} * kMiniSectorSize + inUnit,
                                std::span(patch->bytes).subspan(at, length));
            at += length;
        }
    }
    const uint32_t owner = chain.mini ? 0 : *index;
    std::vector<uint32_t>& units = chain.mini ? rootChain_ : streamChains_[*index].units;
    const uint64_t ownerSize = chain.mini ? rootSize_ : size;

    std::set<size_t> touched;  // sectors of the owner's chain the pieces fall in
    for (const auto& [offset, bytes] : pieces)
        for (uint64_t k = offset / sectorSize_; k <= (offset + bytes.size() - 1) / sectorSize_; ++k) touched.insert(k);
    const auto patch = [&](size_t k, std::vector<uint8_t>& bytes) {
        const uint64_t begin = uint64_t{k} * sectorSize_, end = begin + sectorSize_;
        for (const auto& [offset, piece] : pieces) {
            const uint64_t from = std::max(begin, offset), to = std::min(end, offset + piece.size());
            if (from < to)
                std::copy(piece.begin() + static_cast<std::ptrdiff_t>(from - offset),
                          piece.begin() + static_cast<std::ptrdiff_t>(to - offset), bytes.begin() + static_cast<std::ptrdiff_t>(from - begin));
        }
    };
    if (switchSectorsOf(owner, units, touched) != 1) return replaceWhole();

    // The mini stream's last mini sector counts whole.
    const uint64_t inUse = chain.mini ? CeilDivide(ownerSize, kMiniSectorSize) * kMiniSectorSize : ownerSize;
    const uint64_t originalSectorCount = fileSectorCount_;
    const size_t originalFatCount = fatLocations_.size();
    copySectorsOnWrite(owner, units, inUse, ownerSize, touched, patch, UINT64_MAX, true);
    lastPatchSectors_ = touched.size();
    // Sectors that had to be appended move back into the space the old
    // ones left, and the file's end is cut again.
    const bool appended = std::any_of(touched.begin(), touched.end(), [&](size_t k) { return units[k] >= originalSectorCount; });
    if (appended && availableSectors(originalSectorCount) >= touched.size()) {
        copySectorsOnWrite(owner, units, inUse, ownerSize, touched, [](size_t, std::vector<uint8_t>&) {}, originalSectorCount,
                           false);
        lastPatchSectors_ += touched.size();
        Journal journal{source_, source_.size(), false, {}, {}};
        try {
            if (shrinkFat(originalFatCount)) {
                header_.WriteTo(headerBytes_);
                journal.write(0, headerBytes_);
                headerDirty_ = false;
            }
            flushTables(journal);
            journal.sync();
            const uint64_t keep = trailingKeep();
            if ((keep + 1) * sectorSize_ < source_.size()) source_.resize((keep + 1) * sectorSize_);
            fileSectorCount_ = std::min(fileSectorCount_, keep);
        } catch (...) {
            failed_ = true;
            throw;
        }
    }
}

// The sectors whose single write would switch a chain to fresh copies of
// `sectors`: the directory sector for the first one, else the FAT sector
// linking to the first of each run of touched sectors.
size_t CompoundFileWriter::switchSectorsOf(uint32_t owner, const std::vector<uint32_t>& units,
                                          const std::set<size_t>& sectors) const {
    const uint32_t perDirectorySector = sectorSize_ / static_cast<uint32_t>(kDirectoryEntryLength);
    std::set<std::pair<bool, uint32_t>> switches;
    for (size_t k : sectors) {
        if (k > 0 && sectors.count(k - 1)) continue;
        if (k == 0)
            switches.insert({true, owner / perDirectorySector});
        else
            switches.insert({false, units[k - 1] / entriesPerSector_});
    }
    return switches.size();
}

// One copy-on-write step for some sectors of a chain: fresh sectors (below
// `sectorLimit`) get the old bytes with `patch` applied, nothing past the
// `inUse` bytes of the chain, and allocation entries that link them to the
// rest of the chain, all synced; then one sector write switches the chain;
// then the old sectors are zeroed, synced and freed. A failure before the
// switch puts every byte back when `undoable`.
void CompoundFileWriter::copySectorsOnWrite(uint32_t owner, std::vector<uint32_t>& units, uint64_t inUse,
                                            uint64_t ownerSize, const std::set<size_t>& sectors,
                                            const std::function<void(size_t, std::vector<uint8_t>&)>& patch,
                                            uint64_t sectorLimit, bool undoable) {
    const uint64_t originalSize = source_.size();
    allocationCursor_ = 0;
    freshSectors_.clear();
    fatReach_ = std::max<uint64_t>(fatReach_, fat_.size());
    Journal journal{source_, originalSize, undoable, {}, {}};
    std::map<size_t, uint32_t> fresh;
    const uint32_t perDirectorySector = sectorSize_ / static_cast<uint32_t>(kDirectoryEntryLength);
    try {
        // Orphaned units are zeroed first, so that no copy carries them on.
        if (undoable) zeroAndFreeUnreachable(journal);
        journal.flush();
        for (size_t k : sectors) {
            fresh[k] = allocateSector();
            if (fresh[k] >= sectorLimit) throw std::logic_error("no free sector below the limit");
        }
        std::vector<uint8_t> bytes(sectorSize_);
        for (const auto& [k, sector] : fresh) {
            // A file may end inside its last sector: what is missing reads as zeros.
            std::fill(bytes.begin(), bytes.end(), 0);
            const uint64_t at = (uint64_t{units[k]} + 1) * sectorSize_;
            if (at < source_.size())
                source_.readAt(at, std::span(bytes).first(static_cast<size_t>(std::min<uint64_t>(sectorSize_, source_.size() - at))));
            patch(k, bytes);
            const uint64_t begin = uint64_t{k} * sectorSize_;
            if (begin + sectorSize_ > inUse)
                std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(std::max(begin, inUse) - begin), bytes.end(), 0);
            writeSector(journal, sector, bytes);
            const size_t next = k + 1;
            setFat(sector, next >= units.size() ? kEndOfChain : fresh.count(next) ? fresh.at(next) : units[next]);
        }
        flushTables(journal);
        journal.sync();
        if (headerDirty_) {
            header_.WriteTo(headerBytes_);
            journal.write(0, headerBytes_);
            journal.sync();
            headerDirty_ = false;
        }
        // The switch: one sector write.
        for (const auto& [k, sector] : fresh) {
            if (k > 0 && fresh.count(k - 1)) continue;
            if (k == 0) {
                DirectoryEntry::WriteStreamLocation(
                    std::span(directoryBytes_).subspan(static_cast<size_t>(owner) * kDirectoryEntryLength, kDirectoryEntryLength),
                    sector, ownerSize, header_.majorVersion);
                const uint32_t directorySector = owner / perDirectorySector;
                writeSector(journal, directoryChain_[directorySector],
                            std::span(directoryBytes_).subspan(uint64_t{directorySector} * sectorSize_, sectorSize_));
            } else {
                setFat(units[k - 1], sector);
            }
        }
        flushTables(journal);
        journal.sync();
    } catch (...) {
        failed_ = true;
        if (undoable) journal.rollback();
        throw;
    }

    // The new bytes are in effect; the old sectors go, zeroed first so that
    // nothing of what they held survives.
    journal.recording = false;
    try {
        const std::vector<uint8_t> zeros(sectorSize_, 0);
        for (const auto& [k, sector] : fresh) writeSector(journal, units[k], zeros);
        for (uint32_t sector : orphans_) writeSector(journal, sector, zeros);
        journal.sync();
        for (const auto& [k, sector] : fresh) {
            setFat(units[k], kFreeSector);
            sectorUsed_[units[k]] = 0;
            units[k] = sector;
        }
        for (uint32_t sector : std::exchange(orphans_, {})) setFat(sector, kFreeSector);
        flushTables(journal);
        journal.flush();
    } catch (...) {
        failed_ = true;
        throw;
    }
}

namespace {

// The writer's model over a document opened for reading: loading it and
// surveying it only ever reads.
class ReadOnlyView : public WritableByteSource {
public:
    explicit ReadOnlyView(ByteSource& source) : source_(source) {}
    uint64_t size() const override { return source_.size(); }
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override { source_.readAt(offset, buffer); }
    void writeAt(uint64_t, std::span<const uint8_t>) override { throw std::logic_error("a survey does not write"); }
    void sync() override { throw std::logic_error("a survey does not write"); }
    void resize(uint64_t) override { throw std::logic_error("a survey does not write"); }

private:
    ByteSource& source_;
};

}  // namespace

uint64_t MeasureResidue(ByteSource& source) {
    ReadOnlyView view(source);
    CompoundFileWriter model(view);
    return model.residue();
}

}  // namespace velmora::storage
