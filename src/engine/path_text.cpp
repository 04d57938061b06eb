#include "engine/path_text.h"

#include <cstdint>

#include "engine/text_conversions.h"

namespace velmora::engine {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b escapes to U+DC00 + b, b >= 0x80

std::u16string BytesToText(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const Utf8Sequence sequence = DecodeUtf8Sequence(bytes.substr(i));
        if (!sequence.valid) {
            // Byte by byte, not the whole broken stretch: every byte must come back.
            text.push_back(static_cast<char16_t>(kEscapeBase + static_cast<uint8_t>(bytes[i])));
            ++i;
            continue;
        }
        const uint32_t codePoint = sequence.codePoint;
        if (codePoint >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(codePoint));
        }
        i += sequence.length;
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
