// Overwriting byte ranges of a stream in place: only the touched sectors
// are copied, the stream keeps its size, the file its length, and nothing
// of the overwritten bytes survives anywhere in the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "storage/compound_file.h"
#include "storage/compound_file_writer.h"
#include "storage/storage_error.h"
#include "support/case_name.h"
#include "support/compound_file_builder.h"
#include "support/olefile_oracle.h"
#include "support/test_paths.h"

namespace velmora::storage {
namespace {

using testing::BuiltCompoundFile;
using testing::CompoundFileBuilder;
using testing::PatternBytes;
using testing::StreamOf;

const std::u16string kTarget = u"Workbook";

bool Contains(const std::vector<uint8_t>& haystack, std::string_view needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

struct PatchCase {
    const char* name;
    uint16_t version;
    size_t streamSize;
    std::vector<uint64_t> offsets;  // each overwrites a 14-byte secret placed there
    uint32_t fatSectors;            // free padding ahead of everything (0: none)
    bool copiesSectors;             // false: the whole stream is replaced instead
};

class StreamPatchTest : public ::testing::TestWithParam<PatchCase> {};

TEST_P(StreamPatchTest, ChangesOnlyTheRangesAndLeavesNoTrace) {
    const PatchCase& param = GetParam();
    std::vector<uint8_t> content = PatternBytes(param.streamSize, 7);
    std::vector<StreamPatch> patches;
    std::vector<std::string> secrets;
    for (size_t i = 0; i < param.offsets.size(); ++i) {
        secrets.push_back("secret-name-" + std::to_string(i) + "!");
        std::copy(secrets.back().begin(), secrets.back().end(), content.begin() + static_cast<std::ptrdiff_t>(param.offsets[i]));
        patches.push_back({param.offsets[i], std::vector<uint8_t>(secrets.back().size(), ' ')});
    }
    CompoundFileBuilder builder(param.version);
    builder.addStream(u"WordDocument", PatternBytes(9000, 3))
        .addStream(kTarget, content)
        .addStream(u"\u0005SummaryInformation", PatternBytes(300, 5))
        .addStream(u"1Table", PatternBytes(5000, 9))
        .interleaveRegularStreams();
    if (param.fatSectors) builder.requireFatSectorCount(param.fatSectors);
    const BuiltCompoundFile built = builder.build();

    MemoryByteSource source(built.bytes);
    CompoundFileWriter writer(source);
    writer.patchRootStream(kTarget, patches);
    const std::vector<uint8_t> written = source.bytes();

    std::vector<uint8_t> expected = content;
    for (const StreamPatch& patch : patches)
        std::copy(patch.bytes.begin(), patch.bytes.end(), expected.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    EXPECT_EQ(StreamOf(written, kTarget), expected);
    for (const auto& entry : built.layout.entries) {
        if (entry.index == 0 || entry.type != ObjectType::Stream || entry.name == kTarget) continue;
        EXPECT_EQ(StreamOf(written, entry.name), StreamOf(built.bytes, entry.name));
    }
    for (const std::string& secret : secrets) EXPECT_FALSE(Contains(written, secret)) << secret;
    EXPECT_EQ(written.size(), built.bytes.size());
    EXPECT_EQ(writer.lastPatchSectors() > 0, param.copiesSectors);

    testing::ScopedTempDir folder;
    testing::OlefileOracle oracle;
    testing::OracleCase check;
    check.name = param.name;
    check.file = folder.path() / "patched.cfb";
    check.original = folder.path() / "original.cfb";
    check.stream = "Workbook";
    testing::WriteWholeFile(check.file, written);
    testing::WriteWholeFile(check.original, built.bytes);
    oracle.add(check);
    EXPECT_TRUE(oracle.verify(folder.path()));
}

INSTANTIATE_TEST_SUITE_P(Layouts, StreamPatchTest, ::testing::Values(
    PatchCase{"V3OneRangeInOneSector", 3, 9000, {700}, 0, true},
    PatchCase{"V3RangeAcrossTwoSectors", 3, 9000, {1020}, 0, true},
    PatchCase{"V3FirstSectorSwitchesTheDirectory", 3, 9000, {4}, 0, true},
    PatchCase{"V3TwoRangesOneLinkSector", 3, 9000, {600, 8000}, 0, true},
    PatchCase{"V3FreeSectorsAhead", 3, 9000, {3000}, 3, true},
    PatchCase{"V3LinksInTwoFatSectors", 3, 90'000, {6000, 88'000}, 0, false},
    PatchCase{"V3DirectoryAndFatLinks", 3, 9000, {4, 3000}, 0, false},
    PatchCase{"V3InTheMiniStream", 3, 1500, {1300, 1400}, 0, true},
    PatchCase{"V4OneRange", 4, 20'000, {9000}, 0, true},
    PatchCase{"V4InTheMiniStream", 4, 3000, {2000}, 0, true}),
    testing::CaseName());

TEST(StreamPatch, BadRangesAreRefusedBeforeAnyWrite) {
    const BuiltCompoundFile built = CompoundFileBuilder(3).addStream(kTarget, PatternBytes(9000, 2)).build();
    const std::vector<std::vector<StreamPatch>> refused = {
        {{8990, std::vector<uint8_t>(11, ' ')}},                                  // past the end
        {{9000, std::vector<uint8_t>(1, ' ')}},
        {{100, std::vector<uint8_t>(10, ' ')}, {105, std::vector<uint8_t>(2, ' ')}},  // overlapping
        {{100, {}}},                                                               // empty
    };
    for (const auto& patches : refused) {
        MemoryByteSource source(built.bytes);
        CompoundFileWriter writer(source);
        EXPECT_THROW(writer.patchRootStream(kTarget, patches), std::invalid_argument);
        EXPECT_EQ(source.bytes(), built.bytes);
    }
    MemoryByteSource source(built.bytes);
    CompoundFileWriter writer(source);
    const StreamPatch patch{0, {1}};
    EXPECT_THROW(writer.patchRootStream(u"Book", std::span(&patch, 1)), StorageError);
    EXPECT_EQ(source.bytes(), built.bytes);
}

}  // namespace
}  // namespace velmora::storage
