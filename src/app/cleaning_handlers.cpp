// The cleaning road of the main window: choosing documents, the clean
// settings and the cleaning run.
#include <QCoreApplication>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/busy_guard.h"
#include "app/document_dialogs.h"
#include "app/document_paths.h"
#include "app/main_window.h"
#include "app/run_input_block.h"
#include "app/window_controls.h"
#include "engine/cleaned_copy.h"
#include "engine/path_text.h"
#include "engine/clean_run.h"
#include "engine/embedded_objects.h"
#include "framework/desktop_helpers.h"
#include "framework/event_guard.h"
#include "framework/orrin_dialogs.h"

namespace velmora::app {


void TfrmVelmoraMain::rbCleanSingleDocClick() {
    for (QWidget* control :
         std::initializer_list<QWidget*>{txtCleanSingleDoc, btnCleanSingleDoc, txtCleanAllDocsInFolder,
                                         btnCleanAllDocsInFolder, txtCleanSelectedDocsInFolder, btnCleanSelectedDocsInFolder})
        control->setEnabled(false);
    lvCleanSelectedDocsInFolder->hide();
    lblCleanSelectedDocsInFolder->hide();
    if (rbCleanSingleDoc->isChecked()) {
        txtCleanSingleDoc->setEnabled(true);
        btnCleanSingleDoc->setEnabled(true);
    }
    if (rbCleanAllDocsInFolder->isChecked()) {
        txtCleanAllDocsInFolder->setEnabled(true);
        btnCleanAllDocsInFolder->setEnabled(true);
    }
    if (rbCleanSelectedDocsInFolder->isChecked()) {
        txtCleanSelectedDocsInFolder->setEnabled(true);
        btnCleanSelectedDocsInFolder->setEnabled(true);
        lvCleanSelectedDocsInFolder->show();
        lblCleanSelectedDocsInFolder->show();
    }
}

void TfrmVelmoraMain::btnCleanSingleDocClick() {
    const QString chosen = AskForDocument(FolderOf(txtCleanSingleDoc->text()));
    if (!chosen.isEmpty()) txtCleanSingleDoc->setText(chosen);
}

void TfrmVelmoraMain::btnCleanAllDocsInFolderClick(QToolButton* clicked) {
    const bool selectedMode = clicked->property("tag").toInt() != 0;
    const QString chosen =
        framework::PickFolder(StartFolder(selectedMode ? txtCleanSelectedDocsInFolder->text() : txtCleanAllDocsInFolder->text()));
    if (chosen.isEmpty()) return;
    if (!selectedMode) {
        txtCleanAllDocsInFolder->setText(chosen);
        return;
    }
    txtCleanSelectedDocsInFolder->setText(chosen);
    // Fills only the list and its count: "&Next >" collects the ticks.
    listings_.Start(PathOf(chosen), chkCleanIncludeSubfolders->isChecked(), TickedTypes(chkCleanWordDocs, chkCleanExcelDocs, chkCleanPowerpointDocs),
                    [this](const ListedDocuments& documents, const std::vector<std::filesystem::path>& unlistable) {
                        for (const auto& folder : unlistable) selectionUnlisted_ << TextOf(folder);
                        for (const ListedDocument& document : documents) {
                            auto* item = new QTreeWidgetItem(
                                {TextOf(document.path.filename()), framework::SizeToText(document.size)});
                            item->setData(0, Qt::UserRole, TextOf(document.path));
                            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                            item->setCheckState(0, Qt::Unchecked);
                            lvCleanSelectedDocsInFolder->addTopLevelItem(item);
                        }
                        lblCleanSelectedDocsInFolder->setText(QStringLiteral("Number of documents in selected folder: ") +
                                                              QString::number(documents.size()));
                    });
}

void TfrmVelmoraMain::btnClean2Click() {
    auto refuse = [this](const char* message, QWidget* focus) {
        lblCleanInfo->setText(QString::fromLatin1(message));
        lblCleanInfo->show();
        focus->setFocus();
    };
    if (rbCleanSingleDoc->isChecked() && !FileExists(txtCleanSingleDoc->text()))
        return refuse("Please select a valid file before proceeding", txtCleanSingleDoc);
    if (rbCleanAllDocsInFolder->isChecked() && !framework::FolderExists(txtCleanAllDocsInFolder->text()))
        return refuse("Please select a valid directory before proceeding", txtCleanAllDocsInFolder);
    if (rbCleanSelectedDocsInFolder->isChecked() && lvCleanSelectedDocsInFolder->topLevelItemCount() == 0)
        return refuse("Please select at least a file before proceeding", lvCleanSelectedDocsInFolder);

    // A listing still running for the list view must not change anything
    // now, and what it was listing is no longer chosen.
    if (listings_.Active()) {
        txtCleanSelectedDocsInFolder->clear();
        lblCleanSelectedDocsInFolder->clear();
    }
    listings_.Discard();
    SelectedWordDocs = SelectedExcelDocs = SelectedPowerpointDocs = 0;
    PathList_.clear();
    unlistedFolders_.clear();
    if (rbCleanSingleDoc->isChecked()) {
        PathList_.append(txtCleanSingleDoc->text());
    } else if (rbCleanAllDocsInFolder->isChecked()) {
        ListedDocuments documents;
        std::vector<std::filesystem::path> unlisted;
        {
            BusyGuard guard(this, busy_, {TabSheet4});
            documents = listings_.ListAndWait(PathOf(txtCleanAllDocsInFolder->text()), chkCleanIncludeSubfolders->isChecked(),
                                              TickedTypes(chkCleanWordDocs, chkCleanExcelDocs, chkCleanPowerpointDocs), &unlisted);
        }
        for (const auto& folder : unlisted) unlistedFolders_ << TextOf(folder);
        for (const ListedDocument& document : documents) PathList_.append(TextOf(document.path));
    } else if (rbCleanSelectedDocsInFolder->isChecked()) {
        unlistedFolders_ = selectionUnlisted_;
        for (int i = 0; i < lvCleanSelectedDocsInFolder->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = lvCleanSelectedDocsInFolder->topLevelItem(i);
            if (item->checkState(0) == Qt::Checked) PathList_.append(item->data(0, Qt::UserRole).toString());
        }
    }
    countPaths();
    showCleanMode();
    PageControl1->setCurrentIndex(4);
}

void TfrmVelmoraMain::Button2Click() {
    unlistedFolders_.clear();  // the report names what its scan could not list
    countPaths();
    showCleanMode();
    PageControl1->setCurrentIndex(4);
}

void TfrmVelmoraMain::showCleanMode() {
    lblCleanMode->setText(chkCleanOverwriteOriginal->isChecked()
                              ? QStringLiteral("Originals will be overwritten.")
                              : QStringLiteral("Cleaned copies will be saved beside the originals."));
}

void TfrmVelmoraMain::countPaths() {
    SelectedWordDocs = SelectedExcelDocs = SelectedPowerpointDocs = 0;
    for (const QString& path : PathList_) CountPath(path, SelectedWordDocs, SelectedExcelDocs, SelectedPowerpointDocs);
    lblSelectedWordDocs->setText(QString::number(SelectedWordDocs));
    lblSelectedExcelDocs->setText(QString::number(SelectedExcelDocs));
    lblSelectedPowerpointDocs->setText(QString::number(SelectedPowerpointDocs));
}

QList<QCheckBox*> TfrmVelmoraMain::optionBoxes() const {
    QList<QCheckBox*> boxes;
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        if (box->property("tag").toInt() == 10) boxes << box;
    }
    return boxes;
}

