// The corpus documents read through the file-backed path; their values are
// checked field by field against the manifest by tests/cli/corpus_manifest_test.py.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/summary_reader.h"
#include "storage/file_byte_source.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

using storage::Refusal;

TEST(CorpusRead, EveryDocumentReads) {
    auto documents = testing::CorpusDocuments();
    ASSERT_EQ(documents.size(), 21u);
    for (const auto& path : documents) {
        SCOPED_TRACE(path.string());
        TSummaryInfo info;
        ReadOutcome outcome = ReadSummaryInfoWithOutcome(path, info);
        EXPECT_TRUE(outcome.ok) << outcome.message;
        EXPECT_FALSE(outcome.partial) << outcome.message;
    }
}

TEST(CorpusRead, ReadsOnlyAFewKilobytesOfLargeDocuments) {
    for (const char* name : {"corpus/generated/lo-large-images.doc", "corpus/generated/lo-ascii.ppt"}) {
        SCOPED_TRACE(name);
        auto source = storage::FileByteSource::Open(testing::TestDataPath(name), storage::AccessMode::Read);
        TSummaryInfo info;
        ASSERT_TRUE(ReadSummaryInfoFrom(*source, info).ok);
        // lo-ascii.ppt carries a 442 KB thumbnail inside SummaryInformation: it is sized, not read.
        EXPECT_LT(source->bytesRead(), 16u * 1024) << "of " << source->size();
    }
}

class RefusalTest : public ::testing::Test {
protected:
    testing::ScopedTempDir folder;
};

TEST_F(RefusalTest, ReadOnlyDocumentIsRead) {
    auto copy = folder.path() / "read-only.xls";
    testing::CopyWritable(testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls"), copy);
    ASSERT_EQ(::chmod(copy.c_str(), 0444), 0);
    TSummaryInfo info;
    EXPECT_TRUE(ReadSummaryInfo(copy, info));
    EXPECT_EQ(info.Author, u"John Machin");
}

TEST_F(RefusalTest, RefusalsComeWithTheirReason) {
    auto text = folder.path() / "letter.doc";
    testing::WriteWholeFile(text, std::vector<uint8_t>{'D', 'e', 'a', 'r', ' ', 's', 'i', 'r'});
    auto empty = folder.path() / "empty.doc";
    testing::WriteWholeFile(empty, {});
    auto fifo = folder.path() / "pipe.doc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const std::pair<std::filesystem::path, Refusal> cases[] = {
        {text, Refusal::NotCompoundFile},
        {empty, Refusal::NotCompoundFile},
        {fifo, Refusal::NotRegularFile},
        {folder.path() / "missing.doc", Refusal::NotFound},
    };
    for (const auto& [path, refusal] : cases) {
        SCOPED_TRACE(path.string());
        TSummaryInfo info;
        info.Title = u"kept";
        ReadOutcome outcome = ReadSummaryInfoWithOutcome(path, info);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.refusal, refusal);
        EXPECT_FALSE(outcome.message.empty());
        EXPECT_EQ(info.Title, u"kept");
    }
}

TEST_F(RefusalTest, LockedDocumentIsRefused) {
    auto copy = folder.path() / "locked.xls";
    testing::CopyWritable(testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls"), copy);
    auto writer = storage::FileByteSource::Open(copy, storage::AccessMode::ReadWrite);
    TSummaryInfo info;
    ReadOutcome outcome = ReadSummaryInfoWithOutcome(copy, info);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.refusal, Refusal::Locked);
    EXPECT_EQ(outcome.message, "The document is open in another program");
}

}  // namespace
}  // namespace velmora::engine
