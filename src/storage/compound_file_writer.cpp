#include "storage/compound_file_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "storage/storage_error.h"

namespace velmora::storage {

namespace {

std::string Describe(uint32_t sector) { return sector > kMaxRegularSector ? HexWord(sector) : std::to_string(sector); }


}  // namespace

CompoundFileWriter::CompoundFileWriter(WritableByteSource& source)
    : source_(source), file_(source), tables_(file_.tables()), sectors_(tables_), mini_(tables_, sectors_) {
    load();
}

// The reader's own tables, loaded whole: then every chain is walked to its
// end, and every sector claimed once, so that a sector two structures reach
// refuses the file before anything is written.
void CompoundFileWriter::load() {
    headerBytes_.assign(kHeaderLength, 0);
    source_.readAt(0, headerBytes_);
    tables_.loadAll(sectors_.inUse());

    directoryChain_ = ChainWalk::Sectors(tables_, tables_.header().firstDirectorySector, UINT64_MAX, &sectors_.inUse(), "the directory").all();
    if (directoryChain_.empty()) ThrowDamaged("the directory has no sectors");
    for (uint32_t sector : directoryChain_) {
        std::vector<uint8_t> bytes = file_.readSector(sector);
        directoryBytes_.insert(directoryBytes_.end(), bytes.begin(), bytes.end());
    }

    const uint32_t entryCount = static_cast<uint32_t>(directoryBytes_.size() / kDirectoryEntryLength);
    DirectoryEntry root = entry(0);
    if (root.type != ObjectType::Root) ThrowDamaged("the first directory entry is not the root storage");
    mini_.load(root);

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
            chain.units = ChainWalk::Sectors(tables_, stream.startSector, CeilDivide(stream.streamSize, sectorSize()), &sectors_.inUse(),
                                             "a stream")
                              .all();
            if (uint64_t{chain.units.size()} * sectorSize() < stream.streamSize)
                ThrowDamaged("stream " + std::to_string(index) + " claims " + std::to_string(stream.streamSize) +
                             " bytes in a chain of " + std::to_string(chain.units.size()) + " sectors");
            if (tables_.fat(chain.units.back()) != kEndOfChain) tables_.setFat(chain.units.back(), kEndOfChain);
        } else {
            chain.mini = true;
            chain.units = ChainWalk::MiniSectors(tables_, stream.startSector, CeilDivide(stream.streamSize, kMiniSectorSize),
                                                 mini_.units(), &mini_.inUse(), "a small stream")
                              .all();
            if (uint64_t{chain.units.size()} * kMiniSectorSize < stream.streamSize)
                ThrowDamaged("small stream " + std::to_string(index) + " of " + std::to_string(stream.streamSize) +
                             " bytes has a chain of " + std::to_string(chain.units.size()) + " mini sectors");
            if (!chain.units.empty() && tables_.miniFat(chain.units.back()) != kEndOfChain) tables_.setMiniFat(chain.units.back(), kEndOfChain);
        }
        streamChains_[index] = std::move(chain);
    }
}

DirectoryEntry CompoundFileWriter::entry(uint32_t index) const {
    return DirectoryEntry::ReadFrom(
        std::span(directoryBytes_).subspan(static_cast<size_t>(index) * kDirectoryEntryLength, kDirectoryEntryLength),
        index, tables_.header().majorVersion);
}

std::optional<uint32_t> CompoundFileWriter::findRootStream(std::u16string_view name) const {
    const DirectoryEntry* found = FindChildByName(rootChildren_, name);
    if (found == nullptr || found->type != ObjectType::Stream) return std::nullopt;
    return found->index;
}

bool CompoundFileWriter::hasRootStream(std::u16string_view name) const { return findRootStream(name).has_value(); }

uint64_t CompoundFileWriter::unitOffset(const Chain& chain, size_t k) const {
    return chain.mini ? mini_.offsetOf(chain.units[k]) : (uint64_t{chain.units[k]} + 1) * sectorSize();
}

std::vector<uint8_t> CompoundFileWriter::readRootStream(std::u16string_view name) {
    std::optional<uint32_t> index = findRootStream(name);
    if (!index)
        throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                           "The document has no such property set");
    std::vector<uint8_t> content(static_cast<size_t>(entry(*index).streamSize));
    if (content.empty()) return content;
    const Chain& chain = streamChains_.at(*index);
    const uint32_t unit = chain.mini ? kMiniSectorSize : sectorSize();
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

