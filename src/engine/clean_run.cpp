#include "engine/clean_run.h"

#include <algorithm>

#include "engine/property_writer.h"
#include "engine/summary_info_class.h"

namespace velmora::engine {

const char* CleanOperationField(CleanOperation operation) {
    switch (operation) {
    case CleanOperation::ClearTitle: return "Title";
    case CleanOperation::ClearSubject: return "Subject";
    case CleanOperation::ClearKeywords: return "Keywords";
    case CleanOperation::ClearComments: return "Comments";
    case CleanOperation::ResetTemplate: return "Template";
    case CleanOperation::ResetRevision: return "RevNumber";
    case CleanOperation::ResetEditTime: return "EditTime";
    case CleanOperation::RemoveGuid: return "Guid";
    case CleanOperation::RemoveHyperlinks: return "HLinks";
    case CleanOperation::ClearLastEditedBy: return "LastAuthor";
    case CleanOperation::ClearLastSaved: return "LastSaved";
    case CleanOperation::ClearLastPrinted: return "LastPrinted";
    case CleanOperation::ClearCreated: return "Created";
    case CleanOperation::SetAuthor: return "Author";
    case CleanOperation::SetCompany: return "Company";
    }
    return "";
}

bool CleanSettings::has(CleanOperation operation) const {
    return std::find(operations.begin(), operations.end(), operation) != operations.end();
}

namespace {

// Whether the operation would change the document, judged as the operation
// itself judges it: by the cached value, or for the removals by looking.
bool WouldChange(CleanOperation operation, const TSummaryInfoClass& document, const CleanSettings& settings) {
    const TSummaryInfo& cache = document.Cache();
    switch (operation) {
    case CleanOperation::ClearTitle: return !cache.Title.empty();
    case CleanOperation::ClearSubject: return !cache.Subject.empty();
    case CleanOperation::ClearKeywords: return !cache.Keywords.empty();
    case CleanOperation::ClearComments: return !cache.Comments.empty();
    case CleanOperation::ResetTemplate: return cache.Template != u"Normal.dot";
    case CleanOperation::ResetRevision: return cache.RevNumber != u"1";
    case CleanOperation::ResetEditTime: return cache.EditTime != kZeroEditTime;
    case CleanOperation::RemoveGuid: return DocumentHoldsProperty(document.DocPath(), 18, u"_PID_GUID");
    case CleanOperation::RemoveHyperlinks: return DocumentHoldsProperty(document.DocPath(), 21, u"_PID_HLINKS");
    case CleanOperation::ClearLastEditedBy: return !cache.LastAuthor.empty();
    case CleanOperation::ClearLastSaved: return cache.LastSaved != 0.0;
    case CleanOperation::ClearLastPrinted: return cache.LastPrinted != 0.0;
    case CleanOperation::ClearCreated: return cache.Created != 0.0;
    case CleanOperation::SetAuthor: return cache.Author != settings.author;
    case CleanOperation::SetCompany: return cache.Company != settings.company;
    }
    return false;
}

void Apply(CleanOperation operation, TSummaryInfoClass& document, const CleanSettings& settings) {
    switch (operation) {
    case CleanOperation::ClearTitle: document.SetTitle(u""); break;
    case CleanOperation::ClearSubject: document.SetSubject(u""); break;
    case CleanOperation::ClearKeywords: document.SetKeywords(u""); break;
    case CleanOperation::ClearComments: document.SetComments(u""); break;
    case CleanOperation::ResetTemplate: document.SetTemplate(u"Normal.dot"); break;
    case CleanOperation::ResetRevision: document.SetRevNumber(u"1"); break;
    case CleanOperation::ResetEditTime: document.SetEditTime(kZeroEditTime); break;
    case CleanOperation::RemoveGuid: document.RemoveGuid(); break;
    case CleanOperation::RemoveHyperlinks: document.RemoveHLinks(); break;
    case CleanOperation::ClearLastEditedBy: document.SetLastAuthor(u""); break;
    case CleanOperation::ClearLastSaved: document.SetLastSaved(0.0); break;
    case CleanOperation::ClearLastPrinted: document.SetLastPrinted(0.0); break;
    case CleanOperation::ClearCreated: document.SetCreated(0.0); break;
    case CleanOperation::SetAuthor: document.SetAuthor(settings.author); break;
    case CleanOperation::SetCompany: document.SetCompany(settings.company); break;
    }
}

}  // namespace

CleanReport CleanDocument(const std::filesystem::path& path, const CleanSettings& settings, bool dryRun) {
    CleanReport report;
    try {
        TSummaryInfoClass document(path);
        for (CleanOperation operation : kAllCleanOperations) {
            if (!settings.has(operation) || !WouldChange(operation, document, settings)) continue;
            if (!dryRun) Apply(operation, document, settings);
            report.changed.push_back(CleanOperationField(operation));
        }
        if (dryRun && !report.changed.empty()) CheckDocumentWritable(path);
    } catch (const storage::StorageError& error) {
        report.ok = false;
        report.error = error.what();
        report.code = error.code();
        report.refusal = error.reason();
    }
    return report;
}

}  // namespace velmora::engine
