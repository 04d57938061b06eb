#include "storage/compound_file_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "storage/compound_file.h"
#include "storage/storage_error.h"
#include "support/case_name.h"
#include "support/compound_file_builder.h"
#include "support/olefile_oracle.h"
#include "support/residue_check.h"
#include "support/test_paths.h"

namespace velmora::storage {
namespace {

using testing::BuiltCompoundFile;
using testing::CompoundFileBuilder;
using testing::PatternBytes;
using testing::StreamOf;

const std::u16string kTarget = u"\u0005SummaryInformation";

// Bytes no other stream of a built file holds: a text repeated to the size.
std::vector<uint8_t> Secret(size_t size, const std::string& tag) {
    const std::string unit = "secret " + tag + " / ";
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(unit[i % unit.size()]);
    return bytes;
}

std::vector<uint8_t> Marker(const std::string& tag) { return Secret(48, tag); }

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

std::vector<uint8_t> Replace(std::vector<uint8_t> file, std::span<const uint8_t> content) {
    MemoryByteSource source(std::move(file));
    CompoundFileWriter writer(source);
    writer.replaceRootStream(kTarget, content);
    return source.bytes();
}

// Every other stream as it was, the target holding the new content, the old
// content's marker gone from the whole file, and olefile agreeing.
class WriterCheck {
public:
    explicit WriterCheck(const BuiltCompoundFile& built) : built_(built) {}

    void verify(const std::vector<uint8_t>& written, const std::vector<uint8_t>& content,
                const std::vector<uint8_t>& oldMarker, const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(StreamOf(written, kTarget), content);
        for (const auto& entry : built_.layout.entries) {
            if (entry.index == 0 || entry.type != ObjectType::Stream || entry.name == kTarget) continue;
            EXPECT_EQ(StreamOf(written, entry.name), StreamOf(built_.bytes, entry.name));
        }
        if (!oldMarker.empty()) {
            EXPECT_FALSE(Contains(written, oldMarker)) << "the old content survives";
        }
        MemoryByteSource survey(written);
        EXPECT_EQ(MeasureResidue(survey), 0u) << "free space holds old bytes";
        EXPECT_EQ(testing::BytesNothingHolds(written), 0u) << "old bytes the survey misses";
        const auto file = folder_.path() / (name + ".cfb");
        const auto original = folder_.path() / (name + "-original.cfb");
        testing::WriteWholeFile(file, written);
        testing::WriteWholeFile(original, built_.bytes);
        testing::OracleCase check;
        check.name = name;
        check.file = file;
        check.original = original;
        check.stream = "\x05SummaryInformation";
        oracle_.add(check);
    }

    ::testing::AssertionResult olefileAgrees() { return oracle_.verify(folder_.path()); }

private:
    const BuiltCompoundFile& built_;
    testing::ScopedTempDir folder_;
    testing::OlefileOracle oracle_;
};

struct SizeCase {
    const char* name;
    uint16_t version;
    size_t oldSize;
    size_t newSize;
};

class ReplaceStreamTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ReplaceStreamTest, MovesBetweenMiniStreamAndSectors) {
    const SizeCase& param = GetParam();
    std::vector<uint8_t> old = Secret(param.oldSize, "old");
    const std::vector<uint8_t> marker = Marker("old");
    BuiltCompoundFile built = CompoundFileBuilder(param.version)
                                  .addStream(u"WordDocument", PatternBytes(9000, 3))
                                  .addStream(kTarget, old)
                                  .addStream(u"\u0005DocumentSummaryInformation", PatternBytes(300, 5))
                                  .addStream(u"1Table", PatternBytes(5000, 9))
                                  .interleaveRegularStreams()
                                  .build();
    std::vector<uint8_t> content(param.newSize, 0x5A);
    std::vector<uint8_t> written = Replace(built.bytes, content);
    WriterCheck check(built);
    check.verify(written, content, marker, param.name);

