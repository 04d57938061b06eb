#include "storage/compound_file_format.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "storage/little_endian.h"
#include "storage/storage_error.h"

namespace velmora::storage {

namespace {
constexpr size_t kByteOrderOffset = 28;
constexpr size_t kMajorVersionOffset = 26;
constexpr size_t kSectorShiftOffset = 30;
constexpr size_t kMiniSectorShiftOffset = 32;
constexpr size_t kFatSectorCountOffset = 44;
constexpr size_t kFirstDirectorySectorOffset = 48;
constexpr size_t kMiniStreamCutoffOffset = 56;
constexpr size_t kFirstMiniFatSectorOffset = 60;
constexpr size_t kMiniFatSectorCountOffset = 64;
constexpr size_t kFirstDifatSectorOffset = 68;
constexpr size_t kDifatSectorCountOffset = 72;

constexpr size_t kEntryNameLengthOffset = 64;
constexpr size_t kEntryTypeOffset = 66;
constexpr size_t kEntryLeftOffset = 68;
constexpr size_t kEntryRightOffset = 72;
constexpr size_t kEntryChildOffset = 76;
constexpr size_t kEntryStartSectorOffset = 116;
constexpr size_t kEntrySizeOffset = 120;
constexpr size_t kMaxNameBytes = 64;
}  // namespace

CompoundFileHeader CompoundFileHeader::ReadFrom(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderLength || !std::equal(kSignature.begin(), kSignature.end(), bytes.begin()))
        throw StorageError(StorageResult::InvalidHeader, Refusal::NotCompoundFile,
                           "The file is not an Office document of the legacy format (no compound-file signature)");
    if (LoadU16(bytes, kByteOrderOffset) != 0xFFFE)
        ThrowDamaged("byte order mark: expected FFFE, found " + std::to_string(LoadU16(bytes, kByteOrderOffset)));

    CompoundFileHeader header;
    header.majorVersion = LoadU16(bytes, kMajorVersionOffset);
    uint16_t sectorShift = LoadU16(bytes, kSectorShiftOffset);
    uint16_t expectedShift = header.majorVersion == 3 ? 9 : header.majorVersion == 4 ? 12 : 0;
    if (expectedShift == 0)
        ThrowDamaged("version: expected 3 or 4, found " + std::to_string(header.majorVersion));
    if (sectorShift != expectedShift)
        ThrowDamaged("sector shift for version " + std::to_string(header.majorVersion) + ": expected " +
                     std::to_string(expectedShift) + ", found " + std::to_string(sectorShift));
    if (LoadU16(bytes, kMiniSectorShiftOffset) != 6)
        ThrowDamaged("mini sector shift: expected 6, found " + std::to_string(LoadU16(bytes, kMiniSectorShiftOffset)));
    if (LoadU32(bytes, kMiniStreamCutoffOffset) != kMiniStreamCutoff)
        ThrowDamaged("mini stream cutoff: expected 4096, found " + std::to_string(LoadU32(bytes, kMiniStreamCutoffOffset)));

    header.sectorSize = 1u << sectorShift;
    header.fatSectorCount = LoadU32(bytes, kFatSectorCountOffset);
    header.firstDirectorySector = LoadU32(bytes, kFirstDirectorySectorOffset);
    header.firstMiniFatSector = LoadU32(bytes, kFirstMiniFatSectorOffset);
    header.miniFatSectorCount = LoadU32(bytes, kMiniFatSectorCountOffset);
    header.firstDifatSector = LoadU32(bytes, kFirstDifatSectorOffset);
    header.difatSectorCount = LoadU32(bytes, kDifatSectorCountOffset);
    for (size_t i = 0; i < kHeaderDifatEntryCount; ++i) header.difat[i] = LoadU32(bytes, kHeaderDifatOffset + 4 * i);
    return header;
}

void CompoundFileHeader::WriteTo(std::span<uint8_t> bytes) const {
    StoreU32(bytes, kFatSectorCountOffset, fatSectorCount);
    StoreU32(bytes, kFirstDirectorySectorOffset, firstDirectorySector);
    StoreU32(bytes, kFirstMiniFatSectorOffset, firstMiniFatSector);
    StoreU32(bytes, kMiniFatSectorCountOffset, miniFatSectorCount);
    StoreU32(bytes, kFirstDifatSectorOffset, firstDifatSector);
    StoreU32(bytes, kDifatSectorCountOffset, difatSectorCount);
    for (size_t i = 0; i < kHeaderDifatEntryCount; ++i) StoreU32(bytes, kHeaderDifatOffset + 4 * i, difat[i]);
}

