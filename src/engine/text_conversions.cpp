#include "engine/text_conversions.h"

#include <cstdint>

namespace velmora::engine {

void AppendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::string WideToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        const uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, unit);  // a lone surrogate keeps its three-byte form
        }
    }
    return out;
}

std::u16string Utf8ToWide(std::string_view bytes) {
    static constexpr uint32_t kOffsets[6] = {0, 0x3080, 0xE2080, 0x3C82080, 0xFA082080, 0x82082080};
    std::u16string out;
    out.reserve(bytes.size());
    size_t position = 0;
    while (position < bytes.size()) {
        uint8_t lead = static_cast<uint8_t>(bytes[position]);
        size_t following = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
        if (following >= bytes.size() - position) {
            out.push_back(u'\uFFFD');  // the string ends inside this sequence
            break;
        }
        uint32_t value = 0;
        for (size_t k = 0; k <= following; ++k) {
            value += static_cast<uint8_t>(bytes[position + k]);
            if (k < following) value <<= 6;
        }
        value -= kOffsets[following];
        if (value <= 0xFFFF) {
            out.push_back(static_cast<char16_t>(value));
        } else if (value > 0x7FFFFFFF) {
            out.push_back(u'\uFFFD');
        } else {
            out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
        }
        position += following + 1;
    }
    return out;
}

}  // namespace velmora::engine
