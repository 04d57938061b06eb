#include "engine/embedded_objects.h"

#include <algorithm>
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
// stream, or one subtree; a real document embeds a handful of objects.
constexpr size_t kObjectLimit = 64;
constexpr size_t kStorageLimit = 1024;

bool IsDocumentOfItsOwn(const std::vector<storage::DirectoryEntry>& children) {
    for (const storage::DirectoryEntry& child : children) {
        if (child.type != storage::ObjectType::Stream) continue;
        for (std::u16string_view name : {u"\u0005SummaryInformation", u"\u0005DocumentSummaryInformation", u"WordDocument",
                                         u"Workbook", u"Book", u"PowerPoint Document"})
            if (storage::DirectoryNamesEqual(child.name, name)) return true;
    }
    return false;
}

struct Walk {
    std::set<uint32_t> entered;
    size_t storages = 0;
    bool truncated = false;
};

void Collect(storage::CompoundFile& file, const std::vector<storage::DirectoryEntry>& children, const std::u16string& prefix,
             int depth, Walk& walk, std::vector<EmbeddedStorage>& found) {
    for (const storage::DirectoryEntry& child : children) {
        if (child.type != storage::ObjectType::Storage || !walk.entered.insert(child.index).second) continue;
        if (depth > kDepthLimit || found.size() >= kObjectLimit || ++walk.storages > kStorageLimit) {
            walk.truncated = true;
            return;
        }
        EmbeddedStorage storage{prefix + child.name, file.childrenOf(child)};
        const bool own = IsDocumentOfItsOwn(storage.children);
        Collect(file, storage.children, storage.path + u'/', depth + 1, walk, found);
        if (!own) continue;
        if (found.size() >= kObjectLimit) {
            walk.truncated = true;
            return;
        }
        found.push_back(std::move(storage));
    }
}

// The fields the operations would change in one embedded object.
std::vector<std::string> FieldsWithWork(storage::CompoundFile& file, const EmbeddedStorage& storage,
                                        const CleanSettings& settings, const std::vector<CleanOperation>& operations,
                                        const std::vector<PropertyChange>& changes) {
    std::vector<std::string> fields;
    const std::string prefix = WideToUtf8(storage.path) + "/";
    // Several plans ask for the same streams.
    const RootStreamSource read = ReadOnce(StreamsOf(file, storage));
    const DocumentPlan plan = PlanChanges(changes, read);
    std::vector<size_t> withWork = plan.changed;
    for (const ChangeFailure& failure : plan.failed) withWork.push_back(failure.change);
    std::sort(withWork.begin(), withWork.end());
    withWork.erase(std::unique(withWork.begin(), withWork.end()), withWork.end());
    for (size_t index : withWork) fields.push_back(prefix + CleanOperationField(operations[index]));
    // The names outside the property sets, as the root's steps find them.
    if (settings.has(CleanOperation::RemoveRevisionLog)) {
        const InPlaceBlanking names = PlanRevisionLogBlanking(read, nullptr);
        if (!names.empty() || !names.problems.empty()) fields.push_back(prefix + "RevisionLog");
    }
    const std::pair<CleanOperation, InPlaceBlanking (*)(const RootStreamSource&)> steps[] = {
        {CleanOperation::RemovePrinter, &PlanPrinterBlanking},
        {CleanOperation::ClearLastEditedBy, &PlanLastSaverBlanking},
    };
    for (const auto& [operation, planOf] : steps) {
        if (!settings.has(operation)) continue;
        const InPlaceBlanking places = planOf(read);
        if (!places.empty() || !places.problems.empty()) fields.push_back(prefix + CleanOperationField(operation));
    }
    return fields;
}

}  // namespace

std::vector<EmbeddedStorage> FindEmbeddedStorages(storage::CompoundFile& file, bool* truncated) {
    std::vector<EmbeddedStorage> found;
    Walk walk;
    walk.entered.insert(file.rootEntry().index);
    Collect(file, file.rootChildren(), u"", 1, walk, found);
    if (truncated != nullptr) *truncated = walk.truncated;
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
        try {
            object.hidden = ScanHiddenNames(HeldStreams(StreamsOf(file, storage)));
        } catch (const storage::StorageError& error) {
            object.hidden.notCleaned.push_back(std::string("not read: ") + error.what());
        }
        objects.push_back(std::move(object));
    }
    return objects;
}

std::vector<EmbeddedField> EmbeddedFieldsWithWork(storage::CompoundFile& file, const CleanSettings& settings) {
    std::vector<EmbeddedField> found;
    const auto [operations, changes] = ChangesFor(settings);
    bool truncated = false;
    std::vector<EmbeddedStorage> storages;
    try {
        storages = FindEmbeddedStorages(file, &truncated);
    } catch (const storage::StorageError& error) {
        return {{"Embedded", std::string("not cleaned: the embedded objects could not be found: ") + error.what()}};
    }
    for (const EmbeddedStorage& storage : storages) {
        const std::string path = WideToUtf8(storage.path);
        std::vector<std::string> fields;
        try {
            fields = FieldsWithWork(file, storage, settings, operations, changes);
        } catch (const std::exception& error) {
            // Never passed over in silence: an object we cannot read may hold anything.
            found.push_back({path + "/*", path + ": not cleaned: it cannot be read: " + error.what()});
            continue;
        }
        for (std::string& field : fields)
            if (std::none_of(found.begin(), found.end(), [&](const EmbeddedField& seen) { return seen.field == field; }))
                found.push_back({std::move(field), path + ": " + kEmbeddedNotCleaned});
    }
    if (truncated)
        found.push_back({"Embedded", "not cleaned: more objects are embedded, or deeper, than are read (64 objects, 8 storages deep)"});
    return found;
}

}  // namespace velmora::engine
