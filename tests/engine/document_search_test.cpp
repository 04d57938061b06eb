// The document search against real folder trees built by each test.
#include "engine/document_search.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "engine/analysis_driver.h"
#include "engine/path_text.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

void Touch(const fs::path& path) { testing::WriteWholeFile(path, {'x'}); }

// root/
//   .doc  .h.doc  B.doc  a.doc  b.DOC  c.docx  d.xls  e.ppt  x.Doc  notes.txt
//   pipe.doc (a FIFO)   link.doc -> a.doc
//   .hidden/g.doc       (a hidden folder: never entered)
//   again -> sub        (a second road to sub)
//   sub/f.doc   sub/loop -> root (a cycle)
//   z/deep/h.ppt
class DocumentSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {".doc", ".h.doc", "B.doc", "a.doc", "b.DOC", "c.docx", "d.xls", "e.ppt", "x.Doc", "notes.txt"})
            Touch(root() / name);
        ASSERT_EQ(::mkfifo((root() / "pipe.doc").c_str(), 0600), 0);
        fs::create_symlink(root() / "a.doc", root() / "link.doc");
        fs::create_directories(root() / ".hidden");
        Touch(root() / ".hidden" / "g.doc");
        fs::create_directories(root() / "sub");
        Touch(root() / "sub" / "f.doc");
        fs::create_directory_symlink(root(), root() / "sub" / "loop");
        fs::create_directory_symlink(root() / "sub", root() / "again");
        fs::create_directories(root() / "z" / "deep");
        Touch(root() / "z" / "deep" / "h.ppt");
    }

    const fs::path& root() const { return folder_.path(); }

    Paths Find(bool includeSubfolders, TDocumentTypes types, const fs::path& start = {}) const {
        Paths found;
        FindDocuments(start.empty() ? root() : start, includeSubfolders, types, found);
        return found;
    }

    Paths Under(std::initializer_list<const char*> names) const {
        Paths paths;
        for (const char* name : names) paths.push_back(root() / name);
        return paths;
    }

private:
    testing::ScopedTempDir folder_;
};

TEST_F(DocumentSearchTest, TakesExactExtensionsOfRegularFilesInByteOrder) {
    struct Case {
        TDocumentTypes types;
        std::initializer_list<const char*> expected;
    };
    // Upper case sorts first; hidden files are documents like any other;
    // b.DOC, x.Doc and c.docx do not match; the FIFO and the link are not files.
    const Case cases[] = {
        {dtWord, {".doc", ".h.doc", "B.doc", "a.doc"}},
        {dtExcel, {"d.xls"}},
        {dtPowerPoint, {"e.ppt"}},
        {kAllDocumentTypes, {".doc", ".h.doc", "B.doc", "a.doc", "d.xls", "e.ppt"}},
        {0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.types});
        EXPECT_EQ(Find(false, c.types), Under(c.expected));
    }
}

TEST_F(DocumentSearchTest, DescendsDepthFirstOnceIntoEachFolder) {
    // "again" leads to sub first, so sub's document is found under that name
    // and sub itself, already searched, adds nothing; the loop back to the
    // root ends there too. The hidden folder is not entered.
    EXPECT_EQ(Find(true, dtWord | dtPowerPoint),
              Under({".doc", ".h.doc", "B.doc", "a.doc", "e.ppt", "again/f.doc", "z/deep/h.ppt"}));
}

TEST_F(DocumentSearchTest, GivesTheSameAnswerEveryTimeWithOrWithoutATrailingSlash) {
    const Paths first = Find(true, kAllDocumentTypes);
    EXPECT_EQ(Find(true, kAllDocumentTypes), first);
    EXPECT_EQ(Find(true, kAllDocumentTypes, root().native() + "/"), first);
}

TEST_F(DocumentSearchTest, OnlyAppendsToTheList) {
    Paths list = {"/kept/first.doc", "/kept/first.doc"};
    FindDocuments(root() / "z", true, kAllDocumentTypes, list);
    EXPECT_EQ(list, (Paths{"/kept/first.doc", "/kept/first.doc", root() / "z/deep/h.ppt"}));
}

TEST_F(DocumentSearchTest, ReportsProgressAfterEachFolder) {
    std::vector<std::pair<size_t, size_t>> steps;
    SearchReport report;
    report.progress = [&](size_t folders, size_t found) { steps.emplace_back(folders, found); };
    Paths list = {"/kept.doc"};
    FindDocuments(root(), true, dtWord | dtPowerPoint, list, &report);
    // root, again (= sub), z, z/deep; the list's length includes what it held.
    EXPECT_EQ(steps, (std::vector<std::pair<size_t, size_t>>{{1, 6}, {2, 7}, {3, 7}, {4, 8}}));
}

