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
#include "storage/storage_error.h"

namespace velmora::app {

namespace {


int ColumnOf(const char* caption) {
    for (int column = 0; column < kReportColumnCount; ++column)
        if (QLatin1String(ReportColumns()[column].caption) == QLatin1String(caption)) return column;
    return -1;
}

const int kHiddenNamesColumn = ColumnOf("Hidden Names");
const int kHyperlinksColumn = ColumnOf("Hyperlinks List");
const int kEmbeddedColumn = ColumnOf("Embedded");
const QString kPlaceholderTip = QStringLiteral("Placeholder written by a clean; no name");

// A report row: each cell tells its whole text when pointed at (the
// designed column widths cut most short), with what the row's notes add,
// made when the tip is asked for rather than for every cell of every row.
class ReportItem : public QTreeWidgetItem {
public:
    ReportItem(const QStringList& texts, ReportRowNotes notes) : QTreeWidgetItem(texts), notes_(std::move(notes)) {}

    bool onlyPlaceholders() const {
        return !notes_.placeholders.isEmpty() && text(kHiddenNamesColumn) == notes_.placeholders.join(QStringLiteral(", "));
    }

    QVariant data(int column, int role) const override {
        if (role != Qt::ToolTipRole) return QTreeWidgetItem::data(column, role);
        QStringList lines;
        if (!text(column).isEmpty()) lines << text(column);
        if (column == 0 && !notes_.damage.isEmpty()) lines << QStringLiteral("Read in part: ") + notes_.damage;
        if (column == kHiddenNamesColumn) {
            if (onlyPlaceholders()) {
                lines = QStringList{kPlaceholderTip};
            } else {
                for (const QString& placeholder : notes_.placeholders) lines << placeholder + QStringLiteral(": ") + kPlaceholderTip;
            }
            lines << notes_.hiddenNameWarnings;
        }
        if (column == kEmbeddedColumn && !notes_.embeddedDetails.isEmpty()) lines = notes_.embeddedDetails;
        if (column == kHyperlinksColumn && !notes_.hyperlinksProblem.isEmpty())
            lines = QStringList{QStringLiteral("The hyperlinks list could not be checked: ") + notes_.hyperlinksProblem};
        return lines.isEmpty() ? QVariant() : QVariant(PlainToolTip(lines.join(u'\n')));
    }

private:
    ReportRowNotes notes_;
};

// What the row of a document read through `document` shows beyond its record.
struct RowReading {
    bool hyperlinks = false;
    std::u16string hiddenNames;
    ReportRowNotes notes;
};

RowReading ReadRow(engine::DocumentSession& document, const engine::TSummaryInfo& info) {
    RowReading row;
    const engine::ReadOutcome& outcome = document.summaryOutcome();
    if (outcome.partial) row.notes.damage = QString::fromStdString(outcome.message);
    std::string why;
    const std::optional<bool> hyperlinks = info.HLinks.Count > 0 ? std::optional<bool>(true) : document.checkHyperlinks(why);
    row.hyperlinks = hyperlinks.value_or(false);
    if (!hyperlinks) row.notes.hyperlinksProblem = QString::fromStdString(why);
    const engine::HiddenNameScan scan = document.hiddenNames();
    row.hiddenNames = engine::DistinctHiddenNames(scan);
    for (const QString& name : QString::fromStdU16String(row.hiddenNames).split(QStringLiteral(", "), Qt::SkipEmptyParts))
        if (engine::IsPlaceholderName(name.toStdU16String())) row.notes.placeholders << name;
    for (const std::string& warning : scan.notCleaned) row.notes.hiddenNameWarnings << QString::fromStdString(warning);
    row.notes.customProperties = QString::fromStdU16String(engine::JoinedCustomProperties(document.customProperties()));
    QStringList embedded;
    for (const engine::EmbeddedObject& object : document.embeddedObjects()) {
        const QString storage = QString::fromStdU16String(object.storage);
        embedded << storage;
        QStringList kept;
        if (!object.info.Author.empty()) kept << QStringLiteral("author ") + QString::fromStdU16String(object.info.Author);
        if (!object.info.LastAuthor.empty())
            kept << QStringLiteral("last edited by ") + QString::fromStdU16String(object.info.LastAuthor);
        if (!object.info.Company.empty()) kept << QStringLiteral("company ") + QString::fromStdU16String(object.info.Company);
        const std::u16string names = engine::DistinctHiddenNames(object.hidden);
        if (!names.empty()) kept << QStringLiteral("names ") + QString::fromStdU16String(names);
        row.notes.embeddedDetails << storage + QStringLiteral(": ") +
                                         (kept.isEmpty() ? QStringLiteral("nothing personal found") : kept.join(QStringLiteral("; "))) +
                                         QStringLiteral(" (") + QString::fromStdString(object.reason) + u')';
    }
    row.notes.embedded = embedded.join(QStringLiteral(", "));
    return row;
}

// Names and reasons, a line each, for a tooltip.
QString ProblemLines(const std::vector<engine::ScanProblem>& problems) {
    QStringList lines;
    for (const engine::ScanProblem& problem : problems)
        lines << TextOf(problem.path) + QStringLiteral(": ") + QString::fromStdString(problem.reason);
    return lines.join(u'\n');
}

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
    const QString chosen = AskForDocument(FolderOf(txtAnalyzeFile->text()));
    if (!chosen.isEmpty()) txtAnalyzeFile->setText(chosen);
}

void TfrmVelmoraMain::btnAnalyzeSelectedFilesClick() {
    // Cancelling keeps what the field held.
    const QString chosen = framework::PickFolder(StartFolder(txtAnalyzeSelectedFiles->text()));
    if (!chosen.isEmpty()) txtAnalyzeSelectedFiles->setText(chosen);
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
        RowReading row = ReadRow(document, info);
        return [this, fileName, filePath, info = std::move(info), row = std::move(row)] {
            DocumentAnalyzed(fileName, filePath, info, row.hyperlinks, row.hiddenNames, row.notes);
        };
    };
    if (rbAnalyzeFile->isChecked()) {
        const std::filesystem::path path = PathOf(txtAnalyzeFile->text());
        auto refused = [&](const std::string& reason) {
            showAnalysisStatus(QString::fromStdU16String(engine::PathToText(path.filename())) +
                               QStringLiteral(" could not be read: ") + QString::fromStdString(reason));
        };
        try {
            engine::DocumentSession session(path);
            engine::TSummaryInfo info;
            const engine::ReadOutcome outcome = session.readSummary(info);
            if (!outcome.ok) return refused(outcome.message);
            const RowReading row = ReadRow(session, info);
            const std::u16string text = engine::PathToText(path);
            const size_t slash = text.rfind(u'/');
            const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
            DocumentAnalyzed(text.substr(nameStart), text.substr(0, nameStart), std::move(info), row.hyperlinks,
                             row.hiddenNames, row.notes);
        } catch (const storage::StorageError& error) {
            refused(error.what());
        }
        return;
    }

