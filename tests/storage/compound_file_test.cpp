// The compound-file reader on files built in memory: both versions, streams
// on either side of the mini-stream cutoff, a DIFAT that needs its own
// sectors, and the structural checks that only the storage API reaches.
#include "storage/compound_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include "storage/storage_error.h"
#include "support/compound_file_builder.h"

namespace velmora::storage {
namespace {

using testing::BuiltCompoundFile;
using testing::CompoundFileBuilder;
using testing::PatchU16;
using testing::PatchU32;
using testing::PatternBytes;

// Sizes around every boundary the layout has: empty, one mini sector, the
// cutoff, one regular sector of either version.
constexpr size_t kStreamSizes[] = {0, 1, 63, 64, 65, 511, 513, 4095, 4096, 4097, 9000};

std::u16string StreamName(size_t byteCount) {
    std::string digits = "S" + std::to_string(byteCount);
    return std::u16string(digits.begin(), digits.end());
}

BuiltCompoundFile BuildEverySize(uint16_t majorVersion) {
    CompoundFileBuilder builder(majorVersion);
    uint8_t seed = 1;
    for (size_t size : kStreamSizes) builder.addStream(StreamName(size), PatternBytes(size, seed++));
    builder.addStorage(u"ObjectPool");
    return builder.build();
}

// The refusal an action ends with, by name so that failures read well.
std::string RefusalOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const StorageError& error) {
        return RefusalName(error.reason());
    }
    return RefusalName(Refusal::None);
}

class CompoundFileVersionTest : public ::testing::TestWithParam<uint16_t> {};

TEST_P(CompoundFileVersionTest, ReadsEveryStreamWhereTheFormatPutsIt) {
    BuiltCompoundFile built = BuildEverySize(GetParam());
    MemoryByteSource source(built.bytes);
    CompoundFile file(source);
    EXPECT_EQ(file.header().majorVersion, GetParam());
    EXPECT_EQ(file.sectorSize(), built.layout.sectorSize);
    EXPECT_EQ(file.sectorCount(), built.layout.sectorCount);
    EXPECT_EQ(file.rootChildren().size(), std::size(kStreamSizes) + 1);

    uint8_t seed = 1;
    for (size_t size : kStreamSizes) {
        SCOPED_TRACE("stream of " + std::to_string(size) + " bytes");
        std::optional<DirectoryEntry> entry = file.findInRoot(StreamName(size));
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->type, ObjectType::Stream);
        EXPECT_EQ(entry->streamSize, size);
        StreamReader stream = file.openStream(*entry);
        EXPECT_EQ(stream.inMiniStream(), size < kMiniStreamCutoff);
        EXPECT_EQ(stream.chain(), built.layout.entry(StreamName(size)).chain);
        const std::vector<uint8_t> expected = PatternBytes(size, seed++);
        EXPECT_EQ(stream.readAll(), expected);
        // A small read straddling a unit boundary goes through the sector
        // cache rather than the whole-run path.
        if (size > 70) {
            std::vector<uint8_t> piece(10);
            stream.read(60, piece);
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), expected.begin() + 60));
        }
    }
}

TEST_P(CompoundFileVersionTest, FindsEntriesByNameCaseInsensitively) {
    BuiltCompoundFile built = BuildEverySize(GetParam());
    MemoryByteSource source(built.bytes);
    CompoundFile file(source);
    auto pool = file.findInRoot(u"OBJECTPOOL");
    ASSERT_TRUE(pool.has_value());
    EXPECT_EQ(pool->type, ObjectType::Storage);
    EXPECT_EQ(pool->index, built.layout.entry(u"ObjectPool").index);
    EXPECT_EQ(RefusalOf([&] { file.openStream(*pool); }), RefusalName(Refusal::Damaged));
    EXPECT_TRUE(file.findInRoot(u"s4096").has_value());
    EXPECT_FALSE(file.findInRoot(u"S40960").has_value());
    EXPECT_FALSE(file.findInRoot(u"Root Entry").has_value());
}

