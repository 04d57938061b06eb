#include "engine/summary_reader.h"

#include <map>
#include <new>
#include <optional>

#include "engine/code_page_text.h"
#include "engine/date_time_conversions.h"
#include "engine/summary_properties.h"
#include "storage/compound_file.h"
#include "storage/file_byte_source.h"
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
    case FieldKind::SignedWord:
        if (value.isInteger()) info.*property.signedWord = static_cast<int16_t>(static_cast<uint16_t>(value.integer));
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

// One set: found by its identifier, enumerated, all values read, then stored.
// Returns false when the set is absent or cannot be opened; damage met while
// opening it is kept in `damage` (the first only), so that a damaged document
// is not mistaken for one without properties. Throws StorageError when a
// value cannot be read (the bulk read failed).
bool ReadSet(storage::CompoundFile& file, size_t setIndex, TSummaryInfo& info,
             std::optional<storage::StorageError>& damage) {
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
        entry = file.findInRoot(kStreamNames[setIndex]);
        if (!entry || entry->type != storage::ObjectType::Stream) return false;
        stream.emplace(file.openStream(*entry));
        reader.emplace(*stream);
        section = reader->findSection(formatId);
        if (section == nullptr) return false;
    } catch (const storage::StorageError& error) {
        // A set that cannot be opened is skipped.
        if (error.reason() == storage::Refusal::Damaged && !damage) damage = error;
        return false;
    }

    // Every stored value is read before any is used. Each offset is decoded
    // once: a hostile section can point thousands of entries at one value.
    std::map<uint32_t, PropertyValue> valueAt;
    for (const auto& property : section->properties) {
        // The dictionary and the code page are not properties of their own.
        if (property.pid == storage::kDictionaryPid || property.pid == storage::kCodePagePid) continue;
        if (!valueAt.count(property.offset)) valueAt.emplace(property.offset, reader->readValue(*section, property));
    }
    if (setIndex > 1) return true;
    uint16_t codePage = reader->codePage(*section);
    for (const auto& property : section->properties)
        if (const SummaryProperty* known = FindSummaryProperty(setIndex, property.pid))
            Store(*known, valueAt.at(property.offset), codePage, info);
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
    ReadOutcome outcome;
    std::optional<storage::StorageError> damage;
    TimeZoneScope zone;
    try {
        storage::CompoundFile file(source);
        file.rootEntry();
        for (size_t setIndex = 0; setIndex < PropertySets().size(); ++setIndex) {
            try {
                if (ReadSet(file, setIndex, info, damage)) outcome.ok = true;
            } catch (const storage::StorageError& error) {
                // A bulk read that fails ends the reading with what was stored so far.
                outcome.ok = true;
                outcome.partial = true;
                outcome.message = error.what();
                return outcome;
            }
        }
    } catch (const storage::StorageError& error) {
        return Refused(error);
    } catch (const std::bad_alloc&) {
        return Refused(storage::StorageError(storage::StorageResult::InsufficientMemory, storage::Refusal::Damaged,
                                             "The document needs more memory than is available"));
    }
    if (!outcome.ok && damage) return Refused(*damage);
    if (damage) {
        // Readable, but some set was damaged: say so rather than look clean.
        outcome.partial = true;
        outcome.message = damage->what();
    }
    if (!outcome.ok) {
        outcome.refusal = storage::Refusal::NoPropertySets;
        outcome.code = storage::StorageResult::FileNotFound;
        outcome.message = "The document holds no document properties";
    }
    return outcome;
}

ReadOutcome ReadSummaryInfoWithOutcome(const std::filesystem::path& path, TSummaryInfo& info) {
    try {
        auto source = storage::FileByteSource::Open(path, storage::AccessMode::Read);
        return ReadSummaryInfoFrom(*source, info);
    } catch (const storage::StorageError& error) {
        return Refused(error);
    }
}

bool ReadSummaryInfo(const std::filesystem::path& path, TSummaryInfo& info) {
    return ReadSummaryInfoWithOutcome(path, info).ok;
}

}  // namespace velmora::engine