    std::exception_ptr scanError;
    size_t unreadable = 0;
    std::vector<engine::ScanProblem> problems;
    const int rowsBefore = lvMetadata->topLevelItemCount();
    {
        LoadingPanel loading(pnlAnalysisLoading);
        BusyGuard guard(this, busy_, {Button2, Button1});
        AnalyzeFolderForWindow(PathOf(folder), types, chkAnalyzeIncludeSubFolders->isChecked(), read, &scanError,
                               &unreadable, &problems);
    }
    const size_t folders = static_cast<size_t>(
        std::count_if(problems.begin(), problems.end(), [](const engine::ScanProblem& problem) { return problem.folder; }));
    QStringList status;
    if (scanError) status << QStringLiteral("The list is incomplete: ") + framework::ExceptionText(scanError);
    if (unreadable > 0) status << QString::number(unreadable) + QStringLiteral(" document(s) could not be read.");
    if (folders > 0) status << QString::number(folders) + QStringLiteral(" folder(s) could not be listed.");
    if (status.isEmpty() && lvMetadata->topLevelItemCount() == rowsBefore)
        status << QStringLiteral("No documents were found in ") + folder + u'.';
    if (!status.isEmpty()) showAnalysisStatus(status.join(u' '), ProblemLines(problems));
}

void TfrmVelmoraMain::DocumentAnalyzed(const std::u16string& fileName, const std::u16string& filePath,
                                       engine::TSummaryInfo info, bool holdsHyperlinks, const std::u16string& hiddenNames,
                                       const ReportRowNotes& notes) {
    AddReportRow(QString::fromStdU16String(fileName), info, holdsHyperlinks, QString::fromStdU16String(hiddenNames), notes);
    PathList_.append(QString::fromStdU16String(filePath + fileName));
}

void TfrmVelmoraMain::AddReportRow(const QString& fileName, const engine::TSummaryInfo& info, bool holdsHyperlinks,
                                   const QString& hiddenNames, const ReportRowNotes& notes) {
    // Item texts are plain text in a tree view: markup in a name or a title
    // is shown as written.
    auto* item = new ReportItem(
        ReportRowTexts(fileName, info, holdsHyperlinks, hiddenNames, notes.embedded, notes.customProperties), notes);
    if (!notes.damage.isEmpty()) item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
    if (!notes.hyperlinksProblem.isEmpty()) item->setText(kHyperlinksColumn, QStringLiteral("?"));
    // A place the name walks could not read may hold a name the cell lacks.
    if (!notes.hiddenNameWarnings.isEmpty()) item->setIcon(kHiddenNamesColumn, style()->standardIcon(QStyle::SP_MessageBoxWarning));
    if (item->onlyPlaceholders()) {
        QFont italic = lvMetadata->font();
        italic.setItalic(true);
        item->setFont(kHiddenNamesColumn, italic);
        item->setForeground(kHiddenNamesColumn, kDarkGrey);
    }
    lvMetadata->addTopLevelItem(item);
}

void TfrmVelmoraMain::showDocumentsFolderTip() {
    const QString documents = framework::GetDocumentsFolder();
    rbAnalyzeMyDocuments->setToolTip(documents.isEmpty() ? QStringLiteral("Your Documents folder could not be found.")
                                                         : PlainToolTip(documents));
}

void TfrmVelmoraMain::showAnalysisStatus(const QString& text, const QString& details, bool error) {
    SetTextColour(lblAnalysisStatus, error ? kErrorRed : palette().color(QPalette::WindowText));
    lblAnalysisStatus->setText(text);
    lblAnalysisStatus->setToolTip(PlainToolTip(details.isEmpty() ? text : text + u'\n' + details));
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
    // Where it went, in the status line; what the line said before stays in its tooltip.
    const QString before = lblAnalysisStatus->isVisible() ? lblAnalysisStatus->text() : QString();
    showAnalysisStatus(QStringLiteral("The list was saved to ") + target + u'.', before, false);
}

}  // namespace velmora::app
