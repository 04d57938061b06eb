#include "storage/property_set.h"

#include <algorithm>
#include <array>
#include <string>

#include "storage/little_endian.h"
#include "storage/property_set_layout.h"
#include "storage/storage_error.h"

namespace velmora::storage {

namespace {

constexpr uint32_t kVersionOffset = 2;
constexpr uint32_t kSectionCountOffset = 24;

// Bounded reads inside one section: positions are relative to its start.
class SectionBytes {
public:
    // `limit` narrows the readable bytes to [0, limit) of the section.
    SectionBytes(StreamView& stream, const PropertySection& section, uint32_t limit)
        : stream_(stream), section_(section), limit_(std::min(limit, section.size)) {}

    uint32_t size() const { return limit_; }
    bool fits(uint64_t position, uint64_t length) const {
        return position <= limit_ && limit_ - position >= length;
    }
    void require(uint64_t position, uint64_t length, const char* what) const {
        if (!fits(position, length))
            ThrowDamaged(std::string(what) + " at section offset " + std::to_string(position) + " needs " +
                         std::to_string(length) + " bytes, the value has room up to " + std::to_string(limit_) +
                         " (section of " + std::to_string(section_.size) + ")");
    }
    std::string bytes(uint64_t position, uint64_t length, const char* what) {
        require(position, length, what);
        std::string out(static_cast<size_t>(length), '\0');
        stream_.read(section_.offset + position,
                     std::span(reinterpret_cast<uint8_t*>(out.data()), out.size()));
        return out;
    }
    uint64_t number(uint64_t position, unsigned width, const char* what) {
        require(position, width, what);
        std::array<uint8_t, 8> buffer{};
        stream_.read(section_.offset + position, std::span(buffer).first(width));
        uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i) value |= static_cast<uint64_t>(buffer[i]) << (8 * i);
        return value;
    }
    uint16_t u16(uint64_t position, const char* what) { return static_cast<uint16_t>(number(position, 2, what)); }
    uint32_t u32(uint64_t position, const char* what) { return static_cast<uint32_t>(number(position, 4, what)); }

private:
    StreamView& stream_;
    const PropertySection& section_;
    uint32_t limit_;
};

// Width in bytes and signedness of the fixed-size integer types.
bool IntegerLayout(uint16_t type, unsigned& width, bool& isSigned) {
    switch (type) {
    case vt::I1: width = 1; isSigned = true; return true;
    case vt::UI1: width = 1; isSigned = false; return true;
    case vt::I2: width = 2; isSigned = true; return true;
    case vt::Bool: width = 2; isSigned = true; return true;  // stored as 0 or -1
    case vt::UI2: width = 2; isSigned = false; return true;
    case vt::I4: case vt::Int: width = 4; isSigned = true; return true;
    case vt::UI4: case vt::UInt: width = 4; isSigned = false; return true;
    case vt::I8: width = 8; isSigned = true; return true;
    case vt::UI8: width = 8; isSigned = false; return true;
    default: return false;
    }
}

int64_t SignExtend(uint64_t value, unsigned width, bool isSigned) {
    if (!isSigned || width == 8) return static_cast<int64_t>(value);
    uint64_t signBit = uint64_t{1} << (8 * width - 1);
    return static_cast<int64_t>((value ^ signBit) - signBit);
}

uint32_t Align4(uint32_t value) { return (value + 3u) & ~3u; }

// Far more elements than any real heading-pairs or keyword list holds; a
// longer vector is still counted but its elements are not kept.
constexpr uint32_t kMaxDecodedElements = 1u << 16;
// Numbers in vectors are read by nothing that matters here; long runs of
// them are checked and counted, not kept element by element.
constexpr uint32_t kMaxKeptFixedElements = 4096;
// Room for reading a few values more than once.
constexpr uint64_t kElementBudgetSlack = 1u << 16;

class ValueDecoder {
public:
    ValueDecoder(SectionBytes& bytes, uint64_t& elementBudget) : bytes_(bytes), elementBudget_(elementBudget) {}

