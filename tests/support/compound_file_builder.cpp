#include "support/compound_file_builder.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "storage/compound_file.h"
#include "storage/compound_file_format.h"
#include "storage/little_endian.h"

namespace velmora::testing {

namespace {

using storage::kDirectoryEntryLength;
using storage::kEndOfChain;
using storage::kFreeSector;
using storage::kHeaderDifatEntryCount;
using storage::kHeaderLength;
using storage::kMiniSectorSize;
using storage::kMiniStreamCutoff;
using storage::kNoStream;
using storage::ObjectType;

constexpr size_t kMaxNameCharacters = 31;  // 32 with the terminator

uint64_t CeilDiv(uint64_t value, uint64_t divisor) { return (value + divisor - 1) / divisor; }

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c; }

// The order of siblings in a storage: shorter names first, then by code unit
// of the upper-cased names.
bool NameLess(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return Upper(a[i]) < Upper(b[i]);
    return false;
}

struct TreeNode {
    uint32_t left = kNoStream;
    uint32_t right = kNoStream;
    size_t depth = 0;
};

// Balanced tree over sorted[first, last): the middle becomes the subtree's root.
uint32_t BuildTree(const std::vector<uint32_t>& sorted, size_t first, size_t last, size_t depth,
                   std::vector<TreeNode>& nodes) {
    if (first >= last) return kNoStream;
    size_t middle = first + (last - first) / 2;
    uint32_t index = sorted[middle];
    nodes[index].depth = depth;
    nodes[index].left = BuildTree(sorted, first, middle, depth + 1, nodes);
    nodes[index].right = BuildTree(sorted, middle + 1, last, depth + 1, nodes);
    return index;
}

void AppendChain(std::vector<uint32_t>& table, const std::vector<uint32_t>& chain) {
    for (size_t i = 0; i < chain.size(); ++i) table.at(chain[i]) = i + 1 < chain.size() ? chain[i + 1] : kEndOfChain;
}

std::vector<uint32_t> Consecutive(uint32_t first, uint64_t count) {
    std::vector<uint32_t> sectors(static_cast<size_t>(count));
    std::iota(sectors.begin(), sectors.end(), first);
    return sectors;
}

void StoreEntries(std::vector<uint8_t>& bytes, uint64_t offset, const std::vector<uint32_t>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) PatchU32(bytes, offset + kFatEntryLength * i, entries[i]);
}

}  // namespace

uint64_t CompoundFileLayout::sectorOffset(uint32_t sector) const { return (uint64_t{sector} + 1) * sectorSize; }

uint64_t CompoundFileLayout::fileSize() const { return (uint64_t{sectorCount} + 1) * sectorSize; }

uint64_t CompoundFileLayout::fatEntryOffset(uint32_t sector) const {
    const uint32_t perSector = sectorSize / kFatEntryLength;
    return sectorOffset(fatSectors.at(sector / perSector)) + kFatEntryLength * (sector % perSector);
}

uint64_t CompoundFileLayout::miniFatEntryOffset(uint32_t miniSector) const {
    const uint32_t perSector = sectorSize / kFatEntryLength;
    return sectorOffset(miniFatSectors.at(miniSector / perSector)) + kFatEntryLength * (miniSector % perSector);
}

uint64_t CompoundFileLayout::difatNextLinkOffset(size_t difatIndex) const {
    return sectorOffset(difatSectors.at(difatIndex)) + sectorSize - kFatEntryLength;
}

uint64_t CompoundFileLayout::directoryEntryOffset(uint32_t entryIndex) const {
    const uint32_t perSector = sectorSize / kDirectoryEntryLength;
    return sectorOffset(directorySectors.at(entryIndex / perSector)) + kDirectoryEntryLength * (entryIndex % perSector);
}

uint64_t CompoundFileLayout::directoryEntryFieldOffset(std::u16string_view name, size_t field) const {
    return directoryEntryOffset(entry(name).index) + field;
}

const EntryPlacement& CompoundFileLayout::entry(std::u16string_view name) const {
    for (const auto& placement : entries)
        if (storage::DirectoryNamesEqual(placement.name, name)) return placement;
    throw std::out_of_range("no directory entry of that name in the built file");
}

