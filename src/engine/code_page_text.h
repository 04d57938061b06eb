#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::engine {

inline constexpr uint16_t kCodePageUtf8 = 65001;
inline constexpr uint16_t kCodePageUtf16 = 1200;

// Decodes an 8-bit property string (its stored bytes, terminator included)
// in the code page its property set declares. Code page 1200 holds UTF-16LE
// bytes. No code page, 65001, and code pages this system cannot convert (or
// bytes invalid in theirs) fall back to Utf8ToWide.
std::u16string DecodeCodePageText(std::string_view storedBytes, uint16_t codePage);

// Encodes text for a set of that code page, without terminator. nullopt when
// the code page cannot represent the text, or this system cannot convert it
// and the text is not plain ASCII: ASCII goes into any code page that keeps
// it (not EBCDIC, UTF-16, UTF-7 or the ISO 2022 pages) byte for byte.
std::optional<std::string> EncodeCodePageText(std::u16string_view text, uint16_t codePage);

// A human name for messages: "Windows-1252", "Shift-JIS (932)", "UTF-8".
std::string CodePageDisplayName(uint16_t codePage);

}  // namespace velmora::engine