DirectoryEntry DirectoryEntry::ReadFrom(std::span<const uint8_t> bytes, uint32_t index, uint16_t majorVersion) {
    DirectoryEntry entry;
    entry.index = index;
    uint16_t nameBytes = LoadU16(bytes, kEntryNameLengthOffset);
    // The stored length counts the terminating zero; a malformed length leaves
    // the entry nameless so that it never matches a lookup.
    if (nameBytes >= 2 && nameBytes <= kMaxNameBytes && nameBytes % 2 == 0) {
        for (size_t i = 0; i + 2 < nameBytes; i += 2) entry.name.push_back(static_cast<char16_t>(LoadU16(bytes, i)));
    }
    uint8_t type = bytes[kEntryTypeOffset];
    entry.type = (type == 1 || type == 2 || type == 5) ? static_cast<ObjectType>(type) : ObjectType::Unallocated;
    entry.leftSibling = LoadU32(bytes, kEntryLeftOffset);
    entry.rightSibling = LoadU32(bytes, kEntryRightOffset);
    entry.child = LoadU32(bytes, kEntryChildOffset);
    entry.startSector = LoadU32(bytes, kEntryStartSectorOffset);
    entry.streamSize = LoadU64(bytes, kEntrySizeOffset);
    // Version 3 files only have 32-bit sizes; some writers leave garbage in
    // the upper half, which readers are told to ignore.
    if (majorVersion == 3) entry.streamSize &= 0xFFFFFFFFu;
    return entry;
}

void DirectoryEntry::WriteStreamLocation(std::span<uint8_t> bytes, uint32_t startSector, uint64_t streamSize,
                                         uint16_t majorVersion) {
    // Version 3 sizes are 32-bit with the upper half zero; writing the whole
    // field also clears garbage an earlier writer may have left there.
    StoreU32(bytes, kEntryStartSectorOffset, startSector);
    StoreU64(bytes, kEntrySizeOffset, majorVersion == 3 ? (streamSize & 0xFFFFFFFFu) : streamSize);
}

int CompareDirectoryNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    auto upper = [](char16_t c) -> char16_t { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]) ? -1 : 1;
    return 0;
}

bool DirectoryNamesEqual(std::u16string_view a, std::u16string_view b) { return CompareDirectoryNames(a, b) == 0; }

std::vector<DirectoryEntry> WalkChildTree(uint32_t firstChild, const std::function<DirectoryEntry(uint32_t)>& entryAt) {
    std::vector<DirectoryEntry> children;
    std::unordered_set<uint32_t> visited;
    // An explicit stack: the file controls the depth of this tree.
    std::vector<uint32_t> pending{firstChild};
    while (!pending.empty()) {
        const uint32_t index = pending.back();
        pending.pop_back();
        if (index == kNoStream) continue;
        if (index == 0 || !visited.insert(index).second)
            ThrowDamaged("the directory tree visits entry " + std::to_string(index) + " twice");
        DirectoryEntry entry = entryAt(index);
        pending.push_back(entry.rightSibling);
        pending.push_back(entry.leftSibling);
        children.push_back(std::move(entry));
    }
    std::vector<const DirectoryEntry*> named;
    for (const auto& child : children)
        if (child.type != ObjectType::Unallocated && !child.name.empty()) named.push_back(&child);
    std::sort(named.begin(), named.end(), [](const DirectoryEntry* a, const DirectoryEntry* b) {
        return CompareDirectoryNames(a->name, b->name) < 0;
    });
    for (size_t i = 1; i < named.size(); ++i)
        if (CompareDirectoryNames(named[i - 1]->name, named[i]->name) == 0)
            ThrowDamaged("two directory entries (" + std::to_string(named[i - 1]->index) + " and " +
                         std::to_string(named[i]->index) + ") share one name in the same storage");
    return children;
}

const DirectoryEntry* FindChildByName(const std::vector<DirectoryEntry>& children, std::u16string_view name) {
    for (const auto& child : children)
        if (child.type != ObjectType::Unallocated && CompareDirectoryNames(child.name, name) == 0) return &child;
    return nullptr;
}

}  // namespace velmora::storage