void TfrmVelmoraMain::lblSelectAllClick(QLabel* clicked) {
    const bool tick = clicked->property("tag").toInt() == 0;
    for (QCheckBox* box : optionBoxes()) box->setChecked(tick);
}

bool TfrmVelmoraMain::anyOperationTicked() const {
    for (QCheckBox* box : optionBoxes()) {
        if (box->isChecked()) return true;
    }
    return false;
}

void TfrmVelmoraMain::Button8Click() {
    PageControl1->setCurrentIndex(5);
    CleanDocuments(PathList_);
}

engine::CleanSettings TfrmVelmoraMain::tickedCleanSettings() const {
    using engine::CleanOperation;
    // Each box and the operations it stands for; the run applies them in
    // the engine's order whatever the order here.
    const std::pair<QCheckBox*, std::vector<CleanOperation>> boxes[] = {
        {chkClearTitle, {CleanOperation::ClearTitle}},
        {chkClearSubject, {CleanOperation::ClearSubject}},
        {chkClearKeywords, {CleanOperation::ClearKeywords}},
        {chkClearComments, {CleanOperation::ClearComments}},
        {chkResetTemplate, {CleanOperation::ResetTemplate}},
        {chkResetRevisionCount, {CleanOperation::ResetRevision}},
        {chkResetTotalEditTime, {CleanOperation::ResetEditTime}},
        // The names in comments, tracked changes and save histories, the
        // preview of the first page
        // and the printers the document names.
        {chkRemoveRevisionLog, {CleanOperation::RemoveRevisionLog, CleanOperation::RemoveThumbnail, CleanOperation::RemovePrinter}},
        // Every user-defined property, and the manager, which has no box.
        {chkRemoveCustomProperties, {CleanOperation::ClearCustom, CleanOperation::ClearManager}},
        {chkRemoveGUID, {CleanOperation::RemoveGuid}},
        {chkRemoveHyperlinks, {CleanOperation::RemoveHyperlinks}},
        {chkClearLastEditedBy, {CleanOperation::ClearLastEditedBy}},
        {chkClearLastSavedDate, {CleanOperation::ClearLastSaved}},
        {chkClearLastPrintedDate, {CleanOperation::ClearLastPrinted}},
        {chkClearCreationDate, {CleanOperation::ClearCreated}},
        {chkResetAuthor, {CleanOperation::SetAuthor}},
        {chkResetCompany, {CleanOperation::SetCompany}},
    };
    engine::CleanSettings settings;
    for (const auto& [box, operations] : boxes)
        if (box->isChecked()) settings.operations.insert(settings.operations.end(), operations.begin(), operations.end());
    settings.author = txtAuthor->text().toStdU16String();
    settings.company = txtCompany->text().toStdU16String();
    return settings;
}