// Asked before every folder: a stop after the second one keeps what those
// two gave and enters no other.
TEST_F(DocumentSearchTest, StopsBetweenFoldersWhenAsked) {
    SearchReport report;
    size_t asked = 0;
    std::vector<std::pair<size_t, size_t>> steps;
    report.progress = [&](size_t folders, size_t found) { steps.emplace_back(folders, found); };
    report.stopRequested = [&] { return ++asked > 2; };
    Paths list = {"/kept.doc"};
    FindDocuments(root(), true, dtWord | dtPowerPoint, list, &report);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(steps, (std::vector<std::pair<size_t, size_t>>{{1, 6}, {2, 7}}));
    EXPECT_EQ(list.size(), 7u);

    SearchReport never;
    never.stopRequested = [] { return false; };
    Paths all;
    FindDocuments(root(), true, dtWord | dtPowerPoint, all, &never);
    EXPECT_FALSE(never.cancelled);
    EXPECT_EQ(all.size(), 7u);
}

TEST_F(DocumentSearchTest, AMissingFolderContributesNothing) {
    Paths list;
    SearchReport report;
    FindDocuments(root() / "missing", true, kAllDocumentTypes, list, &report);
    FindDocuments(root() / "a.doc", true, kAllDocumentTypes, list, &report);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(report.unlistable, (Paths{root() / "missing", root() / "a.doc"}));
}

TEST(DocumentSearch, AFolderThatCannotBeListedContributesNothing) {
    const int result = testing::RunUnprivileged([] {
        char pattern[] = "/tmp/velmora-search-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return 10;
        const fs::path top = pattern;
        fs::create_directories(top / "closed");
        fs::create_directories(top / "open");
        Touch(top / "closed" / "hidden-away.doc");
        Touch(top / "open" / "seen.doc");
        fs::permissions(top / "closed", fs::perms::none);
        Paths list;
        SearchReport report;
        FindDocuments(top, true, kAllDocumentTypes, list, &report);
        fs::permissions(top / "closed", fs::perms::owner_all);
        fs::remove_all(top);
        if (list != Paths{top / "open" / "seen.doc"}) return 11;
        if (report.unlistable != Paths{top / "closed"}) return 12;
        return 0;
    });
    if (result == testing::kCannotDropPrivileges) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(result, 0);
}

TEST(DocumentSearch, ANameThatIsNotUtf8IsFoundAnalysedAndKeptThroughText) {
    testing::ScopedTempDir folder;
    const fs::path odd = folder.path() / "caf\xE9 report.doc";
    testing::CopyWritable(testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls"), odd);
    Paths found;
    FindDocuments(folder.path(), false, dtWord, found);
    ASSERT_EQ(found, Paths{odd});

    std::u16string deliveredPath;
    ASSERT_TRUE(AnalyzeFile(found[0], [&](const std::u16string& name, const std::u16string& folderText, TSummaryInfo info, int32_t) {
        EXPECT_EQ(name, u"caf\xDCE9 report.doc");
        EXPECT_EQ(info.Author, u"John Machin");
        deliveredPath = folderText + name;
    }));
    EXPECT_EQ(TextToPath(deliveredPath), odd);
    EXPECT_TRUE(AnalyzeFile(TextToPath(deliveredPath), {}));
}

TEST(FileSizeOf, GivesSixtyFourBitSizesAndZeroForNothing) {
    testing::ScopedTempDir folder;
    const fs::path big = folder.path() / "big.doc";
    {
        int descriptor = ::open(big.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(::ftruncate(descriptor, int64_t{5} << 30), 0);  // sparse: no real space used
        ::close(descriptor);
    }
    EXPECT_EQ(FileSizeOf(big), int64_t{5} << 30);
    EXPECT_EQ(FileSizeOf(folder.path() / "missing.doc"), 0);
    EXPECT_EQ(FileSizeOf(folder.path()), 0);
    EXPECT_EQ(LowSizeBits(int64_t{5} << 30), 1 << 30);
    EXPECT_EQ(LowSizeBits((int64_t{1} << 32) + 7), 7);
    EXPECT_EQ(LowSizeBits(0xFFFFFFFFLL), -1);
}

}  // namespace
}  // namespace velmora::engine
