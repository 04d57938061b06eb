#include "cli/summary_json.h"

#include "cli/json_text.h"
#include "engine/summary_properties.h"

namespace velmora::cli {

std::string SummaryToJson(const engine::TSummaryInfo& info) {
    std::string out = "{";
    bool first = true;
    for (const auto& property : engine::SummaryProperties()) {
        if (!first) out += ", ";
        first = false;
        AppendJsonString(out, std::u16string(property.fieldName, property.fieldName + std::char_traits<char>::length(property.fieldName)));
        out += ": ";
        switch (property.kind) {
        case engine::FieldKind::Text: AppendJsonString(out, info.*property.text); break;
        case engine::FieldKind::Date:
        case engine::FieldKind::EditTime: AppendJsonNumber(out, info.*property.date); break;
        case engine::FieldKind::Count: AppendJsonNumber(out, int64_t{info.*property.count}); break;
        case engine::FieldKind::Word: AppendJsonNumber(out, int64_t{info.*property.word}); break;
        case engine::FieldKind::Reference: AppendJsonNumber(out, int64_t{info.*property.reference}); break;
        case engine::FieldKind::CountAndReference: {
            const auto& pair = info.*property.pair;
            out += '[';
            out += std::to_string(pair.Count);
            out += ", ";
            out += std::to_string(pair.Reference);
            out += ']';
            break;
        }
        }
    }
    out += "}";
    return out;
}

}  // namespace velmora::cli
