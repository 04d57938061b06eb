#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::storage {

// A property set's format identifier (a GUID), held in its stored byte order.
struct FormatId {
    std::array<uint8_t, 16> bytes{};

    // Parses "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}"; throws std::invalid_argument.
    static FormatId FromString(std::string_view text);
    std::string toString() const;
    auto operator<=>(const FormatId&) const = default;
};

namespace format_ids {
extern const FormatId SummaryInformation;
extern const FormatId DocSummaryInformation;
extern const FormatId UserDefinedProperties;
extern const FormatId ImageProperties;
extern const FormatId InternetSite;
extern const FormatId Music;
extern const FormatId Video;
extern const FormatId Audio;
}  // namespace format_ids

// The root-storage stream that holds a property set: the two standard names,
// shared by the document summary and user-defined sets, and for every other
// set "\005" followed by its identifier's bits, five at a time, as letters
// and digits.
std::u16string PropertySetStreamName(const FormatId& formatId);

}  // namespace velmora::storage