uint64_t CompoundFileLayout::miniStreamFileOffset(uint64_t offsetInMiniStream) const {
    const auto& root = entries.at(0);
    return sectorOffset(root.chain.at(static_cast<size_t>(offsetInMiniStream / sectorSize))) +
           offsetInMiniStream % sectorSize;
}

uint64_t CompoundFileLayout::fileOffset(std::u16string_view name, uint64_t offsetInStream) const {
    const EntryPlacement& placement = entry(name);
    if (placement.inMiniStream) {
        uint32_t miniSector = placement.chain.at(static_cast<size_t>(offsetInStream / kMiniSectorSize));
        return miniStreamFileOffset(uint64_t{miniSector} * kMiniSectorSize + offsetInStream % kMiniSectorSize);
    }
    return sectorOffset(placement.chain.at(static_cast<size_t>(offsetInStream / sectorSize))) + offsetInStream % sectorSize;
}

CompoundFileBuilder::CompoundFileBuilder(uint16_t majorVersion) : majorVersion_(majorVersion) {
    if (majorVersion != 3 && majorVersion != 4) throw std::invalid_argument("compound files are version 3 or 4");
}

CompoundFileBuilder& CompoundFileBuilder::addStream(std::u16string name, std::vector<uint8_t> bytes) {
    if (name.empty() || name.size() > kMaxNameCharacters) throw std::invalid_argument("directory names hold 1 to 31 characters");
    entries_.push_back({std::move(name), ObjectType::Stream, std::move(bytes)});
    return *this;
}

CompoundFileBuilder& CompoundFileBuilder::addStorage(std::u16string name) {
    if (name.empty() || name.size() > kMaxNameCharacters) throw std::invalid_argument("directory names hold 1 to 31 characters");
    entries_.push_back({std::move(name), ObjectType::Storage, {}});
    return *this;
}

CompoundFileBuilder& CompoundFileBuilder::requireFatSectorCount(uint32_t fatSectorCount) {
    requiredFatSectorCount_ = fatSectorCount;
    return *this;
}

CompoundFileBuilder& CompoundFileBuilder::interleaveRegularStreams(bool interleave) {
    interleave_ = interleave;
    return *this;
}

