// "Clear Last Edited By" also blanks who saved a document last outside its
// property sets: in place, every stream keeping its size, the name gone from
// the whole file.
#include "engine/last_saver_blanking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "engine/clean_run.h"
#include "engine/hidden_names.h"
#include "engine/summary_info_class.h"
#include "storage/compound_file.h"
#include "storage/document_source.h"
#include "storage/storage_error.h"
#include "support/compound_file_builder.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::map<std::u16string, uint64_t> StreamSizes(const fs::path& path) {
    auto source = storage::OpenDocumentSource(path, storage::AccessMode::Read);
    storage::CompoundFile file(*source);
    std::map<std::u16string, uint64_t> sizes;
    for (const auto& entry : file.rootChildren())
        if (entry.type == storage::ObjectType::Stream) sizes[entry.name] = entry.streamSize;
    return sizes;
}

TEST(LastSaverBlanking, DifferingRangesAreTheBytesThatChanged) {
    const Bytes before = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes after = {1, 9, 9, 4, 5, 6, 0, 8};
    const auto patches = DifferingRanges(before, after);
    ASSERT_EQ(patches.size(), 2u);
    EXPECT_EQ(patches[0].offset, 1u);
    EXPECT_EQ(patches[0].bytes, Bytes({9, 9}));
    EXPECT_EQ(patches[1].offset, 6u);
    EXPECT_EQ(patches[1].bytes, Bytes({0}));
    EXPECT_TRUE(DifferingRanges(before, before).empty());
}

TEST(LastSaverBlanking, BlankingLeavesTheNameNowhereAndEveryStreamItsSize) {
    testing::ScopedTempDir folder;
    int blanked = 0;
    for (const fs::path& original : testing::CorpusDocuments()) {
        const HiddenNameScan before = ScanHiddenNames(original);
        if (before.names.empty()) continue;
        SCOPED_TRACE(original.string());
        const fs::path copy = folder.path() / original.filename();
        testing::CopyWritable(original, copy);
        const auto sizes = StreamSizes(copy);

        BlankLastSaverNames(copy);
        EXPECT_TRUE(ScanHiddenNames(copy).names.empty());
        EXPECT_EQ(StreamSizes(copy), sizes);
        EXPECT_EQ(fs::file_size(copy), fs::file_size(original));
        // Nowhere in the file, unless a property holds it too (the author,
        // which this leaves alone) or it is a stream's own name.
        TSummaryInfoClass record(copy);
        const Bytes bytes = testing::ReadWholeFile(copy);
        for (const HiddenName& name : before.names) {
            if (record.Cache().Author == name.name || record.Cache().LastAuthor == name.name || sizes.count(name.name)) continue;
            EXPECT_FALSE(testing::HoldsText(bytes, name.name)) << std::string(name.name.begin(), name.name.end());
        }
        // Once more: nothing left to do, nothing written.
        BlankLastSaverNames(copy);
        EXPECT_EQ(testing::ReadWholeFile(copy), bytes);
        ++blanked;
    }
    EXPECT_GE(blanked, 10);
}

TEST(LastSaverBlanking, ClearLastEditedByReportsThePlacesItBlanked) {
    struct Case {
        const char* document;
        std::vector<std::string> changed;
    };
    const Case cases[] = {
        {"real/r-cran-gdata/iris.xls", {"LastAuthor", "WriteAccess"}},
        {"generated/gnumeric-ascii-dsf.xls", {"WriteAccess"}},  // no last author in its properties
        {"real/golang-github-gabriel-vasile-mimetype-dev/ppt.ppt", {"LastAuthor", "CurrentUser"}},
        {"generated/lo-ascii.doc", {"LastAuthor"}},
    };
    testing::ScopedTempDir folder;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.document);
        const fs::path original = testing::TestDataPath(std::string("corpus/") + test.document);
        const fs::path copy = folder.path() / original.filename();
        testing::CopyWritable(original, copy);
        CleanSettings settings;
        settings.operations = {CleanOperation::ClearLastEditedBy, CleanOperation::ClearCreated};
        const CleanReport dry = CleanDocument(copy, settings, true);
        EXPECT_EQ(testing::ReadWholeFile(copy), testing::ReadWholeFile(original)) << "a dry run wrote";
        const CleanReport report = CleanDocument(copy, settings, false);
        EXPECT_TRUE(report.ok) << report.error;
        EXPECT_EQ(report.changed, dry.changed);
        std::vector<std::string> blanked = report.changed;
        std::erase(blanked, "Created");
        std::erase(blanked, "FreeSpace");  // LibreOffice leaves a sector of old bytes free
        EXPECT_EQ(blanked, test.changed);
        EXPECT_TRUE(ScanHiddenNames(copy).names.empty());
        EXPECT_TRUE(CleanDocument(copy, settings, false).changed.empty());
    }
}

TEST(LastSaverBlanking, AMalformedWorkbookIsReportedAndLeftAlone) {
    // BOF, then a WriteAccess record whose length runs past the stream.
    Bytes workbook = {0x09, 0x08, 4, 0, 0x00, 0x06, 0x05, 0x00, 0x5C, 0x00, 112, 0, 5, 0, 0, 'G', 'r', 'a', 'c', 'e'};
    workbook.resize(5000, ' ');
    workbook[10] = 0xFF;
    workbook[11] = 0xFF;
    const auto built = testing::CompoundFileBuilder(3).addStream(u"Workbook", workbook).build();
    testing::ScopedTempDir folder;
    const fs::path path = folder.path() / "bad.xls";
    testing::WriteWholeFile(path, built.bytes);

    CleanSettings settings;
    settings.operations = {CleanOperation::ClearLastEditedBy};
    const CleanReport report = CleanDocument(path, settings, false);
    EXPECT_FALSE(report.ok);
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].field, "WriteAccess");
    EXPECT_NE(report.failed[0].error.find("Workbook: not cleaned: malformed"), std::string::npos) << report.failed[0].error;
    EXPECT_EQ(testing::ReadWholeFile(path), built.bytes);
    EXPECT_THROW(BlankLastSaverNames(path), storage::StorageError);
    EXPECT_EQ(testing::ReadWholeFile(path), built.bytes);
}

}  // namespace
}  // namespace velmora::engine
