#include "cli/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora::cli {

void AppendJsonString(std::string& out, std::u16string_view text) {
    out.push_back('"');
    for (char16_t unit : text) {
        switch (unit) {
        case u'"': out += "\\\""; break;
        case u'\\': out += "\\\\"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        default:
            if (unit < 0x20 || unit > 0x7E) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
                out += escape;
            } else {
                out.push_back(static_cast<char>(unit));
            }
        }
    }
    out.push_back('"');
}

void AppendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendJsonNumber(std::string& out, int64_t value) { out += std::to_string(value); }

std::u16string PathText(std::string_view bytes) {
    std::u16string text;
    size_t i = 0;
    while (i < bytes.size()) {
        auto byte = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
        uint8_t lead = byte(i);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        uint32_t codePoint = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + length <= bytes.size();
        for (size_t k = 1; valid && k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) valid = false;
            codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
        }
        static constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)))
            valid = false;
        if (!valid) {
            text.push_back(u'\uFFFD');
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

}  // namespace velmora::cli
