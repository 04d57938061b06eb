#include "app/main_window.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QTest>
#include <QGlyphRun>
#include <QRawFont>
#include <QPainter>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include "app/document_dialogs.h"
#include "app/window_controls.h"
#include "engine/clean_run.h"
#include "engine/path_text.h"
#include "engine/summary_info_class.h"
#include "engine/summary_reader.h"
#include "framework/desktop_helpers.h"
#include "framework/framework_services.h"
#include "framework/orrin_dialogs.h"
#include "framework/shell_open.h"
#include "framework/velmora_application.h"
#include "storage/document_source.h"
#include "storage/storage_error.h"
#include "../framework/recording_presenter.h"
#include "support/test_paths.h"
#include "update/check_for_updates.h"

namespace velmora::app {
namespace {

namespace fs = std::filesystem;
using framework::testing::RecordingPresenter;
using velmora::testing::CopyWritable;
using velmora::testing::ReadWholeFile;
using velmora::testing::ScopedTempDir;
using velmora::testing::TestDataPath;

// The program maps its design fonts at start; so do the tests, before any window.
class DesignFonts : public ::testing::Environment {
public:
    void SetUp() override { framework::MapDesignFonts(); }
};
[[maybe_unused]] const auto* const kDesignFonts = ::testing::AddGlobalTestEnvironment(new DesignFonts);

// No window these tests show reaches for an update server; a test that looks
// at the start-up check puts its own recorder in place.
StartupUpdateCheck NoCheck() {
    return [](const QString&, double&, uint8_t) {};
}
ScopedStartupUpdateCheck noStartupCheck{NoCheck()};

QString Text(const fs::path& path) { return QString::fromStdU16String(engine::PathToText(path)); }

engine::TSummaryInfo Read(const fs::path& path) {
    engine::TSummaryInfo info;
    EXPECT_TRUE(engine::ReadSummaryInfo(path, info)) << path;
    return info;
}

// Processes events until `done` holds; the listing threads hand their results
// over through the event queue.
template <class Condition>
bool ProcessUntil(Condition done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 20'000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A listing hook that says it holds, then holds until released.
std::function<void()> HoldingHook(std::atomic<bool>& held, std::atomic<bool>& release) {
    return [&held, &release] {
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
}

// The desktop's close request (the title-bar button): spontaneous.
bool DesktopCloses(QWidget& window) {
    QCloseEvent request;
    QSpontaneKeyEvent::setSpontaneous(&request);
    QCoreApplication::instance()->notify(&window, &request);
    return request.isAccepted();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        // Active before a test looks at where the focus went: nothing else
        // need run the event loop in between any more.
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        fs::create_directories(folder() / "sub");
        CopyWritable(TestDataPath("corpus/generated/lo-ascii.doc"), folder() / "a.doc");
        CopyWritable(TestDataPath("corpus/generated/lo-ascii.xls"), folder() / "b.xls");
        CopyWritable(TestDataPath("corpus/odd/dsi-all-pids.doc"), folder() / "sub" / "c.doc");
    }

    fs::path folder() const { return temp.path() / "docs"; }
    int page() const { return window.PageControl1->currentIndex(); }

    void analyzeFolder(const fs::path& path, bool subfolders) {
        window.PageControl1->setCurrentIndex(1);
        window.rbAnalyzeSelectedFiles->click();
        window.txtAnalyzeSelectedFiles->setText(Text(path));
        window.chkAnalyzeIncludeSubFolders->setChecked(subfolders);
        window.btnAnalyze2->click();
    }

    void analyzeFile(const fs::path& path) {
        window.PageControl1->setCurrentIndex(1);
        window.rbAnalyzeFile->click();
        window.txtAnalyzeFile->setText(Text(path));
        window.btnAnalyze2->click();
    }

    // Starts a listing of the folder page's chosen folder that holds in its
    // search until `release`.
    void startHeldListing(std::atomic<bool>& held, std::atomic<bool>& release) {
        heldListingPicker.emplace([this](const QString&, const QString&) { return Text(folder()); });
        window.Listings().SetFolderHookForTesting(HoldingHook(held, release));
        window.PageControl1->setCurrentIndex(2);
        window.rbCleanSelectedDocsInFolder->click();
        window.btnCleanSelectedDocsInFolder->click();
        ASSERT_TRUE(ProcessUntil([&] { return held.load(); }));
    }

    void tickOnly(std::initializer_list<QCheckBox*> ticked) {
        window.lblSelectAllClick(window.lblSelectNone);
        for (QCheckBox* box : ticked) box->setChecked(true);
    }

    RecordingPresenter boxes;
    ScopedTempDir temp;
    std::optional<framework::ScopedFolderPicker> heldListingPicker;
    TfrmVelmoraMain window;
};

TEST_F(MainWindowTest, StartsOnTheFirstPageWithItsCaption) {
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(window.objectName(), "frmVelmoraMain");
    EXPECT_TRUE(window.windowTitle().startsWith("Velmora 3.00c (")) << window.windowTitle().toStdString();
    EXPECT_TRUE(window.windowTitle().contains(") - ")) << window.windowTitle().toStdString();
    EXPECT_TRUE(window.PathList().isEmpty());
    EXPECT_FALSE(window.lblAnalyzeInfo->isVisible());
    EXPECT_FALSE(window.lvCleanSelectedDocsInFolder->isVisible());
    EXPECT_EQ(window.lvMetadata->columnCount(), 22);
    EXPECT_EQ(window.PopupMenuResultsView->actions().size(), 21);
}

TEST_F(MainWindowTest, EveryNavigationButtonLeadsToItsPage) {
    struct Step {
        int from;
        QAbstractButton* button;
        int to;
    };
    const Step steps[] = {
        {0, window.btnAnalyze, 1}, {0, window.btnClean, 2}, {1, window.Button4, 0}, {2, window.Button3, 0},
        {3, window.Button2, 4},    {3, window.Button1, 0},  {4, window.Button5, 2}, {5, window.Button10, 0},
        {4, window.Button8, 5},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.button->objectName().toStdString());
        window.PageControl1->setCurrentIndex(step.from);
        step.button->click();
        EXPECT_EQ(page(), step.to);
    }
    EXPECT_TRUE(boxes.Requests().empty());
}

TEST_F(MainWindowTest, GoingBackClearsNothing) {
    analyzeFolder(folder(), true);
    ASSERT_EQ(window.PathList().size(), 3);
    window.txtAuthor->setText("Someone");
    window.Button1->click();
    window.btnAnalyze->click();
    EXPECT_EQ(window.txtAnalyzeSelectedFiles->text(), Text(folder()));
    EXPECT_TRUE(window.rbAnalyzeSelectedFiles->isChecked());
    EXPECT_EQ(window.lvMetadata->topLevelItemCount(), 3);
    EXPECT_EQ(window.PathList().size(), 3);
    EXPECT_EQ(window.txtAuthor->text(), "Someone");
}

TEST_F(MainWindowTest, InvalidInputIsToldInRedAndNothingElseChanges) {
    struct Case {
        const char* name;
        int page;
        QRadioButton* mode;
        QLineEdit* field;
        QString text;
        QAbstractButton* next;
        QLabel* info;
        QWidget* focus;
        const char* message;
    };
    const QString aFile = Text(folder() / "a.doc");
    const Case cases[] = {
        {"empty single file", 1, window.rbAnalyzeFile, window.txtAnalyzeFile, "", window.btnAnalyze2,
         window.lblAnalyzeInfo, window.txtAnalyzeFile, "Please select a valid file before proceeding"},
        {"a folder as the single file", 1, window.rbAnalyzeFile, window.txtAnalyzeFile, Text(folder()),
         window.btnAnalyze2, window.lblAnalyzeInfo, window.txtAnalyzeFile, "Please select a valid file before proceeding"},
        {"a file as the folder", 1, window.rbAnalyzeSelectedFiles, window.txtAnalyzeSelectedFiles, aFile,
         window.btnAnalyze2, window.lblAnalyzeInfo, window.txtAnalyzeSelectedFiles,
         "Please select a valid directory before proceeding"},
        {"a missing document to clean", 2, window.rbCleanSingleDoc, window.txtCleanSingleDoc,
         Text(folder() / "missing.doc"), window.btnClean2, window.lblCleanInfo, window.txtCleanSingleDoc,
         "Please select a valid file before proceeding"},
        {"a missing folder to clean", 2, window.rbCleanAllDocsInFolder, window.txtCleanAllDocsInFolder,
         Text(folder() / "nowhere"), window.btnClean2, window.lblCleanInfo, window.txtCleanAllDocsInFolder,
         "Please select a valid directory before proceeding"},
        {"an empty list to clean from", 2, window.rbCleanSelectedDocsInFolder, nullptr, "", window.btnClean2,
         window.lblCleanInfo, window.lvCleanSelectedDocsInFolder, "Please select at least a file before proceeding"},
    };
    analyzeFolder(folder(), false);
    const QStringList before = window.PathList();
    ASSERT_EQ(before.size(), 2);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        window.PageControl1->setCurrentIndex(test.page);
        test.mode->click();
        if (test.field) test.field->setText(test.text);
        test.next->click();
        EXPECT_EQ(page(), test.page);
        EXPECT_TRUE(test.info->isVisible());
        EXPECT_EQ(test.info->text(), test.message);
        EXPECT_EQ(QApplication::focusWidget(), test.focus);
        EXPECT_EQ(window.PathList(), before);
    }
    EXPECT_EQ(window.lvMetadata->topLevelItemCount(), 2);
    EXPECT_TRUE(boxes.Requests().empty());
}

TEST_F(MainWindowTest, FolderAnalysisFillsTheReportAndTwoRunsAccumulateRows) {
    analyzeFolder(folder(), true);
    EXPECT_EQ(page(), 3);
    ASSERT_EQ(window.lvMetadata->topLevelItemCount(), 3);
    EXPECT_EQ(window.PathList(), QStringList({Text(folder() / "a.doc"), Text(folder() / "b.xls"),
                                              Text(folder() / "sub" / "c.doc")}));
    const QTreeWidgetItem* first = window.lvMetadata->topLevelItem(0);
    EXPECT_EQ(first->text(0), "a.doc");
    EXPECT_EQ(first->text(1), "Quarterly Report Q3");
    EXPECT_EQ(first->text(3), "Example Widgets Ltd");
    EXPECT_EQ(first->text(21), "");  // no hyperlinks list
    EXPECT_EQ(window.lvMetadata->topLevelItem(2)->text(21), "Yes");
    EXPECT_EQ(window.lvMetadata->headerItem()->text(12), "Hidden Names");
    EXPECT_EQ(window.lvMetadata->topLevelItem(1)->text(12), "Calc");  // LibreOffice Calc signs its WriteAccess
    EXPECT_FALSE(window.pnlAnalysisLoading->isVisible());
    EXPECT_TRUE(window.Button2->isEnabled());
    EXPECT_FALSE(window.lblAnalysisStatus->isVisible());

    // Only Excel this time: the rows add up, the paths are the second run's.
    window.chkAnalyzeWordDocs->setChecked(false);
    window.chkAnalyzePowerpointDocs->setChecked(false);
    analyzeFolder(folder(), true);
    EXPECT_EQ(window.lvMetadata->topLevelItemCount(), 4);
    EXPECT_EQ(window.PathList(), QStringList({Text(folder() / "b.xls")}));
    window.Button2->click();
    EXPECT_EQ(window.lblSelectedExcelDocs->text(), "1");
    EXPECT_EQ(window.lblSelectedWordDocs->text(), "0");
}

TEST_F(MainWindowTest, UnreadableDocumentsAreCountedUnderTheReport) {
    std::ofstream(folder() / "broken.doc") << "not a compound file";
    analyzeFolder(folder(), false);
    EXPECT_EQ(window.lvMetadata->topLevelItemCount(), 2);
    EXPECT_TRUE(window.lblAnalysisStatus->isVisible());
    EXPECT_EQ(window.lblAnalysisStatus->text(), "1 document(s) could not be read.");

    analyzeFile(folder() / "broken.doc");
    EXPECT_EQ(page(), 3);
    EXPECT_TRUE(window.lblAnalysisStatus->text().startsWith("broken.doc could not be read: "))
        << window.lblAnalysisStatus->text().toStdString();
    EXPECT_TRUE(window.PathList().isEmpty());
}

TEST_F(MainWindowTest, ANameWithMarkupIsShownAsWritten) {
    const fs::path marked = folder() / "<b>bold & co.doc";
    fs::copy_file(folder() / "a.doc", marked);
    analyzeFile(marked);
    ASSERT_EQ(window.lvMetadata->topLevelItemCount(), 1);
    EXPECT_EQ(window.lvMetadata->topLevelItem(0)->text(0), "<b>bold & co.doc");
    {
        QTextDocument cell;  // a cut-short cell tells its whole text, as written
        cell.setHtml(window.lvMetadata->topLevelItem(0)->toolTip(0));
        EXPECT_EQ(cell.toPlainText(), "<b>bold & co.doc");
    }

    std::ofstream(folder() / "<i>x.doc") << "junk";
    window.txtAnalyzeFile->setText(Text(folder() / "<i>x.doc"));
    window.PageControl1->setCurrentIndex(1);
    window.btnAnalyze2->click();
    EXPECT_EQ(window.lblAnalysisStatus->textFormat(), Qt::PlainText);
    EXPECT_TRUE(window.lblAnalysisStatus->text().startsWith("<i>x.doc could not be read"));
    QTextDocument tip;  // the tooltip too shows the name as written
    tip.setHtml(window.lblAnalysisStatus->toolTip());
    EXPECT_EQ(tip.toPlainText(), window.lblAnalysisStatus->text());
}

TEST_F(MainWindowTest, CleaningFromTheReportInPlaceChangesTheDocuments) {
    analyzeFolder(folder(), true);
    window.Button2->click();
    EXPECT_EQ(window.lblSelectedWordDocs->text(), "2");
    EXPECT_EQ(window.lblSelectedExcelDocs->text(), "1");
    tickOnly({window.chkClearTitle, window.chkResetAuthor, window.chkResetTotalEditTime, window.chkResetCompany});
    window.txtAuthor->setText("Nobody");
    window.chkCleanOverwriteOriginal->setChecked(true);
    window.Button8->click();

    EXPECT_EQ(page(), 5);
    EXPECT_TRUE(boxes.Requests().empty());
    EXPECT_EQ(window.Label24->text(), "Cleaning of 3 document(s) completed");
    EXPECT_EQ(window.Label25->text(), "Cleaning completed!");
    EXPECT_EQ(window.ProgressBar1->value(), 3);
    EXPECT_TRUE(window.Button10->isEnabled());
    for (const fs::path& path : {folder() / "a.doc", folder() / "b.xls", folder() / "sub" / "c.doc"}) {
        SCOPED_TRACE(path.string());
        const engine::TSummaryInfo info = Read(path);
        EXPECT_EQ(info.Title, u"");
        EXPECT_EQ(info.Author, u"Nobody");
        EXPECT_EQ(info.Company, u"");
        // The reset editing time reads back as zero, not 109,205 days.
        EXPECT_TRUE(info.EditTime == 0.0 || info.EditTime == engine::kZeroEditTime) << info.EditTime;
    }
    EXPECT_FALSE(fs::exists(folder() / "a (cleaned).doc"));
}

TEST_F(MainWindowTest, WithoutOverwriteTheOriginalStaysAndACleanedCopyAppears) {
    const std::vector<uint8_t> original = ReadWholeFile(folder() / "a.doc");
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanSingleDoc->click();
    window.txtCleanSingleDoc->setText(Text(folder() / "a.doc"));
    window.btnClean2->click();
    ASSERT_EQ(page(), 4);
    tickOnly({window.chkClearTitle});
    ::chmod((folder() / "a.doc").c_str(), 0640);
    window.Button8->click();
    window.Button5->click();
    window.btnClean2->click();
    window.Button8->click();  // a second copy takes the next number

    EXPECT_TRUE(boxes.Requests().empty());
    EXPECT_EQ(ReadWholeFile(folder() / "a.doc"), original);
    for (const char* name : {"a (cleaned).doc", "a (cleaned 2).doc"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(folder() / name));
        EXPECT_EQ(Read(folder() / name).Title, u"");
        EXPECT_EQ(Read(folder() / name).Author, u"Alice Example");
        struct stat status {};
        ASSERT_EQ(::stat((folder() / name).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0640u);
    }
    // The copy this run made, by the name it got.
    EXPECT_EQ(window.Label25->text(),
              "Cleaning completed! The originals are unchanged. Cleaned copies, beside their originals: a (cleaned 2).doc.");
}

TEST_F(MainWindowTest, AFailureInTheMiddleStopsTheRunAndThePageSaysSo) {
    // A document open in LibreOffice cannot be cleaned; as another user than
    // root, a read-only one cannot either.
    if (::geteuid() == 0) {
        std::ofstream(folder() / ".~lock.b.xls#") << "Someone,someone,deskhost,10.12.2026 10:00,file:///;\n";
    } else {
        ::chmod((folder() / "b.xls").c_str(), 0444);
    }
    const std::vector<uint8_t> third = ReadWholeFile(folder() / "sub" / "c.doc");
    analyzeFolder(folder(), true);
    window.Button2->click();
    tickOnly({window.chkClearTitle});
    window.chkCleanOverwriteOriginal->setChecked(true);
    window.Button8->click();

    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(page(), 5);
    EXPECT_EQ(Read(folder() / "a.doc").Title, u"");
    EXPECT_EQ(ReadWholeFile(folder() / "sub" / "c.doc"), third);
    EXPECT_EQ(window.Label24->text(), "Cleaning of 1 document(s) completed");
    EXPECT_TRUE(window.Label25->text().startsWith("Cleaning stopped at b.xls: ")) << window.Label25->text().toStdString();
    EXPECT_TRUE(window.Button10->isEnabled());
    // Readable: three lines from the top, grey, the whole reason in the tip.
    const QString reason = boxes.Requests().front().text;
    QTextDocument tip;
    tip.setHtml(window.Label25->toolTip());
    EXPECT_TRUE(tip.toPlainText().endsWith(reason)) << tip.toPlainText().toStdString();
    EXPECT_GE(window.Label25->height(), 3 * window.Label25->fontMetrics().lineSpacing());
    EXPECT_EQ(window.Label25->alignment() & Qt::AlignVertical_Mask, Qt::AlignTop);
    EXPECT_EQ(window.Label25->palette().color(QPalette::WindowText), kDarkGrey);
}

// What every document the engine opens goes through: openings for writing
// and syncs per file; and, where asked, a failing write to one file.
class CountingOpener {
public:
    CountingOpener()
        : opener_([this](const fs::path& path, storage::AccessMode mode) {
              if (mode == storage::AccessMode::ReadWrite) ++writeOpenings[path.filename().string()];
              return std::unique_ptr<storage::WritableByteSource>(
                  std::make_unique<Counted>(storage::OpenFileDocument(path, mode), *this, path.filename().string()));
          }) {}
    std::map<std::string, int> writeOpenings, syncs;
    std::string failWritesTo;  // a file whose first write fails

private:
    class Counted : public storage::ForwardingByteSource {
    public:
        Counted(std::unique_ptr<storage::WritableByteSource> inner, CountingOpener& owner, std::string name)
            : ForwardingByteSource(std::move(inner)), owner_(owner), name_(std::move(name)) {}
        void writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
            if (name_ == owner_.failWritesTo)
                throw storage::StorageError(storage::StorageResult::WriteFault, storage::Refusal::IoError, "injected write failure");
            ForwardingByteSource::writeAt(offset, bytes);
        }
        void sync() override {
            ++owner_.syncs[name_];
            ForwardingByteSource::sync();
        }

    private:
        CountingOpener& owner_;
        std::string name_;
    };
    storage::ScopedDocumentSourceOpener opener_;
};

// The window cleans as velmora-cli does: per document one opening for
// writing and one transaction, no more syncs than the command-line clean of
// the same document takes.
TEST_F(MainWindowTest, TheRunCleansEachDocumentInOneTransaction) {
    const fs::path twin = temp.path() / "twin";
    fs::create_directories(twin);
    for (const char* name : {"a.doc", "b.xls"}) fs::copy_file(folder() / name, twin / name);
    analyzeFolder(folder(), false);
    window.Button2->click();
    window.lblSelectAllClick(window.lblSelectAll);
    window.chkCleanOverwriteOriginal->setChecked(true);
    std::map<std::string, int> windowOpenings, windowSyncs;
    {
        CountingOpener counting;
        window.Button8->click();
        windowOpenings = counting.writeOpenings;
        windowSyncs = counting.syncs;
    }
    EXPECT_EQ(window.Label24->text(), "Cleaning of 2 document(s) completed");
    EXPECT_TRUE(boxes.Requests().empty());
    CountingOpener cli;
    engine::CleanSettings settings = window.tickedCleanSettings();
    for (const char* name : {"a.doc", "b.xls"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(engine::CleanDocument(twin / name, settings, false).ok);
        EXPECT_EQ(windowOpenings[name], 1);
        EXPECT_GT(windowSyncs[name], 0);
        EXPECT_LE(windowSyncs[name], cli.syncs[name]);
        EXPECT_EQ(ReadWholeFile(folder() / name), ReadWholeFile(twin / name)) << "the window and the command line differ";
    }
}

// A field the document cannot take fails alone and is named, the others are
// applied, and the run stops there.
TEST_F(MainWindowTest, AFieldThePlanCannotApplyIsNamedAndTheOthersApplied) {
    const fs::path only = temp.path() / "cp1252";
    fs::create_directories(only);
    CopyWritable(TestDataPath("corpus/odd/si-cp1252-edge-values.doc"), only / "a.doc");
    analyzeFolder(only, false);
    window.Button2->click();
    tickOnly({window.chkClearTitle, window.chkResetAuthor});
    window.txtAuthor->setText(QString::fromUtf16(u"\u5c71\u7530\u592a\u90ce"));  // not in the set's code page
    window.chkCleanOverwriteOriginal->setChecked(true);
    window.Button8->click();
    EXPECT_EQ(window.Label24->text(), "Cleaning of 0 document(s) completed");
    EXPECT_TRUE(window.Label25->text().startsWith("Cleaning stopped at a.doc: Author not cleaned: "))
        << window.Label25->text().toStdString();
    EXPECT_EQ(Read(only / "a.doc").Title, u"");
}

// A write that fails inside the transaction leaves that document as it was.
TEST_F(MainWindowTest, AWriteFailureInsideTheTransactionLeavesTheDocumentAsItWas) {
    analyzeFolder(folder(), false);
    const std::vector<uint8_t> before = ReadWholeFile(folder() / "b.xls");
    window.Button2->click();
    window.lblSelectAllClick(window.lblSelectAll);
    window.chkCleanOverwriteOriginal->setChecked(true);
    CountingOpener failing;
    failing.failWritesTo = "b.xls";
    window.Button8->click();
    EXPECT_EQ(ReadWholeFile(folder() / "b.xls"), before);
    EXPECT_TRUE(window.Label25->text().startsWith("Cleaning stopped at b.xls: ")) << window.Label25->text().toStdString();
    EXPECT_EQ(Read(folder() / "a.doc").Title, u"");
}

TEST_F(MainWindowTest, AFailedCopyLeavesNoCleanedFile) {
    std::ofstream(folder() / "junk.doc") << "not a compound file";
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanSingleDoc->click();
    window.txtCleanSingleDoc->setText(Text(folder() / "junk.doc"));
    window.btnClean2->click();
    tickOnly({window.chkClearTitle});
    window.Button8->click();
    EXPECT_EQ(boxes.Requests().size(), 1u);
    for (const auto& entry : fs::directory_iterator(folder()))
        EXPECT_EQ(entry.path().filename().string().find("cleaned"), std::string::npos) << entry.path();
    for (const auto& entry : fs::directory_iterator(folder()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << "temporary file left: " << entry.path();
}

TEST_F(MainWindowTest, NoOptionTickedChangesNothingAndSaysSo) {
    const std::vector<uint8_t> before = ReadWholeFile(folder() / "a.doc");
    analyzeFolder(folder(), false);
    window.Button2->click();
    window.lblSelectAllClick(window.lblSelectAll);
    EXPECT_TRUE(window.chkRemoveRevisionLog->isChecked());
    window.lblSelectAllClick(window.lblSelectNone);
    window.Button8->click();
    EXPECT_EQ(window.Label25->text(), "No cleaning option was ticked; nothing was changed.");
    EXPECT_EQ(ReadWholeFile(folder() / "a.doc"), before);
}

TEST_F(MainWindowTest, RemoveHiddenRevisionLogTakesTheNamesOutOfCommentsAndChanges) {
    CopyWritable(TestDataPath("hidden-names/lo-comments.doc"), folder() / "comments.doc");
    analyzeFolder(folder(), false);
    window.Button2->click();
    window.lblSelectAllClick(window.lblSelectNone);
    window.chkRemoveRevisionLog->setChecked(true);
    window.chkCleanOverwriteOriginal->setChecked(true);
    window.Button8->click();
    EXPECT_EQ(window.Label25->text(), "Cleaning completed!");
    const std::vector<uint8_t> bytes = ReadWholeFile(folder() / "comments.doc");
    for (const char16_t* name : {u"Grace Hopper", u"Alan Turing"}) EXPECT_FALSE(velmora::testing::HoldsText(bytes, name));

    // Analysed again, what the clean wrote in their place does not look
    // like somebody's name.
    window.lvMetadata->clear();
    analyzeFile(folder() / "comments.doc");
    ASSERT_EQ(window.lvMetadata->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = window.lvMetadata->topLevelItem(0);
    const int hidden = 12;
    ASSERT_EQ(window.lvMetadata->headerItem()->text(hidden), "Hidden Names");
    EXPECT_FALSE(row->text(hidden).isEmpty());
    EXPECT_TRUE(row->font(hidden).italic());
    EXPECT_EQ(row->foreground(hidden).color(), kDarkGrey);
    QTextDocument tip;
    tip.setHtml(row->toolTip(hidden));
    EXPECT_EQ(tip.toPlainText(), "Placeholder written by a clean; no name");
}

TEST_F(MainWindowTest, CustomPropertiesAreShownAndTheirBoxRemovesThemWithTheManager) {
    fs::remove_all(folder());
    fs::create_directories(folder());
    CopyWritable(TestDataPath("corpus/odd/codepage-1200-lpwstr.doc"), folder() / "custom.doc");
    analyzeFolder(folder(), false);
    ASSERT_EQ(window.lvMetadata->topLevelItemCount(), 1);
    const int custom = 14;
    ASSERT_EQ(window.lvMetadata->headerItem()->text(custom), "Custom Properties");
    EXPECT_EQ(window.lvMetadata->topLevelItem(0)->text(custom),
              QString::fromUtf8("Projekt-Nr. = 4711; Kunde = M\u00fcller & S\u00f6hne"));

    window.Button2->click();
    window.lblSelectAllClick(window.lblSelectNone);
    window.chkRemoveCustomProperties->setChecked(true);
    window.chkCleanOverwriteOriginal->setChecked(true);
    window.Button8->click();
    EXPECT_EQ(window.Label25->text(), "Cleaning completed!");
    const std::vector<uint8_t> bytes = ReadWholeFile(folder() / "custom.doc");
    for (const char16_t* gone : {u"Kunde", u"M\u00fcller", u"Manager \u7d4c\u7406"})
        EXPECT_FALSE(velmora::testing::HoldsText(bytes, gone));

    window.lvMetadata->clear();
    analyzeFile(folder() / "custom.doc");
    ASSERT_EQ(window.lvMetadata->topLevelItemCount(), 1);
    EXPECT_EQ(window.lvMetadata->topLevelItem(0)->text(custom), "");
}

TEST_F(MainWindowTest, EmbeddedObjectsAreNamedWithWhatTheyKeepInTheirTooltip) {
    analyzeFile(TestDataPath("embedded/lo-workbook-in-word.doc"));
    ASSERT_EQ(window.lvMetadata->topLevelItemCount(), 1);
    const int embedded = 13;
    ASSERT_EQ(window.lvMetadata->headerItem()->text(embedded), "Embedded");
    const QTreeWidgetItem* row = window.lvMetadata->topLevelItem(0);
    EXPECT_EQ(row->text(embedded), "ObjectPool/_2147483647");
    QTextDocument tip;
    tip.setHtml(row->toolTip(embedded));
    EXPECT_TRUE(tip.toPlainText().startsWith(
        "ObjectPool/_2147483647: author Inner Author; last edited by Inner Editor; names Calc (not cleaned: "))
        << tip.toPlainText().toStdString();
}

TEST_F(MainWindowTest, AnEmbeddedObjectDoesNotStopTheRunAndThePageSaysWhatWasLeft) {
    fs::remove_all(folder());
    fs::create_directories(folder());
    CopyWritable(TestDataPath("embedded/lo-workbook-in-word.doc"), folder() / "embedded.doc");
    CopyWritable(TestDataPath("corpus/odd/codepage-1200-lpwstr.doc"), folder() / "plain.doc");
    analyzeFolder(folder(), false);
    window.Button2->click();
    window.lblSelectAllClick(window.lblSelectAll);
    window.chkCleanOverwriteOriginal->setChecked(false);
    window.Button8->click();
    const QString text = window.Label25->text();
    EXPECT_TRUE(text.startsWith("Cleaning completed! The originals are unchanged.")) << text.toStdString();
    EXPECT_TRUE(text.contains("embedded.doc: ObjectPool/_2147483647/Title")) << text.toStdString();
    for (const char* copy : {"embedded (cleaned).doc", "plain (cleaned).doc"}) EXPECT_TRUE(fs::exists(folder() / copy)) << copy;
}

TEST_F(MainWindowTest, FolderModeHonoursTheTypeBoxes) {
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanAllDocsInFolder->click();
    window.txtCleanAllDocsInFolder->setText(Text(folder()));
    window.chkCleanIncludeSubfolders->setChecked(true);
    window.chkCleanWordDocs->setChecked(false);
    window.btnClean2->click();
    EXPECT_EQ(page(), 4);
    EXPECT_EQ(window.PathList(), QStringList({Text(folder() / "b.xls")}));
    EXPECT_EQ(window.lblSelectedWordDocs->text(), "0");
    EXPECT_EQ(window.lblSelectedExcelDocs->text(), "1");
    EXPECT_TRUE(window.TabSheet4->isEnabled());
}

TEST_F(MainWindowTest, SelectedModeCollectsTheTicksOfTwoPickedFolders) {
    const fs::path second = temp.path() / "more";
    fs::create_directories(second);
    CopyWritable(TestDataPath("corpus/generated/lo-latin.xls"), second / "d.xls");
    std::vector<QString> answers = {Text(folder()), Text(second)};
    framework::ScopedFolderPicker picker([&](const QString&, const QString&) {
        QString next = answers.front();
        answers.erase(answers.begin());
        return next;
    });
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanSelectedDocsInFolder->click();
    EXPECT_TRUE(window.lvCleanSelectedDocsInFolder->isVisible());
    window.btnCleanSelectedDocsInFolder->click();
    ASSERT_TRUE(ProcessUntil([&] { return window.lvCleanSelectedDocsInFolder->topLevelItemCount() == 2; }));
    window.btnCleanSelectedDocsInFolder->click();
    ASSERT_TRUE(ProcessUntil([&] { return window.lvCleanSelectedDocsInFolder->topLevelItemCount() == 3; }));
    EXPECT_EQ(window.lblCleanSelectedDocsInFolder->text(), "Number of documents in selected folder: 1");
    EXPECT_TRUE(window.PathList().isEmpty());  // listings fill only the list

    QTreeWidget* list = window.lvCleanSelectedDocsInFolder;
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(list->topLevelItem(0)->text(1).isEmpty());  // the size
    list->topLevelItem(0)->setCheckState(0, Qt::Checked);
    list->topLevelItem(2)->setCheckState(0, Qt::Checked);
    window.btnClean2->click();
    EXPECT_EQ(page(), 4);
    EXPECT_EQ(window.PathList(), QStringList({Text(folder() / "a.doc"), Text(second / "d.xls")}));
    EXPECT_EQ(window.lblSelectedWordDocs->text(), "1");
    EXPECT_EQ(window.lblSelectedExcelDocs->text(), "1");
}

TEST_F(MainWindowTest, AListingHeldInItsSearchChangesNothingAfterNext) {
    std::atomic<bool> held{false}, release{false};
    window.Listings().SetFolderHookForTesting(HoldingHook(held, release));
    framework::ScopedFolderPicker picker([&](const QString&, const QString&) { return Text(folder()); });
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanSelectedDocsInFolder->click();
    // A first list, then a listing that stays in its search.
    window.Listings().SetFolderHookForTesting({});
    window.btnCleanSelectedDocsInFolder->click();
    ASSERT_TRUE(ProcessUntil([&] { return window.lvCleanSelectedDocsInFolder->topLevelItemCount() == 2; }));
    window.lvCleanSelectedDocsInFolder->topLevelItem(1)->setCheckState(0, Qt::Checked);
    window.Listings().SetFolderHookForTesting(HoldingHook(held, release));
    window.btnCleanSelectedDocsInFolder->click();
    ASSERT_TRUE(ProcessUntil([&] { return held.load(); }));

    window.btnClean2->click();
    release = true;
    const QStringList collected = window.PathList();
    EXPECT_EQ(collected, QStringList({Text(folder() / "b.xls")}));
    QTest::qWait(200);  // the listing ends and hands over, or would
    EXPECT_EQ(window.PathList(), collected);
    EXPECT_EQ(window.lvCleanSelectedDocsInFolder->topLevelItemCount(), 2);
    // The folder it was listing is no longer shown as chosen.
    EXPECT_EQ(window.txtCleanSelectedDocsInFolder->text(), "");
    EXPECT_EQ(window.lblCleanSelectedDocsInFolder->text(), "");
}

TEST_F(MainWindowTest, AListingHeldWhileTheWindowClosesChangesNothing) {
    std::atomic<bool> held{false}, release{false};
    startHeldListing(held, release);
    // Closing waits for the listing to end; it ends once the hook lets go.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release = true;
    });
    window.close();
    releaser.join();
    QTest::qWait(100);
    EXPECT_EQ(window.lvCleanSelectedDocsInFolder->topLevelItemCount(), 0);
    EXPECT_EQ(window.lblCleanSelectedDocsInFolder->text(), "");
}

TEST_F(MainWindowTest, TheWaitedListingOfTheFolderModeLocksThePageAndSurvivesAClose) {
    std::atomic<bool> held{false}, release{false};
    window.Listings().SetFolderHookForTesting(HoldingHook(held, release));
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanAllDocsInFolder->click();
    window.txtCleanAllDocsInFolder->setText(Text(folder()));
    bool pageLockedMeanwhile = false;
    std::thread releaser;
    QTimer::singleShot(0, &window, [&] {
        ASSERT_TRUE(ProcessUntil([&] { return held.load(); }));
        pageLockedMeanwhile = !window.TabSheet4->isEnabled();
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            release = true;
        });
        window.close();  // the program's own close, while "Next" waits
    });
    window.btnClean2->click();
    releaser.join();
    EXPECT_TRUE(pageLockedMeanwhile);
    EXPECT_TRUE(window.TabSheet4->isEnabled());
    EXPECT_TRUE(boxes.Requests().empty()) << "the wait ended in an error";
}

TEST_F(MainWindowTest, TheReportSavesItsVisibleColumnsAsCsv) {
    analyzeFolder(folder(), false);
    const fs::path target = temp.path() / "report.csv";
    QString suggested;
    ScopedReportFileAsker asker([&](const QString& path) {
        suggested = path;
        return Text(target);
    });
    // Hide "Author" through the menu, as a user would.
    for (QAction* action : window.PopupMenuResultsView->actions()) {
        if (action->text() == "Author") action->setChecked(false);
    }
    window.SaveListToFile();
    EXPECT_TRUE(suggested.endsWith("/Velmora report.csv")) << suggested.toStdString();
    const std::vector<uint8_t> bytes = ReadWholeFile(target);
    const std::string csv(bytes.begin(), bytes.end());
    EXPECT_EQ(csv.rfind("File Name,Title,Company,Keywords,", 0), 0u) << csv;
    EXPECT_NE(csv.find("\r\na.doc,Quarterly Report Q3,Example Widgets Ltd,"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("Alice Example"), std::string::npos);
    // Where it went is said under the report.
    EXPECT_TRUE(window.lblAnalysisStatus->isVisible());
    EXPECT_EQ(window.lblAnalysisStatus->text(), "The list was saved to " + Text(target) + ".");
}

// At the smallest size the window allows, every page's way on and back is
// in sight, not scrolled away.
TEST_F(MainWindowTest, NavigationButtonsShowAtTheMinimumSize) {
    window.resize(window.minimumSize());
    QTest::qWait(10);
    for (int index = 0; index < window.PageControl1->count(); ++index) {
        window.PageControl1->setCurrentIndex(index);
        for (QPushButton* button : window.PageControl1->currentWidget()->findChildren<QPushButton*>()) {
            if (button->isHidden()) continue;
            SCOPED_TRACE(button->objectName().toStdString());
            const QRect inWindow(button->mapTo(&window, QPoint(0, 0)), button->size());
            EXPECT_TRUE(window.PageControl1->geometry().contains(window.PageControl1->mapFrom(&window, inWindow.topLeft())) &&
                        QRect(window.PageControl1->mapTo(&window, QPoint(0, 0)), window.PageControl1->size()).contains(inWindow))
                << "page " << index;
        }
    }
}

double Luminance(const QColor& colour) {
    auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The text colours read at 4.5:1 or better on the window's white.
TEST(WindowColours, TextHasEnoughContrastOnWhite) {
    for (const QColor& text : {kErrorRed, kDarkGrey, kHotLight}) {
        SCOPED_TRACE(text.name().toStdString());
        EXPECT_GE(Contrast(text, Qt::white), 4.5);
    }
}

// So does the header's explanation on the lightest of the band behind it.
TEST_F(MainWindowTest, TheHeadersExplanationHasEnoughContrastOnItsStripes) {
    QImage band(window.TwHeader1->size(), QImage::Format_RGB32);
    {
        QPainter painter(&band);
        window.TwHeader1->PaintBand(painter, band.size());
    }
    const QRect behind = window.TwHtmlLabel1->geometry();
    QColor lightest = Qt::black;
    for (int y = behind.top(); y <= behind.bottom() && y < band.height(); ++y)
        for (int x = behind.left(); x <= behind.right() && x < band.width(); ++x)
            if (Luminance(band.pixelColor(x, y)) > Luminance(lightest)) lightest = band.pixelColor(x, y);
    const tw::TColor bgr = window.TwHtmlLabel1->Font().Color;
    const QColor text(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF));
    EXPECT_GE(Contrast(text, lightest), 4.5) << text.name().toStdString() << " on " << lightest.name().toStdString();
}

// Keyboard alone: Enter presses the focused button, and the link labels take
// the focus and act on Enter and Space.
TEST_F(MainWindowTest, TheKeyboardReachesEveryButtonAndLink) {
    window.btnAnalyze->setFocus();
    QTest::keyClick(window.btnAnalyze, Qt::Key_Return);
    EXPECT_EQ(page(), 1);
    window.Button4->setFocus();
    QTest::keyClick(window.Button4, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(page(), 0);

    window.PageControl1->setCurrentIndex(4);
    for (QWidget* link : {static_cast<QWidget*>(window.lblSelectAll), static_cast<QWidget*>(window.lblSelectNone),
                          static_cast<QWidget*>(window.Label26), static_cast<QWidget*>(window.Image4)})
        EXPECT_EQ(link->focusPolicy() & Qt::TabFocus, Qt::TabFocus) << link->objectName().toStdString();
    window.lblSelectAll->setFocus();
    QTest::keyClick(window.lblSelectAll, Qt::Key_Space);
    EXPECT_TRUE(window.chkClearTitle->isChecked());
    window.lblSelectNone->setFocus();
    QTest::keyClick(window.lblSelectNone, Qt::Key_Return);
    EXPECT_FALSE(window.chkClearTitle->isChecked());

    QStringList opened;
    framework::ScopedShellOpenHandler shell([&](const QString& what) {
        opened << what;
        return true;
    });
    window.Image4->setFocus();
    QTest::keyClick(window.Image4, Qt::Key_Return);
    EXPECT_EQ(opened.size(), 1);
}

// With their field empty, pickers open in the Documents folder, not at "/";
// a cancelled folder picker leaves the field as it was.
TEST_F(MainWindowTest, PickersOpenInTheDocumentsFolder) {
    // A home of our own, with its Documents folder.
    const QByteArray home = qgetenv("HOME");
    const QByteArray userDirs = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(temp.path().string()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((temp.path() / "config").string()));
    struct Restore {
        QByteArray home, userDirs;
        ~Restore() {
            qputenv("HOME", home);
            if (userDirs.isNull()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", userDirs);
        }
    } restore{home, userDirs};
    fs::create_directories(temp.path() / "Documents");
    const QString documents = framework::GetDocumentsFolder();
    ASSERT_EQ(documents, Text(temp.path() / "Documents"));
    QStringList startedAt;
    framework::ScopedFolderPicker picker([&](const QString&, const QString& start) {
        startedAt << start;
        return QString();
    });
    window.PageControl1->setCurrentIndex(1);
    window.rbAnalyzeSelectedFiles->click();
    window.btnAnalyzeSelectedFiles->click();
    window.txtAnalyzeSelectedFiles->setText(Text(folder()));
    window.btnAnalyzeSelectedFiles->click();
    EXPECT_EQ(startedAt, QStringList({documents, Text(folder())}));
    EXPECT_EQ(window.txtAnalyzeSelectedFiles->text(), Text(folder()));
}

// A title in Japanese, Chinese or Korean is drawn with real glyphs, not
// empty boxes: every glyph the report's font lays out for it exists.
TEST_F(MainWindowTest, ATitleInAnEastAsianScriptHasEveryGlyph) {
    engine::TSummaryInfo info;
    info.Title = u"\u5c71\u7530\u306e\u5831\u544a\u66f8 \u30ab\u30bf\u30ab\u30ca \u4e2d\u6587\u62a5\u544a \ud55c\uad6d\uc5b4";
    window.AddReportRow("cjk.doc", info, false);
    const QTreeWidgetItem* row = window.lvMetadata->topLevelItem(window.lvMetadata->topLevelItemCount() - 1);
    const QString title = row->text(1);
    ASSERT_EQ(title.toStdU16String(), info.Title);
    QTextLayout layout(title, window.lvMetadata->font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    int glyphs = 0;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (quint32 glyph : run.glyphIndexes()) {
            ++glyphs;
            EXPECT_NE(glyph, 0u) << "a missing glyph in " << run.rawFont().familyName().toStdString();
        }
    }
    EXPECT_GE(glyphs, title.size() - 2);
}

// The bold captions are drawn bold: more ink per pixel of text than the
// same caption in the regular face.
TEST_F(MainWindowTest, BoldCaptionsAreDrawnBold) {
    auto inkPerColumn = [](QLabel* label) {
        label->adjustSize();
        const QImage image = label->grab().toImage();
        double ink = 0;
        int columns = 0;
        for (int x = 0; x < image.width(); ++x) {
            bool any = false;
            for (int y = 0; y < image.height(); ++y) {
                const int darkness = 255 - qGray(image.pixel(x, y));
                ink += darkness;
                any = any || darkness > 64;
            }
            columns += any;
        }
        return columns ? ink / columns : 0.0;
    };
    for (const char* name : {"Label13", "Label4"}) {
        SCOPED_TRACE(name);
        auto* caption = window.findChild<QLabel*>(name);
        ASSERT_NE(caption, nullptr);
        ASSERT_TRUE(caption->font().bold());
        QLabel regular(caption->text());
        QFont font = caption->font();
        font.setBold(false);
        regular.setFont(font);
        QPalette white = regular.palette();
        white.setColor(QPalette::Window, Qt::white);
        white.setColor(QPalette::WindowText, Qt::black);
        regular.setPalette(white);
        regular.setAutoFillBackground(true);
        QLabel bold(caption->text());
        bold.setFont(caption->font());
        bold.setPalette(white);
        bold.setAutoFillBackground(true);
        EXPECT_GT(inkPerColumn(&bold), 1.2 * inkPerColumn(&regular));
    }
}

// A screen reader finds a name for every control a user can reach, and the
// report's cells with their column names.
TEST_F(MainWindowTest, ScreenReadersFindANameForEveryControl) {
    analyzeFolder(folder(), false);
    QList<QWidget*> controls;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool interactive = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QAbstractItemView*>(widget) || qobject_cast<QProgressBar*>(widget) ||
                                 (qobject_cast<QLabel*>(widget) && (widget->focusPolicy() & Qt::TabFocus ||
                                                                    !static_cast<QLabel*>(widget)->pixmap().isNull()));
        if (interactive && !widget->objectName().isEmpty() && widget->parentWidget() &&
            !qobject_cast<QAbstractItemView*>(widget->parentWidget()->parentWidget()))
            controls << widget;
    }
    ASSERT_GT(controls.size(), 40);
    for (QWidget* control : controls) {
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(reader, nullptr) << control->objectName().toStdString();
        EXPECT_FALSE(reader->text(QAccessible::Name).trimmed().isEmpty()) << control->objectName().toStdString();
    }
    QTest::qWait(20);  // the view lays its rows out
    QAccessibleInterface* report = QAccessible::queryAccessibleInterface(window.lvMetadata);
    ASSERT_NE(report->tableInterface(), nullptr);
    QAccessibleInterface* cell = report->tableInterface()->cellAt(0, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "Quarterly Report Q3");
    ASSERT_FALSE(cell->tableCellInterface()->columnHeaderCells().isEmpty());
    EXPECT_EQ(cell->tableCellInterface()->columnHeaderCells().front()->text(QAccessible::Name), "Title");
}

TEST_F(MainWindowTest, ValidationLabelsStayInsideTheirPagesAtTheMinimumSize) {
    window.resize(window.minimumSize().expandedTo(QSize(750, 560)) - QSize(0, 40));
    window.resize(750, 520);
    QTest::qWait(10);
    for (QLabel* label : {window.lblAnalyzeInfo, window.lblCleanInfo}) {
        SCOPED_TRACE(label->objectName().toStdString());
        const QWidget* page = label->parentWidget();
        EXPECT_TRUE(page->rect().contains(label->geometry())) << label->geometry().y() << " in " << page->height();
        EXPECT_TRUE(label->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
}

TEST_F(MainWindowTest, RadioButtonsRunTheirRuleFromTheKeyboardToo) {
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanSingleDoc->setFocus();
    window.rbCleanSelectedDocsInFolder->setChecked(true);  // as the arrow keys do: no click
    EXPECT_TRUE(window.lvCleanSelectedDocsInFolder->isVisible());
    EXPECT_FALSE(window.txtCleanSingleDoc->isEnabled());
    window.rbAnalyzeMyDocuments->setChecked(true);
    EXPECT_FALSE(window.txtAnalyzeFile->isEnabled());
    EXPECT_TRUE(window.chkAnalyzeIncludeSubFolders->isEnabled());
}

TEST_F(MainWindowTest, SectionCaptionsAreBoldAndTitlesLarge) {
    for (const char* name : {"XDividerLabel1", "XDividerLabel2", "Label4", "Label13"}) {
        const auto* label = window.findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_TRUE(QFontInfo(label->font()).bold()) << name;
        EXPECT_EQ(label->font().pixelSize(), 12) << name;
    }
    EXPECT_EQ(window.findChild<QLabel*>("Label5")->font().pixelSize(), 24);
    EXPECT_EQ(window.font().pixelSize(), 11);
}

TEST_F(MainWindowTest, TheHeaderBandCarriesItsPicturesAndTheMakersLogoOpensItsPage) {
    ASSERT_NE(window.TwHeader1, nullptr);
    EXPECT_EQ(window.TwHeader1->geometry(), QRect(0, 0, window.width(), 73));
    EXPECT_EQ(window.TwHeader1->BackgroundStyle(), tw::hbsStripes2);
    EXPECT_EQ(window.findChild<QLabel*>("Image5")->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(window.findChild<QLabel*>("ingLogo")->width(), 225);
    // The explanation keeps its width and fits the band.
    EXPECT_EQ(window.TwHtmlLabel1->width(), 585);
    EXPECT_LE(window.TwHtmlLabel1->geometry().bottom(), 73);

    QStringList opened;
    framework::ScopedShellOpenHandler shell([&](const QString& what) {
        opened << what;
        return true;
    });
    QTest::mouseClick(window.Image4, Qt::LeftButton);
    EXPECT_EQ(opened, QStringList({"https://www.ternwick.example/"}));

    const int logoRight = window.width() - window.Image4->geometry().right();
    window.resize(window.width() + 100, window.height());
    EXPECT_EQ(window.width() - window.Image4->geometry().right(), logoRight);  // moves with the right edge
    EXPECT_EQ(window.findChild<QLabel*>("Image5")->x(), 16);
    EXPECT_EQ(window.TwHtmlLabel1->width(), 585);
}

// Runs `action` once, on the GUI thread, when the engine opens `name` for
// writing: in the middle of a cleaning run.
class WhileCleaning {
public:
    WhileCleaning(std::string name, std::function<void()> action)
        : opener_([this, name = std::move(name), action = std::move(action)](const fs::path& path, storage::AccessMode mode) {
              if (mode == storage::AccessMode::ReadWrite && path.filename().string().find(name) != std::string::npos && !ran_) {
                  ran_ = true;
                  action();
              }
              return storage::OpenFileDocument(path, mode);
          }) {}

private:
    bool ran_ = false;
    storage::ScopedDocumentSourceOpener opener_;
};

void StartCleaningTheFolder(TfrmVelmoraMain& window, const fs::path& folder, bool inPlace) {
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanAllDocsInFolder->click();
    window.txtCleanAllDocsInFolder->setText(Text(folder));
    window.chkCleanIncludeSubfolders->setChecked(true);
    window.chkCleanOverwriteOriginal->setChecked(inPlace);
    window.btnClean2->click();
    window.lblSelectAllClick(window.lblSelectNone);
    window.chkClearTitle->setChecked(true);
    window.Button8->click();
}

// Clicks and keys that reach the window during a run are dropped, not
// replayed once it ends: a double click on "&Next >" would otherwise land
// its second click on "Main Menu" of the completion page.
TEST_F(MainWindowTest, InputDuringARunIsDroppedNotReplayed) {
    QStringList opened;
    framework::ScopedShellOpenHandler shell([&](const QString& what) {
        opened << what;
        return true;
    });
    auto click = [](QWidget* target) {
        const QPoint centre = target->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(target, new QMouseEvent(type, centre, target->mapToGlobal(centre), Qt::LeftButton,
                                                                Qt::LeftButton, Qt::NoModifier));
    };
    WhileCleaning meanwhile("a.doc", [&] {
        click(window.Button10);
        click(window.Image4);  // the maker's logo, a link that stays enabled
        QCoreApplication::postEvent(window.Button10, new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " "));
        QCoreApplication::postEvent(window.Button10, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " "));
    });
    StartCleaningTheFolder(window, folder(), true);
    QCoreApplication::processEvents();
    EXPECT_EQ(page(), 5);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(window.Label24->text(), "Cleaning of 3 document(s) completed");
    EXPECT_TRUE(boxes.Requests().empty());
    // Input after the run acts again.
    QTest::mouseClick(window.Image4, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 1);
}

// The desktop's close request during a run asks; "Yes" stops the run after
// the document in hand, keeps the window, and the page says what was done,
// copies made included.
TEST_F(MainWindowTest, ACloseDuringARunAsksAndStopsAfterTheCurrentDocument) {
    RecordingPresenter answersYes(framework::ButtonResult(framework::MessageButton::Yes));
    const std::vector<uint8_t> untouched = ReadWholeFile(folder() / "b.xls");
    bool closed = true;
    WhileCleaning meanwhile("a.doc", [&] { closed = DesktopCloses(window); });
    StartCleaningTheFolder(window, folder(), false);
    EXPECT_FALSE(closed);
    ASSERT_EQ(answersYes.Requests().size(), 1u);
    EXPECT_EQ(answersYes.Requests().front().text, "Stop cleaning after the current document?");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Label24->text(), "Cleaning of 1 document(s) completed");
    EXPECT_EQ(window.Label25->text(),
              "Cleaning stopped at your request: 1 of 3 document(s) cleaned; the others were not changed. Cleaned copies, "
              "beside their originals: a (cleaned).doc.");
    EXPECT_EQ(ReadWholeFile(folder() / "b.xls"), untouched);
    EXPECT_FALSE(fs::exists(folder() / "b (cleaned).xls"));
}

TEST_F(MainWindowTest, TheCleaningPageOpensWithAModeAndARunOfNothingIsNotCalledComplete) {
    window.btnClean->click();
    EXPECT_TRUE(window.rbCleanSingleDoc->isChecked());
    EXPECT_TRUE(window.txtCleanSingleDoc->isEnabled());
    EXPECT_FALSE(window.txtCleanAllDocsInFolder->isEnabled());
    EXPECT_EQ(window.lblCleanSelectedDocsInFolder->text(), "");

    // Selected mode with nothing ticked.
    framework::ScopedFolderPicker picker([&](const QString&, const QString&) { return Text(folder()); });
    window.rbCleanSelectedDocsInFolder->click();
    window.btnCleanSelectedDocsInFolder->click();
    ASSERT_TRUE(ProcessUntil([&] { return window.lvCleanSelectedDocsInFolder->topLevelItemCount() == 2; }));
    EXPECT_EQ(window.lblCleanSelectedDocsInFolder->text(), "Number of documents in selected folder: 2");
    window.btnClean2->click();
    window.lblSelectAllClick(window.lblSelectAll);
    window.Button8->click();
    EXPECT_EQ(window.Label25->text(), "No documents were selected for cleaning.");
    EXPECT_FALSE(window.Label24->text().contains("completed")) << window.Label24->text().toStdString();
}

// Where writing starts, the page says whether originals are overwritten.
TEST_F(MainWindowTest, TheSettingsPageSaysWhetherOriginalsAreOverwritten) {
    const struct {
        bool overwrite;
        const char* line;
    } cases[] = {{true, "Originals will be overwritten."}, {false, "Cleaned copies will be saved beside the originals."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        window.PageControl1->setCurrentIndex(2);
        window.rbCleanSingleDoc->click();
        window.txtCleanSingleDoc->setText(Text(folder() / "a.doc"));
        window.chkCleanOverwriteOriginal->setChecked(c.overwrite);
        window.btnClean2->click();
        ASSERT_EQ(page(), 4);
        EXPECT_EQ(window.lblCleanMode->text(), c.line);
        EXPECT_TRUE(window.lblCleanMode->isVisible());
    }
}

// A folder nested so deep under `base` that its path exceeds PATH_MAX: not
// even root opens it by path. Returns the first level, for RemoveDeep.
std::string MakeTooDeepFolder(const fs::path& base) {
    const std::string level(200, 'd');
    int folder = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int depth = 0; depth < 24 && folder >= 0; ++depth) {
        ::mkdirat(folder, level.c_str(), 0755);
        const int next = ::openat(folder, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    if (folder >= 0) ::close(folder);
    return level;
}

// Removes what MakeTooDeepFolder made, through descriptors.
void RemoveDeep(int parent, const std::string& name) {
    const int folder = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        if (DIR* listing = ::fdopendir(folder)) {
            std::vector<std::string> children;
            while (const dirent* entry = ::readdir(listing))
                if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") children.emplace_back(entry->d_name);
            for (const std::string& child : children) RemoveDeep(::dirfd(listing), child);
            ::closedir(listing);
        } else {
            ::close(folder);
        }
    }
    ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

// Every document the scan could not read, or read in part, and every folder
// it could not list is named with its reason; so is a folder the cleaning
// selection could not list, and that run is not called complete.
TEST_F(MainWindowTest, WhatCouldNotBeReadIsNamedWithItsReason) {
    std::ofstream(folder() / "broken.doc") << "not a compound file";
    CopyWritable(TestDataPath("window/damaged-template.doc"), folder() / "damaged.doc");
    const std::string deep = MakeTooDeepFolder(folder());
    struct Cleanup {
        fs::path base;
        std::string name;
        ~Cleanup() {
            const int folder = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            RemoveDeep(folder, name);
            ::close(folder);
        }
    } cleanup{folder(), deep};

    analyzeFolder(folder(), true);
    EXPECT_EQ(window.lblAnalysisStatus->text(), "1 document(s) could not be read. 1 folder(s) could not be listed.");
    QTextDocument tip;
    tip.setHtml(window.lblAnalysisStatus->toolTip());
    const QString details = tip.toPlainText();
    EXPECT_TRUE(details.contains(Text(folder() / "broken.doc") + ": ")) << details.toStdString();
    EXPECT_TRUE(details.contains(": The folder could not be listed")) << details.toStdString();
    const QTreeWidgetItem* damaged = nullptr;
    for (int i = 0; i < window.lvMetadata->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = window.lvMetadata->topLevelItem(i);
        if (row->text(0) == "damaged.doc") damaged = row;
        else EXPECT_TRUE(row->icon(0).isNull()) << row->text(0).toStdString();
    }
    ASSERT_NE(damaged, nullptr);
    EXPECT_FALSE(damaged->icon(0).isNull());
    tip.setHtml(damaged->toolTip(0));
    EXPECT_TRUE(tip.toPlainText().startsWith("damaged.doc\nRead in part: ")) << tip.toPlainText().toStdString();

    // The cleaning selection lists the same folder.
    window.PageControl1->setCurrentIndex(2);
    window.rbCleanAllDocsInFolder->click();
    window.txtCleanAllDocsInFolder->setText(Text(folder()));
    window.chkCleanIncludeSubfolders->setChecked(true);
    window.chkCleanOverwriteOriginal->setChecked(true);
    window.chkCleanWordDocs->setChecked(false);  // b.xls alone: the broken one would stop the run
    window.btnClean2->click();
    window.lblSelectAllClick(window.lblSelectNone);
    window.chkClearTitle->setChecked(true);
    window.Button8->click();
    EXPECT_EQ(window.Label24->text(), "Cleaning of 1 document(s) completed");
    tip.setHtml(window.Label25->toolTip());
    EXPECT_FALSE(tip.toPlainText().contains("Cleaning completed!")) << tip.toPlainText().toStdString();
    EXPECT_TRUE(tip.toPlainText().contains("1 folder(s) could not be listed: " + Text(folder()))) << tip.toPlainText().toStdString();
}

// A place the hidden-name walks could not read is marked in the Hidden
// Names cell, its reason in the cell's tooltip.
TEST_F(MainWindowTest, AHiddenNameWarningReachesTheCell) {
    CopyWritable(TestDataPath("window/bad-writeaccess.xls"), folder() / "bad.xls");
    analyzeFile(folder() / "bad.xls");
    ASSERT_EQ(window.lvMetadata->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = window.lvMetadata->topLevelItem(0);
    EXPECT_FALSE(row->icon(12).isNull());
    QTextDocument tip;
    tip.setHtml(row->toolTip(12));
    EXPECT_TRUE(tip.toPlainText().contains("Workbook: not cleaned: malformed WriteAccess")) << tip.toPlainText().toStdString();
}

TEST_F(MainWindowTest, AnAnalysisThatFindsNothingSaysSo) {
    const fs::path empty = temp.path() / "empty";
    fs::create_directories(empty);
    analyzeFolder(empty, true);
    EXPECT_EQ(window.lblAnalysisStatus->text(), "No documents were found in " + Text(empty) + ".");
    EXPECT_TRUE(window.lblAnalysisStatus->isVisible());
}

TEST(CountPath, CountsBySubstringCaseSensitively) {
    struct Case {
        const char* path;
        int word, excel, powerpoint;
    };
    const Case cases[] = {{"/old.docs/sheet.xls", 1, 1, 0}, {"/A.DOC", 0, 0, 0}, {"/a.ppt", 0, 0, 1}, {"/x/y", 0, 0, 0}};
    for (const Case& test : cases) {
        int32_t word = 0, excel = 0, powerpoint = 0;
        CountPath(test.path, word, excel, powerpoint);
        EXPECT_EQ(std::tie(word, excel, powerpoint), std::tie(test.word, test.excel, test.powerpoint)) << test.path;
    }
}

}  // namespace
}  // namespace velmora::app

namespace velmora::app {
namespace {


struct StartupCall {
    QString address;
    uint8_t frequency = 255;
    qint64 afterShowMs = -1;
};

class StartupCheckTest : public MainWindowTest {
protected:
    void SetUp() override {
        shown.start();
        MainWindowTest::SetUp();
    }
    QElapsedTimer shown;
    std::vector<StartupCall> calls;
    ScopedStartupUpdateCheck recorder{[this](const QString& address, double&, uint8_t frequency) {
        calls.push_back({address, frequency, shown.elapsed()});
    }};
};

TEST_F(StartupCheckTest, ChecksOnceHalfASecondAfterTheWindowShowsWithTheBuiltInAddress) {
    EXPECT_EQ(update::UpdateURL(), update::BuiltInUpdateURL());
    QTest::qWait(1500);
    window.hide();
    window.show();
    QTest::qWait(700);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].address.isEmpty());  // the address the window set stays
    EXPECT_EQ(calls[0].frequency, 0);
    EXPECT_GE(calls[0].afterShowMs, 450);
}

TEST_F(StartupCheckTest, WaitsWhileAListingSearches) {
    std::atomic<bool> held{false}, release{false};
    startHeldListing(held, release);
    QTest::qWait(1200);
    EXPECT_TRUE(calls.empty());
    release = true;
    ASSERT_TRUE(ProcessUntil([&] { return calls.size() == 1; }));
    QTest::qWait(600);
    EXPECT_EQ(calls.size(), 1u);
}

class RealStartupCheckTest : public MainWindowTest {
protected:
    // An address in ".invalid" fails at once, without a lookup: the check
    // shows "No updates available at this time." for a second.
    ScopedStartupUpdateCheck offline{[](const QString&, double& lastCheck, uint8_t frequency) {
        update::ScheduledUpdateCheck(QStringLiteral("https://updates.velmora.invalid/x.asp"), lastCheck, frequency);
    }};
};

TEST_F(RealStartupCheckTest, KeepsTheWindowOpenAndDisabledUntilItEnds) {
    bool refused = false, disabled = false;
    QString bottom;
    QTimer probe;
    probe.setInterval(50);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!update::UpdateCheckRunning() || refused) return;
        disabled = !window.isEnabled();
        refused = !DesktopCloses(window);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* label = top->findChild<QLabel*>("lblBottom"); label && top->isVisible()) bottom = label->text();
        }
    });
    probe.start();
    ASSERT_TRUE(ProcessUntil([&] { return refused; }));
    ASSERT_TRUE(ProcessUntil([&] { return !update::UpdateCheckRunning(); }));
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(bottom, "No updates available at this time.");
    EXPECT_TRUE(DesktopCloses(window));
}

}  // namespace
}  // namespace velmora::app
