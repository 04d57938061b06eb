#include "engine/summary_reader.h"

#include <map>
#include <set>
#include <new>
#include <optional>

#include "engine/code_page_text.h"
#include "engine/date_time_conversions.h"
#include "engine/summary_properties.h"
#include "storage/compound_file.h"
#include "storage/document_source.h"
#include "storage/property_set.h"

namespace velmora::engine {

using storage::PropertyValue;

const std::array<storage::FormatId, 8>& PropertySets() {
    namespace ids = storage::format_ids;
    static const std::array<storage::FormatId, 8> sets = {
        ids::SummaryInformation, ids::DocSummaryInformation, ids::UserDefinedProperties, ids::ImageProperties,
        ids::InternetSite,       ids::Music,                 ids::Video,                 ids::Audio};
    return sets;
}

namespace {

std::optional<std::u16string> TextFrom(const PropertyValue& value, uint16_t codePage) {
    switch (value.kind) {
    case PropertyValue::Kind::Text8:
        return DecodeCodePageText(value.text8, codePage);
    case PropertyValue::Kind::Text16:
        return value.text16.substr(0, value.text16.find(u'\0'));
    case PropertyValue::Kind::Integer: {
        // A revision number stored as VT_UI4, say; VT_BOOL is no number.
        if (value.type == storage::vt::Bool) return std::nullopt;
        std::string digits = std::to_string(value.integer);
        return std::u16string(digits.begin(), digits.end());
    }
    case PropertyValue::Kind::Vector: {
        // Keywords stored as a list of strings.
        uint16_t elementType = static_cast<uint16_t>(value.type & ~storage::vt::Vector);
        if (!value.elementsComplete || (elementType != storage::vt::LPStr && elementType != storage::vt::LPWStr))
            return std::nullopt;
        std::u16string joined;
        for (size_t i = 0; i < value.elements.size(); ++i) {
            if (i > 0) joined += u"; ";
            joined += *TextFrom(value.elements[i], codePage);
        }
        return joined;
    }
    default:
        return std::nullopt;
    }
}

// Whether the record holds exactly what is stored: a text stored as the
// table's 8-bit string, a date as a FILETIME. Other fields are never cleaned.
bool Exact(const SummaryProperty& property, const PropertyValue& value) {
    if (!value.onlyZerosAfter) return false;  // hidden bytes after it
    switch (property.kind) {
    case FieldKind::Text: return value.kind == PropertyValue::Kind::Text8 && value.type == storage::vt::LPStr;
    case FieldKind::Date:
    case FieldKind::EditTime: return value.kind == PropertyValue::Kind::FileTime;
    default: return true;
    }
}

void Store(const SummaryProperty& property, const PropertyValue& value, uint16_t codePage, TSummaryInfo& info) {
    switch (property.kind) {
    case FieldKind::Text:
        if (auto text = TextFrom(value, codePage)) info.*property.text = *text;
        break;
    case FieldKind::Date:
        if (value.kind != PropertyValue::Kind::FileTime) break;
        // The writer stores a cleared date as this fixed instant in every
        // zone; it reads back as the zero date-time wherever it is read.
        info.*property.date = value.fileTime == static_cast<uint64_t>(kTicksAtDateTimeZero)
                                  ? 0.0
                                  : FileTimeToDateTime(value.fileTime);
        break;
    case FieldKind::EditTime:
        if (value.kind == PropertyValue::Kind::FileTime) info.*property.date = EditTimeToDateTime(value.fileTime);
        break;
    case FieldKind::Count:
        if (value.isInteger()) info.*property.count = static_cast<int32_t>(static_cast<uint32_t>(value.integer));
        break;
    case FieldKind::Word:
        if (value.isInteger()) info.*property.word = static_cast<uint16_t>(value.integer);
        break;
    case FieldKind::Reference:
        // The reference is opaque; nothing dereferences it.
        if (value.type == property.storedType) info.*property.reference = 0;
        break;
    case FieldKind::CountAndReference:
        if (value.type != property.storedType) break;
        (info.*property.pair).Count = value.kind == PropertyValue::Kind::Binary ? value.byteCount : value.elementCount;
        (info.*property.pair).Reference = 0;
        break;
    }
}

// What one reading gathers beside the record.
struct ReadState {
    std::optional<storage::StorageError> damage;  // the first met
    std::set<uint32_t> presentInDsi;              // PIDs DocumentSummaryInformation holds
    // User-defined texts under the names the table knows, by that name.
    std::map<std::u16string, std::u16string> userDefinedTexts;
    std::set<const SummaryProperty*> inexact;

