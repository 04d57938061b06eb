#include "engine/property_change.h"

#include <algorithm>
#include <map>
#include <memory>

#include "engine/code_page_text.h"
#include "engine/custom_properties.h"
#include "engine/date_time_conversions.h"
#include "storage/compound_file.h"
#include "storage/document_source.h"
#include "storage/format_id.h"
#include "storage/little_endian.h"
#include "storage/property_set.h"
#include "storage/property_set_editor.h"
#include "storage/property_value.h"
#include "storage/stream_view.h"

namespace velmora::engine {

namespace {

namespace ids = storage::format_ids;
using storage::PropertyEdit;
using storage::PropertySection;
using storage::PropertySetReader;
using storage::Refusal;
using storage::StorageError;
using storage::StorageResult;

const storage::FormatId& SetOf(const SummaryProperty& property) {
    return property.setIndex == 0 ? ids::SummaryInformation : ids::DocSummaryInformation;
}

const char* SetName(const SummaryProperty& property) {
    return property.setIndex == 0 ? "SummaryInformation" : "DocumentSummaryInformation";
}

// Nothing to do where the property cannot be: clearing, removing.
bool HarmlessWhenAbsent(const PropertyChange& change) {
    if (change.action != PropertyChange::Action::Write) return true;
    return change.property->kind == FieldKind::Text ? change.text.empty() : change.clearsDate;
}

// One summary stream, parsed once for all the changes aimed at it.
class ParsedStream {
public:
    explicit ParsedStream(std::vector<uint8_t> bytes)
        : bytes_(std::move(bytes)), view_(std::make_unique<storage::MemoryStreamView>(bytes_)), reader_(*view_) {}

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    PropertySetReader& reader() { return reader_; }

    // The stored value at `offset` of the section: its type word and data,
    // as far as the value reaches.
    std::span<const uint8_t> extent(const PropertySection& section, uint32_t offset) const {
        return std::span(bytes_).subspan(section.offset + offset, storage::ValueLimit(section, offset) - offset);
    }

    std::vector<uint32_t> offsetsOf(const PropertySection& section, uint32_t pid) const {
        std::vector<uint32_t> offsets;
        for (const auto& property : section.properties)
            if (property.pid == pid) offsets.push_back(property.offset);
        return offsets;
    }

