#include "support/property_set_builder.h"

#include <stdexcept>

#include "storage/property_set.h"
#include "support/compound_file_builder.h"

namespace velmora::testing {

namespace {

namespace vt = storage::vt;
constexpr size_t kAlignment = 4;

void AppendU16(std::vector<uint8_t>& out, uint16_t value) {
    for (int i = 0; i < 2; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
// Zero bytes until (size - start) is a multiple of four.
void PadFrom(std::vector<uint8_t>& out, size_t start) {
    while ((out.size() - start) % kAlignment != 0) out.push_back(0);
}
void AppendText8(std::vector<uint8_t>& out, const std::string& text) {
    AppendU32(out, static_cast<uint32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}
void AppendText16(std::vector<uint8_t>& out, const std::u16string& text) {
    AppendU32(out, static_cast<uint32_t>(text.size() + 1));
    for (char16_t c : text) AppendU16(out, static_cast<uint16_t>(c));
    AppendU16(out, 0);
}
std::vector<uint8_t> LittleEndian(uint64_t value, size_t width) {
    std::vector<uint8_t> bytes(width);
    for (size_t i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

}  // namespace

TypedValue TypedValue::I2(int16_t value) {
    TypedValue v(vt::I2, Shape::Fixed);
    v.data_ = LittleEndian(static_cast<uint16_t>(value), 2);
    return v;
}
TypedValue TypedValue::I4(int32_t value) {
    TypedValue v(vt::I4, Shape::Fixed);
    v.data_ = LittleEndian(static_cast<uint32_t>(value), 4);
    return v;
}
TypedValue TypedValue::UI4(uint32_t value) {
    TypedValue v(vt::UI4, Shape::Fixed);
    v.data_ = LittleEndian(value, 4);
    return v;
}
TypedValue TypedValue::Bool(bool value) {
    // VARIANT_BOOL: true is all bits set.
    TypedValue v(vt::Bool, Shape::Fixed);
    v.data_ = LittleEndian(value ? 0xFFFFu : 0u, 2);
    return v;
}
TypedValue TypedValue::UI1(uint8_t value) {
    TypedValue v(vt::UI1, Shape::Fixed);
    v.data_ = {value};
    return v;
}
TypedValue TypedValue::FileTime(uint64_t ticks) {
    TypedValue v(vt::FileTime, Shape::Fixed);
    v.data_ = LittleEndian(ticks, 8);
    return v;
}
TypedValue TypedValue::LPStr(std::string_view bytes) {
    TypedValue v(vt::LPStr, Shape::Text8);
    v.text8_ = std::string(bytes);
    return v;
}
TypedValue TypedValue::LPWStr(std::u16string_view text) {
    TypedValue v(vt::LPWStr, Shape::Text16);
    v.text16_ = std::u16string(text);
    return v;
}
TypedValue TypedValue::Blob(std::vector<uint8_t> bytes) {
    TypedValue v(vt::Blob, Shape::Sized);
    v.data_ = std::move(bytes);
    return v;
}
TypedValue TypedValue::ClipboardData(int32_t clipboardFormat, std::vector<uint8_t> bytes) {
    TypedValue v(vt::ClipboardData, Shape::ClipboardData);
    v.clipboardFormat_ = clipboardFormat;
    v.data_ = std::move(bytes);
    return v;
}
TypedValue TypedValue::Raw(uint16_t type, std::vector<uint8_t> data) {
    TypedValue v(type, Shape::Raw);
    v.data_ = std::move(data);
    return v;
}
TypedValue TypedValue::Vector(uint16_t elementType, std::vector<TypedValue> elements) {
    for (const auto& element : elements)
        if (elementType != vt::Variant && element.type_ != elementType)
            throw std::invalid_argument("vector elements must have the vector's element type");
    TypedValue v(static_cast<uint16_t>(vt::Vector | elementType), Shape::Vector);
    v.elements_ = std::move(elements);
    return v;
}
TypedValue TypedValue::LPStrVector(const std::vector<std::string>& items) {
    std::vector<TypedValue> elements;
    for (const auto& item : items) elements.push_back(LPStr(item));
    return Vector(vt::LPStr, std::move(elements));
}
TypedValue TypedValue::VariantVector(std::vector<TypedValue> elements) { return Vector(vt::Variant, std::move(elements)); }

PropertySectionBuilder& PropertySectionBuilder::set(uint32_t pid, TypedValue value) {
    Property property;
    property.pid = pid;
    property.value.push_back(std::move(value));
    properties_.push_back(std::move(property));
    return *this;
}

PropertySectionBuilder& PropertySectionBuilder::codePage(int16_t storedValue) {
    return set(storage::kCodePagePid, TypedValue::I2(storedValue));
}

PropertySectionBuilder& PropertySectionBuilder::dictionary8(std::vector<std::pair<uint32_t, std::string>> names) {
    Property property;
    property.pid = storage::kDictionaryPid;
    property.isDictionary = true;
    property.names8 = std::move(names);
    properties_.push_back(std::move(property));
    return *this;
}

PropertySectionBuilder& PropertySectionBuilder::dictionary16(std::vector<std::pair<uint32_t, std::u16string>> names) {
    Property property;
    property.pid = storage::kDictionaryPid;
    property.isDictionary = true;
    property.wideDictionary = true;
    property.names16 = std::move(names);
    properties_.push_back(std::move(property));
    return *this;
}

const PropertyPlacement& SectionPlacement::property(uint32_t pid) const {
    for (const auto& placement : properties)
        if (placement.pid == pid) return placement;
    throw std::out_of_range("no property of that PID in the built section");
}

PropertySetBuilder& PropertySetBuilder::addSection(PropertySectionBuilder section) {
    sections_.push_back(std::move(section));
    return *this;
}

PropertySetBuilder& PropertySetBuilder::padStringsInVectors(bool pad) {
    padStringsInVectors_ = pad;
    return *this;
}

PropertySetBuilder& PropertySetBuilder::alignPropertyOffsets(bool align) {
    alignPropertyOffsets_ = align;
    return *this;
}

void PropertySetBuilder::appendValue(const TypedValue& value, Context context, std::vector<uint8_t>& out) const {
    using Shape = TypedValue::Shape;
    const size_t start = out.size();
    // Top-level values and variants are padded (unless the writer packs
    // properties); inside a vector only strings may be, and fixed-size
    // elements are packed at their natural width.
    bool pad = context == Context::Property ? alignPropertyOffsets_ : context == Context::VariantElement;
    switch (value.shape_) {
    case Shape::Fixed:
    case Shape::Raw:
        out.insert(out.end(), value.data_.begin(), value.data_.end());
        break;
    case Shape::Text8:
    case Shape::Text16:
        if (value.shape_ == Shape::Text8)
            AppendText8(out, value.text8_);
        else
            AppendText16(out, value.text16_);
        if (context != Context::Property) pad = padStringsInVectors_;
        break;
    case Shape::Sized:
        AppendU32(out, static_cast<uint32_t>(value.data_.size()));
        out.insert(out.end(), value.data_.begin(), value.data_.end());
        break;
    case Shape::ClipboardData:
        // The size counts the format word and the data.
        AppendU32(out, static_cast<uint32_t>(4 + value.data_.size()));
        AppendU32(out, static_cast<uint32_t>(value.clipboardFormat_));
        out.insert(out.end(), value.data_.begin(), value.data_.end());
        break;
    case Shape::Vector: {
        const bool variants = (value.type_ & ~vt::Vector) == vt::Variant;
        AppendU32(out, static_cast<uint32_t>(value.elements_.size()));
        for (const auto& element : value.elements_) {
            if (variants) {
                AppendU16(out, element.type_);
                AppendU16(out, 0);
            }
            appendValue(element, variants ? Context::VariantElement : Context::VectorElement, out);
        }
        pad = context == Context::Property ? alignPropertyOffsets_ : true;
        break;
    }
    }
    if (pad) PadFrom(out, start);
}

void PropertySetBuilder::appendDictionary(const PropertySectionBuilder::Property& property, std::vector<uint8_t>& out) const {
    const size_t start = out.size();
    if (property.wideDictionary) {
        AppendU32(out, static_cast<uint32_t>(property.names16.size()));
        for (const auto& [pid, name] : property.names16) {
            const size_t entryStart = out.size();
            AppendU32(out, pid);
            AppendText16(out, name);
            PadFrom(out, entryStart);
        }
    } else {
        AppendU32(out, static_cast<uint32_t>(property.names8.size()));
        for (const auto& [pid, name] : property.names8) {
            AppendU32(out, pid);
            AppendText8(out, name);
        }
    }
    if (alignPropertyOffsets_) PadFrom(out, start);
}

BuiltPropertySet PropertySetBuilder::build() const {
    BuiltPropertySet built;
    std::vector<uint8_t>& out = built.bytes;
    AppendU16(out, 0xFFFE);
    AppendU16(out, 0);  // version
    AppendU32(out, kSystemIdentifierWindows);
    out.resize(out.size() + kFormatIdLength, 0);  // CLSID
    AppendU32(out, static_cast<uint32_t>(sections_.size()));
    for (const auto& section : sections_) {
        SectionPlacement placement;
        placement.formatId = section.formatId_;
        placement.listEntryOffset = static_cast<uint32_t>(out.size());
        out.insert(out.end(), section.formatId_.bytes.begin(), section.formatId_.bytes.end());
        AppendU32(out, 0);  // offset, known once the section is laid out
        built.sections.push_back(std::move(placement));
    }
    for (size_t s = 0; s < sections_.size(); ++s) {
        const auto& section = sections_[s];
        SectionPlacement& placement = built.sections[s];
        placement.offset = static_cast<uint32_t>(out.size());
        PatchU32(out, placement.listEntryOffset + kFormatIdLength, placement.offset);
        AppendU32(out, 0);  // size, known at the end
        AppendU32(out, static_cast<uint32_t>(section.properties_.size()));
        for (const auto& property : section.properties_) {
            PropertyPlacement propertyPlacement;
            propertyPlacement.pid = property.pid;
            propertyPlacement.listEntryOffset = static_cast<uint32_t>(out.size());
            AppendU32(out, property.pid);
            AppendU32(out, 0);
            placement.properties.push_back(propertyPlacement);
        }
        for (size_t p = 0; p < section.properties_.size(); ++p) {
            const auto& property = section.properties_[p];
            PropertyPlacement& propertyPlacement = placement.properties[p];
            propertyPlacement.valueOffset = static_cast<uint32_t>(out.size());
            PatchU32(out, propertyPlacement.listEntryOffset + 4, propertyPlacement.valueOffset - placement.offset);
            if (property.isDictionary) {
                appendDictionary(property, out);
            } else {
                const TypedValue& value = property.value.front();
                AppendU16(out, value.type());
                AppendU16(out, 0);
                appendValue(value, Context::Property, out);
            }
            propertyPlacement.valueLength = static_cast<uint32_t>(out.size() - propertyPlacement.valueOffset);
        }
        // Sections start on four-byte boundaries whatever their values do.
        PadFrom(out, placement.offset);
        placement.size = static_cast<uint32_t>(out.size() - placement.offset);
        PatchU32(out, placement.offset + kSectionSizeField, placement.size);
    }
    return built;
}

}  // namespace velmora::testing
