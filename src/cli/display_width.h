#pragma once

#include <cstddef>
#include <string_view>

namespace velmora::cli {

// Terminal columns for one code point, from tables of our own so that the
// answer does not depend on the locale (wcwidth knows nothing outside ASCII
// in the C locale): 2 for East Asian Wide and Fullwidth characters (CJK,
// kana, Hangul syllables, emoji shown as pictures), 0 for combining marks,
// invisible format characters such as U+200B and control characters, 1 for
// everything else (a lone surrogate too: it shows as one replacement sign).
int CodePointWidth(char32_t codePoint);

// The columns `text` takes; a surrogate pair counts as the code point it encodes.
size_t DisplayWidth(std::u16string_view text);

// How many UTF-16 units from the start of `text` fit in `columns` columns.
// Never ends inside a surrogate pair, and never splits a character from the
// combining marks that follow it.
size_t FittingLength(std::u16string_view text, size_t columns);

}  // namespace velmora::cli
