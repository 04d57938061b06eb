#include "storage/compound_file_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "storage/storage_error.h"

namespace velmora::storage {

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
    // The owner's chain as it changes; kept once the patch is in effect.
    std::vector<uint32_t> units = chain.mini ? mini_.chain() : streamChains_[*index].units;
    const auto keepUnits = [&] {
        if (chain.mini)
            mini_.moveTo(units);
        else
            streamChains_[*index].units = units;
    };
    const uint64_t ownerSize = chain.mini ? mini_.size() : size;

    std::set<size_t> touched;  // sectors of the owner's chain the pieces fall in
    for (const auto& [offset, bytes] : pieces)
        for (uint64_t k = offset / sectorSize(); k <= (offset + bytes.size() - 1) / sectorSize(); ++k) touched.insert(k);
    const auto patch = [&](size_t k, std::vector<uint8_t>& bytes) {
        const uint64_t begin = uint64_t{k} * sectorSize(), end = begin + sectorSize();
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
    const uint64_t originalSectorCount = tables_.sectorsInFile();
    const size_t originalFatCount = tables_.fatLocations().size();
    // The chain as it stands is kept however the step ends: a failure after
    // the switch leaves the new sectors in effect.
    try {
        copySectorsOnWrite(owner, units, inUse, ownerSize, touched, patch, UINT64_MAX, true);
    } catch (...) {
        keepUnits();
        throw;
    }
    keepUnits();
    lastPatchSectors_ = touched.size();
    // Sectors that had to be appended move back into the space the old
    // ones left, and the file's end is cut again.
    const bool appended = std::any_of(touched.begin(), touched.end(), [&](size_t k) { return units[k] >= originalSectorCount; });
    if (appended && sectors_.available(originalSectorCount) >= touched.size()) {
        try {
            copySectorsOnWrite(owner, units, inUse, ownerSize, touched, [](size_t, std::vector<uint8_t>&) {}, originalSectorCount,
                               false);
        } catch (...) {
            keepUnits();
            throw;
        }
        keepUnits();
        lastPatchSectors_ += touched.size();
        WriteJournal journal(source_, false);
        try {
            if (sectors_.shrinkFat(originalFatCount)) writeHeader(journal);
            flushTables(journal);
            journal.sync();
            const uint64_t keep = sectors_.trailingKeep();
            if ((keep + 1) * sectorSize() < source_.size()) source_.resize((keep + 1) * sectorSize());
            tables_.setSectorsInFile(std::min(tables_.sectorsInFile(), keep));
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
    const uint32_t perDirectorySector = sectorSize() / static_cast<uint32_t>(kDirectoryEntryLength);
    std::set<std::pair<bool, uint32_t>> switches;
    for (size_t k : sectors) {
        if (k > 0 && sectors.count(k - 1)) continue;
        if (k == 0)
            switches.insert({true, owner / perDirectorySector});
        else
            switches.insert({false, units[k - 1] / tables_.entriesPerSector()});
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
    sectors_.restartAt(0);
    sectors_.forgetFresh();
    sectors_.widenReachToCoverage();
    WriteJournal journal(source_, undoable);
    std::map<size_t, uint32_t> fresh;
    const uint32_t perDirectorySector = sectorSize() / static_cast<uint32_t>(kDirectoryEntryLength);
    try {
        // Orphaned units are zeroed first, so that no copy carries them on.
        if (undoable) zeroAndFreeUnreachable(journal);
        journal.flush();
        for (size_t k : sectors) {
            fresh[k] = sectors_.allocate();
            if (fresh[k] >= sectorLimit) throw std::logic_error("no free sector below the limit");
        }
        std::vector<uint8_t> bytes(sectorSize());
        for (const auto& [k, sector] : fresh) {
            // A file may end inside its last sector: what is missing reads as zeros.
            std::fill(bytes.begin(), bytes.end(), 0);
            const uint64_t at = (uint64_t{units[k]} + 1) * sectorSize();
            if (at < source_.size())
                source_.readAt(at, std::span(bytes).first(static_cast<size_t>(std::min<uint64_t>(sectorSize(), source_.size() - at))));
            patch(k, bytes);
            const uint64_t begin = uint64_t{k} * sectorSize();
            if (begin + sectorSize() > inUse)
                std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(std::max(begin, inUse) - begin), bytes.end(), 0);
            writeSector(journal, sector, bytes);
            const size_t next = k + 1;
            tables_.setFat(sector, next >= units.size() ? kEndOfChain : fresh.count(next) ? fresh.at(next) : units[next]);
        }
        flushTables(journal);
        journal.sync();
        if (tables_.headerDirty()) {
            writeHeader(journal);
            journal.sync();
        }
        // The switch: one sector write.
        for (const auto& [k, sector] : fresh) {
            if (k > 0 && fresh.count(k - 1)) continue;
            if (k == 0) {
                DirectoryEntry::WriteStreamLocation(
                    std::span(directoryBytes_).subspan(static_cast<size_t>(owner) * kDirectoryEntryLength, kDirectoryEntryLength),
                    sector, ownerSize, tables_.header().majorVersion);
                const uint32_t directorySector = owner / perDirectorySector;
                writeSector(journal, directoryChain_[directorySector],
                            std::span(directoryBytes_).subspan(uint64_t{directorySector} * sectorSize(), sectorSize()));
            } else {
                tables_.setFat(units[k - 1], sector);
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
    journal.stopRecording();
    try {
        const std::vector<uint8_t> zeros(sectorSize(), 0);
        for (const auto& [k, sector] : fresh) writeSector(journal, units[k], zeros);
        for (uint32_t sector : sectors_.orphans()) writeSector(journal, sector, zeros);
        journal.sync();
        for (const auto& [k, sector] : fresh) {
            tables_.setFat(units[k], kFreeSector);
            sectors_.unuse(units[k]);
            units[k] = sector;
        }
        for (uint32_t sector : sectors_.takeOrphans()) tables_.setFat(sector, kFreeSector);
        flushTables(journal);
        journal.flush();
    } catch (...) {
        failed_ = true;
        throw;
    }
}

}  // namespace velmora::storage
