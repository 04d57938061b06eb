#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "storage/storage_error.h"

namespace velmora::engine {

// The cleaning run's operations, in the order a run applies them.
enum class CleanOperation {
    ClearTitle,
    ClearSubject,
    ClearKeywords,
    ClearComments,
    ResetTemplate,
    ResetRevision,
    ResetEditTime,
    RemoveGuid,
    RemoveHyperlinks,
    ClearLastEditedBy,
    ClearLastSaved,
    ClearLastPrinted,
    ClearCreated,
    SetAuthor,
    SetCompany,
};

inline constexpr CleanOperation kAllCleanOperations[] = {
    CleanOperation::ClearTitle,      CleanOperation::ClearSubject,      CleanOperation::ClearKeywords,
    CleanOperation::ClearComments,   CleanOperation::ResetTemplate,     CleanOperation::ResetRevision,
    CleanOperation::ResetEditTime,   CleanOperation::RemoveGuid,        CleanOperation::RemoveHyperlinks,
    CleanOperation::ClearLastEditedBy, CleanOperation::ClearLastSaved,  CleanOperation::ClearLastPrinted,
    CleanOperation::ClearCreated,    CleanOperation::SetAuthor,         CleanOperation::SetCompany,
};

// The record field an operation changes ("Title", "Guid", ...).
const char* CleanOperationField(CleanOperation operation);

struct CleanSettings {
    std::vector<CleanOperation> operations;  // applied in run order whatever the order here
    std::u16string author;
    std::u16string company;

    bool has(CleanOperation operation) const;
};

struct CleanReport {
    bool ok = true;
    std::vector<std::string> changed;  // fields written (or, in a dry run, that would be)
    std::string error;
    storage::StorageResult code = storage::StorageResult::Ok;
    storage::Refusal refusal = storage::Refusal::None;
};

// Cleans one document: reads it, then applies the selected operations in
// run order, each skipped when the document already holds the target value.
// The first failure ends the document's run (earlier changes stay). A dry run
// reads the document the same way and, when something would change, checks
// that it could be written, but writes nothing.
CleanReport CleanDocument(const std::filesystem::path& path, const CleanSettings& settings, bool dryRun);

}  // namespace velmora::engine