INSTANTIATE_TEST_SUITE_P(Versions, CompoundFileVersionTest, ::testing::Values(uint16_t{3}, uint16_t{4}),
                         [](const auto& row) { return "Version" + std::to_string(row.param); });

TEST(CompoundFile, ReadsStreamsWhoseSectorsAreNotContiguous) {
    CompoundFileBuilder builder(3);
    builder.addStream(u"WordDocument", PatternBytes(6000, 1)).addStream(u"1Table", PatternBytes(5000, 2));
    builder.interleaveRegularStreams();
    BuiltCompoundFile built = builder.build();
    const auto& chain = built.layout.entry(u"WordDocument").chain;
    ASSERT_NE(chain[1], chain[0] + 1) << "the builder should have interleaved the chains";

    MemoryByteSource source(built.bytes);
    CompoundFile file(source);
    EXPECT_EQ(file.openStream(*file.findInRoot(u"WordDocument")).readAll(), PatternBytes(6000, 1));
    EXPECT_EQ(file.openStream(*file.findInRoot(u"1Table")).readAll(), PatternBytes(5000, 2));
}

TEST(CompoundFile, ReadsALastSectorThatTheWriterCutShort) {
    // Some writers end the file right after the last stream's data instead of
    // filling its last sector.
    CompoundFileBuilder builder(3);
    builder.addStream(u"WordDocument", PatternBytes(5000));
    BuiltCompoundFile built = builder.build();
    const uint64_t dataEnd = built.layout.fileOffset(u"WordDocument", 4999) + 1;
    ASSERT_LT(dataEnd, built.bytes.size());
    built.bytes.resize(dataEnd);

    MemoryByteSource source(built.bytes);
    CompoundFile file(source);
    StreamReader stream = file.openStream(*file.findInRoot(u"WordDocument"));
    EXPECT_EQ(stream.readAll(), PatternBytes(5000));
}

// A file with so many FAT sectors that their locations continue from the
// header into two chained DIFAT sectors.
class ManyFatSectorsTest : public ::testing::Test {
protected:
    static constexpr uint32_t kFatSectorCount = 240;  // 109 in the header, 127 + 4 in DIFAT sectors

    // Built once: it is 15 MB.
    static const BuiltCompoundFile& Built() {
        static const BuiltCompoundFile built = CompoundFileBuilder(3)
                                                   .addStream(u"WordDocument", PatternBytes(9000, 1))
                                                   .addStream(u"CompObj", PatternBytes(700, 2))
                                                   .requireFatSectorCount(kFatSectorCount)
                                                   .build();
        return built;
    }

    const BuiltCompoundFile* built_ = &Built();
};

TEST_F(ManyFatSectorsTest, FindsEveryFatSectorThroughTheDifatChain) {
    ASSERT_EQ(built_->layout.fatSectors.size(), kFatSectorCount);
    ASSERT_EQ(built_->layout.difatSectors.size(), 2u);
    MemoryByteSource source(built_->bytes);
    CompoundFile file(source);
    EXPECT_EQ(file.header().fatSectorCount, kFatSectorCount);
    EXPECT_EQ(file.difatSectorLocations(), built_->layout.difatSectors);
    for (uint32_t fatIndex = 0; fatIndex < kFatSectorCount; ++fatIndex)
        ASSERT_EQ(file.fatSectorLocation(fatIndex), built_->layout.fatSectors[fatIndex]) << "FAT sector " << fatIndex;
    EXPECT_EQ(RefusalOf([&] { file.fatSectorLocation(kFatSectorCount); }), RefusalName(Refusal::Damaged));
}

TEST_F(ManyFatSectorsTest, ReadsStreamsDescribedByFatSectorsOfTheSecondDifatSector) {
    const auto& layout = built_->layout;
    const uint32_t fatEntriesPerSector = layout.sectorSize / testing::kFatEntryLength;
    const uint32_t firstFatIndexOfSecondDifatSector =
        kHeaderDifatEntryCount + (fatEntriesPerSector - 1);  // one DIFAT sector holds all but its link
    ASSERT_GE(layout.entry(u"WordDocument").chain.front() / fatEntriesPerSector, firstFatIndexOfSecondDifatSector);

    MemoryByteSource source(built_->bytes);
    CompoundFile file(source);
    EXPECT_EQ(file.openStream(*file.findInRoot(u"WordDocument")).readAll(), PatternBytes(9000, 1));
    EXPECT_EQ(file.openStream(*file.findInRoot(u"CompObj")).readAll(), PatternBytes(700, 2));
    // Only the structures on the way were read, not the padding.
    EXPECT_LT(source.bytesRead(), 64u * 1024);
}

