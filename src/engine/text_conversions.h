#pragma once

#include <cstddef>
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

// One UTF-8 sequence read strictly from the start of a byte string: only the
// shortest form of a code point up to U+10FFFF that is not a surrogate is
// valid. An invalid one still says how many bytes it spans: the longest start
// of a valid sequence it has (its "maximal subpart"), at least one byte, so
// that the next byte is the first that could begin another sequence.
struct Utf8Sequence {
    uint32_t codePoint = 0;  // only when valid
    size_t length = 0;
    bool valid = false;
};

// `bytes` must not be empty.
Utf8Sequence DecodeUtf8Sequence(std::string_view bytes);

// UTF-8 to UTF-16, strictly: every invalid stretch (see DecodeUtf8Sequence)
// becomes one U+FFFD and decoding goes on with the byte after it, so that a
// stray byte of another encoding costs nothing but itself ("caf\xE9 au lait"
// gives "caf\uFFFD au lait"). Overlong forms, surrogates encoded as UTF-8 and
// values beyond U+10FFFF are invalid; a lone surrogate from WideToUtf8 thus
// comes back as three U+FFFD.
std::u16string Utf8ToWide(std::string_view bytes);

}  // namespace velmora::engine