    // Decodes a value of `type` (no type word) at `position`; returns the
    // position just after its data, or 0 when its extent cannot be known.
    uint32_t decodeData(uint16_t type, uint32_t position, PropertyValue& value, int depth) {
        value.type = type;
        if (type & vt::Vector) return decodeVector(static_cast<uint16_t>(type & ~vt::Vector), position, value, depth);
        unsigned width = 0;
        bool isSigned = false;
        if (IntegerLayout(type, width, isSigned)) {
            value.kind = PropertyValue::Kind::Integer;
            value.integer = SignExtend(bytes_.number(position, width, "an integer value"), width, isSigned);
            return position + width;
        }
        switch (type) {
        case vt::Empty:
        case vt::Null:
            value.kind = PropertyValue::Kind::Empty;
            return position;
        case vt::FileTime:
            value.kind = PropertyValue::Kind::FileTime;
            value.fileTime = bytes_.number(position, 8, "a FILETIME value");
            return position + 8;
        case vt::LPStr: {
            uint32_t length = bytes_.u32(position, "a string length");
            value.kind = PropertyValue::Kind::Text8;
            value.text8 = bytes_.bytes(position + 4, length, "a string");
            return position + 4 + length;
        }
        case vt::LPWStr: {
            uint32_t characters = bytes_.u32(position, "a string length");
            bytes_.require(position + 4, uint64_t{characters} * 2, "a wide string");
            std::string raw = bytes_.bytes(position + 4, uint64_t{characters} * 2, "a wide string");
            value.kind = PropertyValue::Kind::Text16;
            value.text16 = Utf16LeText(raw);
            return position + 4 + characters * 2;
        }
        case vt::Blob:
        case vt::ClipboardData: {
            uint32_t length = bytes_.u32(position, "a binary length");
            bytes_.require(position + 4, length, "binary data");
            value.kind = PropertyValue::Kind::Binary;
            value.byteCount = length;
            return position + 4 + length;
        }
        case vt::Variant:
            if (depth > 0) return decodeVariant(position, value, depth);
            [[fallthrough]];
        default:
            value.kind = PropertyValue::Kind::Unsupported;
            return 0;
        }
    }

private:
    uint32_t decodeVariant(uint32_t position, PropertyValue& value, int depth) {
        uint16_t type = bytes_.u16(position, "a variant type");
        // A variant inside a vector cannot itself be a vector.
        if (type & vt::Vector) {
            value.type = type;
            value.kind = PropertyValue::Kind::Unsupported;
            return 0;
        }
        return decodeData(type, position + 4, value, depth - 1);
    }

    static bool IsStringType(uint16_t type) { return type == vt::LPStr || type == vt::LPWStr; }

    // Can a string element of this type start here?
    bool plausibleString(uint16_t type, uint32_t position) {
        if (!bytes_.fits(position, 4)) return false;
        uint64_t length = bytes_.u32(position, "a string length");
        uint64_t byteLength = type == vt::LPWStr ? length * 2 : length;
        if (!bytes_.fits(position + 4, byteLength)) return false;
        if (byteLength == 0) return true;
        return bytes_.bytes(position + 4 + byteLength - 1, 1, "a string")[0] == '\0';
    }
    bool plausibleVariant(uint32_t position) {
        if (!bytes_.fits(position, 4)) return false;
        uint16_t type = bytes_.u16(position, "a variant type");
        unsigned width;
        bool isSigned;
        bool known = IntegerLayout(type, width, isSigned) || type == vt::Empty || type == vt::LPStr ||
                     type == vt::LPWStr || type == vt::FileTime || type == vt::Blob || type == vt::ClipboardData;
        return known && bytes_.u16(position + 2, "a variant type") == 0;
    }
    bool plausibleElement(uint16_t elementType, uint32_t position) {
        return elementType == vt::Variant ? plausibleVariant(position) : plausibleString(elementType, position);
    }

