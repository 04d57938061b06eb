#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::storage {

// Value types of the property-set format.
namespace vt {
inline constexpr uint16_t Empty = 0;
inline constexpr uint16_t Null = 1;
inline constexpr uint16_t I2 = 2;
inline constexpr uint16_t I4 = 3;
inline constexpr uint16_t Bool = 11;
inline constexpr uint16_t Variant = 12;
inline constexpr uint16_t I1 = 16;
inline constexpr uint16_t UI1 = 17;
inline constexpr uint16_t UI2 = 18;
inline constexpr uint16_t UI4 = 19;
inline constexpr uint16_t I8 = 20;
inline constexpr uint16_t UI8 = 21;
inline constexpr uint16_t Int = 22;
inline constexpr uint16_t UInt = 23;
inline constexpr uint16_t LPStr = 30;
inline constexpr uint16_t LPWStr = 31;
inline constexpr uint16_t FileTime = 64;
inline constexpr uint16_t Blob = 65;
inline constexpr uint16_t ClipboardData = 71;
inline constexpr uint16_t Vector = 0x1000;
}  // namespace vt

// One decoded property value. Texts stay as stored: 8-bit strings as their
// bytes (terminator included, decoded later by the set's code page), 16-bit
// strings as code units. Blobs and clipboard data are not loaded, only sized.
struct PropertyValue {
    enum class Kind { Unsupported, Empty, Integer, FileTime, Text8, Text16, Binary, Vector };

    uint16_t type = vt::Empty;  // as stored, with the vector flag
    Kind kind = Kind::Unsupported;
    int64_t integer = 0;        // integers and VT_BOOL, sign-extended from their stored width
    uint64_t fileTime = 0;
    std::string text8;
    std::u16string text16;
    uint32_t byteCount = 0;     // Binary: size of the data
    uint32_t elementCount = 0;  // Vector: count as stored
    bool elementsComplete = false;  // Vector: every element could be decoded
    std::vector<PropertyValue> elements;
    // A top-level value: every byte after its data, up to the next value, is zero.
    bool onlyZerosAfter = true;

    bool isInteger() const { return kind == Kind::Integer; }
};

}  // namespace velmora::storage
