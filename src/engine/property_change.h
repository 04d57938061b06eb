#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/summary_info.h"
#include "engine/summary_properties.h"
#include "storage/compound_file_writer.h"
#include "storage/storage_error.h"

namespace velmora::engine {

// One change a clean makes to one property of the two summary sets: write a
// text or a date as the property table's type, or remove the property.
// Properties with a user-defined name (Company, Manager, the GUID, the
// hyperlinks) are changed there too: a written text replaces the
// user-defined value of that name, the empty text and a removal delete it
// together with its name.
//
// RemoveCustom removes every user-defined property no other operation
// takes care of (see custom_properties.h), each with its name.
struct PropertyChange {
    enum class Action { Write, Remove, RemoveCustom };

    const SummaryProperty* property = nullptr;
    Action action = Action::Write;
    std::u16string text;     // texts
    TFileTime fileTime = 0;  // dates
    // A date cleared: a stored FILETIME 0 ("never") is as good as the target.
    bool clearsDate = false;
    // Aimed at a set the document lacks: nothing to reset there, rather than
    // a failure (creating the set would add metadata).
    bool skipWhenSetMissing = false;

    static PropertyChange Text(const SummaryProperty& property, std::u16string text);
    static PropertyChange Date(const SummaryProperty& property, TFileTime fileTime, bool clearsDate);
    static PropertyChange Removal(const SummaryProperty& property);
    static PropertyChange CustomRemoval();
};

// A change that has work and could not be planned, with the reason.
struct ChangeFailure {
    size_t change;  // index into the changes
    storage::StorageError error;
};

// What the changes come to for one document, decided by what its streams
// store (not by what a reader made of the values): a change has work when
// the property is present and differs from the target in type or bytes, or
// is absent and the target is not empty.
struct DocumentPlan {
    std::vector<size_t> changed;  // indices of changes with work, planned without fault
    std::vector<ChangeFailure> failed;
    std::vector<std::u16string> streamNames;    // the streams to rewrite...
    std::vector<std::vector<uint8_t>> contents;  // ...and their new content, verified

    bool hasWork() const { return !changed.empty() || !failed.empty(); }
    std::vector<storage::RootStreamReplacement> replacements() const;
};

// Reads a root stream by name; nullopt when the document has none.
using RootStreamSource = std::function<std::optional<std::vector<uint8_t>>(std::u16string_view)>;
// The root streams of a loaded writer.
RootStreamSource RootStreamsOf(storage::CompoundFileWriter& writer);
// The root streams of the document at `path`, opened for reading once and
// kept open by the source. Raises the opening's storage::StorageError.
RootStreamSource RootStreamsOf(const std::filesystem::path& path);
// `read`, with each stream read once and kept, however many plans ask.
RootStreamSource ReadOnce(RootStreamSource read);

// Plans every change against one reading of the document's two summary
// streams. Failures are per change where the cause is the change's own (a
// text the set's code page cannot hold, a set the document lacks) and per
// stream where it is the stream's (damage that the new stream would carry):
// the other stream's changes still apply. Each new stream is parsed back
// with the strict reader before it counts as planned.
DocumentPlan PlanChanges(std::span<const PropertyChange> changes, const RootStreamSource& readStream);

// The same, reading the streams through a loaded writer.
DocumentPlan PlanChanges(std::span<const PropertyChange> changes, storage::CompoundFileWriter& writer);

}  // namespace velmora::engine
