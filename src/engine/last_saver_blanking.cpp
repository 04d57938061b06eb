#include "engine/last_saver_blanking.h"

#include "engine/hidden_names.h"
#include "engine/text_conversions.h"
#include "storage/document_source.h"
#include "storage/office_lock_files.h"
#include "storage/storage_error.h"

namespace velmora::engine {

std::vector<storage::StreamPatch> DifferingRanges(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    std::vector<storage::StreamPatch> patches;
    const size_t size = std::min(before.size(), after.size());
    for (size_t at = 0; at < size;) {
        if (before[at] == after[at]) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < size && before[end] != after[end]) ++end;
        patches.push_back({at, std::vector<uint8_t>(after.begin() + static_cast<std::ptrdiff_t>(at),
                                                    after.begin() + static_cast<std::ptrdiff_t>(end))});
        at = end;
    }
    return patches;
}

InPlaceBlanking PlanLastSaverBlanking(const RootStreamSource& read) {
    InPlaceBlanking plan;
    struct Place {
        const char16_t* stream;
        bool (*blank)(std::vector<uint8_t>&, std::string&);
    };
    const Place places[] = {{u"Workbook", &BlankWriteAccess}, {u"Book", &BlankWriteAccess}, {u"Current User", &BlankCurrentUser}};
    for (const Place& place : places) {
        const std::optional<std::vector<uint8_t>> before = read(place.stream);
        if (!before) continue;
        std::vector<uint8_t> after = *before;
        std::string problem;
        const bool blanked = place.blank(after, problem);
        if (!problem.empty()) {
            plan.problems.push_back(WideToUtf8(place.stream) + ": " + problem);
            continue;
        }
        if (!blanked) continue;
        std::vector<storage::StreamPatch> patches = DifferingRanges(*before, after);
        if (!patches.empty()) plan.streams.push_back({place.stream, std::move(patches)});
    }
    return plan;
}

void ApplyInPlaceBlanking(storage::CompoundFileWriter& writer, const InPlaceBlanking& plan) {
    for (const InPlaceBlanking::Stream& stream : plan.streams) writer.patchRootStream(stream.name, stream.patches);
}

void BlankInPlace(const std::filesystem::path& path, const std::function<InPlaceBlanking(const RootStreamSource&)>& plan) {
    auto source = storage::OpenDocumentSource(path, storage::AccessMode::ReadWrite);
    storage::CompoundFileWriter writer(*source);
    const InPlaceBlanking planned = plan(RootStreamsOf(writer));
    if (!planned.problems.empty())
        throw storage::StorageError(storage::StorageResult::InvalidParameter, storage::Refusal::Damaged, planned.problems.front());
    if (planned.empty()) return;
    if (auto lockFile = storage::FindLiveOfficeLockFile(path))
        throw storage::StorageError(storage::StorageResult::ShareViolation, storage::Refusal::OfficeLockFile,
                                    "The document is open in another program. " + storage::OfficeLockFileMessage(*lockFile));
    ApplyInPlaceBlanking(writer, planned);
}

void BlankLastSaverNames(const std::filesystem::path& path) { BlankInPlace(path, PlanLastSaverBlanking); }

}  // namespace velmora::engine
