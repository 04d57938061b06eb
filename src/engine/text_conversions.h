#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::engine {

// Appends one code point (up to U+10FFFF; a surrogate as its three-byte form)
// as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// UTF-16 to UTF-8. A valid surrogate pair becomes one four-byte sequence; a
// lone surrogate keeps its three-byte form, so that nothing is lost.
std::string WideToUtf8(std::u16string_view text);

// UTF-8 to UTF-16, leniently: continuation bytes are not validated, stray
// bytes 0x80-0xBF pass through as U+0080-U+00BF, values beyond the code space
// become U+FFFD, and a sequence cut short by the end becomes U+FFFD.
std::u16string Utf8ToWide(std::string_view bytes);

}  // namespace velmora::engine
