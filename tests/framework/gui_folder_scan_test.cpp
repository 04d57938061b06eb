// A folder scan for a window: deliveries on the GUI thread while it waits
// with messages, in order, and errors carried back to the scan.
#include "framework/gui_folder_scan.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <stdexcept>

#include "engine/document_search.h"
#include "engine/path_text.h"
#include "support/test_paths.h"

namespace velmora::framework {
namespace {

namespace fs = std::filesystem;

class GuiFolderScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path source = testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls");
        for (const char* name : {"a.doc", "b.doc", "c.xls", "d.ppt", "e.doc"}) testing::CopyWritable(source, root() / name);
        testing::WriteWholeFile(root() / "broken.doc", {'n', 'o'});
    }
    const fs::path& root() const { return folder_.path(); }

private:
    testing::ScopedTempDir folder_;
};

TEST_F(GuiFolderScanTest, DeliversOnTheGuiThreadInOrderWhileEventsKeepFlowing) {
    std::vector<std::u16string> names;
    bool allOnGuiThread = true;
    int timerTicks = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++timerTicks; });
    ticker.start();

    std::exception_ptr error;
    auto record = [&](const std::u16string& name, const std::u16string&, engine::TSummaryInfo info, int32_t) {
        allOnGuiThread = allOnGuiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        EXPECT_EQ(info.Author, u"John Machin");
        names.push_back(name);
    };
    ASSERT_TRUE(AnalyzeFolderForWindow(root(), engine::kAllDocumentTypes, false, record, &error));
    ticker.stop();

    EXPECT_FALSE(error);
    EXPECT_TRUE(allOnGuiThread);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a.doc", u"b.doc", u"c.xls", u"d.ppt", u"e.doc"}));
    EXPECT_GT(timerTicks, 0) << "the GUI thread did not dispatch events while it waited";
}

TEST_F(GuiFolderScanTest, AnErrorInTheWindowsCallbackEndsTheScanAndComesBack) {
    std::vector<std::u16string> names;
    std::exception_ptr error;
    auto failing = [&](const std::u16string& name, const std::u16string&, engine::TSummaryInfo, int32_t) {
        names.push_back(name);
        if (names.size() == 2) throw std::runtime_error("Out of report rows");
    };
    ASSERT_TRUE(AnalyzeFolderForWindow(root(), engine::kAllDocumentTypes, false, failing, &error));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a.doc", u"b.doc"}));
    ASSERT_TRUE(error);
    try {
        std::rethrow_exception(error);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Out of report rows");
    }
}

TEST_F(GuiFolderScanTest, PreparationRunsOnTheScanThreadJustBeforeEachDelivery) {
    const QThread* gui = QCoreApplication::instance()->thread();
    std::vector<std::u16string> prepared, delivered;
    bool preparedOffGui = true, matched = true;
    auto prepare = [&](const std::u16string& name, const std::u16string&, const engine::TSummaryInfo&) {
        preparedOffGui = preparedOffGui && QThread::currentThread() != gui;
        prepared.push_back(name);
    };
    auto record = [&](const std::u16string& name, const std::u16string&, engine::TSummaryInfo, int32_t) {
        matched = matched && !prepared.empty() && prepared.back() == name;
        delivered.push_back(name);
    };
    ASSERT_TRUE(AnalyzeFolderForWindow(root(), engine::kAllDocumentTypes, false, record, nullptr, nullptr, prepare));
    EXPECT_TRUE(preparedOffGui);
    EXPECT_TRUE(matched);
    EXPECT_EQ(prepared, delivered);
    EXPECT_EQ(delivered.size(), 5u);
}

TEST_F(GuiFolderScanTest, RefusesAMissingFolderOrNoTypesWithoutWaiting) {
    EXPECT_FALSE(AnalyzeFolderForWindow(root() / "missing", engine::kAllDocumentTypes, true, {}));
    EXPECT_FALSE(AnalyzeFolderForWindow(root(), 0, true, {}));
}

}  // namespace
}  // namespace velmora::framework
