#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/property_change.h"
#include "storage/compound_file_writer.h"

namespace velmora::engine {

// The byte ranges where `after` differs from `before` (same length), as
// patches that turn the one into the other.
std::vector<storage::StreamPatch> DifferingRanges(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after);

// Changes made in place, stream by stream: no stream changes size.
struct InPlaceBlanking {
    struct Stream {
        std::u16string name;
        std::vector<storage::StreamPatch> patches;
    };
    std::vector<Stream> streams;        // only streams with a name to blank
    std::vector<std::string> problems;  // "Workbook: not cleaned: malformed ..."; left alone
    bool empty() const { return streams.empty(); }
};
// What blanks who saved a document last, outside its property sets: Excel's
// WriteAccess record in `Workbook` and in `Book` (the format's "no user",
// two spaces) and PowerPoint's `Current User` (spaces of the same length in
// both copies).
InPlaceBlanking PlanLastSaverBlanking(const RootStreamSource& read);

// Applies a plan through the writer, stream by stream in its order; each
// stream is old or new at every point of an interruption. Raises the
// writer's errors.
void ApplyInPlaceBlanking(storage::CompoundFileWriter& writer, const InPlaceBlanking& plan);

// Opens the document for writing, plans with `plan` on what it holds and
// applies the plan durably. Raises storage::StorageError when the document
// cannot be written, a place the plan reads does not parse cleanly (its
// first problem), or the document is open in an office program; a document
// with nothing to change is left untouched.
void BlankInPlace(const std::filesystem::path& path, const std::function<InPlaceBlanking(const RootStreamSource&)>& plan);

// Opens the document, blanks those names durably and closes it. Raises
// storage::StorageError when the document cannot be written or a place
// holding a name cannot be read ("not cleaned: malformed ..."); a document
// without such names is left untouched.
void BlankLastSaverNames(const std::filesystem::path& path);

}  // namespace velmora::engine
