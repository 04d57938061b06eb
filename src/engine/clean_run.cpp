#include "engine/clean_run.h"

#include "engine/embedded_objects.h"
#include "engine/printer_settings.h"
#include "storage/compound_file.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <new>
#include <optional>

#include "engine/date_time_conversions.h"
#include "engine/free_space.h"
#include "engine/last_saver_blanking.h"
#include "engine/property_change.h"
#include "engine/property_writer.h"
#include "engine/revision_log_blanking.h"
#include "engine/summary_info_class.h"
#include "storage/compound_file_writer.h"
#include "storage/document_source.h"
#include "storage/office_lock_files.h"

namespace velmora::engine {

const std::array<CleanOperationName, std::size(kAllCleanOperations)>& CleanOperationNames() {
    static const std::array<CleanOperationName, std::size(kAllCleanOperations)> kNames = {{
        {CleanOperation::ClearTitle, "Title", "--clear-title"},
        {CleanOperation::ClearSubject, "Subject", "--clear-subject"},
        {CleanOperation::ClearKeywords, "Keywords", "--clear-keywords"},
        {CleanOperation::ClearComments, "Comments", "--clear-comments"},
        {CleanOperation::ResetTemplate, "Template", "--reset-template"},
        {CleanOperation::ResetRevision, "RevNumber", "--reset-revision"},
        {CleanOperation::ResetEditTime, "EditTime", "--reset-edit-time"},
        {CleanOperation::RemoveRevisionLog, "RevisionLog", "--remove-revision-log"},
        {CleanOperation::RemovePrinter, "Printer", "--remove-printer"},
        {CleanOperation::RemoveThumbnail, "Thumbnail", "--remove-thumbnail"},
        {CleanOperation::RemoveGuid, "Guid", "--remove-guid"},
        {CleanOperation::RemoveHyperlinks, "HLinks", "--remove-hyperlinks"},
        {CleanOperation::ClearLastEditedBy, "LastAuthor", "--clear-last-edited-by"},
        {CleanOperation::ClearLastSaved, "LastSaved", "--clear-last-saved"},
        {CleanOperation::ClearLastPrinted, "LastPrinted", "--clear-last-printed"},
        {CleanOperation::ClearCreated, "Created", "--clear-created"},
        {CleanOperation::SetAuthor, "Author", "--author"},
        {CleanOperation::SetCompany, "Company", "--company"},
        {CleanOperation::ClearManager, "Manager", "--clear-manager"},
        {CleanOperation::ClearCustom, "CustomProperties", "--clear-custom"},
    }};
    return kNames;
}

const char* CleanOperationField(CleanOperation operation) {
    for (const CleanOperationName& name : CleanOperationNames())
        if (name.operation == operation) return name.field;
    return "";
}

namespace {

const char kFreeSpaceField[] = "FreeSpace";

// Where a field stands in the run order; the names blanked outside the
// property sets stand with "LastAuthor".
size_t RunRank(const std::string& field) {
    if (field == "WriteAccess" || field == "CurrentUser") return RunRank("LastAuthor");
    for (size_t rank = 0; rank < std::size(kAllCleanOperations); ++rank)
        if (field == CleanOperationField(kAllCleanOperations[rank])) return rank;
    return std::size(kAllCleanOperations);
}

}  // namespace

bool CleanSettings::has(CleanOperation operation) const {
    return std::find(operations.begin(), operations.end(), operation) != operations.end();
}

namespace {

// The change each operation makes, as the cleaning run of the window makes it.
PropertyChange ChangeFor(CleanOperation operation, const CleanSettings& settings) {
    if (operation == CleanOperation::ClearCustom) return PropertyChange::CustomRemoval();
    const SummaryProperty& property = SummaryPropertyNamed(CleanOperationField(operation));
    switch (operation) {
    case CleanOperation::ResetTemplate:
    case CleanOperation::ResetRevision: {
        PropertyChange change = PropertyChange::Text(property, operation == CleanOperation::ResetTemplate ? u"Normal.dot" : u"1");
        change.skipWhenSetMissing = true;
        return change;
    }
    case CleanOperation::ResetEditTime: {
        PropertyChange change = PropertyChange::Date(property, EditTimeToFileTime(kZeroEditTime), false);
        change.skipWhenSetMissing = true;
        return change;
    }
    case CleanOperation::RemoveGuid:
    case CleanOperation::RemoveThumbnail:
    case CleanOperation::RemoveHyperlinks: return PropertyChange::Removal(property);
    case CleanOperation::ClearLastSaved:
    case CleanOperation::ClearLastPrinted:
    case CleanOperation::ClearCreated:
        return PropertyChange::Date(property, static_cast<TFileTime>(kTicksAtDateTimeZero), true);
    case CleanOperation::SetAuthor: return PropertyChange::Text(property, settings.author);
    case CleanOperation::SetCompany: return PropertyChange::Text(property, settings.company);
    default: return PropertyChange::Text(property, u"");
    }
}

void FailDocument(CleanReport& report, const storage::StorageError& error) {
    report.ok = false;
    report.error = error.what();
    report.code = error.code();
    report.refusal = error.reason();
}

void FailField(CleanReport& report, const char* field, const storage::StorageError& error, bool embedded = false) {
    if (report.ok) FailDocument(report, error);
    report.failed.push_back({field, error.what(), error.code(), error.reason(), embedded});
}

// Whether a refusal to write still lets us read the document, to tell
// "nothing to change" from "cannot change".
bool ReadableAnyway(storage::Refusal refusal) {
    return refusal == storage::Refusal::ReadOnly || refusal == storage::Refusal::Damaged;
}

}  // namespace

PlannedOperations ChangesFor(const CleanSettings& settings) {
    PlannedOperations planned;
    for (CleanOperation operation : kAllCleanOperations) {
        // Names outside the property sets are not a property change.
        if (!settings.has(operation) || operation == CleanOperation::RemoveRevisionLog ||
            operation == CleanOperation::RemovePrinter)
            continue;
        planned.operations.push_back(operation);
        planned.changes.push_back(ChangeFor(operation, settings));
    }
    return planned;
}

namespace {

// A document as the clean finds it: open for writing through `writer`, or,
// where writing is refused but reading is not, readable only, with the
// refusal in `cannotWrite`.
struct OpenDocument {
    storage::CompoundFileWriter* writer = nullptr;
    RootStreamSource read;
    std::optional<storage::StorageError> cannotWrite;
    // Checked once there is something to write: an office program's lock file.
    std::function<std::optional<storage::StorageError>()> refusalToWrite;
    // The residue where there is no writer to survey it.
    std::function<uint64_t()> residueWithoutWriter;
    // What the operations would change in the objects embedded in the
    // document, read before anything is written: not cleaned, and said so.
    std::function<std::vector<EmbeddedField>(const CleanSettings&)> embeddedWork;
};

// The embedded objects' fields with work, read through their own opening
// of `source`; none where it cannot be read (the root's reading says why).
std::vector<EmbeddedField> EmbeddedWorkIn(storage::ByteSource& source, const CleanSettings& settings) {
    try {
        storage::CompoundFile file(source);
        return EmbeddedFieldsWithWork(file, settings);
    } catch (const storage::StorageError&) {
        // The file itself cannot be opened: the root's clean says so.
        return {};
    }
}

// The one clean sequence: plan every operation on one reading, rewrite the
// property sets in one transaction, blank the names outside them in place,
// zero the residue; report per field.
void RunClean(OpenDocument& document, const CleanSettings& settings, bool dryRun, CleanReport& report, AppliedClean* applied) {
    const auto [operations, changes] = ChangesFor(settings);
    const std::vector<EmbeddedField> embeddedWork =
        document.embeddedWork ? document.embeddedWork(settings) : std::vector<EmbeddedField>();
    // Each stream is read once, however many plans look at it.
    const RootStreamSource readStream = ReadOnce(document.read);
    std::optional<storage::StorageError>& cannotWrite = document.cannotWrite;
    storage::CompoundFileWriter* const writer = document.writer;
    const DocumentPlan plan = PlanChanges(changes, readStream);
    // Names outside the property sets: blanked in place after them,
    // each stream in a transaction of its own.
    struct InPlaceStep {
        InPlaceBlanking plan;
        std::function<std::string(std::u16string_view stream)> field;
    };
    std::vector<InPlaceStep> steps;  // in run order
    if (settings.has(CleanOperation::RemoveRevisionLog))
        steps.push_back({PlanRevisionLogBlanking(readStream, &report.warnings), [](std::u16string_view) { return std::string("RevisionLog"); }});
    if (settings.has(CleanOperation::RemovePrinter))
        steps.push_back({PlanPrinterBlanking(readStream), [](std::u16string_view) { return std::string("Printer"); }});
    if (settings.has(CleanOperation::ClearLastEditedBy))
        steps.push_back({PlanLastSaverBlanking(readStream), [](std::u16string_view stream) {
                             return std::string(stream.starts_with(u"Current User") ? "CurrentUser" : "WriteAccess");
                         }});
    const bool anyInPlace = std::any_of(steps.begin(), steps.end(), [](const InPlaceStep& step) { return !step.plan.empty(); });
    // Old bytes in free space, found before any write: a rewrite may put
    // new content where they lay rather than zeros, and they still count.
    const uint64_t residueFound = writer ? writer->residue() : 0;
    // Zeroing residue is a write like any other: a document open in an
    // office program is left alone for it too.
    const bool anyWrite = !plan.contents.empty() || anyInPlace || residueFound > 0;
    if (anyWrite && !cannotWrite && document.refusalToWrite) cannotWrite = document.refusalToWrite();
    bool writerSpent = false;  // a write failed: the writer is not used again
    if (applied) applied->plan = plan;
    if (!plan.contents.empty() && !cannotWrite && !dryRun) {
        try {
            writer->replaceRootStreams(plan.replacements());
        } catch (const storage::StorageError& error) {
            cannotWrite = error;
            writerSpent = true;
        }
    }
    if (applied && !cannotWrite && !dryRun) applied->wrote = true;
    // A failure here leaves what the property sets got as written; the
    // writer is not used again after it.
    std::vector<std::pair<std::string, std::optional<storage::StorageError>>> blanked;
    std::optional<storage::StorageError> inPlaceFailure = cannotWrite;
    for (const InPlaceStep& step : steps) {
        if (applied) applied->inPlace.push_back(step.plan);
        for (const InPlaceBlanking::Stream& stream : step.plan.streams) {
            if (!inPlaceFailure && !dryRun) {
                try {
                    writer->patchRootStream(stream.name, stream.patches);
                } catch (const storage::StorageError& error) {
                    inPlaceFailure = error;
                    writerSpent = true;
                } catch (const std::exception& error) {
                    writerSpent = true;
                    inPlaceFailure = storage::StorageError(storage::StorageResult::InvalidParameter, storage::Refusal::None,
                                                           std::string("The document could not be cleaned: ") + error.what());
                }
            }
            blanked.emplace_back(step.field(stream.name), inPlaceFailure);
        }
    }
    // In run order: what changed, then what failed, each field once.
    std::vector<std::pair<size_t, const storage::StorageError*>> failures;
    for (const ChangeFailure& failure : plan.failed) failures.emplace_back(failure.change, &failure.error);
    for (size_t index : plan.changed) {
        if (cannotWrite)
            failures.emplace_back(index, &*cannotWrite);
        else
            report.changed.push_back(CleanOperationField(operations[index]));
    }
    std::stable_sort(failures.begin(), failures.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [index, error] : failures) FailField(report, CleanOperationField(operations[index]), *error);
    // The names outside the sets take their place in the run order; a
    // field with any stream that failed is failed, not changed.
    std::vector<std::string> failedFields;
    for (const auto& [field, failure] : blanked) {
        if (!failure || std::find(failedFields.begin(), failedFields.end(), field) != failedFields.end()) continue;
        failedFields.push_back(field);
        FailField(report, field.c_str(), *failure);
    }
    for (const auto& [field, failure] : blanked) {
        if (failure || std::find(failedFields.begin(), failedFields.end(), field) != failedFields.end()) continue;
        if (std::find(report.changed.begin(), report.changed.end(), field) != report.changed.end()) continue;
        const size_t rank = RunRank(field);
        report.changed.insert(std::find_if(report.changed.begin(), report.changed.end(),
                                           [&](const std::string& other) { return RunRank(other) > rank; }),
                              field);
    }
    for (const InPlaceStep& step : steps)
        for (const std::string& problem : step.plan.problems)
            FailField(report, step.field(std::u16string(problem.begin(), problem.end())).c_str(),
                      storage::StorageError(storage::StorageResult::InvalidParameter, storage::Refusal::Damaged, problem));
    // Never reported as clean: what the objects inside the document keep.
    for (const EmbeddedField& embedded : embeddedWork)
        FailField(report, embedded.field.c_str(),
                  storage::StorageError(storage::StorageResult::InvalidParameter, storage::Refusal::None, embedded.reason),
                  true);
    // Residue goes last: what the steps above freed is zero already, so
    // whatever is left was there before the clean, or an interrupted one
    // left it.
    if (writerSpent) return;
    if (!cannotWrite && !dryRun) {
        try {
            // Without residue before and without a write since, there is none
            // now: no second survey of the free space.
            const bool wrote = !plan.contents.empty() || anyInPlace;
            const uint64_t zeroed = residueFound > 0 || wrote ? writer->zeroFreeSpace() : 0;
            if (zeroed > 0 || residueFound > 0) report.changed.push_back(kFreeSpaceField);
            if (applied) applied->complete = true;
        } catch (const storage::StorageError& error) {
            FailField(report, kFreeSpaceField, error);
        }
    } else if ((writer ? residueFound : document.residueWithoutWriter ? document.residueWithoutWriter() : 0) > 0) {
        if (cannotWrite)
            FailField(report, kFreeSpaceField, *cannotWrite);
        else
            report.changed.push_back(kFreeSpaceField);
    }
}

// The failures every clean turns into the document's own.
template <class Body>
CleanReport Guarded(Body body) {
    CleanReport report;
    try {
        body(report);
    } catch (const storage::StorageError& error) {
        FailDocument(report, error);
    } catch (const std::bad_alloc&) {
        FailDocument(report, storage::StorageError(storage::StorageResult::InsufficientMemory, storage::Refusal::Damaged,
                                                   "The document needs more memory than is available"));
    } catch (const std::exception& error) {
        // Not a refusal we know: still this document's failure, not the run's.
        FailDocument(report, storage::StorageError(storage::StorageResult::InvalidParameter, storage::Refusal::None,
                                                   std::string("The document could not be cleaned: ") + error.what()));
    }
    return report;
}

}  // namespace

CleanReport CleanDocument(const std::filesystem::path& path, const CleanSettings& settings, bool dryRun) {
    return Guarded([&](CleanReport& report) {
        // Open as the rewrite will; where that is refused but the document
        // can still be read, plan on the reading so that a document with
        // nothing to change is not reported as failed.
        std::unique_ptr<storage::WritableByteSource> source;
        std::optional<storage::CompoundFileWriter> writer;
        OpenDocument document;
        try {
            source = storage::OpenDocumentSource(path, storage::AccessMode::ReadWrite);
            writer.emplace(*source);
        } catch (const storage::StorageError& error) {
            if (!ReadableAnyway(error.reason())) throw;
            document.cannotWrite = error;
            writer.reset();
            source.reset();  // our own lock would keep the reading out
        }
        // The document's streams, read through the writer, or where the
        // writer was refused, through one opening for reading.
        document.writer = writer ? &*writer : nullptr;
        document.read = writer ? RootStreamsOf(*writer) : RootStreamsOf(path);
        document.refusalToWrite = [&path]() -> std::optional<storage::StorageError> {
            if (auto lockFile = storage::FindLiveOfficeLockFile(path))
                return storage::StorageError(storage::StorageResult::ShareViolation, storage::Refusal::OfficeLockFile,
                                             "The document is open in another program. " + storage::OfficeLockFileMessage(*lockFile));
            return std::nullopt;
        };
        document.residueWithoutWriter = [&path] { return MeasureResidue(path).value_or(0); };
        document.embeddedWork = [&](const CleanSettings& chosen) {
            if (source) return EmbeddedWorkIn(*source, chosen);
            try {
                const std::unique_ptr<storage::ByteSource> reading = storage::OpenDocumentSource(path, storage::AccessMode::Read);
                return EmbeddedWorkIn(*reading, chosen);
            } catch (const storage::StorageError&) {
                return std::vector<EmbeddedField>();
            }
        };
        RunClean(document, settings, dryRun, report, nullptr);
    });
}

CleanReport CleanOpenSource(storage::WritableByteSource& source, const CleanSettings& settings, bool dryRun,
                            AppliedClean* applied) {
    return Guarded([&](CleanReport& report) {
        storage::CompoundFileWriter writer(source);
        OpenDocument document;
        document.writer = &writer;
        document.read = RootStreamsOf(writer);
        document.embeddedWork = [&](const CleanSettings& chosen) { return EmbeddedWorkIn(source, chosen); };
        RunClean(document, settings, dryRun, report, applied);
    });
}

}  // namespace velmora::engine
