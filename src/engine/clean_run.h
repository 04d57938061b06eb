#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/last_saver_blanking.h"
#include "engine/property_change.h"
#include "storage/byte_source.h"
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
    RemoveRevisionLog,
    RemoveThumbnail,
    RemoveGuid,
    RemoveHyperlinks,
    ClearLastEditedBy,
    ClearLastSaved,
    ClearLastPrinted,
    ClearCreated,
    SetAuthor,
    SetCompany,
    ClearManager,
    // Later additions keep the numbers above: resume journals store them.
    ClearCustom,
    RemovePrinter,
};

inline constexpr CleanOperation kAllCleanOperations[] = {
    CleanOperation::ClearTitle,      CleanOperation::ClearSubject,      CleanOperation::ClearKeywords,
    CleanOperation::ClearComments,   CleanOperation::ResetTemplate,     CleanOperation::ResetRevision,
    CleanOperation::ResetEditTime,   CleanOperation::RemoveRevisionLog, CleanOperation::RemovePrinter,
    CleanOperation::RemoveThumbnail,
    CleanOperation::RemoveGuid,      CleanOperation::RemoveHyperlinks,
    CleanOperation::ClearLastEditedBy, CleanOperation::ClearLastSaved,  CleanOperation::ClearLastPrinted,
    CleanOperation::ClearCreated,    CleanOperation::SetAuthor,         CleanOperation::SetCompany,
    CleanOperation::ClearManager,    CleanOperation::ClearCustom,
};

// Each operation's names, in run order: the record field it changes, which
// reports name ("Title", "Guid", ...), and velmora-cli's option ("--author"
// and "--company" take the text). The window's boxes map onto operations too.
struct CleanOperationName {
    CleanOperation operation;
    const char* field;
    const char* flag;
};
const std::array<CleanOperationName, std::size(kAllCleanOperations)>& CleanOperationNames();
const char* CleanOperationField(CleanOperation operation);

struct CleanSettings {
    std::vector<CleanOperation> operations;  // applied in run order whatever the order here
    std::u16string author;
    std::u16string company;

    bool has(CleanOperation operation) const;
};

// The property changes the selected operations make, in run order, with
// the operation each comes from.
struct PlannedOperations {
    std::vector<CleanOperation> operations;
    std::vector<PropertyChange> changes;
};
PlannedOperations ChangesFor(const CleanSettings& settings);

struct FieldFailure {
    std::string field;
    std::string error;
    storage::StorageResult code = storage::StorageResult::Ok;
    storage::Refusal refusal = storage::Refusal::None;
    // A field of an object embedded in the document, which this version
    // reads but does not rewrite: the document around it was cleaned.
    bool embedded = false;
};

struct CleanReport {
    bool ok = true;
    std::vector<std::string> changed;  // fields written (or, in a dry run, that would be)
    std::vector<FieldFailure> failed;  // fields with something to change that could not be
    // Noticed, but no reason to leave anything alone ("fast-saved ...").
    std::vector<std::string> warnings;
    // The first failure: of a field, or of the document as a whole (not a
    // compound file, damaged, locked, ...), which leaves `failed` empty.
    std::string error;
    storage::StorageResult code = storage::StorageResult::Ok;
    storage::Refusal refusal = storage::Refusal::None;
};

// Cleans one document: reads it once, plans every selected operation
// against that reading (an operation whose target the document already
// stores has nothing to do), and rewrites each changed property-set stream
// once, with all its changes, in one crash-safe transaction. Failures are per
// field and per set: the other set's changes still apply. Nothing is ever
// reported as changed that is not written. A reset aimed at a set the
// document lacks is skipped, as there is nothing to reset. A dry run plans
// the same way, including the writes that would fail, and writes nothing.
// Last, the document's residue (old bytes in free space, see free_space.h)
// is zeroed, reported as the field "FreeSpace", even where no property had
// anything to change.
CleanReport CleanDocument(const std::filesystem::path& path, const CleanSettings& settings, bool dryRun);

// What a clean planned and how far it wrote, for checks that compare the
// result with the plan (the writer's fuzz check).
struct AppliedClean {
    DocumentPlan plan;                   // the property sets' new contents
    std::vector<InPlaceBlanking> inPlace;  // the names blanked outside them, in run order
    bool wrote = false;                  // the property sets' transaction went through (or had nothing to do)
    bool complete = false;               // and no write after it failed
};
// The same clean on a document already open for writing (memory in the fuzz
// check), without the office lock-file check, which needs a path.
CleanReport CleanOpenSource(storage::WritableByteSource& source, const CleanSettings& settings, bool dryRun,
                            AppliedClean* applied = nullptr);

}  // namespace velmora::engine
