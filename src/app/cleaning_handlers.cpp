// The cleaning road of the main window: choosing documents, the clean
// settings and the cleaning run.
#include <QCoreApplication>
#include <QEventLoop>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/busy_guard.h"
#include "app/document_dialogs.h"
#include "app/document_paths.h"
#include "app/main_window.h"
#include "engine/cleaned_copy.h"
#include "engine/path_text.h"
#include "engine/clean_run.h"
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
    const QString chosen = AskForDocument();
    if (!chosen.isEmpty()) txtCleanSingleDoc->setText(chosen);
}

void TfrmVelmoraMain::btnCleanAllDocsInFolderClick(QToolButton* clicked) {
    const bool selectedMode = clicked->property("tag").toInt() != 0;
    const QString chosen =
        framework::PickFolder(selectedMode ? txtCleanSelectedDocsInFolder->text() : txtCleanAllDocsInFolder->text());
    if (chosen.isEmpty()) return;
    if (!selectedMode) {
        txtCleanAllDocsInFolder->setText(chosen);
        return;
    }
    txtCleanSelectedDocsInFolder->setText(chosen);
    // Fills only the list and its count: "&Next >" collects the ticks.
    listings_.Start(PathOf(chosen), chkCleanIncludeSubfolders->isChecked(), TickedTypes(chkCleanWordDocs, chkCleanExcelDocs, chkCleanPowerpointDocs),
                    [this](const ListedDocuments& documents) {
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
                        lblCleanSelectedDocsInFolder->adjustSize();
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

    // A listing still running for the list view must not change anything now.
    listings_.Discard();
    SelectedWordDocs = SelectedExcelDocs = SelectedPowerpointDocs = 0;
    PathList_.clear();
    if (rbCleanSingleDoc->isChecked()) {
        PathList_.append(txtCleanSingleDoc->text());
    } else if (rbCleanAllDocsInFolder->isChecked()) {
        ListedDocuments documents;
        {
            BusyGuard guard(this, busy_, {TabSheet4});
            documents = listings_.ListAndWait(PathOf(txtCleanAllDocsInFolder->text()),
                                              chkCleanIncludeSubfolders->isChecked(), TickedTypes(chkCleanWordDocs, chkCleanExcelDocs, chkCleanPowerpointDocs));
        }
        for (const ListedDocument& document : documents) PathList_.append(TextOf(document.path));
    } else if (rbCleanSelectedDocsInFolder->isChecked()) {
        for (int i = 0; i < lvCleanSelectedDocsInFolder->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = lvCleanSelectedDocsInFolder->topLevelItem(i);
            if (item->checkState(0) == Qt::Checked) PathList_.append(item->data(0, Qt::UserRole).toString());
        }
    }
    countPaths();
    PageControl1->setCurrentIndex(4);
}

void TfrmVelmoraMain::Button2Click() {
    countPaths();
    PageControl1->setCurrentIndex(4);
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
        // The names in comments, tracked changes and save histories, and the
        // preview of the first page.
        {chkRemoveRevisionLog, {CleanOperation::RemoveRevisionLog, CleanOperation::RemoveThumbnail}},
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

QString TfrmVelmoraMain::cleanOne(const QString& path, bool inPlace) {
    // One plan and one transaction per document, as velmora-cli cleans: a
    // failure inside the transaction leaves the document as it was.
    const engine::CleanSettings settings = tickedCleanSettings();
    auto apply = [&settings](const std::filesystem::path& document) {
        const engine::CleanReport report = engine::CleanDocument(document, settings, false);
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

void TfrmVelmoraMain::CleanDocuments(const QStringList& paths) {
    ProgressBar1->setRange(0, std::max<int>(static_cast<int>(paths.size()), 1));
    ProgressBar1->setValue(0);
    Label25->setPalette(QPalette());
    if (!anyOperationTicked()) {
        Label24->setText(QStringLiteral("Cleaning of 0 document(s) completed"));
        Label25->setText(QStringLiteral("No cleaning option was ticked; nothing was changed."));
        return;
    }
    const bool inPlace = chkCleanOverwriteOriginal->isChecked();
    int completed = 0;
    Label24->setText(QStringLiteral("Cleaning of 0 document(s) completed"));
    Label25->setText(QStringLiteral("Cleaning..."));
    BusyGuard guard(this, busy_, {Button10});
    for (const QString& path : paths) {
        try {
            cleanOne(path, inPlace);
        } catch (const std::exception& error) {
            Label25->setText(QStringLiteral("Cleaning stopped at ") + TextOf(PathOf(path).filename()) +
                             QStringLiteral(": ") + QString::fromUtf8(error.what()));
            throw;  // the error box tells it too
        }
        ++completed;
        Label24->setText(QStringLiteral("Cleaning of %1 document(s) completed").arg(completed));
        ProgressBar1->setValue(completed);
        // Repaint, and answer the desktop, but take no input meanwhile.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    QString done = inPlace ? QStringLiteral("Cleaning completed!")
                           : QStringLiteral("Cleaning completed! The originals are unchanged; each cleaned copy is "
                                            "beside its original, named \"<name> (cleaned)\".");
    Label25->setText(done);
}

}  // namespace velmora::app