    uint32_t decodeVector(uint16_t elementType, uint32_t position, PropertyValue& value, int depth) {
        value.kind = PropertyValue::Kind::Vector;
        value.elementCount = bytes_.u32(position, "a vector length");
        position += 4;
        unsigned width;
        bool isSigned;
        if (IntegerLayout(elementType, width, isSigned) || elementType == vt::FileTime) {
            // Fixed-size elements are packed, the vector as a whole padded.
            if (elementType == vt::FileTime) width = 8;
            uint64_t length = uint64_t{value.elementCount} * width;
            bytes_.require(position, length, "a vector");
            if (value.elementCount <= kMaxKeptFixedElements) {
                for (uint32_t i = 0; i < value.elementCount; ++i) {
                    charge();
                    PropertyValue element;
                    decodeData(elementType, position + i * width, element, depth);
                    value.elements.push_back(std::move(element));
                }
            }
            value.elementsComplete = value.elements.size() == value.elementCount;
            return position + Align4(static_cast<uint32_t>(length));
        }
        if (!IsStringType(elementType) && elementType != vt::Variant) return 0;
        // Every element takes at least four bytes, so the count is bounded by
        // what the section holds; allocations never follow the count alone.
        if (value.elementCount > bytes_.size() / 4)
            ThrowDamaged("a vector claims " + std::to_string(value.elementCount) + " elements in a section of " +
                         std::to_string(bytes_.size()) + " bytes");
        if (value.elementCount > kMaxDecodedElements) return 0;  // counted, not decoded
        for (uint32_t i = 0; i < value.elementCount; ++i) {
            charge();
            PropertyValue element;
            uint32_t end = elementType == vt::Variant ? decodeVariant(position, element, depth + 1)
                                                      : decodeData(elementType, position, element, depth);
            if (end == 0) return 0;
            bool endsWithString = IsStringType(elementType) || (elementType == vt::Variant && IsStringType(element.type));
            value.elements.push_back(std::move(element));
            if (endsWithString) {
                // The format pads each string to four bytes, but Office and
                // libgsf write strings inside vectors unpadded. Take the
                // padded position unless only the unpadded one starts a
                // plausible next element.
                uint32_t padded = position + Align4(end - position);
                if (padded != end && i + 1 < value.elementCount && !plausibleElement(elementType, padded) &&
                    plausibleElement(elementType, end))
                    padded = end;
                end = padded;
            } else {
                end = position + Align4(end - position);
            }
            position = end;
        }
        value.elementsComplete = true;
        return position;
    }

    // Elements decoded so far in this section are charged here: values that
    // do not overlap hold at most one element per byte, so running out means
    // vectors laid over each other, which would multiply memory and time.
    void charge() {
        if (elementBudget_ == 0) ThrowDamaged("vector values overlap each other");
        --elementBudget_;
    }

    SectionBytes& bytes_;
    uint64_t& elementBudget_;
};

}  // namespace

uint32_t ValueLimit(const PropertySection& section, uint32_t offset) {
    auto next = std::upper_bound(section.valueStarts.begin(), section.valueStarts.end(), offset);
    return next == section.valueStarts.end() ? section.size : *next;
}

PropertySetReader::PropertySetReader(StreamView& stream) : stream_(stream) {
    if (stream_.size() < kStreamHeaderLength)
        ThrowDamaged("a property set of " + std::to_string(stream_.size()) + " bytes is shorter than its header");
    std::array<uint8_t, kStreamHeaderLength> header{};
    stream_.read(0, header);
    if (LoadU16(header, 0) != 0xFFFE)
        ThrowDamaged("property set byte order: expected FFFE, found " + std::to_string(LoadU16(header, 0)));
    if (LoadU16(header, kVersionOffset) > 1)
        ThrowDamaged("property set version: expected 0 or 1, found " + std::to_string(LoadU16(header, kVersionOffset)));
    uint32_t sectionCount = LoadU32(header, kSectionCountOffset);
    uint64_t room = (stream_.size() - kStreamHeaderLength) / kSectionListEntryLength;
    if (sectionCount == 0 || sectionCount > room)
        ThrowDamaged("property set claims " + std::to_string(sectionCount) + " sections, room for " + std::to_string(room));

    std::vector<uint8_t> list(sectionCount * kSectionListEntryLength);
    stream_.read(kStreamHeaderLength, list);
    // Sections may not share bytes, so all their property lists together fit
    // in the stream; without this bound, many sections laid over one long
    // list would multiply it.
    uint64_t listedBytes = 0;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        PropertySection section;
        std::copy_n(list.begin() + i * kSectionListEntryLength, 16, section.formatId.bytes.begin());
        section.offset = LoadU32(list, i * kSectionListEntryLength + 16);
        if (section.offset > stream_.size() || stream_.size() - section.offset < kSectionHeaderLength)
            ThrowDamaged("section " + std::to_string(i) + " starts at " + std::to_string(section.offset) +
                         ", beyond the property set's " + std::to_string(stream_.size()) + " bytes");
        std::array<uint8_t, kSectionHeaderLength> sectionHeader{};
        stream_.read(section.offset, sectionHeader);
        uint32_t declaredSize = LoadU32(sectionHeader, 0);
        uint32_t propertyCount = LoadU32(sectionHeader, 4);
        // Some writers declare a section slightly larger than the stream;
        // the stream's end is the real limit.
        section.size = static_cast<uint32_t>(std::min<uint64_t>(declaredSize, stream_.size() - section.offset));
        if (section.size < kSectionHeaderLength ||
            propertyCount > (section.size - kSectionHeaderLength) / kPropertyListEntryLength)
            ThrowDamaged("section " + std::to_string(i) + " claims " + std::to_string(propertyCount) +
                         " properties in " + std::to_string(section.size) + " bytes");
        listedBytes += kSectionHeaderLength + uint64_t{propertyCount} * kPropertyListEntryLength;
        if (listedBytes > stream_.size())
            ThrowDamaged("the sections' property lists overlap: " + std::to_string(listedBytes) +
                         " bytes of lists in a property set of " + std::to_string(stream_.size()) + " bytes");
        std::vector<uint8_t> entries(propertyCount * kPropertyListEntryLength);
        stream_.read(section.offset + kSectionHeaderLength, entries);
        section.properties.reserve(propertyCount);
        for (uint32_t p = 0; p < propertyCount; ++p) {
            PropertyLocation location{LoadU32(entries, p * kPropertyListEntryLength),
                                      LoadU32(entries, p * kPropertyListEntryLength + 4)};
            // Offsets need not be 4-byte aligned: libgsf writes them unaligned.
            if (location.offset >= section.size)
                ThrowDamaged("property " + std::to_string(location.pid) + " lies at offset " +
                             std::to_string(location.offset) + ", beyond its section of " + std::to_string(section.size) + " bytes");
            section.properties.push_back(location);
            section.valueStarts.push_back(location.offset);
        }
        std::sort(section.valueStarts.begin(), section.valueStarts.end());
        section.valueStarts.erase(std::unique(section.valueStarts.begin(), section.valueStarts.end()),
                                  section.valueStarts.end());
        sections_.push_back(std::move(section));
    }
}