TEST_F(ManyFatSectorsTest, RefusesADifatChainThatLoops) {
    // Either link may loop: the first is needed to reach FAT sectors beyond
    // the first DIFAT sector, the second only by a walk of the whole chain.
    for (size_t difatIndex : {size_t{0}, size_t{1}}) {
        SCOPED_TRACE("link of DIFAT sector " + std::to_string(difatIndex));
        std::vector<uint8_t> bytes = built_->bytes;
        PatchU32(bytes, built_->layout.difatNextLinkOffset(difatIndex), built_->layout.difatSectors[0]);
        MemoryByteSource source(std::move(bytes));
        CompoundFile file(source);
        EXPECT_EQ(RefusalOf([&] { file.difatSectorLocations(); }), RefusalName(Refusal::Damaged));
    }
}

TEST_F(ManyFatSectorsTest, RefusesADifatLinkBeyondTheFile) {
    std::vector<uint8_t> bytes = built_->bytes;
    PatchU32(bytes, built_->layout.difatNextLinkOffset(0), built_->layout.sectorCount + 1);
    MemoryByteSource source(std::move(bytes));
    CompoundFile file(source);
    EXPECT_EQ(RefusalOf([&] { file.fatSectorLocation(kFatSectorCount - 1); }), RefusalName(Refusal::Damaged));
}

