#include "engine/path_text.h"

#include <cstdint>

#include "engine/text_conversions.h"

namespace velmora::engine {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b escapes to U+DC00 + b, b >= 0x80

// Length of the valid UTF-8 sequence at `i`, 0 when the byte there starts none.
size_t ValidSequenceLength(std::string_view bytes, size_t i, uint32_t& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    const size_t length = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return 0;
    codePoint = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    const bool overlong = codePoint < kSmallest[length];
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return overlong || surrogate || codePoint > 0x10FFFF ? 0 : length;
}

std::u16string BytesToText(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        uint32_t codePoint = 0;
        const size_t length = ValidSequenceLength(bytes, i, codePoint);
        if (length == 0) {
            text.push_back(static_cast<char16_t>(kEscapeBase + static_cast<uint8_t>(bytes[i])));
            ++i;
            continue;
        }
        if (codePoint >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(codePoint));
        }
        i += length;
    }
    return text;
}

}  // namespace

std::u16string PathToText(const std::filesystem::path& path) { return BytesToText(path.native()); }

std::filesystem::path TextToPath(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendUtf8(bytes, 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes.push_back(static_cast<char>(unit - kEscapeBase));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(bytes, 0xFFFD);
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return std::filesystem::path(std::move(bytes));
}

}  // namespace velmora::engine
