#include "engine/property_writer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/code_page_text.h"
#include "engine/summary_properties.h"
#include "storage/compound_file.h"
#include "storage/compound_file_writer.h"
#include "storage/document_source.h"
#include "storage/office_lock_files.h"
#include "storage/property_set.h"
#include "storage/property_value.h"
#include "storage/storage_error.h"

namespace velmora::engine {

namespace {

using storage::Refusal;
using storage::StorageError;
using storage::StorageResult;

const SummaryProperty& TableProperty(const storage::FormatId& set, uint32_t pid) {
    const size_t setIndex = set == storage::format_ids::SummaryInformation ? 0 : 1;
    const SummaryProperty* property = FindSummaryProperty(setIndex, pid);
    if (property == nullptr || (setIndex == 1 && set != storage::format_ids::DocSummaryInformation))
        throw StorageError(StorageResult::InvalidParameter, Refusal::None,
                           "Only the properties of the two summary sets can be written (set " + set.toString() +
                               ", property " + std::to_string(pid) + ")");
    return *property;
}

// The user-defined property named `name`, if the section has one.
std::optional<uint32_t> UserDefinedPid(storage::PropertySetReader& reader, std::u16string_view name) {
    const storage::PropertySection* section = reader.findSection(storage::format_ids::UserDefinedProperties);
    if (section == nullptr || name.empty()) return std::nullopt;
    uint16_t codePage = reader.codePage(*section);
    for (const auto& entry : reader.dictionary(*section))
        // Dictionary names compare like directory names: ASCII letters without case.
        if (storage::DirectoryNamesEqual(DecodeCodePageText(entry.nameBytes, codePage), name)) return entry.pid;
    return std::nullopt;
}

bool SectionHolds(storage::PropertySetReader& reader, const storage::FormatId& set, uint32_t pid) {
    const storage::PropertySection* section = reader.findSection(set);
    return section != nullptr && std::any_of(section->properties.begin(), section->properties.end(),
                                             [&](const storage::PropertyLocation& p) { return p.pid == pid; });
}

}  // namespace

std::unique_ptr<storage::WritableByteSource> OpenForRewrite(const std::filesystem::path& path) {
    if (auto lockFile = storage::FindLiveOfficeLockFile(path))
        throw StorageError(StorageResult::ShareViolation, Refusal::OfficeLockFile,
                           "The document is open in another program. " + storage::OfficeLockFileMessage(*lockFile));
    return storage::OpenDocumentSource(path, storage::AccessMode::ReadWrite);
}

bool ApplyChanges(const std::filesystem::path& path, std::span<const PropertyChange> changes) {
    auto source = OpenForRewrite(path);
    storage::CompoundFileWriter writer(*source);
    DocumentPlan plan = PlanChanges(changes, writer);
    if (!plan.failed.empty()) throw plan.failed.front().error;
    if (plan.contents.empty()) return false;
    writer.replaceRootStreams(plan.replacements());
    return true;
}

bool DocumentHoldsProperty(const std::filesystem::path& path, uint32_t dsiPid, std::u16string_view userDefinedName) {
    auto source = storage::OpenDocumentSource(path, storage::AccessMode::Read);
    storage::CompoundFile file(*source);
    return DocumentHoldsProperty(file, dsiPid, userDefinedName);
}

bool DocumentHoldsProperty(storage::CompoundFile& file, uint32_t dsiPid, std::u16string_view userDefinedName) {
    auto entry = file.findInRoot(storage::PropertySetStreamName(storage::format_ids::DocSummaryInformation));
    if (!entry || entry->type != storage::ObjectType::Stream) return false;
    storage::StreamReader stream = file.openStream(*entry);
    storage::PropertySetReader reader(stream);
    if (SectionHolds(reader, storage::format_ids::DocSummaryInformation, dsiPid)) return true;
    std::optional<uint32_t> named = UserDefinedPid(reader, userDefinedName);
    return named && SectionHolds(reader, storage::format_ids::UserDefinedProperties, *named);
}

void WriteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid, const PropVariant& value) {
    const SummaryProperty& property = TableProperty(set, pid);
    PropertyChange change;
    if (value.vt == storage::vt::LPStr && property.kind == FieldKind::Text)
        change = PropertyChange::Text(property, value.text);
    else if (value.vt == storage::vt::FileTime && property.storedType == storage::vt::FileTime)
        change = PropertyChange::Date(property, value.fileTime, false);
    else
        throw StorageError(StorageResult::InvalidParameter, Refusal::None,
                           "Only texts and dates can be written, each as its property's type (value type " +
                               std::to_string(value.vt) + ")");
    ApplyChanges(path, std::span(&change, 1));
}

bool DeleteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid) {
    const PropertyChange change = PropertyChange::Removal(TableProperty(set, pid));
    return ApplyChanges(path, std::span(&change, 1));
}

}  // namespace velmora::engine