// Faults that only a caller of the storage API meets; how the summary reader
// answers each damaged structure is tabled in summary_reader_test.cpp.
TEST(CompoundFile, RefusesStructuralFaultsWithDamaged) {
    CompoundFileBuilder builder(3);
    builder.addStream(u"WordDocument", PatternBytes(5000)).addStream(u"CompObj", PatternBytes(300));
    const BuiltCompoundFile built = builder.build();
    const auto& layout = built.layout;
    const auto& word = layout.entry(u"WordDocument");
    const auto& compObj = layout.entry(u"CompObj");

    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> patch;
        std::function<void(CompoundFile&)> action;
    };
    auto readWhole = [](const char16_t* name) {
        return [name](CompoundFile& file) { file.openStream(*file.findInRoot(name)).readAll(); };
    };
    const Case cases[] = {
        {"regular chain ends before the stream does",
         [&](auto& bytes) { PatchU32(bytes, layout.fatEntryOffset(word.chain[3]), kEndOfChain); }, readWhole(u"WordDocument")},
        {"regular chain loops",
         [&](auto& bytes) { PatchU32(bytes, layout.fatEntryOffset(word.chain[3]), word.chain[1]); }, readWhole(u"WordDocument")},
        {"mini chain loops",
         [&](auto& bytes) { PatchU32(bytes, layout.miniFatEntryOffset(compObj.chain[2]), compObj.chain[0]); }, readWhole(u"CompObj")},
        // Refused on opening, before anything is sized by the claim.
        {"stream claims more bytes than the file holds",
         [&](auto& bytes) {
             PatchU32(bytes, layout.directoryEntryFieldOffset(u"WordDocument", testing::entry_field::kStreamSize),
                      static_cast<uint32_t>(layout.fileSize() + 1));
         },
         [](CompoundFile& file) { file.openStream(*file.findInRoot(u"WordDocument")); }},
        {"regular chain holds a special value",
         [&](auto& bytes) { PatchU32(bytes, layout.fatEntryOffset(word.chain[3]), kFatSector); }, readWhole(u"WordDocument")},
        {"mini chain leads beyond the mini stream",
         [&](auto& bytes) { PatchU32(bytes, layout.miniFatEntryOffset(compObj.chain[0]), 1000); }, readWhole(u"CompObj")},
        {"root entry is not a root storage",
         [&](auto& bytes) { bytes[layout.directoryEntryOffset(0) + testing::entry_field::kObjectType] = 1; },
         [](CompoundFile& file) { file.rootEntry(); }},
        {"first FAT sector lies beyond the file",
         [&](auto& bytes) { PatchU32(bytes, testing::header_field::kDifat, layout.sectorCount + 3); },
         [](CompoundFile& file) { file.nextSector(0); }},
        {"sibling link is a special value",
         [&](auto& bytes) { PatchU32(bytes, layout.directoryEntryFieldOffset(u"CompObj", testing::entry_field::kRightSibling), kFatSector); },
         [](CompoundFile& file) { file.rootChildren(); }},
        {"mini sector shift is not 64 bytes",
         [&](auto& bytes) { PatchU16(bytes, testing::header_field::kMiniSectorShift, 7); }, [](CompoundFile&) {}},
        {"mini stream cutoff is not 4096",
         [&](auto& bytes) { PatchU32(bytes, testing::header_field::kMiniStreamCutoff, 8192); }, [](CompoundFile&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = built.bytes;
        c.patch(bytes);
        MemoryByteSource source(std::move(bytes));
        EXPECT_EQ(RefusalOf([&] {
                      CompoundFile file(source);
                      c.action(file);
                  }),
                  RefusalName(Refusal::Damaged));
    }
}

TEST(CompoundFile, Version3IgnoresTheUpperHalfOfStreamSizes) {
    // Version 3 sizes are 32-bit; some writers leave garbage above them.
    CompoundFileBuilder builder(3);
    builder.addStream(u"CompObj", PatternBytes(300)).addStream(u"WordDocument", PatternBytes(5000));
    BuiltCompoundFile built = builder.build();
    for (const char16_t* name : {u"CompObj", u"WordDocument"}) {
        const uint64_t at = built.layout.directoryEntryFieldOffset(name, testing::entry_field::kStreamSize);
        PatchU32(built.bytes, at + 4, 0xDEADBEEF);
    }
    MemoryByteSource source(built.bytes);
    CompoundFile file(source);
    EXPECT_EQ(file.openStream(*file.findInRoot(u"CompObj")).readAll(), PatternBytes(300));
    EXPECT_EQ(file.openStream(*file.findInRoot(u"WordDocument")).readAll(), PatternBytes(5000));
}

TEST(CompoundFile, EntryWithAMalformedNameLengthMatchesNoLookup) {
    CompoundFileBuilder builder(3);
    builder.addStream(u"CompObj", PatternBytes(300));
    BuiltCompoundFile built = builder.build();
    // An odd byte count cannot hold UTF-16 text.
    PatchU16(built.bytes, built.layout.directoryEntryFieldOffset(u"CompObj", testing::entry_field::kNameLength), 15);
    MemoryByteSource source(built.bytes);
    CompoundFile file(source);
    EXPECT_FALSE(file.findInRoot(u"CompObj").has_value());
    EXPECT_EQ(file.rootChildren().size(), 1u);
}

TEST(CompoundFile, TellsAForeignFileFromATruncatedOne) {
    BuiltCompoundFile built = CompoundFileBuilder(3).addStream(u"CompObj", PatternBytes(100)).build();
    const std::vector<uint8_t> truncated(built.bytes.begin(), built.bytes.begin() + 100);
    const std::vector<uint8_t> text = testing::BytesOf("Dear sir, please find attached");
    const std::vector<uint8_t> empty;
    for (auto [name, bytes, refusal] : {std::tuple{"truncated inside the header", &truncated, Refusal::Damaged},
                                        std::tuple{"plain text", &text, Refusal::NotCompoundFile},
                                        std::tuple{"empty", &empty, Refusal::NotCompoundFile}}) {
        SCOPED_TRACE(name);
        MemoryByteSource source(*bytes);
        EXPECT_EQ(RefusalOf([&] { CompoundFile file(source); }), RefusalName(refusal));
    }
}

}  // namespace
}  // namespace velmora::storage