BuiltCompoundFile CompoundFileBuilder::build() const {
    CompoundFileLayout layout;
    layout.majorVersion = majorVersion_;
    layout.sectorSize = majorVersion_ == 4 ? 1u << kVersion4SectorShift : 1u << kVersion3SectorShift;
    const uint32_t sectorSize = layout.sectorSize;
    const uint32_t fatEntriesPerSector = sectorSize / static_cast<uint32_t>(kFatEntryLength);
    const uint32_t entriesPerDirectorySector = sectorSize / static_cast<uint32_t>(kDirectoryEntryLength);

    // Directory entries: the root, then the children in the order added.
    layout.entries.resize(entries_.size() + 1);
    layout.entries[0].name = u"Root Entry";
    layout.entries[0].index = 0;
    layout.entries[0].type = ObjectType::Root;
    uint64_t miniSectorTotal = 0;
    uint64_t regularSectorTotal = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        EntryPlacement& placement = layout.entries[i + 1];
        placement.name = entries_[i].name;
        placement.index = static_cast<uint32_t>(i + 1);
        placement.type = entries_[i].type;
        placement.size = entries_[i].bytes.size();
        placement.inMiniStream = placement.type == ObjectType::Stream && placement.size < kMiniStreamCutoff;
        if (placement.type != ObjectType::Stream) continue;
        if (placement.inMiniStream) {
            uint64_t count = CeilDiv(placement.size, kMiniSectorSize);
            placement.chain = Consecutive(static_cast<uint32_t>(miniSectorTotal), count);
            miniSectorTotal += count;
        } else {
            regularSectorTotal += CeilDiv(placement.size, sectorSize);
        }
    }
    const uint64_t miniStreamSize = miniSectorTotal * kMiniSectorSize;
    const uint64_t directorySectorCount = CeilDiv(layout.entries.size(), entriesPerDirectorySector);
    const uint64_t miniFatSectorCount = CeilDiv(miniSectorTotal * kFatEntryLength, sectorSize);
    const uint64_t miniStreamSectorCount = CeilDiv(miniStreamSize, sectorSize);
    const uint64_t contentSectorCount = directorySectorCount + miniFatSectorCount + miniStreamSectorCount + regularSectorTotal;

    // The FAT describes every sector including its own and the DIFAT's:
    // grow it until it covers them all.
    const uint32_t perDifatSector = fatEntriesPerSector - 1;
    auto difatSectorsFor = [&](uint64_t fatSectors) -> uint64_t {
        return fatSectors > kHeaderDifatEntryCount ? CeilDiv(fatSectors - kHeaderDifatEntryCount, perDifatSector) : 0;
    };
    uint64_t fatSectorCount = std::max<uint64_t>(requiredFatSectorCount_, 1);
    uint64_t difatSectorCount = 0;
    uint64_t paddingSectorCount = 0;
    for (;;) {
        difatSectorCount = difatSectorsFor(fatSectorCount);
        uint64_t fixed = fatSectorCount + difatSectorCount + contentSectorCount;
        // Enough free sectors that the last required FAT sector describes at least one.
        uint64_t minimum = requiredFatSectorCount_ > 0 ? uint64_t{requiredFatSectorCount_ - 1} * fatEntriesPerSector + 1 : 0;
        paddingSectorCount = minimum > fixed ? minimum - fixed : 0;
        uint64_t needed = CeilDiv(fixed + paddingSectorCount, fatEntriesPerSector);
        if (needed <= fatSectorCount) break;
        fatSectorCount = needed;
    }
    const uint64_t totalSectors = fatSectorCount + difatSectorCount + paddingSectorCount + contentSectorCount;
    if (totalSectors > storage::kMaxRegularSector) throw std::length_error("too many sectors for a compound file");
    layout.sectorCount = static_cast<uint32_t>(totalSectors);

    uint32_t next = 0;
    auto take = [&](uint64_t count) {
        std::vector<uint32_t> sectors = Consecutive(next, count);
        next += static_cast<uint32_t>(count);
        return sectors;
    };
    layout.fatSectors = take(fatSectorCount);
    layout.difatSectors = take(difatSectorCount);
    layout.firstPaddingSector = next;
    layout.paddingSectorCount = static_cast<uint32_t>(paddingSectorCount);
    take(paddingSectorCount);
    layout.directorySectors = take(directorySectorCount);
    layout.miniFatSectors = take(miniFatSectorCount);
    layout.entries[0].chain = take(miniStreamSectorCount);
    layout.entries[0].size = miniStreamSize;

    // Regular streams: one run each, or one sector each in turn.
    std::vector<EntryPlacement*> regular;
    for (auto& placement : layout.entries)
        if (placement.index != 0 && placement.type == ObjectType::Stream && !placement.inMiniStream) regular.push_back(&placement);
    if (interleave_) {
        bool more = true;
        while (more) {
            more = false;
            for (EntryPlacement* placement : regular) {
                if (placement->chain.size() < CeilDiv(placement->size, sectorSize)) {
                    placement->chain.push_back(next++);
                    more = true;
                }
            }
        }
    } else {
        for (EntryPlacement* placement : regular) placement->chain = take(CeilDiv(placement->size, sectorSize));
    }

    // FAT and miniFAT.
    std::vector<uint32_t> fat(static_cast<size_t>(fatSectorCount) * fatEntriesPerSector, kFreeSector);
    for (uint32_t sector : layout.fatSectors) fat[sector] = storage::kFatSector;
    for (uint32_t sector : layout.difatSectors) fat[sector] = storage::kDifatSector;
    AppendChain(fat, layout.directorySectors);
    AppendChain(fat, layout.miniFatSectors);
    AppendChain(fat, layout.entries[0].chain);
    for (EntryPlacement* placement : regular) AppendChain(fat, placement->chain);
    std::vector<uint32_t> miniFat(static_cast<size_t>(miniFatSectorCount) * fatEntriesPerSector, kFreeSector);
    for (const auto& placement : layout.entries)
        if (placement.inMiniStream) AppendChain(miniFat, placement.chain);

    // Directory tree of the root's children.
    std::vector<uint32_t> sorted;
    for (const auto& placement : layout.entries)
        if (placement.index != 0) sorted.push_back(placement.index);
    std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
        return NameLess(layout.entries[a].name, layout.entries[b].name);
    });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (!NameLess(layout.entries[sorted[i - 1]].name, layout.entries[sorted[i]].name))
            throw std::invalid_argument("two entries of the root storage share a name");
    std::vector<TreeNode> nodes(layout.entries.size());
    const uint32_t treeRoot = BuildTree(sorted, 0, sorted.size(), 0, nodes);
    // The middle-split tree has every level full but the last; colouring the
    // last level red (when it is not full) gives equal black heights.
    size_t maxDepth = 0;
    for (uint32_t index : sorted) maxDepth = std::max(maxDepth, nodes[index].depth);
    const bool lastLevelFull = sorted.size() == (size_t{1} << (maxDepth + 1)) - 1;

    std::vector<uint8_t> bytes(static_cast<size_t>(layout.fileSize()), 0);

    // Header.
    std::copy(storage::kSignature.begin(), storage::kSignature.end(), bytes.begin());
    PatchU16(bytes, header_field::kMinorVersion, kMinorVersion);
    PatchU16(bytes, header_field::kMajorVersion, majorVersion_);
    PatchU16(bytes, header_field::kByteOrder, kByteOrderMark);
    PatchU16(bytes, header_field::kSectorShift, majorVersion_ == 4 ? kVersion4SectorShift : kVersion3SectorShift);
    PatchU16(bytes, header_field::kMiniSectorShift, kMiniSectorShift);
    // Version 3 files leave the directory sector count zero.
    PatchU32(bytes, header_field::kDirectorySectorCount, majorVersion_ == 4 ? static_cast<uint32_t>(directorySectorCount) : 0);
    PatchU32(bytes, header_field::kFatSectorCount, static_cast<uint32_t>(fatSectorCount));
    PatchU32(bytes, header_field::kFirstDirectorySector, layout.directorySectors.front());
    PatchU32(bytes, header_field::kMiniStreamCutoff, kMiniStreamCutoff);
    PatchU32(bytes, header_field::kFirstMiniFatSector, layout.miniFatSectors.empty() ? kEndOfChain : layout.miniFatSectors.front());
    PatchU32(bytes, header_field::kMiniFatSectorCount, static_cast<uint32_t>(miniFatSectorCount));
    PatchU32(bytes, header_field::kFirstDifatSector, layout.difatSectors.empty() ? kEndOfChain : layout.difatSectors.front());
    PatchU32(bytes, header_field::kDifatSectorCount, static_cast<uint32_t>(difatSectorCount));
    for (size_t i = 0; i < kHeaderDifatEntryCount; ++i)
        PatchU32(bytes, header_field::kDifat + kFatEntryLength * i, i < layout.fatSectors.size() ? layout.fatSectors[i] : kFreeSector);

    // DIFAT sectors: the FAT locations beyond the header's, then the link.
    for (size_t d = 0; d < layout.difatSectors.size(); ++d) {
        std::vector<uint32_t> entries(fatEntriesPerSector, kFreeSector);
        for (uint32_t k = 0; k < perDifatSector; ++k) {
            size_t fatIndex = kHeaderDifatEntryCount + d * perDifatSector + k;
            if (fatIndex < layout.fatSectors.size()) entries[k] = layout.fatSectors[fatIndex];
        }
        entries.back() = d + 1 < layout.difatSectors.size() ? layout.difatSectors[d + 1] : kEndOfChain;
        StoreEntries(bytes, layout.sectorOffset(layout.difatSectors[d]), entries);
    }
    for (size_t f = 0; f < layout.fatSectors.size(); ++f)
        StoreEntries(bytes, layout.sectorOffset(layout.fatSectors[f]),
                     std::vector<uint32_t>(fat.begin() + static_cast<std::ptrdiff_t>(f * fatEntriesPerSector),
                                           fat.begin() + static_cast<std::ptrdiff_t>((f + 1) * fatEntriesPerSector)));
    for (size_t m = 0; m < layout.miniFatSectors.size(); ++m)
        StoreEntries(bytes, layout.sectorOffset(layout.miniFatSectors[m]),
                     std::vector<uint32_t>(miniFat.begin() + static_cast<std::ptrdiff_t>(m * fatEntriesPerSector),
                                           miniFat.begin() + static_cast<std::ptrdiff_t>((m + 1) * fatEntriesPerSector)));

    // Directory: unused entries keep their links empty.
    const uint64_t directorySlots = directorySectorCount * entriesPerDirectorySector;
    for (uint32_t index = 0; index < directorySlots; ++index) {
        const uint64_t at = layout.directoryEntryOffset(index);
        PatchU32(bytes, at + entry_field::kLeftSibling, kNoStream);
        PatchU32(bytes, at + entry_field::kRightSibling, kNoStream);
        PatchU32(bytes, at + entry_field::kChild, kNoStream);
        if (index >= layout.entries.size()) continue;
        const EntryPlacement& placement = layout.entries[index];
        for (size_t c = 0; c < placement.name.size(); ++c)
            PatchU16(bytes, at + entry_field::kName + 2 * c, static_cast<uint16_t>(placement.name[c]));
        PatchU16(bytes, at + entry_field::kNameLength, static_cast<uint16_t>(2 * (placement.name.size() + 1)));
        bytes[at + entry_field::kObjectType] = static_cast<uint8_t>(placement.type);
        const bool red = index != 0 && !lastLevelFull && nodes[index].depth == maxDepth;
        bytes[at + entry_field::kColorFlag] = red ? kColorRed : kColorBlack;
        if (index == 0) {
            PatchU32(bytes, at + entry_field::kChild, treeRoot);
        } else {
            PatchU32(bytes, at + entry_field::kLeftSibling, nodes[index].left);
            PatchU32(bytes, at + entry_field::kRightSibling, nodes[index].right);
        }
        const bool hasData = placement.type != ObjectType::Storage;
        PatchU32(bytes, at + entry_field::kStartSector,
                 hasData ? (placement.chain.empty() ? kEndOfChain : placement.chain.front()) : 0);
        PatchU64(bytes, at + entry_field::kStreamSize, hasData ? placement.size : 0);
    }

    // Stream data.
    for (size_t i = 0; i < entries_.size(); ++i) {
        const EntryPlacement& placement = layout.entries[i + 1];
        const std::vector<uint8_t>& data = entries_[i].bytes;
        const uint64_t unit = placement.inMiniStream ? kMiniSectorSize : sectorSize;
        for (uint64_t done = 0; done < data.size(); done += unit) {
            const uint64_t count = std::min<uint64_t>(unit, data.size() - done);
            const uint64_t at = layout.fileOffset(placement.name, done);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), count, bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    return {std::move(bytes), std::move(layout)};
}