namespace {

// Why a clean stopped the run: the fields it could not clean and the first
// reason, or what kept the whole document from being cleaned.
std::string FailureText(const engine::CleanReport& report) {
    if (report.failed.empty()) return report.error;
    std::string fields;
    for (const engine::FieldFailure& failure : report.failed) fields += (fields.empty() ? "" : ", ") + failure.field;
    return fields + " not cleaned: " + report.failed.front().error;
}

}  // namespace

QString TfrmVelmoraMain::cleanOne(const QString& path, bool inPlace, const engine::CleanSettings& settings,
                                  QStringList& warnings) {
    // One plan and one transaction per document, as velmora-cli cleans: a
    // failure inside the transaction leaves the document as it was.
    auto apply = [&](const std::filesystem::path& document) {
        const engine::CleanReport report = engine::CleanDocument(document, settings, false);
        const QString name = TextOf(PathOf(path).filename());
        for (const std::string& warning : report.warnings) warnings << name + QStringLiteral(": ") + QString::fromStdString(warning);
        // An embedded object is read, not rewritten: the document around it
        // is clean, so the run goes on and the page says what was left.
        const bool onlyEmbedded = !report.failed.empty() &&
                                  std::all_of(report.failed.begin(), report.failed.end(),
                                              [](const engine::FieldFailure& failure) { return failure.embedded; });
        if (onlyEmbedded) {
            QStringList fields;
            for (const engine::FieldFailure& failure : report.failed) fields << QString::fromStdString(failure.field);
            warnings << name + QStringLiteral(": ") + fields.join(QStringLiteral(", ")) + QStringLiteral(" ") +
                            QString::fromUtf8(engine::kEmbeddedNotCleaned);
            return;
        }
        if (!report.ok) throw std::runtime_error(FailureText(report));
    };
    const std::filesystem::path original = PathOf(path);
    if (inPlace) {
        apply(original);
        return path;
    }
    engine::CleanedCopy copy(original);
    apply(copy.TemporaryPath());
    return TextOf(copy.Publish());
}

