#include "engine/property_writer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/code_page_text.h"
#include "storage/compound_file.h"
#include "storage/compound_file_format.h"
#include "storage/compound_file_writer.h"
#include "storage/file_byte_source.h"
#include "storage/office_lock_files.h"
#include "storage/property_set.h"
#include "storage/property_set_editor.h"
#include "storage/property_value.h"
#include "storage/storage_error.h"
#include "storage/stream_view.h"

namespace velmora::engine {

namespace {

using storage::Refusal;
using storage::StorageError;
using storage::StorageResult;

std::unique_ptr<storage::FileByteSource> OpenForWriting(const std::filesystem::path& path) {
    if (auto lockFile = storage::FindLiveOfficeLockFile(path))
        throw StorageError(StorageResult::ShareViolation, Refusal::OfficeLockFile,
                           "The document is open in another program (its lock file " + lockFile->filename().string() +
                               " is present)");
    return storage::FileByteSource::Open(path, storage::AccessMode::ReadWrite);
}

// Builds the edits against the stored stream, applies them and commits.
// Returns whether the document changed.
template <class MakeEdits>
bool EditDocument(const std::filesystem::path& path, const storage::FormatId& set, bool setMustExist, MakeEdits makeEdits) {
    auto source = OpenForWriting(path);
    storage::CompoundFileWriter writer(*source);
    const std::u16string streamName = storage::PropertySetStreamName(set);
    if (!writer.hasRootStream(streamName)) {
        if (!setMustExist) return false;
        throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                           "The document has no " + std::string(set == storage::format_ids::SummaryInformation
                                                                    ? "SummaryInformation"
                                                                    : "DocumentSummaryInformation") +
                               " property set");
    }
    std::vector<uint8_t> stream = writer.readRootStream(streamName);
    storage::MemoryStreamView view(stream);
    storage::PropertySetReader reader(view);
    std::vector<storage::PropertyEdit> edits = makeEdits(reader);
    std::optional<std::vector<uint8_t>> edited = storage::EditPropertySet(stream, edits);
    if (!edited) return false;

    // What we are about to commit must read back with our own strict parser.
    storage::MemoryStreamView check(*edited);
    storage::PropertySetReader verify(check);
    for (const auto& section : verify.sections())
        for (const auto& property : section.properties) verify.readValue(section, property);

    writer.replaceRootStream(streamName, *edited);
    return true;
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

bool DocumentHoldsProperty(const std::filesystem::path& path, uint32_t dsiPid, std::u16string_view userDefinedName) {
    auto source = storage::FileByteSource::Open(path, storage::AccessMode::Read);
    storage::CompoundFile file(*source);
    auto entry = file.findInRoot(storage::PropertySetStreamName(storage::format_ids::DocSummaryInformation));
    if (!entry || entry->type != storage::ObjectType::Stream) return false;
    storage::StreamReader stream = file.openStream(*entry);
    storage::PropertySetReader reader(stream);
    if (SectionHolds(reader, storage::format_ids::DocSummaryInformation, dsiPid)) return true;
    std::optional<uint32_t> named = UserDefinedPid(reader, userDefinedName);
    return named && SectionHolds(reader, storage::format_ids::UserDefinedProperties, *named);
}

void CheckDocumentWritable(const std::filesystem::path& path) {
    auto source = OpenForWriting(path);
    storage::CompoundFileWriter writer(*source);
}

void WriteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid, const PropVariant& value) {
    EditDocument(path, set, true, [&](storage::PropertySetReader& reader) {
        const storage::PropertySection* section = reader.findSection(set);
        if (section == nullptr)
            throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                               "The document has no such property set");
        storage::PropertyEdit edit;
        edit.sectionId = set;
        edit.pid = pid;
        if (value.vt == storage::vt::LPStr) {
            uint16_t codePage = reader.codePage(*section);
            std::optional<std::string> encoded = EncodeCodePageText(value.text, codePage);
            if (!encoded)
                throw StorageError(StorageResult::InvalidParameter, Refusal::Unencodable,
                                   "The text cannot be stored in this document: its properties use " +
                                       CodePageDisplayName(codePage) + ", which cannot represent every character of it");
            edit.value = storage::StoredText8Value(*encoded, codePage == kCodePageUtf16);
        } else if (value.vt == storage::vt::FileTime) {
            edit.value = storage::StoredFileTimeValue(value.fileTime);
        } else {
            throw StorageError(StorageResult::InvalidParameter, Refusal::None,
                               "Only texts and dates can be written (value type " + std::to_string(value.vt) + ")");
        }
        return std::vector<storage::PropertyEdit>{edit};
    });
}

bool DeleteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid,
                    std::u16string_view userDefinedName) {
    return EditDocument(path, set, false, [&](storage::PropertySetReader& reader) {
        std::vector<storage::PropertyEdit> edits;
        if (reader.findSection(set) != nullptr) edits.push_back({set, pid, std::nullopt, false});
        if (std::optional<uint32_t> named = UserDefinedPid(reader, userDefinedName))
            edits.push_back({storage::format_ids::UserDefinedProperties, *named, std::nullopt, true});
        return edits;
    });
}

}  // namespace velmora::engine
