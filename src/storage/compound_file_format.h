#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <functional>
#include <string>
#include <vector>

namespace velmora::storage {

// Values of the Compound File Binary format, named once in its own words.
inline constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;

inline constexpr size_t kHeaderLength = 512;
inline constexpr size_t kHeaderDifatEntryCount = 109;
inline constexpr size_t kHeaderDifatOffset = 76;
inline constexpr size_t kDirectoryEntryLength = 128;
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint32_t kMiniStreamCutoff = 4096;
inline constexpr std::array<uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// How many units of `divisor` bytes hold `value` bytes.
inline constexpr uint64_t CeilDivide(uint64_t value, uint64_t divisor) { return (value + divisor - 1) / divisor; }

enum class ObjectType : uint8_t { Unallocated = 0, Storage = 1, Stream = 2, Root = 5 };

struct CompoundFileHeader {
    uint16_t majorVersion = 3;
    uint32_t sectorSize = 512;
    uint32_t fatSectorCount = 0;
    uint32_t firstDirectorySector = kEndOfChain;
    uint32_t firstMiniFatSector = kEndOfChain;
    uint32_t miniFatSectorCount = 0;
    uint32_t firstDifatSector = kEndOfChain;
    uint32_t difatSectorCount = 0;
    std::array<uint32_t, kHeaderDifatEntryCount> difat{};

    // Validates signature, byte order, version and sector sizes. Throws
    // StorageError: NotCompoundFile for a wrong signature, Damaged otherwise.
    static CompoundFileHeader ReadFrom(std::span<const uint8_t> bytes);

    // Updates the fields this layer changes (counts, first sectors, DIFAT)
    // inside an existing 512-byte header, leaving every other byte as it was.
    void WriteTo(std::span<uint8_t> bytes) const;
};

struct DirectoryEntry {
    uint32_t index = kNoStream;
    std::u16string name;  // empty when the stored name is malformed
    ObjectType type = ObjectType::Unallocated;
    uint32_t leftSibling = kNoStream;
    uint32_t rightSibling = kNoStream;
    uint32_t child = kNoStream;
    uint32_t startSector = kEndOfChain;
    uint64_t streamSize = 0;

    static DirectoryEntry ReadFrom(std::span<const uint8_t> bytes, uint32_t index, uint16_t majorVersion);

    // Stores start sector and size into the entry's 128 stored bytes.
    static void WriteStreamLocation(std::span<uint8_t> bytes, uint32_t startSector, uint64_t streamSize,
                                    uint16_t majorVersion);
};

// Directory names compare case-insensitively, as the format orders them.
bool DirectoryNamesEqual(std::u16string_view a, std::u16string_view b);

// The format's order of sibling names: shorter names first, then code unit
// by code unit of the upper-cased names. Negative, zero or positive.
int CompareDirectoryNames(std::u16string_view a, std::u16string_view b);

// The entries of one storage's child tree, every entry once, whatever the
// tree's shape. `entryAt` loads an entry by index. Throws StorageError
// (Damaged) when the tree loops, or when two entries of the storage share a
// name: which of them a program would use depends on how it walks the tree,
// so a reader and a writer could pick different ones.
std::vector<DirectoryEntry> WalkChildTree(uint32_t firstChild, const std::function<DirectoryEntry(uint32_t)>& entryAt);

// The entry of that name among a storage's children (from WalkChildTree).
const DirectoryEntry* FindChildByName(const std::vector<DirectoryEntry>& children, std::u16string_view name);

}  // namespace velmora::storage
