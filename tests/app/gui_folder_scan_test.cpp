// A folder scan for a window: each document read on the scan thread while it
// is open, its row shown on the GUI thread while that waits with messages,
// in order, and errors carried back to the scan.
#include "app/gui_folder_scan.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "engine/document_search.h"
#include "engine/path_text.h"
#include "support/test_paths.h"

namespace velmora::app {
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

// What the window does: reads more of each document on the scan thread, and
// shows the row on the GUI thread.
struct Recorder {
    const QThread* gui = QCoreApplication::instance()->thread();
    std::vector<std::u16string> read, shown;
    bool readOffGui = true, shownOnGui = true;
    size_t failAt = 0;  // the row whose showing fails; 0: none
    // Each document read only once the GUI thread has shown the one before.
    bool inStep = false;
    std::atomic<size_t> shownCount = 0;

    // Set: the first document is read only once the GUI thread has run that
    // many events meanwhile.
    const std::atomic<int>* eventsRun = nullptr;

    TReadDocument reader() {
        return [this](engine::DocumentSession& document, const std::u16string& name, const std::u16string&,
                      engine::TSummaryInfo info, int32_t) -> std::function<void()> {
            readOffGui = readOffGui && QThread::currentThread() != gui;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (eventsRun && read.empty() && *eventsRun == 0 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            while (inStep && shownCount < read.size() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_TRUE(document.hiddenNames().names.size() > 0);  // the document is still open
            read.push_back(name);
            return [this, name, author = info.Author] {
                shownOnGui = shownOnGui && QThread::currentThread() == gui;
                EXPECT_EQ(author, u"John Machin");
                shown.push_back(name);
                ++shownCount;
                if (shown.size() == failAt) throw std::runtime_error("Out of report rows");
            };
        };
    }
};

TEST_F(GuiFolderScanTest, ReadsOnTheScanThreadShowsOnTheGuiThreadInOrderWhileEventsKeepFlowing) {
    std::atomic<int> timerTicks = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++timerTicks; });
    ticker.start();

    Recorder recorder;
    recorder.eventsRun = &timerTicks;
    std::exception_ptr error;
    size_t unreadable = 0;
    ASSERT_TRUE(AnalyzeFolderForWindow(root(), engine::kAllDocumentTypes, false, recorder.reader(), &error, &unreadable));
    ticker.stop();

    EXPECT_FALSE(error);
    EXPECT_EQ(unreadable, 1u);
    EXPECT_TRUE(recorder.readOffGui);
    EXPECT_TRUE(recorder.shownOnGui);
    const std::vector<std::u16string> all{u"a.doc", u"b.doc", u"c.xls", u"d.ppt", u"e.doc"};
    EXPECT_EQ(recorder.read, all);
    EXPECT_EQ(recorder.shown, all) << "every row is shown by the time the scan returns";
    EXPECT_GT(timerTicks, 0) << "the GUI thread did not dispatch events while it waited";
}

TEST_F(GuiFolderScanTest, AnErrorInTheWindowsRowEndsTheScanAndComesBack) {
    Recorder recorder;
    recorder.failAt = 2;
    recorder.inStep = true;
    std::exception_ptr error;
    ASSERT_TRUE(AnalyzeFolderForWindow(root(), engine::kAllDocumentTypes, false, recorder.reader(), &error));
    EXPECT_EQ(recorder.shown, (std::vector<std::u16string>{u"a.doc", u"b.doc"})) << "no row is shown after the failure";
    EXPECT_LT(recorder.read.size(), 5u) << "the scan went on after the failure";
    ASSERT_TRUE(error);
    try {
        std::rethrow_exception(error);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Out of report rows");
    }
}

TEST_F(GuiFolderScanTest, RefusesAMissingFolderOrNoTypesWithoutWaiting) {
    EXPECT_FALSE(AnalyzeFolderForWindow(root() / "missing", engine::kAllDocumentTypes, true, {}));
    EXPECT_FALSE(AnalyzeFolderForWindow(root(), 0, true, {}));
}

}  // namespace
}  // namespace velmora::app
