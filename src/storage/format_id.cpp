#include "storage/format_id.h"

#include <cstdio>
#include <stdexcept>

namespace velmora::storage {

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

FormatId FormatId::FromString(std::string_view text) {
    // Textual GUIDs write the first three groups as little-endian numbers.
    static constexpr int kByteOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        throw std::invalid_argument("format identifier must look like {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    std::string digits;
    for (char c : text.substr(1, 36))
        if (c != '-') digits.push_back(c);
    if (digits.size() != 32) throw std::invalid_argument("format identifier has the wrong number of digits");
    FormatId id;
    for (int i = 0; i < 16; ++i) {
        int high = HexDigit(digits[2 * i]), low = HexDigit(digits[2 * i + 1]);
        if (high < 0 || low < 0) throw std::invalid_argument("format identifier has a non-hex digit");
        id.bytes[kByteOrder[i]] = static_cast<uint8_t>(high * 16 + low);
    }
    return id;
}

std::string FormatId::toString() const {
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", bytes[3],
                  bytes[2], bytes[1], bytes[0], bytes[5], bytes[4], bytes[7], bytes[6], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

namespace format_ids {
const FormatId SummaryInformation = FormatId::FromString("{F29F85E0-4FF9-1068-AB91-08002B27B3D9}");
const FormatId DocSummaryInformation = FormatId::FromString("{D5CDD502-2E9C-101B-9397-08002B2CF9AE}");
const FormatId UserDefinedProperties = FormatId::FromString("{D5CDD505-2E9C-101B-9397-08002B2CF9AE}");
const FormatId ImageProperties = FormatId::FromString("{14B81DA1-0135-4D31-96D9-6CBFC9671A99}");
const FormatId InternetSite = FormatId::FromString("{000214A1-0000-0000-C000-000000000046}");
const FormatId Music = FormatId::FromString("{56A3372E-CE9C-11D2-9F0E-006097C686F6}");
const FormatId Video = FormatId::FromString("{64440491-4C8B-11D1-8B70-080036B11A03}");
const FormatId Audio = FormatId::FromString("{64440490-4C8B-11D1-8B70-080036B11A03}");
}  // namespace format_ids

std::u16string PropertySetStreamName(const FormatId& formatId) {
    if (formatId == format_ids::SummaryInformation) return u"\u0005SummaryInformation";
    if (formatId == format_ids::DocSummaryInformation || formatId == format_ids::UserDefinedProperties)
        return u"\u0005DocumentSummaryInformation";
    static constexpr char16_t kAlphabet[] = u"abcdefghijklmnopqrstuvwxyz012345";
    std::u16string name(1, u'\u0005');
    // 128 bits read least significant first, five at a time: 26 characters,
    // the last one holding the remaining three bits.
    for (unsigned bit = 0; bit < 128; bit += 5) {
        unsigned value = 0;
        for (unsigned k = 0; k < 5 && bit + k < 128; ++k) {
            unsigned at = bit + k;
            value |= ((formatId.bytes[at / 8] >> (at % 8)) & 1u) << k;
        }
        name.push_back(kAlphabet[value]);
    }
    return name;
}

}  // namespace velmora::storage
