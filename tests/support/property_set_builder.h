#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/format_id.h"
#include "storage/property_value.h"

namespace velmora::testing {

// Byte offsets inside a property-set stream's header.
namespace property_set_field {
inline constexpr size_t kByteOrder = 0;
inline constexpr size_t kVersion = 2;
inline constexpr size_t kSystemIdentifier = 4;
inline constexpr size_t kClsid = 8;
inline constexpr size_t kSectionCount = 24;
inline constexpr size_t kSectionList = 28;
}  // namespace property_set_field

inline constexpr size_t kFormatIdLength = 16;
inline constexpr size_t kSectionListEntryLength = kFormatIdLength + 4;  // identifier, then offset
inline constexpr size_t kSectionSizeField = 0;                          // from the section's start
inline constexpr size_t kSectionPropertyCountField = 4;
inline constexpr size_t kSectionHeaderLength = 8;
inline constexpr size_t kPropertyListEntryLength = 8;  // PID, then offset
inline constexpr size_t kTypeWordLength = 4;           // type and two reserved bytes
inline constexpr uint32_t kSystemIdentifierWindows = 0x00020006;

// A property value as a writer stores it. The factories take host values;
// strings are given without their terminator, which the builder adds.
class TypedValue {
public:
    static TypedValue I2(int16_t value);
    static TypedValue I4(int32_t value);
    static TypedValue UI4(uint32_t value);
    static TypedValue Bool(bool value);
    static TypedValue UI1(uint8_t value);
    static TypedValue FileTime(uint64_t ticks);
    static TypedValue LPStr(std::string_view bytes);
    static TypedValue LPWStr(std::u16string_view text);
    static TypedValue Blob(std::vector<uint8_t> bytes);
    static TypedValue ClipboardData(int32_t clipboardFormat, std::vector<uint8_t> bytes);
    // Any type word with data stored verbatim after it (types the reader
    // does not know, or deliberately wrong data).
    static TypedValue Raw(uint16_t type, std::vector<uint8_t> data);
    // VT_VECTOR | elementType. Fixed-size elements are packed; strings are
    // padded or not as the set builder says; VT_VARIANT elements carry
    // their own type words.
    static TypedValue Vector(uint16_t elementType, std::vector<TypedValue> elements);
    static TypedValue LPStrVector(const std::vector<std::string>& items);
    static TypedValue VariantVector(std::vector<TypedValue> elements);

    uint16_t type() const { return type_; }

private:
    friend class PropertySetBuilder;
    enum class Shape { Fixed, Text8, Text16, Sized, ClipboardData, Raw, Vector };

    TypedValue(uint16_t type, Shape shape) : type_(type), shape_(shape) {}

    uint16_t type_;
    Shape shape_;
    std::vector<uint8_t> data_;  // Fixed: little-endian value; Sized, Raw, ClipboardData: the bytes
    std::string text8_;
    std::u16string text16_;
    int32_t clipboardFormat_ = 0;
    std::vector<TypedValue> elements_;
};

// One section: properties in the order given, values laid out in that order.
class PropertySectionBuilder {
public:
    explicit PropertySectionBuilder(storage::FormatId formatId) : formatId_(formatId) {}

    PropertySectionBuilder& set(uint32_t pid, TypedValue value);
    // PID 1 as VT_I2; 65001 is stored as -535.
    PropertySectionBuilder& codePage(int16_t storedValue);
    // PID 0 (no type word). 8-bit names are stored unpadded; 16-bit names
    // (in a set of code page 1200) are each padded to four bytes.
    PropertySectionBuilder& dictionary8(std::vector<std::pair<uint32_t, std::string>> names);
    PropertySectionBuilder& dictionary16(std::vector<std::pair<uint32_t, std::u16string>> names);

private:
    friend class PropertySetBuilder;
    struct Property {
        uint32_t pid = 0;
        bool isDictionary = false;
        bool wideDictionary = false;
        std::vector<std::pair<uint32_t, std::string>> names8;
        std::vector<std::pair<uint32_t, std::u16string>> names16;
        std::vector<TypedValue> value;  // zero or one
    };

    storage::FormatId formatId_;
    std::vector<Property> properties_;
};

// Where the builder put a property, as offsets from the stream's start.
struct PropertyPlacement {
    uint32_t pid = 0;
    uint32_t listEntryOffset = 0;  // the (PID, offset) pair
    uint32_t valueOffset = 0;      // the type word (the count for a dictionary)
    uint32_t valueLength = 0;      // including padding
};

struct SectionPlacement {
    storage::FormatId formatId;
    uint32_t listEntryOffset = 0;  // the (identifier, offset) pair in the stream header
    uint32_t offset = 0;
    uint32_t size = 0;
    std::vector<PropertyPlacement> properties;

    const PropertyPlacement& property(uint32_t pid) const;
};

struct BuiltPropertySet {
    std::vector<uint8_t> bytes;
    std::vector<SectionPlacement> sections;
};

// Writes a property-set stream (version 0, byte order FFFE) with one or more
// sections. By default every value is padded to four bytes as the format
// prescribes; the switches reproduce what real writers (Office, libgsf) do.
class PropertySetBuilder {
public:
    PropertySetBuilder& addSection(PropertySectionBuilder section);
    // Strings inside vectors and variant vectors: padded to four bytes (true)
    // or packed one after the other.
    PropertySetBuilder& padStringsInVectors(bool pad);
    // Top-level values padded to four bytes (true) or packed, which leaves
    // later properties at unaligned offsets.
    PropertySetBuilder& alignPropertyOffsets(bool align);

    BuiltPropertySet build() const;

private:
    enum class Context { Property, VectorElement, VariantElement };
    void appendValue(const TypedValue& value, Context context, std::vector<uint8_t>& out) const;
    void appendDictionary(const PropertySectionBuilder::Property& property, std::vector<uint8_t>& out) const;

    std::vector<PropertySectionBuilder> sections_;
    bool padStringsInVectors_ = true;
    bool alignPropertyOffsets_ = true;
};

}  // namespace velmora::testing
