#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/compound_file_format.h"

namespace velmora::testing {

// Byte offsets of the header fields, from the start of the file.
namespace header_field {
inline constexpr size_t kSignature = 0;
inline constexpr size_t kClsid = 8;
inline constexpr size_t kMinorVersion = 24;
inline constexpr size_t kMajorVersion = 26;
inline constexpr size_t kByteOrder = 28;
inline constexpr size_t kSectorShift = 30;
inline constexpr size_t kMiniSectorShift = 32;
inline constexpr size_t kDirectorySectorCount = 40;
inline constexpr size_t kFatSectorCount = 44;
inline constexpr size_t kFirstDirectorySector = 48;
inline constexpr size_t kTransactionSignature = 52;
inline constexpr size_t kMiniStreamCutoff = 56;
inline constexpr size_t kFirstMiniFatSector = 60;
inline constexpr size_t kMiniFatSectorCount = 64;
inline constexpr size_t kFirstDifatSector = 68;
inline constexpr size_t kDifatSectorCount = 72;
inline constexpr size_t kDifat = 76;
}  // namespace header_field

// Byte offsets of the fields inside one 128-byte directory entry.
namespace entry_field {
inline constexpr size_t kName = 0;
inline constexpr size_t kNameLength = 64;
inline constexpr size_t kObjectType = 66;
inline constexpr size_t kColorFlag = 67;
inline constexpr size_t kLeftSibling = 68;
inline constexpr size_t kRightSibling = 72;
inline constexpr size_t kChild = 76;
inline constexpr size_t kClsid = 80;
inline constexpr size_t kStartSector = 116;
inline constexpr size_t kStreamSize = 120;
}  // namespace entry_field

inline constexpr uint16_t kMinorVersion = 0x003E;
inline constexpr uint16_t kByteOrderMark = 0xFFFE;
inline constexpr uint16_t kVersion3SectorShift = 9;
inline constexpr uint16_t kVersion4SectorShift = 12;
inline constexpr uint16_t kMiniSectorShift = 6;
inline constexpr size_t kFatEntryLength = 4;
inline constexpr uint8_t kColorRed = 0;
inline constexpr uint8_t kColorBlack = 1;

// Where the builder put one directory entry and its data.
struct EntryPlacement {
    std::u16string name;
    uint32_t index = storage::kNoStream;  // in the directory
    storage::ObjectType type = storage::ObjectType::Stream;
    uint64_t size = 0;
    bool inMiniStream = false;
    // Sector numbers (regular streams, the root's mini stream) or mini
    // sector numbers (small streams), in chain order.
    std::vector<uint32_t> chain;
};

// The map of a built file, so that a test can patch exactly one field.
struct CompoundFileLayout {
    uint16_t majorVersion = 3;
    uint32_t sectorSize = 512;
    uint32_t sectorCount = 0;  // sectors after the header
    std::vector<uint32_t> fatSectors;        // in DIFAT order
    std::vector<uint32_t> difatSectors;      // in chain order
    std::vector<uint32_t> directorySectors;  // in chain order
    std::vector<uint32_t> miniFatSectors;    // in chain order
    uint32_t firstPaddingSector = 0;         // free sectors from here...
    uint32_t paddingSectorCount = 0;         // ...this many
    std::vector<EntryPlacement> entries;     // by directory index; 0 is the root

    uint64_t sectorOffset(uint32_t sector) const;
    uint64_t fileSize() const;
    // The FAT entry that holds the successor of `sector`.
    uint64_t fatEntryOffset(uint32_t sector) const;
    // The miniFAT entry that holds the successor of `miniSector`.
    uint64_t miniFatEntryOffset(uint32_t miniSector) const;
    // The last entry of a DIFAT sector: the link to the next one.
    uint64_t difatNextLinkOffset(size_t difatIndex) const;
    uint64_t directoryEntryOffset(uint32_t entryIndex) const;
    uint64_t directoryEntryFieldOffset(std::u16string_view name, size_t field) const;
    const EntryPlacement& entry(std::u16string_view name) const;
    // Where byte `offsetInStream` of a stream (or of the mini stream, for
    // the root) lies in the file.
    uint64_t fileOffset(std::u16string_view name, uint64_t offsetInStream) const;

private:
    uint64_t miniStreamFileOffset(uint64_t offsetInMiniStream) const;
};

struct BuiltCompoundFile {
    std::vector<uint8_t> bytes;
    CompoundFileLayout layout;
};

// Writes a valid compound file in memory, version 3 (512-byte sectors) or 4
// (4096-byte sectors), with streams and empty storages in the root storage.
// Streams below the mini-stream cutoff go into the mini stream, the rest
// into regular sectors. The root's children form a balanced binary search
// tree in the format's name order, coloured as a valid red-black tree.
//
// Sector order in the file: FAT, DIFAT, free padding, directory, miniFAT,
// mini stream, regular streams. Putting the padding before everything else
// makes every structure a reader needs lie in the last FAT sectors, so a
// file with many FAT sectors makes readers go through the DIFAT chain.
class CompoundFileBuilder {
public:
    explicit CompoundFileBuilder(uint16_t majorVersion = 3);

    CompoundFileBuilder& addStream(std::u16string name, std::vector<uint8_t> bytes);
    CompoundFileBuilder& addStorage(std::u16string name);
    // Adds free sectors until the FAT needs at least this many sectors (more
    // than 109 makes the file need DIFAT sectors).
    CompoundFileBuilder& requireFatSectorCount(uint32_t fatSectorCount);
    // Allocates the sectors of regular streams in turn, one each, so that
    // their chains are not contiguous.
    CompoundFileBuilder& interleaveRegularStreams(bool interleave = true);

    BuiltCompoundFile build() const;

private:
    struct PendingEntry {
        std::u16string name;
        storage::ObjectType type;
        std::vector<uint8_t> bytes;
    };

    uint16_t majorVersion_;
    std::vector<PendingEntry> entries_;
    uint32_t requiredFatSectorCount_ = 0;
    bool interleave_ = false;
};

// One field of a built file, overwritten in place (little-endian).
void PatchU16(std::vector<uint8_t>& bytes, uint64_t offset, uint16_t value);
void PatchU32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value);
void PatchU64(std::vector<uint8_t>& bytes, uint64_t offset, uint64_t value);
uint32_t ReadU32(const std::vector<uint8_t>& bytes, uint64_t offset);

// The content of the root stream `name` of a compound file in memory;
// throws when there is none.
std::vector<uint8_t> StreamOf(const std::vector<uint8_t>& file, std::u16string_view name);

// The byte string of a text, for stream contents in tests.
std::vector<uint8_t> BytesOf(std::string_view text);
// `byteCount` bytes of a recognisable repeating pattern.
std::vector<uint8_t> PatternBytes(size_t byteCount, uint8_t seed = 1);

}  // namespace velmora::testing
