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

}  // namespace velmora::cli
