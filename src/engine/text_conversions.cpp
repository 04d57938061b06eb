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

Utf8Sequence DecodeUtf8Sequence(std::string_view bytes) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return {lead, 1, true};
    // The second byte's range depends on the lead: that is what rules out
    // overlong forms (E0, F0), surrogates (ED) and values past U+10FFFF (F4);
    // C0, C1 and F5-FF never lead, and 80-BF only ever follow.
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {0, 1, false};
    }
    uint32_t codePoint = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if (k == bytes.size() || byte(k) < low || byte(k) > high) return {0, k, false};
        codePoint = (codePoint << 6) | (byte(k) & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {codePoint, length, true};
}

std::u16string Utf8ToWide(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t position = 0;
    while (position < bytes.size()) {
        const Utf8Sequence sequence = DecodeUtf8Sequence(bytes.substr(position));
        position += sequence.length;
        if (!sequence.valid) {
            out.push_back(u'\uFFFD');
        } else if (sequence.codePoint >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((sequence.codePoint - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((sequence.codePoint - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(sequence.codePoint));
        }
    }
    return out;
}

}  // namespace velmora::engine