CompoundFileWriter::Chain CompoundFileWriter::allocateChain(uint64_t size) {
    Chain chain;
    chain.mini = size < kMiniStreamCutoff;
    const uint64_t unitCount = CeilDivide(size, chain.mini ? kMiniSectorSize : sectorSize());
    if (chain.mini) {
        const uint64_t available = mini_.available(UINT64_MAX);
        if (available < unitCount) mini_.grow(unitCount - available);
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(mini_.allocate(UINT64_MAX));
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) tables_.setMiniFat(chain.units[k], chain.units[k + 1]);
    } else {
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(sectors_.allocate());
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) tables_.setFat(chain.units[k], chain.units[k + 1]);
    }
    return chain;
}

std::optional<CompoundFileWriter::Chain> CompoundFileWriter::allocateChainBelow(uint64_t size, uint64_t sectorLimit,
                                                                                uint64_t miniLimit) {
    Chain chain;
    chain.mini = size < kMiniStreamCutoff;
    const uint64_t unitCount = CeilDivide(size, chain.mini ? kMiniSectorSize : sectorSize());
    // Lowest first: with enough room below the limit, every unit lands there.
    if (chain.mini) {
        if (mini_.available(miniLimit) < unitCount) return std::nullopt;
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(mini_.allocate(miniLimit));
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) tables_.setMiniFat(chain.units[k], chain.units[k + 1]);
    } else {
        if (sectors_.available(sectorLimit) < unitCount) return std::nullopt;
        sectors_.restartAt(0);
        for (uint64_t k = 0; k < unitCount; ++k) chain.units.push_back(sectors_.allocate());
        for (size_t k = 0; k + 1 < chain.units.size(); ++k) tables_.setFat(chain.units[k], chain.units[k + 1]);
    }
    return chain;
}

// What the streams grow by, in sectors and in mini sectors (never below zero).
std::pair<uint64_t, uint64_t> CompoundFileWriter::growthOf(const std::vector<Target>& targets) const {
    int64_t sectors = 0, miniSectors = 0;
    for (const Target& target : targets) {
        const bool mini = target.content.size() < kMiniStreamCutoff;
        (mini ? miniSectors : sectors) +=
            static_cast<int64_t>(CeilDivide(target.content.size(), mini ? kMiniSectorSize : sectorSize()));
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
        (mini ? neededMini : neededSectors) += CeilDivide(target.content.size(), mini ? kMiniSectorSize : sectorSize());
        (target.old.mini ? oldMini : oldSectors) += target.old.units.size();
    }
    std::vector<uint32_t> keptSectors, grownSectors, keptMini;
    const uint64_t inFile = std::min<uint64_t>(tables_.sectorsInFile(), tables_.fatCoverage());
    const uint64_t freeSectors = sectors_.available(inFile);
    if (neededSectors > freeSectors) {
        for (uint32_t sector = 0; sector < inFile; ++sector)
            if (!sectors_.used(sector) && tables_.fat(sector) == kFreeSector) {
                sectors_.use(sector);
                keptSectors.push_back(sector);
            }
        const uint64_t room = neededSectors > freeSectors + oldSectors ? neededSectors - freeSectors - oldSectors : 0;
        sectors_.restartAt(static_cast<uint32_t>(inFile));
        for (uint64_t k = 0; k < room; ++k) grownSectors.push_back(sectors_.allocate());
        sectors_.restartAt(0);
    }
    const uint64_t freeMini = mini_.available(UINT64_MAX);
    if (neededMini > freeMini) {
        const uint64_t capacity = std::min<uint64_t>(mini_.size() / kMiniSectorSize, tables_.miniFatCoverage());
        const uint64_t room = neededMini > freeMini + oldMini ? neededMini - freeMini - oldMini : 0;
        if (room > 0) mini_.grow(room);
        for (uint64_t unit = 0; unit < capacity + room && unit < tables_.miniFatCoverage(); ++unit)
            if (!mini_.used(unit) && tables_.miniFat(unit) == kFreeSector) {
                mini_.use(unit);
                keptMini.push_back(static_cast<uint32_t>(unit));
            }
    }
    place();
    for (uint32_t sector : keptSectors) sectors_.unuse(sector);
    for (uint32_t sector : grownSectors) {
        sectors_.unuse(sector);
        tables_.setFat(sector, kFreeSector);
    }
    for (uint32_t unit : keptMini) mini_.unuse(unit);
}

