#pragma once

#include <functional>

#include <QString>

#include "framework/scoped_replacement.h"

namespace velmora::app {

// The filter of the open-document dialog, in Qt's syntax; the first entry is
// the one selected.
inline constexpr char kDocumentFilter[] =
    "All Supported Documents (*.doc *.xls *.ppt);;Word Documents (*.doc);;Excel Documents (*.xls);;"
    "Powerpoint Documents (*.ppt)";

// Asks for one existing document; empty text when cancelled.
// Opens in `startFolder` (the Documents folder where it is empty).
QString AskForDocument(const QString& startFolder = QString());
using DocumentAsker = std::function<QString(const QString& filter)>;
// Replaces the dialog (tests answer it without anything blocking); an empty
// one restores the real dialog. Returns the one in place.
DocumentAsker SetDocumentAsker(DocumentAsker asker);
using ScopedDocumentAsker = framework::ScopedReplacement<DocumentAsker, &SetDocumentAsker>;

// Asks where to save the report, suggesting `suggestedPath`; empty text when
// cancelled. The real dialog confirms before replacing a file.
QString AskForReportFile(const QString& suggestedPath);
using ReportFileAsker = std::function<QString(const QString& suggestedPath)>;
ReportFileAsker SetReportFileAsker(ReportFileAsker asker);
using ScopedReportFileAsker = framework::ScopedReplacement<ReportFileAsker, &SetReportFileAsker>;

}  // namespace velmora::app