namespace {

constexpr int kCopiesNamed = 5;

// True for its lifetime, however the scope ends.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

// The cleaned copies a run made, by name; empty when it made none.
QString CopiesText(const QStringList& copies) {
    if (copies.isEmpty()) return QString();
    QStringList names;
    for (const QString& copy : copies.mid(0, kCopiesNamed)) names << TextOf(PathOf(copy).filename());
    QString text = QStringLiteral(" Cleaned copies, beside their originals: ") + names.join(QStringLiteral(", "));
    if (copies.size() > kCopiesNamed) text += QStringLiteral(" and %1 more").arg(copies.size() - kCopiesNamed);
    return text + u'.';
}

}  // namespace

void TfrmVelmoraMain::showRunText(const QString& text) {
    Label25->setText(ElidedToLines(text, Label25->font(), Label25->width(), 3));
    Label25->setToolTip(PlainToolTip(text));
}

void TfrmVelmoraMain::CleanDocuments(const QStringList& paths) {
    ProgressBar1->setRange(0, std::max<int>(static_cast<int>(paths.size()), 1));
    ProgressBar1->setValue(0);
    // Folders the selection could not list: the run is never complete.
    const QString unlisted = unlistedFolders_.isEmpty()
                                 ? QString()
                                 : QStringLiteral(" %1 folder(s) could not be listed: ").arg(unlistedFolders_.size()) +
                                       unlistedFolders_.join(QStringLiteral(", ")) + u'.';
    // A run that cleans nothing is never called completed.
    if (!anyOperationTicked() || paths.isEmpty()) {
        Label24->setText(QStringLiteral("No documents were cleaned"));
        showRunText((paths.isEmpty() ? QStringLiteral("No documents were selected for cleaning.")
                                     : QStringLiteral("No cleaning option was ticked; nothing was changed.")) +
                    unlisted);
        return;
    }
    const bool inPlace = chkCleanOverwriteOriginal->isChecked();
    const engine::CleanSettings settings = tickedCleanSettings();
    QStringList copies, warnings;
    auto notes = [&] {
        QString text = CopiesText(copies);
        if (!warnings.isEmpty()) text += QStringLiteral(" Left as they were: ") + warnings.join(QStringLiteral("; ")) + u'.';
        return text + unlisted;
    };
    int completed = 0;
    Label24->setText(QStringLiteral("Cleaning of 0 document(s) completed"));
    showRunText(QStringLiteral("Cleaning..."));
    {
        BusyGuard guard(this, busy_, {Button10}, false);
        FlagScope running(cleaning_);
        stopRequested_ = false;
        RunInputBlock block(this);
        // The page shows before the first document, and between documents
        // the window repaints and hears the desktop; what the user does
        // meanwhile is dropped (see RunInputBlock).
        QCoreApplication::processEvents();
        for (const QString& path : paths) {
            if (stopRequested_) break;
            try {
                const QString cleaned = cleanOne(path, inPlace, settings, warnings);
                if (!inPlace) copies << cleaned;
            } catch (const std::exception& error) {
                QString reason = QString::fromUtf8(error.what());
                if (!reason.endsWith(u'.')) reason += u'.';
                showRunText(QStringLiteral("Cleaning stopped at ") + TextOf(PathOf(path).filename()) + QStringLiteral(": ") +
                            reason + notes());
                throw;  // the error box tells it too
            }
            ++completed;
            Label24->setText(QStringLiteral("Cleaning of %1 document(s) completed").arg(completed));
            ProgressBar1->setValue(completed);
            QCoreApplication::processEvents();
        }
    }
    if (completed < paths.size()) {
        showRunText(QStringLiteral("Cleaning stopped at your request: %1 of %2 document(s) cleaned; the others were not "
                                   "changed.")
                        .arg(completed)
                        .arg(paths.size()) +
                    notes());
        return;
    }
    if (!unlistedFolders_.isEmpty()) {
        showRunText(QStringLiteral("The listed documents were cleaned, but not every folder could be listed.") + notes());
        return;
    }
    showRunText((inPlace ? QStringLiteral("Cleaning completed!") : QStringLiteral("Cleaning completed! The originals are unchanged.")) +
                notes());
}

}  // namespace velmora::app