    // Every PID the dictionary gives that name: a damaged or careless writer
    // may have given it to more than one.
    std::vector<uint32_t> userDefinedPids(const PropertySection& section, std::u16string_view name) {
        const uint16_t codePage = reader_.codePage(section);
        std::vector<uint32_t> pids;
        for (const auto& entry : reader_.dictionary(section))
            // Dictionary names compare like directory names: without case.
            if (storage::DirectoryNamesEqual(DecodeCodePageText(entry.nameBytes, codePage), name) &&
                std::find(pids.begin(), pids.end(), entry.pid) == pids.end())
                pids.push_back(entry.pid);
        return pids;
    }

private:
    std::vector<uint8_t> bytes_;
    std::unique_ptr<storage::MemoryStreamView> view_;
    PropertySetReader reader_;
};

// Same type and same text as the value a write would store. Zeros after the
// text are layout (some writers pad the stored length), anything else
// after a terminator is hidden text and counts as a difference.
bool ZerosFrom(std::span<const uint8_t> stored, uint64_t from) {
    return std::all_of(stored.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(from, stored.size())), stored.end(),
                       [](uint8_t b) { return b == 0; });
}

// Same type and same text as the value a write would store. Zeros after the
// text are layout (some writers pad the stored length, every value is padded
// to four bytes); anything else after it, up to the next value, is hidden
// text and counts as a difference.
bool HoldsText(std::span<const uint8_t> stored, const std::vector<uint8_t>& target) {
    if (stored.size() < 8 || storage::LoadU16(stored, 0) != storage::vt::LPStr) return false;
    const uint64_t length = storage::LoadU32(stored, 4);
    if (stored.size() - 8 < length) return false;
    auto withoutTrailingZeros = [](std::span<const uint8_t> bytes) {
        while (!bytes.empty() && bytes.back() == 0) bytes = bytes.first(bytes.size() - 1);
        return bytes;
    };
    auto have = withoutTrailingZeros(stored.subspan(8, static_cast<size_t>(length)));
    auto want = withoutTrailingZeros(std::span(target).subspan(8, storage::LoadU32(target, 4)));
    return std::equal(have.begin(), have.end(), want.begin(), want.end()) && ZerosFrom(stored, 8 + length);
}

bool HoldsFileTime(std::span<const uint8_t> stored, TFileTime target, bool clearsDate) {
    if (stored.size() < 12 || storage::LoadU16(stored, 0) != storage::vt::FileTime || !ZerosFrom(stored, 12)) return false;
    const uint64_t value = storage::LoadU64(stored, 4);
    return value == target ||
           (clearsDate && (value == 0 || value == static_cast<uint64_t>(kTicksAtDateTimeZero)));
}

std::vector<uint8_t> EncodedText(const std::u16string& text, uint16_t codePage) {
    std::optional<std::string> encoded = EncodeCodePageText(text, codePage);
    if (!encoded)
        throw StorageError(StorageResult::InvalidParameter, Refusal::Unencodable,
                           "The text cannot be stored in this document: its properties use " +
                               CodePageDisplayName(codePage) + ", which cannot represent every character of it");
    return storage::StoredText8Value(*encoded, codePage == kCodePageUtf16);
}

const PropertySection& EmptySection() {
    static const PropertySection empty;
    return empty;
}

// The edits one change needs against what the stream stores; empty when the
// stream already holds the target.
std::vector<PropertyEdit> EditsFor(const PropertyChange& change, ParsedStream& stream, const PropertySection* mainSection,
                                   const PropertySection* userDefined) {
    const SummaryProperty& property = *change.property;
    std::vector<PropertyEdit> edits;
    if (change.action == PropertyChange::Action::RemoveCustom) {
        if (userDefined == nullptr) return edits;
        for (const CustomProperty& custom : ReadCustomProperties(stream.reader(), false))
            // Gone with its name, so the dictionary does not keep it either.
            if (std::none_of(edits.begin(), edits.end(), [&](const PropertyEdit& edit) { return edit.pid == custom.pid; }))
                edits.push_back({ids::UserDefinedProperties, custom.pid, std::nullopt, true});
        return edits;
    }
    // Without the set there is nothing to clear or reset in it, and a text
    // to store has nowhere to go unless a user-defined property takes it.
    auto nowhereToGo = [&] {
        if (mainSection == nullptr && !HarmlessWhenAbsent(change) && !change.skipWhenSetMissing)
            throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                               std::string("The document has no ") + SetName(property) + " property set");
    };
    const PropertySection& section = mainSection != nullptr ? *mainSection : EmptySection();
    const std::vector<uint32_t> offsets = stream.offsetsOf(section, property.pid);
    const bool present = !offsets.empty();
    if (mainSection == nullptr) {
    } else if (change.action == PropertyChange::Action::Remove) {
        if (present) edits.push_back({SetOf(property), property.pid, std::nullopt, false});
    } else if (property.kind == FieldKind::Text) {
        const uint16_t codePage = stream.reader().codePage(section);
        const bool work = present ? std::any_of(offsets.begin(), offsets.end(), [&](uint32_t offset) {
                                        // An unencodable target differs from whatever is stored.
                                        std::optional<std::string> encoded = EncodeCodePageText(change.text, codePage);
                                        return !encoded ||
                                               !HoldsText(stream.extent(section, offset),
                                                          storage::StoredText8Value(*encoded, codePage == kCodePageUtf16));
                                    })
                                  : !change.text.empty();
        if (work) edits.push_back({SetOf(property), property.pid, EncodedText(change.text, codePage), false});
    } else {
        const bool work = present ? std::any_of(offsets.begin(), offsets.end(), [&](uint32_t offset) {
                                        return !HoldsFileTime(stream.extent(section, offset), change.fileTime, change.clearsDate);
                                    })
                                  : !change.clearsDate;
        if (work) edits.push_back({SetOf(property), property.pid, storage::StoredFileTimeValue(change.fileTime), false});
    }

    if (property.userDefinedName == nullptr || userDefined == nullptr) {
        nowhereToGo();
        return edits;
    }
    const std::vector<uint32_t> pids = stream.userDefinedPids(*userDefined, property.userDefinedName);
    if (pids.empty()) {
        nowhereToGo();
        return edits;
    }
    const bool removeNamed = change.action == PropertyChange::Action::Remove || change.text.empty();
    const std::vector<uint8_t> target =
        removeNamed ? std::vector<uint8_t>{} : EncodedText(change.text, stream.reader().codePage(*userDefined));
    for (uint32_t pid : pids) {
        if (removeNamed) {
            // Gone with its name, so the dictionary does not keep it either.
            edits.push_back({ids::UserDefinedProperties, pid, std::nullopt, true});
            continue;
        }
        const std::vector<uint32_t> named = stream.offsetsOf(*userDefined, pid);
        if (named.empty() || std::any_of(named.begin(), named.end(), [&](uint32_t offset) {
                return !HoldsText(stream.extent(*userDefined, offset), target);
            }))
            edits.push_back({ids::UserDefinedProperties, pid, target, false});
    }
    return edits;
}

// What is about to be committed must read back with our own strict parser.
void VerifyStream(const std::vector<uint8_t>& bytes) {
    storage::MemoryStreamView view(bytes);
    PropertySetReader reader(view);
    for (const auto& section : reader.sections()) {
        reader.codePage(section);
        reader.dictionary(section);
        for (const auto& property : section.properties)
            if (property.pid != storage::kDictionaryPid) reader.readValue(section, property);
    }
}

}  // namespace

PropertyChange PropertyChange::Text(const SummaryProperty& property, std::u16string text) {
    PropertyChange change;
    change.property = &property;
    change.text = std::move(text);
    return change;
}