// A chain no directory entry reaches any more: still allocated in the
// tables, free for a second copy to take, freed for good at the end.
void CompoundFileWriter::release(const Chain& chain) {
    for (uint32_t unit : chain.units) {
        if (chain.mini)
            mini_.release(unit);
        else
            sectors_.release(unit);
    }
}

void CompoundFileWriter::writeSector(WriteJournal& journal, uint32_t sector, std::span<const uint8_t> bytes) {
    journal.write((uint64_t{sector} + 1) * sectorSize(), bytes);
}

// The content, every unit's unused tail zeroed.
void CompoundFileWriter::writeContent(WriteJournal& journal, const Chain& chain, std::span<const uint8_t> content) {
    const uint32_t unit = chain.mini ? kMiniSectorSize : sectorSize();
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
void CompoundFileWriter::stageUnit(WriteJournal& journal, const Chain& chain, size_t k, std::span<const uint8_t> bytes) {
    journal.write(unitOffset(chain, k), bytes);
    if (chain.mini && miniStreamCopy_)
        std::copy(bytes.begin(), bytes.end(), miniStreamCopy_->begin() + static_cast<std::ptrdiff_t>(uint64_t{chain.units[k]} * kMiniSectorSize));
}

// Mini stream sectors appended by growth start out as zeros.
void CompoundFileWriter::writeFreshMiniStreamSectors(WriteJournal& journal) {
    const std::vector<uint8_t> zeros(sectorSize(), 0);
    for (uint32_t sector : mini_.chain())
        if (sectors_.fresh(sector)) writeSector(journal, sector, zeros);
}

// The switch: each target's start sector and size, and with `publishRoot`
// the mini stream's, in as few directory-sector writes as they share.
void CompoundFileWriter::writeDirectoryEntries(WriteJournal& journal, const std::vector<Target>& targets, bool publishRoot) {
    const uint32_t perSector = sectorSize() / static_cast<uint32_t>(kDirectoryEntryLength);
    std::set<uint32_t> sectors;
    auto store = [&](uint32_t index, uint32_t start, uint64_t size) {
        DirectoryEntry::WriteStreamLocation(
            std::span(directoryBytes_).subspan(static_cast<size_t>(index) * kDirectoryEntryLength, kDirectoryEntryLength),
            start, size, tables_.header().majorVersion);
        sectors.insert(index / perSector);
    };
    for (const Target& target : targets)
        store(target.index, target.fresh.units.empty() ? kEndOfChain : target.fresh.units.front(), target.content.size());
    if (publishRoot) store(0, mini_.chain().empty() ? kEndOfChain : mini_.chain().front(), mini_.size());
    for (uint32_t sector : sectors)
        writeSector(journal, directoryChain_[sector], std::span(directoryBytes_).subspan(uint64_t{sector} * sectorSize(), sectorSize()));
}

// Zeros over the units of an old copy that no second copy took.
void CompoundFileWriter::zeroUnits(WriteJournal& journal, const Chain& chain) {
    const std::vector<uint8_t> zeros(sectorSize(), 0);
    for (size_t k = 0; k < chain.units.size(); ++k) {
        const bool reusable = chain.mini ? mini_.reusable(chain.units[k]) : sectors_.reusable(chain.units[k]);
        if (reusable) stageUnit(journal, chain, k, std::span(zeros).first(chain.mini ? kMiniSectorSize : sectorSize()));
    }
}

void CompoundFileWriter::freeUnits(const Chain& chain) {
    for (uint32_t unit : chain.units) {
        if (chain.mini)
            mini_.freeIfReusable(unit);
        else
            sectors_.freeIfReusable(unit);
    }
}

// The second copy-on-write step: each new copy that had to go past the
// file's (or the mini stream's) old end moves into the space its old copy
// left, where that space holds it; so do the mini stream and the miniFAT
// when growth put them there. The old copies' remaining units are zeroed in
// the same step.
void CompoundFileWriter::relocateIntoFreedSpace(WriteJournal& journal, std::vector<Target>& targets, uint64_t sectorLimit,
                                                uint64_t miniLimit, uint64_t originalRootSize, std::vector<Chain>& toFree,
                                                std::vector<Chain>& firstCopies) {
    sectors_.forgetFresh();
    auto beyond = [](const std::vector<uint32_t>& units, uint64_t limit) {
        return std::any_of(units.begin(), units.end(), [&](uint32_t unit) { return unit >= limit; });
    };
    auto lowerSectors = [&](size_t count) -> std::optional<std::vector<uint32_t>> {
        if (count == 0 || sectors_.available(sectorLimit) < count) return std::nullopt;
        sectors_.restartAt(0);
        std::vector<uint32_t> sectors;
        for (size_t k = 0; k < count; ++k) sectors.push_back(sectors_.allocate());
        for (size_t k = 0; k + 1 < count; ++k) tables_.setFat(sectors[k], sectors[k + 1]);
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
    if (beyond(mini_.chain(), sectorLimit) && (newRoot = lowerSectors(mini_.chain().size()))) {
        rootCopy.assign(mini_.chain().size() * sectorSize(), 0);
        for (size_t k = 0; k < mini_.chain().size(); ++k) {
            const uint64_t offset = (uint64_t{mini_.chain()[k]} + 1) * sectorSize();
            if (offset < source_.size())
                source_.readAt(offset, std::span(rootCopy).subspan(k * sectorSize(), std::min<uint64_t>(sectorSize(), source_.size() - offset)));
        }
        miniStreamCopy_ = &rootCopy;
    }
    std::optional<std::vector<uint32_t>> newMiniFat;
    if (beyond(tables_.miniFatChain(), sectorLimit)) newMiniFat = lowerSectors(tables_.miniFatChain().size());

    for (const Target& move : moved) writeContent(journal, move.fresh, move.content);
    for (const Chain& old : toFree) zeroUnits(journal, old);
    miniStreamCopy_ = nullptr;
    if (newRoot)
        for (size_t k = 0; k < newRoot->size(); ++k)
            writeSector(journal, (*newRoot)[k], std::span(rootCopy).subspan(k * sectorSize(), sectorSize()));
    std::vector<uint32_t> oldMiniFat;
    if (newMiniFat) {
        // Until the header switches, the old miniFAT is the one in effect: it
        // gets every change too.
        tables_.markMiniFatDirty();
        flushTables(journal);
        oldMiniFat = tables_.moveMiniFat(*newMiniFat);
        const std::vector<uint8_t> zeros(sectorSize(), 0);
        for (size_t index = tables_.header().miniFatSectorCount; index < tables_.miniFatChain().size(); ++index)
            writeSector(journal, tables_.miniFatChain()[index], zeros);
    }
    flushTables(journal);
    journal.sync();
    if (moved.empty() && !newRoot && !newMiniFat) return;

    std::vector<uint32_t> oldRoot;
    if (newRoot) oldRoot = mini_.moveTo(*newRoot);
    // Where the moved entries share the root's directory sector, the mini
    // stream gives back the space of their first copies in the same write:
    // nothing reaches past the new size once that sector is written.
    const uint32_t perDirectorySector = sectorSize() / static_cast<uint32_t>(kDirectoryEntryLength);
    bool shrinkRides = false;
    if (std::all_of(moved.begin(), moved.end(), [&](const Target& t) { return t.index < perDirectorySector; })) {
        for (const Target& move : moved) release(move.old);
        shrinkRides = mini_.shrink(originalRootSize);
        for (const Target& move : moved)
            for (uint32_t unit : move.old.units) {
                // Back to in use until the switch is durable.
                if (move.old.mini)
                    mini_.reclaim(unit);
                else
                    sectors_.reclaim(unit);
            }
    }
    writeDirectoryEntries(journal, moved, newRoot.has_value() || shrinkRides);
    if (shrinkRides) rootSizeDurable_ = true;
    if (tables_.headerDirty()) writeHeader(journal);
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
        const std::vector<uint8_t> zeros(sectorSize(), 0);
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

// The mini stream's chain gives up the sectors past its size, zeroed.
bool CompoundFileWriter::cutMiniStreamChain(WriteJournal& journal) {
    const std::vector<uint32_t> cut = mini_.cutChain();
    const std::vector<uint8_t> zeros(sectorSize(), 0);
    for (uint32_t sector : cut) writeSector(journal, sector, zeros);
    return !cut.empty();
}

void CompoundFileWriter::writeHeader(WriteJournal& journal) {
    tables_.storeHeader(headerBytes_);
    journal.write(0, headerBytes_);
}

void CompoundFileWriter::flushTables(WriteJournal& journal) {
    tables_.flush([&](uint32_t location, std::span<const uint8_t> bytes) { writeSector(journal, location, bytes); });
}

void CompoundFileWriter::replaceRootStream(std::u16string_view name, std::span<const uint8_t> content) {
    const RootStreamReplacement replacement{std::u16string(name), content};
    replaceRootStreams(std::span(&replacement, 1));
}

void CompoundFileWriter::replaceRootStreams(std::span<const RootStreamReplacement> replacements) {
    if (failed_) throw std::logic_error("a compound-file writer is not reused after a failed replacement");
    if (replacements.empty()) return;
    const uint64_t originalSectorCount = tables_.sectorsInFile();
    const uint64_t originalRootSize = mini_.size();
    const size_t originalFatCount = tables_.fatLocations().size();
    sectors_.startReachAtCoverage();
    sectors_.restartAt(0);
    sectors_.forgetFresh();

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

    WriteJournal journal(source_, true);
    const uint32_t perDirectorySector = sectorSize() / static_cast<uint32_t>(kDirectoryEntryLength);
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
        scrubFreeSpace(journal, sectors_.trailingKeep(), targets);
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
        if (tables_.headerDirty()) {
            writeHeader(journal);
            growthWritten = true;
        }
        if (mini_.entryDirty() && !rootRidesWithSwitch) {
            writeDirectoryEntries(journal, {}, true);
            growthWritten = true;
        }
        if (growthWritten) journal.sync();

        writeDirectoryEntries(journal, targets, mini_.entryDirty() && rootRidesWithSwitch);
        journal.flush();
    } catch (...) {
        failed_ = true;
        journal.rollback();
        throw;
    }
    mini_.entryWritten();

    // From here on the new content may already be what the file holds: no
    // rollback, and every failure is reported.
    journal.stopRecording();
    try {
        finishAfterSwitch(journal, targets, originalSectorCount, originalRootSize, originalFatCount);
    } catch (...) {
        failed_ = true;
        throw;
    }
}

void CompoundFileWriter::finishAfterSwitch(WriteJournal& journal, std::vector<Target>& targets, uint64_t originalSectorCount,
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
    if (!sectors_.orphans().empty()) {
        Chain orphans{false, sectors_.takeOrphans()};
        release(orphans);
        toFree.push_back(std::move(orphans));
    }
    rootSizeDurable_ = false;
    if (tables_.sectorsInFile() > originalSectorCount) {
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
    const std::vector<uint8_t> zeros(sectorSize(), 0);
    for (const Chain& copy : firstCopies)
        for (size_t k = 0; k < copy.units.size(); ++k)
            journal.write(unitOffset(copy, k), std::span(zeros).first(copy.mini ? kMiniSectorSize : sectorSize()));
    for (const Chain& chain : toFree) freeUnits(chain);
    if (rootSizeDurable_) cutMiniStreamChain(journal);
    // A mini stream that shrinks only here must be durable before its chain is cut.
    const bool rootPending = !rootSizeDurable_ && mini_.shrink(originalRootSize);
    const bool fatShrunk = !rootPending && sectors_.shrinkFat(originalFatCount);
    flushTables(journal);
    if (rootPending) writeDirectoryEntries(journal, {}, true);
    // The header must no longer list FAT sectors past the end before the end is cut.
    if (fatShrunk) writeHeader(journal);
    // A smaller mini stream needs to be durable only where its chain is cut after it.
    const bool chainToCut = rootPending && CeilDivide(mini_.size(), sectorSize()) < mini_.chain().size();
    if (chainToCut || fatShrunk)
        journal.sync();
    else
        journal.flush();
    if (rootPending) {
        cutMiniStreamChain(journal);
        const bool shrunkNow = sectors_.shrinkFat(originalFatCount);
        flushTables(journal);
        if (shrunkNow) {
            writeHeader(journal);
            journal.sync();
        } else {
            journal.flush();
        }
    }
    const uint64_t keep = sectors_.trailingKeep();
    if (keep < tables_.sectorsInFile() || (keep + 1) * sectorSize() < source_.size()) {
        // Free sectors hold zeros or the new content only, so cutting them
        // off loses nothing; no sync: a crash before the new length is
        // durable leaves the same valid document, only longer.
        if ((keep + 1) * sectorSize() < source_.size()) source_.resize((keep + 1) * sectorSize());
        tables_.setSectorsInFile(keep);
    }
}

}  // namespace velmora::storage
