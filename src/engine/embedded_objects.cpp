#include "engine/embedded_objects.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "engine/last_saver_blanking.h"
#include "engine/printer_settings.h"
#include "engine/property_change.h"
#include "engine/revision_log_blanking.h"
#include "engine/text_conversions.h"
#include "storage/compound_file_format.h"

namespace velmora::engine {

namespace {

constexpr int kDepthLimit = 8;
// A hostile directory can hold thousands of storages sharing one large
// stream; a real document embeds a handful of objects.
constexpr size_t kObjectLimit = 64;

bool IsDocumentOfItsOwn(const std::vector<storage::DirectoryEntry>& children) {
    for (const storage::DirectoryEntry& child : children) {
        if (child.type != storage::ObjectType::Stream) continue;
        for (std::u16string_view name : {u"\u0005SummaryInformation", u"\u0005DocumentSummaryInformation", u"WordDocument",
                                         u"Workbook", u"Book", u"PowerPoint Document"})
            if (storage::DirectoryNamesEqual(child.name, name)) return true;
    }
    return false;
}

void Collect(storage::CompoundFile& file, const std::vector<storage::DirectoryEntry>& children, const std::u16string& prefix,
             int depth, std::set<uint32_t>& entered, std::vector<EmbeddedStorage>& found) {
    if (depth > kDepthLimit) return;
    for (const storage::DirectoryEntry& child : children) {
        if (found.size() >= kObjectLimit) return;
        if (child.type != storage::ObjectType::Storage || !entered.insert(child.index).second) continue;
        EmbeddedStorage storage{prefix + child.name, file.childrenOf(child)};
        const bool own = IsDocumentOfItsOwn(storage.children);
        Collect(file, storage.children, storage.path + u'/', depth + 1, entered, found);
        if (own) found.push_back(std::move(storage));
    }
}

}  // namespace

std::vector<EmbeddedStorage> FindEmbeddedStorages(storage::CompoundFile& file) {
    std::vector<EmbeddedStorage> found;
    std::set<uint32_t> entered{file.rootEntry().index};
    Collect(file, file.rootChildren(), u"", 1, entered, found);
    std::sort(found.begin(), found.end(), [](const EmbeddedStorage& a, const EmbeddedStorage& b) { return a.path < b.path; });
    return found;
}

RootStreamSource StreamsOf(storage::CompoundFile& file, const EmbeddedStorage& storage) {
    return [&file, children = storage.children](std::u16string_view name) -> std::optional<std::vector<uint8_t>> {
        const storage::DirectoryEntry* entry = storage::FindChildByName(children, name);
        if (entry == nullptr || entry->type != storage::ObjectType::Stream) return std::nullopt;
        return file.openStream(*entry).readAll();
    };
}

std::vector<EmbeddedObject> AnalyzeEmbeddedObjects(storage::CompoundFile& file) {
    std::vector<EmbeddedObject> objects;
    for (const EmbeddedStorage& storage : FindEmbeddedStorages(file)) {
        EmbeddedObject object;
        object.storage = storage.path;
        object.outcome = ReadSummaryInfoIn(file, storage.children, object.info);
        object.hidden = ScanHiddenNames(HeldStreams(StreamsOf(file, storage)));
        objects.push_back(std::move(object));
    }
    return objects;
}

std::vector<std::string> EmbeddedFieldsWithWork(storage::CompoundFile& file, const CleanSettings& settings) {
    std::vector<std::string> fields;
    const auto [operations, changes] = ChangesFor(settings);
    for (const EmbeddedStorage& storage : FindEmbeddedStorages(file)) {
        const std::string prefix = WideToUtf8(storage.path) + "/";
        const RootStreamSource read = StreamsOf(file, storage);
        const DocumentPlan plan = PlanChanges(changes, read);
        std::vector<size_t> withWork = plan.changed;
        for (const ChangeFailure& failure : plan.failed) withWork.push_back(failure.change);
        std::sort(withWork.begin(), withWork.end());
        withWork.erase(std::unique(withWork.begin(), withWork.end()), withWork.end());
        for (size_t index : withWork) fields.push_back(prefix + CleanOperationField(operations[index]));
        // The names outside the property sets, as the root's steps find them.
        const std::pair<CleanOperation, InPlaceBlanking (*)(const RootStreamSource&)> steps[] = {
            {CleanOperation::RemovePrinter, &PlanPrinterBlanking},
            {CleanOperation::ClearLastEditedBy, &PlanLastSaverBlanking},
        };
        if (settings.has(CleanOperation::RemoveRevisionLog)) {
            const InPlaceBlanking names = PlanRevisionLogBlanking(read, nullptr);
            if (!names.empty() || !names.problems.empty()) fields.push_back(prefix + "RevisionLog");
        }
        for (const auto& [operation, planOf] : steps) {
            if (!settings.has(operation)) continue;
            const InPlaceBlanking places = planOf(read);
            if (!places.empty() || !places.problems.empty()) fields.push_back(prefix + CleanOperationField(operation));
        }
    }
    return fields;
}

}  // namespace velmora::engine
