#include "app/document_dialogs.h"

#include <utility>

#include <QApplication>
#include <QFileDialog>

#include "framework/desktop_helpers.h"

namespace velmora::app {

namespace {

DocumentAsker& CurrentDocumentAsker() {
    static DocumentAsker asker;
    return asker;
}

ReportFileAsker& CurrentReportFileAsker() {
    static ReportFileAsker asker;
    return asker;
}

}  // namespace

QString AskForDocument(const QString& startFolder) {
    const QString filter = QString::fromLatin1(kDocumentFilter);
    if (const DocumentAsker& asker = CurrentDocumentAsker()) return asker(filter);
    QFileDialog dialog(QApplication::activeWindow(), QString(),
                       startFolder.isEmpty() ? framework::GetDocumentsFolder() : startFolder, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

DocumentAsker SetDocumentAsker(DocumentAsker asker) { return std::exchange(CurrentDocumentAsker(), std::move(asker)); }

QString AskForReportFile(const QString& suggestedPath) {
    if (const ReportFileAsker& asker = CurrentReportFileAsker()) return asker(suggestedPath);
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), QStringLiteral("Save List to File"), suggestedPath,
                                        QStringLiteral("CSV Files (*.csv);;All Files (*)"));
}

ReportFileAsker SetReportFileAsker(ReportFileAsker asker) {
    return std::exchange(CurrentReportFileAsker(), std::move(asker));
}

}  // namespace velmora::app
