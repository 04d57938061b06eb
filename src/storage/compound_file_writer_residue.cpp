#include "storage/compound_file_writer.h"

#include <algorithm>
#include <stdexcept>

#include "storage/storage_error.h"

namespace velmora::storage {

void CompoundFileWriter::zeroAndFreeUnreachable(WriteJournal& journal) {
    std::vector<uint32_t> sectors, miniSectors;
    for (uint32_t sector = 0; sector < tables_.fatCoverage(); ++sector)
        if (tables_.fat(sector) != kFreeSector && !sectors_.used(sector)) sectors.push_back(sector);
    const uint64_t miniCapacity = CeilDivide(mini_.size(), kMiniSectorSize);
    for (uint32_t sector = 0; sector < tables_.miniFatCoverage(); ++sector)
        if (tables_.miniFat(sector) != kFreeSector && !mini_.used(sector)) miniSectors.push_back(sector);
    if (sectors.empty() && miniSectors.empty()) return;

    // What cut them off (a chain ended where its stream does, a DIFAT the
    // header no longer counts) goes out with the zeros' sync: nothing in
    // effect may still lead to them once they are free.
    if (tables_.headerDirty()) writeHeader(journal);
    flushTables(journal);
    auto zero = [&](uint64_t offset, std::span<uint8_t> bytes) {
        std::fill(bytes.begin(), bytes.end(), 0);
        journal.write(offset, bytes);
        residueZeroed_ += bytes.size();
    };
    for (uint32_t sector : sectors)
        if (sector < tables_.sectorsInFile())  // else listed in the FAT, absent from the file
            visitIfNotZero((uint64_t{sector} + 1) * sectorSize(), sectorSize(), zero);
    for (uint32_t sector : miniSectors)
        if (sector < miniCapacity) visitIfNotZero(mini_.offsetOf(sector), kMiniSectorSize, zero);
    // The zeros and the cuts are durable before the sectors are marked free:
    // a sector is never free while it still holds what it held, or while
    // anything still leads to it.
    journal.sync();
    for (uint32_t sector : sectors) tables_.setFat(sector, kFreeSector);
    for (uint32_t sector : miniSectors) tables_.setMiniFat(sector, kFreeSector);
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
    const uint64_t limit = std::min(sectorLimit, tables_.sectorsInFile());
    // Outside a transaction, sectors allocated but reached by no chain count
    // too, and so do sectors past what the FAT covers: nothing can reach
    // them. Inside one, allocated sectors may be in effect still (an old
    // DIFAT until the header switches), and growth may take the others.
    auto candidate = [&](uint64_t sector) {
        if (sector >= tables_.fatCoverage()) return standalone;
        return !sectors_.used(sector) && (tables_.fat(sector) == kFreeSector || (standalone && !sectors_.reusable(sector)));
    };
    constexpr uint64_t kRunSectors = 64;
    for (uint64_t sector = 0; sector < limit;) {
        if (!candidate(sector)) {
            ++sector;
            continue;
        }
        uint64_t end = sector + 1;
        while (end < limit && end - sector < kRunSectors && candidate(end)) ++end;
        const uint64_t offset = (sector + 1) * sectorSize();
        if (offset < source_.size()) {
            std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>((end - sector) * sectorSize(), source_.size() - offset)));
            source_.readAt(offset, bytes);
            for (size_t at = 0; at < bytes.size(); at += sectorSize()) {
                auto piece = std::span(bytes).subspan(at, std::min<size_t>(sectorSize(), bytes.size() - at));
                if (std::any_of(piece.begin(), piece.end(), [](uint8_t b) { return b != 0; })) visit(offset + at, piece);
            }
        }
        sector = end;
    }
    // Every mini sector of the mini stream, the last one as far as the
    // stream goes; one the miniFAT does not cover holds nothing a stream can.
    const uint64_t miniUnits = CeilDivide(mini_.size(), kMiniSectorSize);
    for (uint64_t sector = 0; sector < miniUnits; ++sector) {
        const bool covered = sector < tables_.miniFatCoverage();
        if (covered && (mini_.used(sector) ||
                        (tables_.miniFat(sector) != kFreeSector && (!standalone || mini_.reusable(sector)))))
            continue;
        const uint64_t length = std::min<uint64_t>(kMiniSectorSize, mini_.size() - sector * kMiniSectorSize);
        visitIfNotZero(mini_.offsetOf(static_cast<uint32_t>(sector)), length, visit);
    }
    for (const auto& [entryIndex, chain] : streamChains_) {
        const uint32_t index = entryIndex;
        const bool isTarget = std::any_of(rewritten.begin(), rewritten.end(), [&](const Target& t) { return t.index == index; });
        if (chain.units.empty() || isTarget) continue;
        const uint32_t unit = chain.mini ? kMiniSectorSize : sectorSize();
        const uint64_t used = entry(index).streamSize % unit;
        if (used != 0) visitIfNotZero(unitOffset(chain, chain.units.size() - 1) + used, unit - used, visit);
    }
    if (!mini_.chain().empty() && mini_.size() % sectorSize() != 0 && mini_.size() <= uint64_t{mini_.chain().size()} * sectorSize()) {
        const uint64_t last = (mini_.size() - 1) / sectorSize();
        visitIfNotZero((uint64_t{mini_.chain()[last]} + 1) * sectorSize() + mini_.size() % sectorSize(),
                       sectorSize() - mini_.size() % sectorSize(), visit);
    }
}

// Reading first keeps the writes to what actually holds something.
void CompoundFileWriter::scrubFreeSpace(WriteJournal& journal, uint64_t keepSectors, const std::vector<Target>& rewritten,
                                        bool standalone) {
    visitResidue(keepSectors, standalone, rewritten, [&](uint64_t offset, std::span<uint8_t> bytes) {
        std::fill(bytes.begin(), bytes.end(), 0);
        journal.write(offset, bytes);
        residueZeroed_ += bytes.size();
    });
}

uint64_t CompoundFileWriter::residue() {
    uint64_t total = 0;
    visitResidue(tables_.sectorsInFile(), true, {}, [&](uint64_t, std::span<uint8_t> bytes) { total += bytes.size(); });
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
    WriteJournal journal(source_, false);
    try {
        zeroAndFreeUnreachable(journal);
        scrubFreeSpace(journal, tables_.sectorsInFile(), {}, true);
        flushTables(journal);
        journal.sync();
    } catch (...) {
        failed_ = true;
        throw;
    }
    return residueZeroed_ - before;
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