    void noteDamage(const storage::StorageError& error) {
        if (!damage) damage = error;
    }
};

// The user-defined properties whose names the table knows (Company,
// Manager, Category, _PID_GUID, _PID_HLINKS), as far as they can be read.
void ReadUserDefinedNames(storage::PropertySetReader& reader, const storage::PropertySection& section,
                          const std::map<uint32_t, std::optional<PropertyValue>>& valueAt, ReadState& state) {
    const uint16_t codePage = reader.codePage(section);
    for (const auto& entry : reader.dictionary(section)) {
        const std::u16string name = DecodeCodePageText(entry.nameBytes, codePage);
        for (const auto& known : SummaryProperties()) {
            if (known.userDefinedName == nullptr || !storage::DirectoryNamesEqual(name, known.userDefinedName)) continue;
            for (const auto& property : section.properties) {
                if (property.pid != entry.pid) continue;
                state.inexact.insert(&known);
                // A name given to the code page or the dictionary itself names no value.
                auto value = valueAt.find(property.offset);
                if (value == valueAt.end() || !value->second || known.kind != FieldKind::Text) continue;
                if (auto text = TextFrom(*value->second, codePage)) state.userDefinedTexts.emplace(known.userDefinedName, *text);
            }
        }
    }
}

// One set: found by its identifier, enumerated, its values read and stored.
// Returns false when the set is absent or cannot be opened. Damage is kept in
// the state (the first only), so that a damaged document is not mistaken for
// one without properties; a value that cannot be read is skipped alone.
bool ReadSet(storage::CompoundFile& file, const std::vector<storage::DirectoryEntry>& children, size_t setIndex,
             TSummaryInfo& info, ReadState& state) {
    const storage::FormatId& formatId = PropertySets()[setIndex];
    static const std::array<std::u16string, 8> kStreamNames = [] {
        std::array<std::u16string, 8> names;
        for (size_t i = 0; i < names.size(); ++i) names[i] = storage::PropertySetStreamName(PropertySets()[i]);
        return names;
    }();
    std::optional<storage::DirectoryEntry> entry;
    std::optional<storage::StreamReader> stream;
    std::optional<storage::PropertySetReader> reader;
    const storage::PropertySection* section = nullptr;
    try {
        if (const storage::DirectoryEntry* found = storage::FindChildByName(children, kStreamNames[setIndex])) entry = *found;
        if (!entry || entry->type != storage::ObjectType::Stream) return false;
        stream.emplace(file.openStream(*entry));
        reader.emplace(*stream);
        section = reader->findSection(formatId);
        if (section == nullptr) return false;
    } catch (const storage::StorageError& error) {
        // A set that cannot be opened is skipped; but none of its fields may
        // pass for what the document stores.
        if (error.reason() == storage::Refusal::Damaged) {
            state.noteDamage(error);
            for (const auto& property : SummaryProperties())
                if (property.setIndex == setIndex || (setIndex == 2 && property.userDefinedName != nullptr))
                    state.inexact.insert(&property);
        }
        return false;
    }

    // Each offset is decoded once: a hostile section can point thousands of
    // entries at one value. A value that cannot be decoded is left out alone.
    std::map<uint32_t, std::optional<PropertyValue>> valueAt;
    for (const auto& property : section->properties) {
        // The dictionary and the code page are not properties of their own.
        if (property.pid == storage::kDictionaryPid || property.pid == storage::kCodePagePid) continue;
        if (valueAt.count(property.offset)) continue;
        try {
            valueAt.emplace(property.offset, reader->readValue(*section, property));
        } catch (const storage::StorageError& error) {
            if (error.reason() != storage::Refusal::Damaged) throw;
            state.noteDamage(error);
            valueAt.emplace(property.offset, std::nullopt);
        }
    }
    try {
        if (setIndex == 2) ReadUserDefinedNames(*reader, *section, valueAt, state);
        if (setIndex > 1) return true;
        const uint16_t codePage = reader->codePage(*section);
        for (const auto& property : section->properties) {
            const SummaryProperty* known = FindSummaryProperty(setIndex, property.pid);
            if (known == nullptr) continue;
            if (setIndex == 1) state.presentInDsi.insert(property.pid);
            const auto& value = valueAt.at(property.offset);
            if (!value || !Exact(*known, *value)) state.inexact.insert(known);
            if (value) Store(*known, *value, codePage, info);
        }
    } catch (const storage::StorageError& error) {
        // Without the code page or the names, no field of the set may pass
        // for what the document stores.
        if (error.reason() != storage::Refusal::Damaged) throw;
        state.noteDamage(error);
        for (const auto& property : SummaryProperties())
            if (property.setIndex == setIndex || (setIndex == 2 && property.userDefinedName != nullptr))
                state.inexact.insert(&property);
    }
    return true;
}

ReadOutcome Refused(const storage::StorageError& error) {
    ReadOutcome outcome;
    outcome.refusal = error.reason();
    outcome.code = error.code();
    outcome.message = error.what();
    return outcome;
}

}  // namespace

ReadOutcome ReadSummaryInfoFrom(storage::ByteSource& source, TSummaryInfo& info) {
    try {
        storage::CompoundFile file(source);
        return ReadSummaryInfoFrom(file, info);
    } catch (const storage::StorageError& error) {
        return Refused(error);
    }
}

ReadOutcome ReadSummaryInfoFrom(storage::CompoundFile& file, TSummaryInfo& info) {
    try {
        return ReadSummaryInfoIn(file, file.rootChildren(), info);
    } catch (const storage::StorageError& error) {
        return Refused(error);
    }
}

ReadOutcome ReadSummaryInfoIn(storage::CompoundFile& file, const std::vector<storage::DirectoryEntry>& children,
                              TSummaryInfo& info) {
    ReadOutcome outcome;
    ReadState state;
    TimeZoneScope zone;
    try {
        file.rootEntry();
        for (size_t setIndex = 0; setIndex < PropertySets().size(); ++setIndex)
            if (ReadSet(file, children, setIndex, info, state)) outcome.ok = true;
    } catch (const storage::StorageError& error) {
        return Refused(error);
    } catch (const std::bad_alloc&) {
        return Refused(storage::StorageError(storage::StorageResult::InsufficientMemory, storage::Refusal::Damaged,
                                             "The document needs more memory than is available"));
    }
    if (!outcome.ok && state.damage) return Refused(*state.damage);
    // LibreOffice keeps these only as user-defined properties.
    for (const char* field : {"Company", "Manager", "Category"}) {
        const SummaryProperty& property = SummaryPropertyNamed(field);
        auto text = state.userDefinedTexts.find(property.userDefinedName);
        if (text != state.userDefinedTexts.end() && !state.presentInDsi.count(property.pid)) info.*property.text = text->second;
    }
    outcome.inexact = std::move(state.inexact);
    if (state.damage) {
        // Readable, but some value or set was damaged: say so rather than look clean.
        outcome.partial = true;
        outcome.message = state.damage->what();
    }
    if (!outcome.ok) {
        outcome.refusal = storage::Refusal::NoPropertySets;
        outcome.code = storage::StorageResult::FileNotFound;
        outcome.message = "The document holds no document properties";
    }
    return outcome;
}

ReadOutcome ReadSummaryInfoWithSize(const std::filesystem::path& path, TSummaryInfo& info, uint64_t& size) {
    try {
        auto source = storage::OpenDocumentSource(path, storage::AccessMode::Read);
        size = source->size();
        return ReadSummaryInfoFrom(*source, info);
    } catch (const storage::StorageError& error) {
        return Refused(error);
    }
}

ReadOutcome ReadSummaryInfoWithOutcome(const std::filesystem::path& path, TSummaryInfo& info) {
    uint64_t size = 0;
    return ReadSummaryInfoWithSize(path, info, size);
}

bool ReadSummaryInfo(const std::filesystem::path& path, TSummaryInfo& info) {
    return ReadSummaryInfoWithOutcome(path, info).ok;
}

}  // namespace velmora::engine