    // Writing back and forth does not make the file grow without bound.
    std::vector<uint8_t> again = written;
    for (int round = 0; round < 4; ++round) {
        again = Replace(again, old);
        again = Replace(again, content);
    }
    EXPECT_LE(again.size(), written.size() + 2 * built.layout.sectorSize);
    EXPECT_TRUE(check.olefileAgrees());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReplaceStreamTest, ::testing::Values(
    SizeCase{"V3SmallToSmaller", 3, 400, 120},
    SizeCase{"V3SmallToLarger", 3, 400, 3000},
    SizeCase{"V3SmallToSectors", 3, 400, 9000},
    SizeCase{"V3SectorsToSmall", 3, 8600, 200},
    SizeCase{"V3SectorsToMoreSectors", 3, 5000, 20000},
    SizeCase{"V4SmallToSectors", 4, 400, 9000},
    SizeCase{"V4SectorsToSmall", 4, 8600, 200},
    SizeCase{"V4SmallToSmall", 4, 1000, 2000}),
    testing::CaseName());

TEST(CompoundFileWriter, GrowsTheFatAndTheDifat) {
    // 109 FAT sectors fill the header's DIFAT; growing the FAT needs a DIFAT sector.
    BuiltCompoundFile built = CompoundFileBuilder(3)
                                  .addStream(kTarget, PatternBytes(300, 4))
                                  .addStream(u"WordDocument", PatternBytes(6000, 8))
                                  .requireFatSectorCount(109)
                                  .build();
    ASSERT_EQ(built.layout.fatSectors.size(), 109u);
    ASSERT_TRUE(built.layout.difatSectors.empty());
    const size_t freeBytes = size_t{built.layout.paddingSectorCount} * built.layout.sectorSize;
    std::vector<uint8_t> content = PatternBytes(freeBytes + 300 * built.layout.sectorSize, 11);
    std::vector<uint8_t> written = Replace(built.bytes, content);

    MemoryByteSource source(written);
    CompoundFile compound(source);
    EXPECT_GT(compound.header().fatSectorCount, 109u);
    EXPECT_EQ(compound.header().difatSectorCount, 1u);
    WriterCheck check(built);
    check.verify(written, content, {}, "difat-growth");
    EXPECT_TRUE(check.olefileAgrees());
}

TEST(CompoundFileWriter, GrowsTheMiniStreamAndTheMiniFat) {
    // 126 + 2 mini sectors: the first miniFAT sector is full.
    BuiltCompoundFile built = CompoundFileBuilder(3)
                                  .addStream(u"A", PatternBytes(4032, 2))
                                  .addStream(u"B", PatternBytes(4032, 3))
                                  .addStream(kTarget, Secret(128, "tiny"))
                                  .build();
    ASSERT_EQ(built.layout.miniFatSectors.size(), 1u);
    std::vector<uint8_t> content = PatternBytes(4000, 12);
    std::vector<uint8_t> written = Replace(built.bytes, content);
    MemoryByteSource source(written);
    CompoundFile compound(source);
    EXPECT_EQ(compound.header().miniFatSectorCount, 2u);
    WriterCheck check(built);
    check.verify(written, content, Secret(100, "tiny"), "mini-growth");
    EXPECT_TRUE(check.olefileAgrees());
}

TEST(CompoundFileWriter, ReclaimsWhatNoChainReaches) {
    // Orphaned streams stand for what an interrupted write leaves behind:
    // allocated sectors and mini sectors that nothing reaches any more.
    std::vector<uint8_t> smallSecret = Secret(700, "small");
    std::vector<uint8_t> largeSecret = Secret(6000, "large");
    BuiltCompoundFile built = CompoundFileBuilder(3)
                                  .addStream(kTarget, PatternBytes(300, 4))
                                  .addStream(u"OrphanSmall", smallSecret)
                                  .addStream(u"OrphanLarge", largeSecret)
                                  .addStream(u"WordDocument", PatternBytes(5000, 8))
                                  .build();
    std::vector<uint8_t> bytes = built.bytes;
    for (const char16_t* name : {u"OrphanSmall", u"OrphanLarge"})
        bytes[built.layout.directoryEntryFieldOffset(name, testing::entry_field::kObjectType)] = 0;
    ASSERT_TRUE(Contains(bytes, Marker("small")));

    std::vector<uint8_t> written = Replace(bytes, PatternBytes(200, 30));
    EXPECT_FALSE(Contains(written, Marker("small")));
    EXPECT_FALSE(Contains(written, Marker("large")));
    EXPECT_EQ(StreamOf(written, u"WordDocument"), PatternBytes(5000, 8));
}

TEST(CompoundFileWriter, RefusesToWriteThroughDamage) {
    BuiltCompoundFile built = CompoundFileBuilder(3)
                                  .addStream(kTarget, PatternBytes(5000, 4))
                                  .addStream(u"WordDocument", PatternBytes(5000, 8))
                                  .build();
    const auto& target = built.layout.entry(kTarget);
    const auto& word = built.layout.entry(u"WordDocument");
    struct Damage {
        const char* name;
        uint64_t offset;
        uint32_t value;
    };
    const Damage damages[] = {
        // WordDocument's second sector becomes part of the target's chain too.
        {"CrossLinkedChains", built.layout.fatEntryOffset(target.chain[0]), word.chain[1]},
        {"ChainLoop", built.layout.fatEntryOffset(word.chain[2]), word.chain[0]},
        {"SectorBeyondTheFile", built.layout.fatEntryOffset(word.chain[2]), 0x00FFFFFF},
        {"ChainEndsEarly", built.layout.fatEntryOffset(word.chain[1]), kEndOfChain},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::vector<uint8_t> bytes = built.bytes;
        testing::PatchU32(bytes, damage.offset, damage.value);
        MemoryByteSource source(bytes);
        try {
            CompoundFileWriter writer(source);
            writer.replaceRootStream(kTarget, PatternBytes(100, 1));
            ADD_FAILURE() << "wrote through a damaged file";
        } catch (const StorageError& error) {
            EXPECT_EQ(error.reason(), Refusal::Damaged) << error.what();
        }
        EXPECT_EQ(source.bytes(), bytes);
    }
}

// Small streams whose old mini stream must go: the target shrinks from
// regular sectors into the mini stream, which has no free mini sector and
// no free sector to grow into, so it is copied past the end and back; a name
// in another small stream is then blanked in place, as a clean does after
// its property sets. No copy of the name may survive anywhere.
TEST(CompoundFileWriter, ZeroesTheOldMiniStreamWhenItMoves) {
    for (uint16_t version : {uint16_t{3}, uint16_t{4}}) {
        SCOPED_TRACE("version " + std::to_string(version));
        std::vector<uint8_t> notes = PatternBytes(1984, 6);  // 31 mini sectors
        const std::string name = "Note Author Person";
        std::copy(name.begin(), name.end(), notes.begin() + 700);
        BuiltCompoundFile built = CompoundFileBuilder(version)
                                      .addStream(u"Notes", notes)
                                      .addStream(kTarget, Secret(9000, "description"))
                                      .addStream(u"WordDocument", PatternBytes(6000, 8))
                                      .build();
        MemoryByteSource source(built.bytes);
        {
            CompoundFileWriter writer(source);
            writer.replaceRootStream(kTarget, PatternBytes(200, 9));
            const StreamPatch blank{700, std::vector<uint8_t>(name.size(), ' ')};
            writer.patchRootStream(u"Notes", std::span(&blank, 1));
        }
        const std::vector<uint8_t>& written = source.bytes();
        EXPECT_FALSE(Contains(written, testing::BytesOf(name))) << "an old copy of the name survives";
        EXPECT_FALSE(Contains(written, Marker("description")));
        MemoryByteSource survey(written);
        EXPECT_EQ(MeasureResidue(survey), 0u);
        EXPECT_EQ(StreamOf(written, u"WordDocument"), PatternBytes(6000, 8));
    }
}

// Residue planted where an earlier program or an interrupted write leaves
// it: found by the survey, zeroed by zeroFreeSpace(), and after that the
// file holds none and a second pass writes nothing.
TEST(CompoundFileWriter, FindsAndZeroesResidue) {
    const BuiltCompoundFile built = CompoundFileBuilder(3)
                                        .addStream(kTarget, PatternBytes(300, 4))      // 5 mini sectors
                                        .addStream(u"Small", PatternBytes(100, 5))     // 2, the last 28 bytes unused
                                        .addStream(u"OrphanSmall", PatternBytes(130, 6))  // 3
                                        .addStream(u"Orphan", PatternBytes(5000, 7))   // 10 sectors
                                        .addStream(u"WordDocument", PatternBytes(5000, 8))  // the last 120 bytes unused
                                        .requireFatSectorCount(2)
                                        .build();
    const testing::CompoundFileLayout& layout = built.layout;
    ASSERT_GT(layout.paddingSectorCount, 0u);
    const testing::EntryPlacement& root = layout.entries.at(0);
    ASSERT_EQ(root.size % 512, 128u);  // 10 mini sectors in two sectors
    auto unlink = [&](std::vector<uint8_t>& bytes, const char16_t* name) {
        bytes[layout.directoryEntryFieldOffset(name, testing::entry_field::kObjectType)] = 0;
    };
    struct Plant {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> plant;
        uint64_t residue;  // the pieces the planted bytes fall in
    };
    const Plant plants[] = {
        {"FreeSector", [&](auto& bytes) { bytes[layout.sectorOffset(layout.firstPaddingSector) + 100] = 0xA5; }, 512},
        {"StreamTail", [&](auto& bytes) { bytes[layout.fileOffset(u"WordDocument", 4999) + 60] = 0xA5; }, 120},
        {"SmallStreamTail", [&](auto& bytes) { bytes[layout.fileOffset(u"Small", 99) + 1] = 0xA5; }, 28},
        {"MiniStreamTail", [&](auto& bytes) { bytes[layout.sectorOffset(root.chain.back()) + 128 + 7] = 0xA5; }, 384},
        {"UnreachableSectors", [&](auto& bytes) { unlink(bytes, u"Orphan"); }, 10 * 512},
        {"UnreachableMiniSectors", [&](auto& bytes) { unlink(bytes, u"OrphanSmall"); }, 3 * 64},
        // A chain that runs on past its stream's end, into a sector of old bytes.
        {"ChainPastItsStream",
         [&](auto& bytes) {
             const uint32_t surplus = layout.firstPaddingSector;
             testing::PatchU32(bytes, layout.fatEntryOffset(layout.entry(u"WordDocument").chain.back()), surplus);
             testing::PatchU32(bytes, layout.fatEntryOffset(surplus), kEndOfChain);
             bytes[layout.sectorOffset(surplus) + 9] = 0xA5;
         },
         512},
        {"FreeMiniSectors",
         [&](auto& bytes) {
             unlink(bytes, u"OrphanSmall");
             for (uint32_t unit : layout.entry(u"OrphanSmall").chain)
                 testing::PatchU32(bytes, layout.miniFatEntryOffset(unit), kFreeSector);
         },
         3 * 64},
    };
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.name);
        std::vector<uint8_t> bytes = built.bytes;
        plant.plant(bytes);
        MemoryByteSource source(bytes);
        CompoundFileWriter writer(source);
        EXPECT_EQ(writer.residue(), plant.residue);
        EXPECT_EQ(writer.zeroFreeSpace(), plant.residue);
        EXPECT_EQ(writer.residueZeroed(), plant.residue);
        EXPECT_EQ(writer.residue(), 0u);
        for (const char16_t* name : {kTarget.c_str(), u"Small", u"WordDocument"})
            EXPECT_EQ(StreamOf(source.bytes(), name), StreamOf(built.bytes, name));

        const std::vector<uint8_t> zeroed = source.bytes();
        EXPECT_EQ(testing::BytesNothingHolds(zeroed), 0u) << "old bytes the survey misses";
        MemoryByteSource again(zeroed);
        EXPECT_EQ(MeasureResidue(again), 0u);
        CompoundFileWriter second(again);
        EXPECT_EQ(second.zeroFreeSpace(), 0u);
        EXPECT_EQ(again.bytes(), zeroed) << "a second pass changed a byte";
    }
}

TEST(CompoundFileWriter, LeavesAFileWithoutResidueUntouched) {
    const BuiltCompoundFile built = CompoundFileBuilder(4)
                                        .addStream(kTarget, PatternBytes(300, 4))
                                        .addStream(u"WordDocument", PatternBytes(5000, 8))
                                        .build();
    MemoryByteSource source(built.bytes);
    CompoundFileWriter writer(source);
    EXPECT_EQ(writer.residue(), 0u);
    EXPECT_EQ(writer.zeroFreeSpace(), 0u);
    EXPECT_EQ(source.bytes(), built.bytes);
}

}  // namespace
}  // namespace velmora::storage