const PropertySection* PropertySetReader::findSection(const FormatId& formatId) const {
    for (const auto& section : sections_)
        if (section.formatId == formatId) return &section;
    return nullptr;
}

PropertyValue PropertySetReader::readValue(const PropertySection& section, const PropertyLocation& property) {
    SectionBytes bytes(stream_, section, ValueLimit(section, property.offset));
    uint16_t type = bytes.u16(property.offset, "a property type");
    PropertyValue value;
    auto budget = elementBudgets_.find(section.offset);
    if (budget == elementBudgets_.end())
        budget = elementBudgets_.emplace(section.offset, uint64_t{section.size} + kElementBudgetSlack).first;
    const uint32_t end = ValueDecoder(bytes, budget->second).decodeData(type, property.offset + 4, value, 0);
    if (end != 0 && end < bytes.size()) {
        // What lies between the value's end and the next value: padding, or
        // something a writer left there.
        const std::string rest = bytes.bytes(end, bytes.size() - end, "a value's padding");
        value.onlyZerosAfter = rest.find_first_not_of('\0') == std::string::npos;
    }
    return value;
}

uint16_t PropertySetReader::codePage(const PropertySection& section) {
    for (const auto& property : section.properties) {
        if (property.pid != kCodePagePid) continue;
        PropertyValue value = readValue(section, property);
        return value.isInteger() ? static_cast<uint16_t>(value.integer) : 0;
    }
    return 0;
}

std::vector<DictionaryEntry> PropertySetReader::dictionary(const PropertySection& section) {
    std::vector<DictionaryEntry> entries;
    for (const auto& property : section.properties) {
        if (property.pid != kDictionaryPid) continue;
        bool wide = codePage(section) == kCodePageUtf16;
        SectionBytes bytes(stream_, section, ValueLimit(section, property.offset));
        uint32_t count = bytes.u32(property.offset, "a dictionary size");
        if (count > section.size / 8)
            ThrowDamaged("a dictionary claims " + std::to_string(count) + " entries in a section of " +
                         std::to_string(section.size) + " bytes");
        uint32_t position = property.offset + 4;
        for (uint32_t i = 0; i < count; ++i) {
            DictionaryEntry entry;
            entry.pid = bytes.u32(position, "a dictionary entry");
            uint32_t length = bytes.u32(position + 4, "a dictionary entry");
            uint64_t byteLength = wide ? uint64_t{length} * 2 : length;
            entry.nameBytes = bytes.bytes(position + 8, byteLength, "a dictionary name");
            position += 8 + static_cast<uint32_t>(byteLength);
            // Unicode dictionaries pad each name to four bytes; 8-bit ones do not.
            if (wide) position = Align4(position);
            entries.push_back(std::move(entry));
        }
        break;
    }
    return entries;
}

}  // namespace velmora::storage
