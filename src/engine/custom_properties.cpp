#include "engine/custom_properties.h"

#include <ctime>

#include "engine/code_page_text.h"
#include "storage/compound_file_format.h"
#include "storage/format_id.h"
#include "storage/property_value.h"
#include "storage/storage_error.h"
#include "storage/stream_view.h"

namespace velmora::engine {

namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::u16string WithoutTerminators(std::u16string text) {
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

std::u16string FileTimeText(uint64_t fileTime) {
    constexpr uint64_t kTicksPerSecond = 10'000'000, kUnixEpochSeconds = 11'644'473'600;
    const uint64_t seconds = fileTime / kTicksPerSecond;
    if (seconds < kUnixEpochSeconds) return u"(before 1970)";
    const std::time_t unix = static_cast<std::time_t>(seconds - kUnixEpochSeconds);
    std::tm parts{};
    if (::gmtime_r(&unix, &parts) == nullptr) return u"(out of range)";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return Ascii(text);
}

std::u16string ValueText(const storage::PropertyValue& value, uint16_t codePage) {
    using Kind = storage::PropertyValue::Kind;
    switch (value.kind) {
    case Kind::Integer:
        if (value.type == storage::vt::Bool) return value.integer != 0 ? u"true" : u"false";
        return Ascii(std::to_string(value.integer));
    case Kind::FileTime: return FileTimeText(value.fileTime);
    case Kind::Text8: return WithoutTerminators(DecodeCodePageText(value.text8, codePage));
    case Kind::Text16: return WithoutTerminators(value.text16);
    case Kind::Binary: return u"(" + Ascii(std::to_string(value.byteCount)) + u" bytes)";
    case Kind::Vector: return u"(" + Ascii(std::to_string(value.elementCount)) + u" values)";
    case Kind::Empty: return u"";
    case Kind::Unsupported: break;
    }
    return u"(value type " + Ascii(std::to_string(value.type)) + u")";
}

}  // namespace

bool HasOwnOperation(std::u16string_view userDefinedName) {
    for (std::u16string_view own : {u"Company", u"Manager", u"_PID_GUID", u"_PID_HLINKS"})
        if (storage::DirectoryNamesEqual(userDefinedName, own)) return true;
    return false;
}

std::vector<CustomProperty> ReadCustomProperties(storage::PropertySetReader& reader, bool withValues) {
    std::vector<CustomProperty> custom;
    const storage::PropertySection* section = reader.findSection(storage::format_ids::UserDefinedProperties);
    if (section == nullptr) return custom;
    const uint16_t codePage = reader.codePage(*section);
    const std::vector<storage::DictionaryEntry> dictionary = reader.dictionary(*section);
    for (const storage::PropertyLocation& location : section->properties) {
        // The dictionary, the code page and the section's own settings
        // (locale, behaviour) are no one's data.
        if (location.pid <= 1 || location.pid >= 0x80000000u) continue;
        CustomProperty property;
        property.pid = location.pid;
        for (const storage::DictionaryEntry& entry : dictionary)
            if (entry.pid == location.pid) property.name = WithoutTerminators(DecodeCodePageText(entry.nameBytes, codePage));
        if (HasOwnOperation(property.name)) continue;
        if (withValues) {
            try {
                property.value = ValueText(reader.readValue(*section, location), codePage);
            } catch (const storage::StorageError&) {
                // Listed all the same: a damaged value is still somebody's data.
                property.value = u"(damaged)";
            }
        }
        custom.push_back(std::move(property));
    }
    return custom;
}

std::vector<CustomProperty> ReadCustomProperties(std::span<const uint8_t> documentSummaryStream) {
    storage::MemoryStreamView view(documentSummaryStream);
    storage::PropertySetReader reader(view);
    return ReadCustomProperties(reader, true);
}

std::u16string JoinedCustomProperties(const std::vector<CustomProperty>& properties) {
    std::u16string joined;
    for (const CustomProperty& property : properties) {
        if (!joined.empty()) joined += u"; ";
        joined += property.name + u" = " + property.value;
    }
    return joined;
}

const SummaryProperty& CustomPropertiesField() {
    // PID 0xFFFFFFFF is never stored: the main section has nothing of it.
    static const SummaryProperty field{1, 0xFFFFFFFFu, "CustomProperties", storage::vt::Empty, FieldKind::Text};
    return field;
}

}  // namespace velmora::engine