PropertyChange PropertyChange::Date(const SummaryProperty& property, TFileTime fileTime, bool clearsDate) {
    PropertyChange change;
    change.property = &property;
    change.fileTime = fileTime;
    change.clearsDate = clearsDate;
    return change;
}

PropertyChange PropertyChange::CustomRemoval() {
    PropertyChange change;
    change.property = &CustomPropertiesField();
    change.action = Action::RemoveCustom;
    return change;
}

PropertyChange PropertyChange::Removal(const SummaryProperty& property) {
    PropertyChange change;
    change.property = &property;
    change.action = Action::Remove;
    return change;
}

std::vector<storage::RootStreamReplacement> DocumentPlan::replacements() const {
    std::vector<storage::RootStreamReplacement> list;
    for (size_t i = 0; i < streamNames.size(); ++i) list.push_back({streamNames[i], contents[i]});
    return list;
}

DocumentPlan PlanChanges(std::span<const PropertyChange> changes, const RootStreamSource& readStream) {
    DocumentPlan plan;
    for (size_t setIndex = 0; setIndex < 2; ++setIndex) {
        std::vector<size_t> mine;
        for (size_t i = 0; i < changes.size(); ++i)
            if (changes[i].property->setIndex == setIndex) mine.push_back(i);
        if (mine.empty()) continue;
        const SummaryProperty& any = *changes[mine.front()].property;
        const std::u16string streamName = storage::PropertySetStreamName(SetOf(any));

        std::unique_ptr<ParsedStream> stream;
        const PropertySection* section = nullptr;
        try {
            if (std::optional<std::vector<uint8_t>> bytes = readStream(streamName)) {
                stream = std::make_unique<ParsedStream>(std::move(*bytes));
                section = stream->reader().findSection(SetOf(any));
            }
        } catch (const StorageError& error) {
            // A stream we cannot parse: none of its changes can be judged.
            for (size_t i : mine) plan.failed.push_back({i, error});
            continue;
        }
        const PropertySection* userDefined =
            stream && setIndex == 1 ? stream->reader().findSection(ids::UserDefinedProperties) : nullptr;
        if (section == nullptr && userDefined == nullptr) {
            for (size_t i : mine) {
                if (HarmlessWhenAbsent(changes[i]) || changes[i].skipWhenSetMissing) continue;
                plan.failed.push_back({i, StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                                                       std::string("The document has no ") + SetName(any) +
                                                           " property set")});
            }
            continue;
        }

        std::vector<PropertyEdit> edits;
        std::vector<size_t> withWork;
        for (size_t i : mine) {
            try {
                std::vector<PropertyEdit> own = EditsFor(changes[i], *stream, section, userDefined);
                if (own.empty()) continue;
                edits.insert(edits.end(), own.begin(), own.end());
                withWork.push_back(i);
            } catch (const StorageError& error) {
                plan.failed.push_back({i, error});
            }
        }
        if (withWork.empty()) continue;
        try {
            std::optional<std::vector<uint8_t>> edited = storage::EditPropertySet(stream->bytes(), edits);
            if (!edited) continue;
            VerifyStream(*edited);
            plan.streamNames.push_back(streamName);
            plan.contents.push_back(std::move(*edited));
            plan.changed.insert(plan.changed.end(), withWork.begin(), withWork.end());
        } catch (const StorageError& error) {
            // Damage elsewhere in the set would be written back as it is: the
            // set is not rewritten, and none of its changes counts as done.
            for (size_t i : withWork) plan.failed.push_back({i, error});
        }
    }
    std::sort(plan.changed.begin(), plan.changed.end());
    std::stable_sort(plan.failed.begin(), plan.failed.end(),
                     [](const ChangeFailure& a, const ChangeFailure& b) { return a.change < b.change; });
    return plan;
}

RootStreamSource RootStreamsOf(storage::CompoundFileWriter& writer) {
    return [&writer](std::u16string_view name) -> std::optional<std::vector<uint8_t>> {
        if (!writer.hasRootStream(name)) return std::nullopt;
        return writer.readRootStream(name);
    };
}

RootStreamSource RootStreamsOf(const std::filesystem::path& path) {
    std::shared_ptr<storage::ByteSource> source = storage::OpenDocumentSource(path, storage::AccessMode::Read);
    auto file = std::make_shared<storage::CompoundFile>(*source);
    return [source, file](std::u16string_view name) -> std::optional<std::vector<uint8_t>> {
        auto entry = file->findInRoot(name);
        if (!entry || entry->type != storage::ObjectType::Stream) return std::nullopt;
        return file->openStream(*entry).readAll();
    };
}

RootStreamSource ReadOnce(RootStreamSource read) {
    auto cache = std::make_shared<std::map<std::u16string, std::optional<std::vector<uint8_t>>>>();
    return [read = std::move(read), cache](std::u16string_view name) {
        auto [at, fresh] = cache->try_emplace(std::u16string(name));
        if (fresh) at->second = read(name);
        return at->second;
    };
}

DocumentPlan PlanChanges(std::span<const PropertyChange> changes, storage::CompoundFileWriter& writer) {
    return PlanChanges(changes, RootStreamsOf(writer));
}

}  // namespace velmora::engine
