// The analysis driver: single documents, and folder scans on their own thread.
#include "engine/analysis_driver.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "engine/path_text.h"
#include "engine/summary_reader.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;

struct Delivery {
    std::u16string name;
    std::u16string folder;
    TSummaryInfo info;
    int32_t size;
    std::thread::id thread;
};

// A corpus document that names a company, and one that does not.
struct CompanySamples {
    fs::path withCompany;
    fs::path withoutCompany;
};

CompanySamples FindCompanySamples() {
    CompanySamples samples;
    for (const auto& path : testing::CorpusDocuments()) {
        TSummaryInfo info;
        if (!ReadSummaryInfo(path, info)) continue;
        fs::path& slot = info.Company.empty() ? samples.withoutCompany : samples.withCompany;
        if (slot.empty()) slot = path;
    }
    return samples;
}

class FolderScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        samples_ = FindCompanySamples();
        ASSERT_FALSE(samples_.withCompany.empty());
        ASSERT_FALSE(samples_.withoutCompany.empty());
        testing::CopyWritable(samples_.withCompany, root() / "1.doc");
        testing::CopyWritable(samples_.withoutCompany, root() / "2.doc");
        testing::WriteWholeFile(root() / "2b.doc", {'n', 'o', 't', ' ', 'O', 'L', 'E'});
        fs::create_directories(root() / "sub");
        testing::CopyWritable(samples_.withCompany, root() / "sub" / "3.xls");
    }

    const fs::path& root() const { return folder_.path(); }

    TAnalyzeCallback Recorder() {
        return [this](const std::u16string& name, const std::u16string& folder, TSummaryInfo info, int32_t size) {
            deliveries_.push_back({name, folder, std::move(info), size, std::this_thread::get_id()});
        };
    }

    CompanySamples samples_;
    std::vector<Delivery> deliveries_;

private:
    testing::ScopedTempDir folder_;
};

TEST_F(FolderScanTest, DeliversReadableDocumentsInListOrderWithFreshRecords) {
    int waits = 0;
    std::exception_ptr error;
    auto waiter = [&](CompletionSignal& ended) {
        ++waits;
        WaitBlocking(ended);
    };
    size_t unreadable = 99;
    ASSERT_TRUE(AnalyzeFolder(root(), kAllDocumentTypes, true, Recorder(), waiter, &error, &unreadable));
    EXPECT_EQ(waits, 1);
    EXPECT_FALSE(error);
    EXPECT_EQ(unreadable, 1u);  // 2b.doc, which the window reports as not read

    // 2b.doc comes between 2.doc and the sub-folder, and is skipped as unreadable.
    ASSERT_EQ(deliveries_.size(), 3u);
    const fs::path expected[] = {root() / "1.doc", root() / "2.doc", root() / "sub" / "3.xls"};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(TextToPath(deliveries_[i].folder + deliveries_[i].name), expected[i]);
        EXPECT_EQ(deliveries_[i].folder.back(), u'/');
        EXPECT_EQ(deliveries_[i].size, static_cast<int32_t>(fs::file_size(expected[i])));
        EXPECT_NE(deliveries_[i].thread, std::this_thread::get_id());  // the scan thread calls back
    }
    EXPECT_FALSE(deliveries_[0].info.Company.empty());
    EXPECT_TRUE(deliveries_[1].info.Company.empty()) << "a value carried over from the previous document";
    EXPECT_FALSE(deliveries_[2].info.Company.empty());
}

TEST_F(FolderScanTest, ACallbackErrorEndsTheScanAndIsReported) {
    std::exception_ptr error;
    int calls = 0;
    auto failing = [&](const std::u16string&, const std::u16string&, TSummaryInfo, int32_t) {
        if (++calls == 2) throw std::runtime_error("the report is full");
    };
    EXPECT_TRUE(AnalyzeFolder(root(), kAllDocumentTypes, true, failing, WaitBlocking, &error));
    EXPECT_EQ(calls, 2);  // the third document is not delivered
    ASSERT_TRUE(error);
    try {
        std::rethrow_exception(error);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "the report is full");
    }
}

