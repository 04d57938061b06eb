// The analysis road of the main window: the options page and the report.
#include <QDir>
#include <QSaveFile>

#include "app/busy_guard.h"
#include "app/document_dialogs.h"
#include "app/document_paths.h"
#include "app/gui_folder_scan.h"
#include "app/main_window.h"
#include "app/report_text.h"
#include "app/window_controls.h"
#include "engine/analysis_driver.h"
#include "engine/document_session.h"
#include "engine/hidden_names.h"
#include "engine/path_text.h"
#include "engine/property_writer.h"
#include "engine/summary_reader.h"
#include "framework/desktop_helpers.h"
#include "framework/event_guard.h"
#include "framework/orrin_dialogs.h"

namespace velmora::app {

namespace {


// A report row: each cell tells its whole text when pointed at (the
// designed column widths cut most short), made when the tip is asked for
// rather than for every cell of every row.
class ReportItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    QVariant data(int column, int role) const override {
        if (role != Qt::ToolTipRole) return QTreeWidgetItem::data(column, role);
        const QString shown = text(column);
        return shown.isEmpty() ? QVariant() : QVariant(PlainToolTip(shown));
    }
};

// The loading panel shows for as long as a folder scan runs.
class LoadingPanel {
public:
    explicit LoadingPanel(QWidget* panel) : panel_(panel) {
        panel_->show();
        panel_->raise();
    }
    ~LoadingPanel() { panel_->hide(); }
    LoadingPanel(const LoadingPanel&) = delete;
    LoadingPanel& operator=(const LoadingPanel&) = delete;

private:
    QWidget* panel_;
};

}  // namespace

void TfrmVelmoraMain::rbAnalyzeFileClick() {
    for (QWidget* control : std::initializer_list<QWidget*>{txtAnalyzeFile, btnAnalyzeFile, txtAnalyzeSelectedFiles,
                                                            btnAnalyzeSelectedFiles, chkAnalyzeIncludeSubFolders})
        control->setEnabled(false);
    if (rbAnalyzeFile->isChecked()) {
        txtAnalyzeFile->setEnabled(true);
        btnAnalyzeFile->setEnabled(true);
    }
    if (rbAnalyzeMyDocuments->isChecked()) {
        chkAnalyzeIncludeSubFolders->setEnabled(true);
        showDocumentsFolderTip();
    }
    if (rbAnalyzeSelectedFiles->isChecked()) {
        txtAnalyzeSelectedFiles->setEnabled(true);
        btnAnalyzeSelectedFiles->setEnabled(true);
        chkAnalyzeIncludeSubFolders->setEnabled(true);
    }
}

void TfrmVelmoraMain::btnAnalyzeFileClick() {
    const QString chosen = AskForDocument();
    if (!chosen.isEmpty()) txtAnalyzeFile->setText(chosen);
}

void TfrmVelmoraMain::btnAnalyzeSelectedFilesClick() {
    txtAnalyzeSelectedFiles->setText(framework::PickFolder(txtAnalyzeSelectedFiles->text()));
}

