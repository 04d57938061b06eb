#include "storage/allocation_tables.h"

#include <algorithm>
#include <string>
#include <utility>

#include "storage/little_endian.h"
#include "storage/storage_error.h"

namespace velmora::storage {

namespace {

std::string Describe(uint64_t unit) {
    return unit > kMaxRegularSector ? HexWord(static_cast<uint32_t>(unit)) : std::to_string(unit);
}

std::vector<uint32_t> ToEntries(const std::vector<uint8_t>& sector) {
    std::vector<uint32_t> entries(sector.size() / 4);
    for (size_t i = 0; i < entries.size(); ++i) entries[i] = LoadU32(sector, 4 * i);
    return entries;
}


}  // namespace

bool UnitSet::insert(uint64_t unit) {
    if (sparse_) return units_.insert(unit).second;
    if (unit >= bits_.size()) bits_.resize(static_cast<size_t>(unit) + 1, false);
    if (bits_[unit]) return false;
    bits_[unit] = true;
    return true;
}

void UnitSet::erase(uint64_t unit) {
    if (sparse_)
        units_.erase(unit);
    else if (unit < bits_.size())
        bits_[unit] = false;
}

bool UnitSet::contains(uint64_t unit) const {
    return sparse_ ? units_.count(unit) > 0 : unit < bits_.size() && bits_[unit];
}

void UnitSet::truncate(uint64_t count) {
    if (sparse_)
        std::erase_if(units_, [count](uint64_t unit) { return unit >= count; });
    else if (bits_.size() > count)
        bits_.resize(static_cast<size_t>(count));
}

ChainWalk::ChainWalk(AllocationTables& tables, bool mini, uint32_t start, uint64_t limit, uint64_t miniStreamUnits,
                     UnitSet* claims, const char* what)
    : tables_(&tables),
      mini_(mini),
      start_(start),
      limit_(limit),
      miniStreamUnits_(miniStreamUnits),
      sharedClaims_(claims),
      what_(what) {}

ChainWalk ChainWalk::Sectors(AllocationTables& tables, uint32_t start, uint64_t limit, UnitSet* claims, const char* what) {
    return ChainWalk(tables, false, start, limit, 0, claims, what);
}

ChainWalk ChainWalk::MiniSectors(AllocationTables& tables, uint32_t start, uint64_t limit, uint64_t miniStreamUnits,
                                 UnitSet* claims, const char* what) {
    return ChainWalk(tables, true, start, limit, miniStreamUnits, claims, what);
}

bool ChainWalk::step() {
    if (ended_ || units_.size() >= limit_) return false;
    const uint32_t unit = units_.empty() ? start_ : mini_ ? tables_->nextMini(units_.back()) : tables_->next(units_.back());
    if (unit == kEndOfChain || (units_.empty() && unit == kFreeSector)) {
        ended_ = true;
        return false;
    }
    if (mini_) {
        if (unit >= miniStreamUnits_ || unit >= tables_->miniFatCoverage())
            ThrowDamaged(std::string(what_) + " refers to mini sector " + Describe(unit) + ", outside the mini stream (" +
                         std::to_string(std::min(miniStreamUnits_, tables_->miniFatCoverage())) + " mini sectors)");
    } else {
        if (unit > kMaxRegularSector || unit >= tables_->sectorsInFile() || unit >= tables_->fatCoverage())
            ThrowDamaged(std::string(what_) + " refers to sector " + Describe(unit) + ", outside the file (" +
                         std::to_string(std::min(tables_->sectorsInFile(), tables_->fatCoverage())) + " sectors)");
    }
    UnitSet& claims = sharedClaims_ ? *sharedClaims_ : ownClaims_;
    if (!claims.insert(unit))
        ThrowDamaged(std::string(what_) + " reaches " + (mini_ ? "mini sector " : "sector ") + Describe(unit) + " a second time");
    units_.push_back(unit);
    return true;
}

std::optional<uint32_t> ChainWalk::at(uint64_t index) {
    while (units_.size() <= index)
        if (!step()) return std::nullopt;
    return units_[index];
}

const std::vector<uint32_t>& ChainWalk::all() {
    while (step()) {
    }
    return units_;
}

AllocationTables::AllocationTables(const CompoundFileHeader& header, uint64_t sectorsInFile, SectorReader readSector)
    : header_(header), entriesPerSector_(header.sectorSize / 4), sectorsInFile_(sectorsInFile), readSector_(std::move(readSector)) {}

void AllocationTables::checkSector(uint32_t sector, const char* what) const {
    if (sector > kMaxRegularSector || sector >= sectorsInFile_)
        ThrowDamaged(std::string(what) + " refers to sector " + Describe(sector) + ", expected one of the file's " +
                     std::to_string(sectorsInFile_) + " sectors");
}

bool AllocationTables::loadNextDifatSector() {
    if (difatComplete_) return false;
    const uint32_t next = difatLocations_.empty() ? header_.firstDifatSector : difatContents_.back().back();
    if (next == kEndOfChain || next == kFreeSector) {
        difatComplete_ = true;
        return false;
    }
    checkSector(next, "the DIFAT");
    if (!difatClaims_.insert(next)) ThrowDamaged("the DIFAT chain loops back to sector " + Describe(next));
    difatLocations_.push_back(next);
    difatContents_.push_back(ToEntries(readSector_(next)));
    return true;
}

std::vector<uint32_t> AllocationTables::difatSectorLocations(size_t limit) {
    while (difatLocations_.size() < limit && loadNextDifatSector()) {
    }
    return std::vector<uint32_t>(difatLocations_.begin(),
                                 difatLocations_.begin() + static_cast<std::ptrdiff_t>(std::min(limit, difatLocations_.size())));
}

uint32_t AllocationTables::difatEntry(uint32_t fatIndex) {
    if (fatIndex < kHeaderDifatEntryCount) return header_.difat[fatIndex];
    const uint32_t perDifatSector = entriesPerSector_ - 1;  // the last entry links to the next DIFAT sector
    const size_t chainIndex = (fatIndex - kHeaderDifatEntryCount) / perDifatSector;
    while (difatLocations_.size() <= chainIndex)
        if (!loadNextDifatSector()) ThrowDamaged("FAT sector " + std::to_string(fatIndex) + " lies beyond the DIFAT");
    return difatContents_[chainIndex][(fatIndex - kHeaderDifatEntryCount) % perDifatSector];
}

uint32_t AllocationTables::fatSectorLocation(uint32_t fatIndex) {
    if (fatIndex >= header_.fatSectorCount)
        ThrowDamaged("sector " + std::to_string(uint64_t{fatIndex} * entriesPerSector_) + " lies beyond the FAT (" +
                     std::to_string(header_.fatSectorCount) + " FAT sectors)");
    const uint32_t location = difatEntry(fatIndex);
    checkSector(location, "the DIFAT");
    return location;
}

void AllocationTables::loadBlock(Blocks& blocks, uint32_t index, uint32_t (AllocationTables::*locate)(uint32_t)) {
    if (index < blocks.size() && !blocks[index].empty()) return;
    std::vector<uint32_t> entries = ToEntries(readSector_((this->*locate)(index)));
    if (blocks.size() <= index) blocks.resize(static_cast<size_t>(index) + 1);
    blocks[index] = std::move(entries);
}

void AllocationTables::loadFatSector(uint32_t fatIndex) { loadBlock(fat_, fatIndex, &AllocationTables::fatSectorLocation); }

uint32_t AllocationTables::next(uint32_t sector) {
    checkSector(sector, "a chain");
    loadFatSector(sector / entriesPerSector_);
    return fat(sector);
}

uint32_t AllocationTables::miniFatSectorLocation(uint32_t miniFatIndex) {
    std::optional<uint32_t> location;
    if (loadedAll_) {
        if (miniFatIndex < miniFatChain_.size()) location = miniFatChain_[miniFatIndex];
    } else {
        if (!miniFatWalk_) miniFatWalk_.emplace(ChainWalk::Sectors(*this, header_.firstMiniFatSector, UINT64_MAX, nullptr, "the miniFAT"));
        location = miniFatWalk_->at(miniFatIndex);
    }
    if (!location)
        ThrowDamaged("mini sector " + std::to_string(uint64_t{miniFatIndex} * entriesPerSector_) + " lies beyond the miniFAT chain");
    return *location;
}

void AllocationTables::loadMiniFatSector(uint32_t miniFatIndex) {
    loadBlock(miniFat_, miniFatIndex, &AllocationTables::miniFatSectorLocation);
}

uint32_t AllocationTables::nextMini(uint32_t miniSector) {
    if (miniSector >= miniFatCoverage())
        ThrowDamaged("mini sector " + Describe(miniSector) + " lies beyond the miniFAT (" +
                     std::to_string(header_.miniFatSectorCount) + " sectors)");
    loadMiniFatSector(miniSector / entriesPerSector_);
    return miniFat(miniSector);
}

void AllocationTables::loadAll(UnitSet& claims) {
    if (header_.fatSectorCount > sectorsInFile_)
        ThrowDamaged("the header claims " + std::to_string(header_.fatSectorCount) + " FAT sectors in a file of " +
                     std::to_string(sectorsInFile_) + " sectors");
    for (uint32_t i = 0; i < header_.fatSectorCount; ++i) fatLocations_.push_back(fatSectorLocation(i));
    // Only as many DIFAT sectors as the FAT count needs: a link past them
    // leads nowhere.
    const uint64_t difatNeeded = header_.fatSectorCount > kHeaderDifatEntryCount
                                     ? CeilDivide(header_.fatSectorCount - kHeaderDifatEntryCount, entriesPerSector_ - 1)
                                     : 0;
    difatSectorLocations(static_cast<size_t>(difatNeeded));
    difatLocations_.resize(std::min<size_t>(difatLocations_.size(), static_cast<size_t>(difatNeeded)));
    difatContents_.resize(difatLocations_.size());
    difatComplete_ = true;
    if (!difatContents_.empty() && difatContents_.back().back() != kEndOfChain) {
        difatContents_.back().back() = kEndOfChain;
        dirtyDifat_.insert(static_cast<uint32_t>(difatContents_.size() - 1));
    }
    // The header must stop counting DIFAT sectors past those before they
    // are freed.
    if (header_.difatSectorCount > difatNeeded) {
        header_.difatSectorCount = static_cast<uint32_t>(difatNeeded);
        if (difatNeeded == 0) header_.firstDifatSector = kEndOfChain;
        headerDirty_ = true;
    }

    for (uint32_t i = 0; i < header_.fatSectorCount; ++i) loadFatSector(i);
    auto claimStructure = [&](uint32_t sector, const char* what) {
        if (sector >= fatCoverage() || !claims.insert(sector))
            ThrowDamaged(std::string(what) + " sector " + Describe(sector) + " is outside the FAT or used twice");
    };
    for (uint32_t location : fatLocations_) claimStructure(location, "FAT");
    for (uint32_t location : difatLocations_) claimStructure(location, "DIFAT");

    // The whole miniFAT chain: sectors on it past the counted ones are kept
    // for the miniFAT to grow into.
    miniFatChain_ = ChainWalk::Sectors(*this, header_.firstMiniFatSector, UINT64_MAX, &claims, "the miniFAT").all();
    miniFatWalk_.reset();
    loadedAll_ = true;
    if (miniFatChain_.size() < header_.miniFatSectorCount)
        ThrowDamaged("the miniFAT chain has " + std::to_string(miniFatChain_.size()) + " sectors, expected " +
                     std::to_string(header_.miniFatSectorCount));
    for (uint32_t i = 0; i < header_.miniFatSectorCount; ++i) loadMiniFatSector(i);
}

void AllocationTables::setFat(uint32_t sector, uint32_t value) {
    fat_[sector / entriesPerSector_][sector % entriesPerSector_] = value;
    dirtyFat_.insert(sector / entriesPerSector_);
}

void AllocationTables::setMiniFat(uint32_t miniSector, uint32_t value) {
    miniFat_[miniSector / entriesPerSector_][miniSector % entriesPerSector_] = value;
    dirtyMiniFat_.insert(miniSector / entriesPerSector_);
}

void AllocationTables::appendFatSector(uint32_t location) {
    fat_.resize(fatLocations_.size() + 1);
    fat_.back().assign(entriesPerSector_, kFreeSector);
    fat_[location / entriesPerSector_][location % entriesPerSector_] = kFatSector;
    fatLocations_.push_back(location);
    dirtyFat_.insert(static_cast<uint32_t>(fatLocations_.size() - 1));
    header_.fatSectorCount = static_cast<uint32_t>(fatLocations_.size());
    headerDirty_ = true;
}

void AllocationTables::dropLastFatSector() {
    const size_t index = fatLocations_.size() - 1;
    fat_.resize(index);
    fatLocations_.pop_back();
    dirtyFat_.erase(static_cast<uint32_t>(index));
    if (index < kHeaderDifatEntryCount) header_.difat[index] = kFreeSector;
    header_.fatSectorCount = static_cast<uint32_t>(fatLocations_.size());
    headerDirty_ = true;
}

bool AllocationTables::difatEntryNeedsNewSector(size_t fatIndex) const {
    return fatIndex >= kHeaderDifatEntryCount && (fatIndex - kHeaderDifatEntryCount) / (entriesPerSector_ - 1) >= difatLocations_.size();
}

void AllocationTables::setDifatEntry(size_t fatIndex, uint32_t location) {
    if (fatIndex < kHeaderDifatEntryCount) {
        header_.difat[fatIndex] = location;
        headerDirty_ = true;
        return;
    }
    const size_t perDifatSector = entriesPerSector_ - 1;
    const size_t chainIndex = (fatIndex - kHeaderDifatEntryCount) / perDifatSector;
    difatContents_[chainIndex][(fatIndex - kHeaderDifatEntryCount) % perDifatSector] = location;
    dirtyDifat_.insert(static_cast<uint32_t>(chainIndex));
}

std::vector<uint32_t> AllocationTables::moveDifat(const std::vector<uint32_t>& copies) {
    for (size_t k = 0; k < difatLocations_.size(); ++k) {
        difatContents_[k].back() = copies[k + 1];
        dirtyDifat_.insert(static_cast<uint32_t>(k));
    }
    std::vector<uint32_t> contents(entriesPerSector_, kFreeSector);
    contents.back() = kEndOfChain;
    difatContents_.push_back(std::move(contents));
    dirtyDifat_.insert(static_cast<uint32_t>(difatContents_.size() - 1));
    std::vector<uint32_t> old = std::exchange(difatLocations_, copies);
    header_.firstDifatSector = copies.front();
    header_.difatSectorCount = static_cast<uint32_t>(difatLocations_.size());
    headerDirty_ = true;
    return old;
}

void AllocationTables::extendMiniFat(std::optional<uint32_t> appended) {
    if (appended) {
        if (miniFatChain_.empty())
            header_.firstMiniFatSector = *appended;
        else
            setFat(miniFatChain_.back(), *appended);
        miniFatChain_.push_back(*appended);
    }
    // A sector already on the chain past the counted ones holds nothing we need.
    dirtyMiniFat_.insert(header_.miniFatSectorCount);
    ++header_.miniFatSectorCount;
    headerDirty_ = true;
    miniFat_.resize(header_.miniFatSectorCount);
    miniFat_.back().assign(entriesPerSector_, kFreeSector);
}

void AllocationTables::markMiniFatDirty() {
    for (uint32_t index = 0; index < header_.miniFatSectorCount && index < miniFatChain_.size(); ++index) dirtyMiniFat_.insert(index);
}

std::vector<uint32_t> AllocationTables::moveMiniFat(const std::vector<uint32_t>& copies) {
    std::vector<uint32_t> old = std::exchange(miniFatChain_, copies);
    markMiniFatDirty();
    header_.firstMiniFatSector = miniFatChain_.front();
    headerDirty_ = true;
    return old;
}

void AllocationTables::storeHeader(std::span<uint8_t> bytes) {
    header_.WriteTo(bytes);
    headerDirty_ = false;
}

void AllocationTables::flush(const std::function<void(uint32_t location, std::span<const uint8_t> bytes)>& write) {
    std::vector<uint8_t> bytes(header_.sectorSize);
    auto put = [&](const uint32_t* entries) {
        for (uint32_t k = 0; k < entriesPerSector_; ++k) StoreU32(bytes, 4 * k, entries[k]);
    };
    for (uint32_t index : dirtyFat_) {
        put(fat_[index].data());
        write(fatLocations_[index], bytes);
    }
    for (uint32_t index : dirtyDifat_) {
        put(difatContents_[index].data());
        write(difatLocations_[index], bytes);
    }
    for (uint32_t index : dirtyMiniFat_) {
        put(miniFat_[index].data());
        write(miniFatChain_[index], bytes);
    }
    dirtyFat_.clear();
    dirtyDifat_.clear();
    dirtyMiniFat_.clear();
}

}  // namespace velmora::storage
