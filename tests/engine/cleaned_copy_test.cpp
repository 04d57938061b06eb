#include "engine/cleaned_copy.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine/summary_info_class.h"
#include "engine/summary_reader.h"
#include "storage/storage_error.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using velmora::testing::CopyWritable;
using velmora::testing::ReadWholeFile;
using velmora::testing::ScopedTempDir;
using velmora::testing::TestDataPath;

size_t EntriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(CleanedCopyName, NumbersFromTheSecondCopyOn) {
    EXPECT_EQ(CleanedCopyName("/d/report.final.doc", 1), "/d/report.final (cleaned).doc");
    EXPECT_EQ(CleanedCopyName("/d/report.final.doc", 2), "/d/report.final (cleaned 2).doc");
    EXPECT_EQ(CleanedCopyName("/d/README", 1), "/d/README (cleaned)");
}

TEST(CleanedCopy, CleansACopyAndLeavesTheOriginalAsItWas) {
    ScopedTempDir folder;
    const fs::path original = folder.path() / "a.doc";
    CopyWritable(TestDataPath("corpus/generated/lo-ascii.doc"), original);
    ::chmod(original.c_str(), 0444);  // a read-only original can still be copied and cleaned
    const std::vector<uint8_t> before = ReadWholeFile(original);

    fs::path first, second;
    for (fs::path* published : {&first, &second}) {
        CleanedCopy copy(original);
        struct stat status {};
        ASSERT_EQ(::stat(copy.TemporaryPath().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);  // nobody else reads it while it still holds the data
        EXPECT_EQ(copy.TemporaryPath().filename().string().front(), '.');
        TSummaryInfoClass(copy.TemporaryPath()).SetTitle(u"");
        *published = copy.Publish();
    }
    EXPECT_EQ(first, folder.path() / "a (cleaned).doc");
    EXPECT_EQ(second, folder.path() / "a (cleaned 2).doc");
    EXPECT_EQ(ReadWholeFile(original), before);
    TSummaryInfo info;
    ASSERT_TRUE(ReadSummaryInfo(second, info));
    EXPECT_EQ(info.Title, u"");
    EXPECT_EQ(info.Author, u"Alice Example");
    struct stat status {};
    ASSERT_EQ(::stat(second.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0444u);
    EXPECT_EQ(EntriesIn(folder.path()), 3u);
}

TEST(CleanedCopy, AnUnpublishedCopyLeavesNothingBehind) {
    ScopedTempDir folder;
    const fs::path original = folder.path() / "junk.doc";
    velmora::testing::WriteWholeFile(original, {'n', 'o', 't'});
    {
        CleanedCopy copy(original);
        EXPECT_THROW(TSummaryInfoClass{copy.TemporaryPath()}, storage::StorageError);
    }
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
    EXPECT_THROW(CleanedCopy(folder.path() / "missing.doc"), storage::StorageError);
    EXPECT_THROW(CleanedCopy{folder.path()}, storage::StorageError);  // a folder is no document
    ASSERT_EQ(::mkfifo((folder.path() / "pipe.doc").c_str(), 0600), 0);
    EXPECT_THROW(CleanedCopy(folder.path() / "pipe.doc"), storage::StorageError);  // refused, not waited on
    fs::remove(folder.path() / "pipe.doc");
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(CleanedCopy, NeverReplacesAFileOfTheName) {
    ScopedTempDir folder;
    const fs::path original = folder.path() / "a.doc";
    CopyWritable(TestDataPath("corpus/generated/lo-ascii.doc"), original);
    velmora::testing::WriteWholeFile(folder.path() / "a (cleaned).doc", {'m', 'i', 'n', 'e'});
    CleanedCopy copy(original);
    EXPECT_EQ(copy.Publish(), folder.path() / "a (cleaned 2).doc");
    EXPECT_EQ(ReadWholeFile(folder.path() / "a (cleaned).doc"), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
}

}  // namespace
}  // namespace velmora::engine
