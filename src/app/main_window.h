#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStringList>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>

#include "app/folder_listing.h"
#include "engine/clean_run.h"
#include "components/focus_helper.h"
#include "components/tw/html_label.h"
#include "components/tw/tw_header.h"
#include "framework/framework_timer.h"
#include "framework/scoped_replacement.h"
#include "engine/document_search.h"
#include "engine/summary_info.h"

namespace velmora::app {

// What a report row tells beyond the record's cells.
struct ReportRowNotes {
    QString damage;             // the document was read in part: the damage met
    QString hyperlinksProblem;  // the hyperlinks check failed: why ("?" in its cell)
    // The hidden names that have the form of a clean's placeholders, and the
    // places the hidden-name walks could not read.
    QStringList placeholders;
    QStringList hiddenNameWarnings;
    // The user-defined properties no other box takes care of, "name = value"
    // joined by "; ", for their column.
    QString customProperties;
    // The objects embedded in the document, joined by ", ", for their
    // column, and a line each about what they keep, for its tooltip.
    QString embedded;
    QStringList embeddedDetails;
};

// What the window's start-up timer runs once: the scheduled update check.
// Tests replace it, so that no window they show reaches for a server.
using StartupUpdateCheck = std::function<void(const QString& address, double& lastCheck, uint8_t frequency)>;
// Replaces it; an empty one restores the real check. Returns the one in place.
StartupUpdateCheck SetStartupUpdateCheck(StartupUpdateCheck check);
using ScopedStartupUpdateCheck = framework::ScopedReplacement<StartupUpdateCheck, &SetStartupUpdateCheck>;

// The program's one window: a wizard of pages that analyses documents into a
// report and cleans them. Control names are the object names, so tests and
// screenshots can find every control.
class TfrmVelmoraMain : public QWidget {
public:
    TfrmVelmoraMain();
    ~TfrmVelmoraMain() override;

    // The documents the analysis or the cleaning selection chose, as path text
    // in the engine's byte mapping; what "&Clean Files" and the run use.
    const QStringList& PathList() const { return PathList_; }
    int32_t SelectedWordDocs = 0;
    int32_t SelectedExcelDocs = 0;
    int32_t SelectedPowerpointDocs = 0;

    // Where the folder listings run; tests hold a listing with its hook.
    FolderListing& Listings() { return listings_; }

    // The caption: "Velmora <version> (<build date>) - <notice>"; without the
    // date part when the build date cannot be read.
    static QString CaptionText();

    // Navigation and page handlers, named after their buttons.
    void btnAnalyzeClick();
    void btnCleanClick();
    void btnAnalyze2Click();
    void Button4Click();
    void btnClean2Click();
    void Button3Click();
    void Button2Click();
    void Button1Click();
    void Button8Click();
    void Button5Click();
    void rbAnalyzeFileClick();
    void btnAnalyzeFileClick();
    void btnAnalyzeSelectedFilesClick();
    void rbCleanSingleDocClick();
    void btnCleanSingleDocClick();
    void btnCleanAllDocsInFolderClick(QToolButton* clicked);
    void lblSelectAllClick(QLabel* clicked);
    // What the ticked boxes and the author and company texts ask the run to do.
    engine::CleanSettings tickedCleanSettings() const;
    void SaveListToFile();

    // One report row for an analysed document.
    void AddReportRow(const QString& fileName, const engine::TSummaryInfo& info, bool holdsHyperlinks,
                      const QString& hiddenNames = QString(), const ReportRowNotes& notes = {});
    // Applies the ticked operations to every document of `paths`; the
    // completion page tells how it went.
    void CleanDocuments(const QStringList& paths);

    // Controls (object names as designed).
    tw::TTwHeader* TwHeader1 = nullptr;
    components::TFocusHelper* FocusHelper1 = nullptr;
    tw::TTwHtmlLabel* TwHtmlLabel1 = nullptr;
    QLabel* Image4 = nullptr;
    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet5 = nullptr;
    QWidget* TabSheet6 = nullptr;
    QWidget* TabSheet7 = nullptr;

    QPushButton* btnAnalyze = nullptr;
    QPushButton* btnClean = nullptr;

    QCheckBox* chkAnalyzeWordDocs = nullptr;
    QCheckBox* chkAnalyzeExcelDocs = nullptr;
    QCheckBox* chkAnalyzePowerpointDocs = nullptr;
    QRadioButton* rbAnalyzeFile = nullptr;
    QLineEdit* txtAnalyzeFile = nullptr;
    QToolButton* btnAnalyzeFile = nullptr;
    QRadioButton* rbAnalyzeMyDocuments = nullptr;
    QRadioButton* rbAnalyzeSelectedFiles = nullptr;
    QLineEdit* txtAnalyzeSelectedFiles = nullptr;
    QToolButton* btnAnalyzeSelectedFiles = nullptr;
    QCheckBox* chkAnalyzeIncludeSubFolders = nullptr;
    QLabel* lblAnalyzeInfo = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* btnAnalyze2 = nullptr;