void TfrmVelmoraMain::btnAnalyze2Click() {
    auto refuse = [this](const char* message, QWidget* focus) {
        lblAnalyzeInfo->setText(QString::fromLatin1(message));
        lblAnalyzeInfo->show();
        if (focus) focus->setFocus();
    };
    if (rbAnalyzeFile->isChecked() && !FileExists(txtAnalyzeFile->text()))
        return refuse("Please select a valid file before proceeding", txtAnalyzeFile);
    if (rbAnalyzeSelectedFiles->isChecked() && !framework::FolderExists(txtAnalyzeSelectedFiles->text()))
        return refuse("Please select a valid directory before proceeding", txtAnalyzeSelectedFiles);
    QString folder = txtAnalyzeSelectedFiles->text();
    if (rbAnalyzeMyDocuments->isChecked()) {
        folder = framework::GetDocumentsFolder();
        if (folder.isEmpty()) return refuse("Your Documents folder could not be found.", rbAnalyzeMyDocuments);
    }

    PathList_.clear();
    lblAnalysisStatus->hide();
    PageControl1->setCurrentIndex(3);
    const engine::TDocumentTypes types = TickedTypes(chkAnalyzeWordDocs, chkAnalyzeExcelDocs, chkAnalyzePowerpointDocs);

    // What the record does not carry (a hyperlinks list under a user-defined
    // name, the names outside the property sets) is read where the record
    // was, through the same opening of the document: on the scan thread, so
    // that a large document keeps no window waiting. The row itself is added
    // on the GUI thread.
    auto read = [this](engine::DocumentSession& document, const std::u16string& fileName, const std::u16string& filePath,
                       engine::TSummaryInfo info, int32_t) -> std::function<void()> {
        const bool hyperlinks = info.HLinks.Count > 0 || document.holdsHyperlinks();
        std::u16string hidden = engine::DistinctHiddenNames(document.hiddenNames());
        return [this, fileName, filePath, info = std::move(info), hyperlinks, hidden = std::move(hidden)] {
            DocumentAnalyzed(fileName, filePath, info, hyperlinks, hidden);
        };
    };
    if (rbAnalyzeFile->isChecked()) {
        const std::filesystem::path path = PathOf(txtAnalyzeFile->text());
        engine::DocumentAnalysis analysis = engine::AnalyzeDocument(path, {.withHyperlinks = true});
        if (!analysis.outcome.ok) {
            showAnalysisStatus(QString::fromStdU16String(engine::PathToText(path.filename())) +
                               QStringLiteral(" could not be read: ") + QString::fromStdString(analysis.outcome.message));
            return;
        }
        const std::u16string text = engine::PathToText(path);
        const size_t slash = text.rfind(u'/');
        const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
        DocumentAnalyzed(text.substr(nameStart), text.substr(0, nameStart), std::move(analysis.info), analysis.hyperlinks,
                         engine::DistinctHiddenNames(analysis.hidden));
        return;
    }

    std::exception_ptr scanError;
    size_t unreadable = 0;
    {
        LoadingPanel loading(pnlAnalysisLoading);
        BusyGuard guard(this, busy_, {Button2, Button1});
        AnalyzeFolderForWindow(PathOf(folder), types, chkAnalyzeIncludeSubFolders->isChecked(), read, &scanError,
                                          &unreadable);
    }
    if (scanError) {
        showAnalysisStatus(QStringLiteral("The list is incomplete: ") + framework::ExceptionText(scanError));
    } else if (unreadable > 0) {
        showAnalysisStatus(QString::number(unreadable) + QStringLiteral(" document(s) could not be read."));
    }
}

void TfrmVelmoraMain::DocumentAnalyzed(const std::u16string& fileName, const std::u16string& filePath,
                                       engine::TSummaryInfo info, bool holdsHyperlinks, const std::u16string& hiddenNames) {
    AddReportRow(QString::fromStdU16String(fileName), info, holdsHyperlinks, QString::fromStdU16String(hiddenNames));
    PathList_.append(QString::fromStdU16String(filePath + fileName));
}

void TfrmVelmoraMain::AddReportRow(const QString& fileName, const engine::TSummaryInfo& info, bool holdsHyperlinks,
                                   const QString& hiddenNames) {
    // Item texts are plain text in a tree view: markup in a name or a title
    // is shown as written.
    lvMetadata->addTopLevelItem(new ReportItem(ReportRowTexts(fileName, info, holdsHyperlinks, hiddenNames)));
}

void TfrmVelmoraMain::showDocumentsFolderTip() {
    const QString documents = framework::GetDocumentsFolder();
    rbAnalyzeMyDocuments->setToolTip(documents.isEmpty() ? QStringLiteral("Your Documents folder could not be found.")
                                                         : PlainToolTip(documents));
}

void TfrmVelmoraMain::showAnalysisStatus(const QString& text) {
    lblAnalysisStatus->setText(text);
    lblAnalysisStatus->setToolTip(PlainToolTip(text));
    lblAnalysisStatus->show();
}

void TfrmVelmoraMain::SaveListToFile() {
    QString folder = framework::GetDocumentsFolder();
    if (folder.isEmpty()) folder = QDir::homePath();
    const QString target = AskForReportFile(QDir(folder).filePath(QStringLiteral("Velmora report.csv")));
    if (target.isEmpty()) return;

    QStringList header;
    std::vector<int> columns;
    for (int column = 0; column < kReportColumnCount; ++column) {
        if (lvMetadata->isColumnHidden(column)) continue;
        columns.push_back(column);
        header << lvMetadata->headerItem()->text(column);
    }
    QList<QStringList> rows;
    for (int i = 0; i < lvMetadata->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = lvMetadata->topLevelItem(i);
        QStringList row;
        for (int column : columns) row << item->text(column);
        rows << row;
    }
    // Written beside the target and renamed over it: an old report is never
    // left half overwritten.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(ReportCsv(header, rows)) < 0 || !file.commit())
        throw std::runtime_error("Could not save the list to " + target.toStdString() + ": " + file.errorString().toStdString());
}

}  // namespace velmora::app