TEST_F(FolderScanTest, RefusesWithoutStartingAThread) {
    int waits = 0;
    auto waiter = [&](CompletionSignal& ended) {
        ++waits;
        WaitBlocking(ended);
    };
    EXPECT_FALSE(AnalyzeFolder(root(), 0, true, Recorder(), waiter));
    EXPECT_FALSE(AnalyzeFolder(root() / "missing", kAllDocumentTypes, true, Recorder(), waiter));
    EXPECT_FALSE(AnalyzeFolder(root() / "1.doc", kAllDocumentTypes, true, Recorder(), waiter));
    EXPECT_EQ(waits, 0);
    EXPECT_TRUE(deliveries_.empty());
    // An unset callback still scans.
    EXPECT_TRUE(AnalyzeFolder(root(), dtWord, false, {}));
}

TEST_F(FolderScanTest, WithoutSubfoldersStaysInTheFolder) {
    ASSERT_TRUE(AnalyzeFolder(root(), dtExcel, false, Recorder()));
    EXPECT_TRUE(deliveries_.empty());
    ASSERT_TRUE(AnalyzeFolder(root(), dtExcel, true, Recorder()));
    ASSERT_EQ(deliveries_.size(), 1u);
    EXPECT_EQ(deliveries_[0].name, u"3.xls");
}

TEST_F(FolderScanTest, AnalyzeFileDeliversOnTheCallingThreadOrRefuses) {
    struct Case {
        const char* name;
        fs::path path;
        bool expected;
    };
    const Case cases[] = {
        {"document", root() / "1.doc", true},
        {"not a compound file", root() / "2b.doc", false},
        {"missing", root() / "gone.doc", false},
        {"folder", root() / "sub", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        deliveries_.clear();
        EXPECT_EQ(AnalyzeFile(c.path, Recorder()), c.expected);
        ASSERT_EQ(deliveries_.size(), c.expected ? 1u : 0u);
        if (c.expected) {
            EXPECT_EQ(deliveries_[0].thread, std::this_thread::get_id());
            EXPECT_EQ(deliveries_[0].folder, PathToText(root().native() + "/"));
        }
    }
    EXPECT_TRUE(AnalyzeFile(root() / "1.doc", {}));
}

TEST_F(FolderScanTest, AnalyzeFilePassesCallbackErrorsOn) {
    auto failing = [](const std::u16string&, const std::u16string&, TSummaryInfo, int32_t) { throw std::logic_error("stop"); };
    EXPECT_THROW(AnalyzeFile(root() / "1.doc", failing), std::logic_error);
}

TEST_F(FolderScanTest, ADocumentOverFourGigabytesCarriesItsLowSizeBits) {
    // Space beyond the last sector does not bother the reader; sparse, so it costs nothing.
    const fs::path big = root() / "1.doc";
    const int64_t size = (int64_t{1} << 32) + 4096;
    int descriptor = ::open(big.c_str(), O_WRONLY);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::ftruncate(descriptor, size), 0);
    ::close(descriptor);
    ASSERT_TRUE(AnalyzeFile(big, Recorder()));
    ASSERT_EQ(deliveries_.size(), 1u);
    EXPECT_EQ(deliveries_[0].size, 4096);
}

TEST(CompletionSignal, WakesWaitersAndRunsTheNotificationOnce) {
    CompletionSignal signal;
    int notified = 0;
    signal.SetNotification([&] { ++notified; });
    EXPECT_FALSE(signal.IsSignalled());
    std::thread worker([&] { signal.Signal(); });
    signal.Wait();
    worker.join();
    signal.Signal();
    EXPECT_TRUE(signal.IsSignalled());
    EXPECT_EQ(notified, 1);
    // Set after the signal: runs at once.
    signal.SetNotification([&] { ++notified; });
    EXPECT_EQ(notified, 2);
}

}  // namespace
}  // namespace velmora::engine