    QCheckBox* chkCleanWordDocs = nullptr;
    QCheckBox* chkCleanExcelDocs = nullptr;
    QCheckBox* chkCleanPowerpointDocs = nullptr;
    QRadioButton* rbCleanSingleDoc = nullptr;
    QLineEdit* txtCleanSingleDoc = nullptr;
    QToolButton* btnCleanSingleDoc = nullptr;
    QRadioButton* rbCleanAllDocsInFolder = nullptr;
    QLineEdit* txtCleanAllDocsInFolder = nullptr;
    QToolButton* btnCleanAllDocsInFolder = nullptr;
    QRadioButton* rbCleanSelectedDocsInFolder = nullptr;
    QLineEdit* txtCleanSelectedDocsInFolder = nullptr;
    QToolButton* btnCleanSelectedDocsInFolder = nullptr;
    QTreeWidget* lvCleanSelectedDocsInFolder = nullptr;
    QCheckBox* chkCleanIncludeSubfolders = nullptr;
    QCheckBox* chkCleanOverwriteOriginal = nullptr;
    QLabel* lblCleanSelectedDocsInFolder = nullptr;
    QLabel* lblCleanInfo = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* btnClean2 = nullptr;

    QTreeWidget* lvMetadata = nullptr;
    QLabel* lblAnalysisStatus = nullptr;
    QFrame* pnlAnalysisLoading = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLabel* Label26 = nullptr;
    QMenu* PopupMenuResultsView = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button1 = nullptr;

    QScrollArea* ScrollBox1 = nullptr;
    QLabel* lblSelectAll = nullptr;
    QLabel* lblSelectNone = nullptr;
    QCheckBox* chkClearTitle = nullptr;
    QCheckBox* chkClearSubject = nullptr;
    QCheckBox* chkClearKeywords = nullptr;
    QCheckBox* chkClearComments = nullptr;
    QCheckBox* chkResetTemplate = nullptr;
    QCheckBox* chkResetRevisionCount = nullptr;
    QCheckBox* chkResetTotalEditTime = nullptr;
    QCheckBox* chkRemoveRevisionLog = nullptr;
    QCheckBox* chkRemoveCustomProperties = nullptr;
    QCheckBox* chkRemoveGUID = nullptr;
    QCheckBox* chkRemoveHyperlinks = nullptr;
    QCheckBox* chkClearLastEditedBy = nullptr;
    QCheckBox* chkClearLastSavedDate = nullptr;
    QCheckBox* chkClearLastPrintedDate = nullptr;
    QCheckBox* chkClearCreationDate = nullptr;
    QCheckBox* chkResetAuthor = nullptr;
    QCheckBox* chkResetCompany = nullptr;
    QLineEdit* txtAuthor = nullptr;
    QLineEdit* txtCompany = nullptr;
    QLabel* lblSelectedWordDocs = nullptr;
    QLabel* lblSelectedExcelDocs = nullptr;
    QLabel* lblSelectedPowerpointDocs = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button8 = nullptr;

    QLabel* Label24 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label25 = nullptr;
    QPushButton* Button10 = nullptr;
    // Under the settings page's title: whether the run overwrites.
    QLabel* lblCleanMode = nullptr;

    // Once, 500 ms after the window first shows, and later while busy.
    framework::TTimer* TimerCheckForUpdates = nullptr;
    void TimerCheckForUpdatesTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildFrame();
    void buildHeader(class AnchorLayout& layout);
    void buildStartPage();
    void buildAnalysisOptionsPage();
    void buildResultsPage();
    void buildCleanSelectionPage();
    void buildCleanSettingsPage();
    void buildCompletionPage();
    void buildUnusedPage();
    void connectHandlers();
    void nameForScreenReaders();

    void DocumentAnalyzed(const std::u16string& fileName, const std::u16string& filePath, engine::TSummaryInfo info,
                          bool holdsHyperlinks, const std::u16string& hiddenNames, const ReportRowNotes& notes);
    // The report's status line, in red for an `error`; its tooltip adds
    // `details` (names and reasons).
    void showAnalysisStatus(const QString& text, const QString& details = QString(), bool error = true);
    // The "My Documents" choice tells where that folder is, or that it is missing.
    void showDocumentsFolderTip();
    void showCleanCounts();
    void countPaths();
    // Cleans one document as `settings` ask: in place, or on a cleaned copy
    // beside it. Returns where the cleaned document is.
    // The clean's warnings (places left as they were) are added to `warnings`.
    QString cleanOne(const QString& path, bool inPlace, const engine::CleanSettings& settings, QStringList& warnings);
    // What the completion page says under the progress bar: as many lines
    // as it has room for, the whole text in its tooltip.
    void showRunText(const QString& text);
    void showCleanMode();
    bool anyOperationTicked() const;
    QList<QCheckBox*> optionBoxes() const;

    QStringList PathList_;
    // Folders the cleaning selection's listing could not enter: the
    // completion page names them.
    QStringList unlistedFolders_;
    // Those of the listings that filled the selection list, as they came.
    QStringList selectionUnlisted_;
    FolderListing listings_;
    bool busy_ = false;           // a scan, a waited listing or a cleaning run: no close, no leaving the page
    bool cleaning_ = false;       // a close request asks whether to stop
    bool stopRequested_ = false;  // the run stops after the current document
    bool placedOnce_ = false;
};

// The document types whose boxes are ticked.
engine::TDocumentTypes TickedTypes(const QCheckBox* word, const QCheckBox* excel, const QCheckBox* powerpoint);

// Counts one path by the counting rule (".doc", ".xls", ".ppt" anywhere in
// the path, case-sensitively; one path may count for several types).
void CountPath(const QString& path, int32_t& word, int32_t& excel, int32_t& powerpoint);

}  // namespace velmora::app