namespace {
// A patch outside the file is a mistake in the test, not a corruption.
size_t CheckedOffset(const std::vector<uint8_t>& bytes, uint64_t offset, size_t width) {
    if (offset > bytes.size() || bytes.size() - offset < width) throw std::out_of_range("patch beyond the built file");
    return static_cast<size_t>(offset);
}
}  // namespace

void PatchU16(std::vector<uint8_t>& bytes, uint64_t offset, uint16_t value) {
    storage::StoreU16(bytes, CheckedOffset(bytes, offset, sizeof value), value);
}

void PatchU32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value) {
    storage::StoreU32(bytes, CheckedOffset(bytes, offset, sizeof value), value);
}

void PatchU64(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value) {
    storage::StoreU64(bytes, CheckedOffset(bytes, offset, sizeof value), value);
}

uint32_t ReadU32(const std::vector<uint8_t>& bytes, uint64_t offset) {
    return storage::LoadU32(bytes, CheckedOffset(bytes, offset, sizeof(uint32_t)));
}

std::vector<uint8_t> BytesOf(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> PatternBytes(size_t byteCount, uint8_t seed) {
    std::vector<uint8_t> bytes(byteCount);
    for (size_t i = 0; i < byteCount; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

std::vector<uint8_t> StreamOf(const std::vector<uint8_t>& file, std::u16string_view name) {
    storage::MemoryByteSource source(file);
    storage::CompoundFile compound(source);
    auto entry = compound.findInRoot(name);
    if (!entry) throw std::runtime_error("no such stream");
    return compound.openStream(*entry).readAll();
}

}  // namespace velmora::testing
