#include "engine/code_page_text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <utility>

#include "engine/text_conversions.h"

namespace velmora::engine {

namespace {

// glibc's names for the code pages documents declare.
std::string IconvName(uint16_t codePage) {
    switch (codePage) {
    case 37: return "CP037";  // EBCDIC US; iconv wants the leading zero
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 10000: return "MACINTOSH";
    case 10008: return "EUC-CN";  // Mac Simplified Chinese is GB 2312 in EUC form
    case 20127: return "ASCII";
    case 20932: return "EUC-JP";
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 28591: case 28592: case 28593: case 28594: case 28595: case 28596: case 28597: case 28598: case 28599:
        return "ISO-8859-" + std::to_string(codePage - 28590);
    case 28605: return "ISO-8859-15";
    default: return "CP" + std::to_string(codePage);
    }
}

class Converter {
public:
    Converter(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Whole-input conversion; nullopt on any invalid or unrepresentable input.
    std::optional<std::string> convert(std::string_view input) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        std::string output(input.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char* out = output.data();
        size_t outLeft = output.size();
        while (inLeft > 0) {
            if (iconv(handle_, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) continue;
            if (errno != E2BIG) return std::nullopt;
            size_t used = output.size() - outLeft;
            output.resize(output.size() * 2);
            out = output.data() + used;
            outLeft = output.size() - used;
        }
        if (iconv(handle_, nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1)) return std::nullopt;
        output.resize(output.size() - outLeft);
        return output;
    }

private:
    iconv_t handle_;
};

// iconv handles are not shareable between threads; each thread keeps its own.
Converter& ConverterFor(const std::string& to, const std::string& from) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> converters;
    auto& slot = converters[{to, from}];
    if (!slot) slot = std::make_unique<Converter>(to, from);
    return *slot;
}

std::u16string FromUtf16LeBytes(std::string_view bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

// Whether the code page reads every byte below 0x80 as that very character,
// so that ASCII text needs no conversion. The converter is asked once per
// code page: EBCDIC, UTF-7 and the stateful ISO-2022 pages do not keep
// ASCII. A code page iconv does not know falls back to UTF-8, which does.
bool KeepsAscii(uint16_t codePage) {
    thread_local std::map<uint16_t, bool> answers;
    auto [answer, asked] = answers.try_emplace(codePage, true);
    if (asked) {
        Converter& converter = ConverterFor("UTF-16LE", IconvName(codePage));
        if (converter.valid()) {
            std::string ascii;
            for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
            const auto converted = converter.convert(ascii);
            answer->second = converted && FromUtf16LeBytes(*converted) == std::u16string(ascii.begin(), ascii.end());
        }
    }
    return answer->second;
}

std::string ToUtf16LeBytes(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

}  // namespace

std::u16string DecodeCodePageText(std::string_view storedBytes, uint16_t codePage) {
    if (codePage == kCodePageUtf16) return FromUtf16LeBytes(storedBytes);
    std::string_view bytes = storedBytes.substr(0, storedBytes.find('\0'));
    if (codePage == 0 || codePage == kCodePageUtf8 || bytes.empty()) return Utf8ToWide(bytes);
    // Most property texts never leave ASCII, and most code pages keep it.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
        KeepsAscii(codePage))
        return std::u16string(bytes.begin(), bytes.end());
    Converter& converter = ConverterFor("UTF-16LE", IconvName(codePage));
    if (converter.valid()) {
        if (auto converted = converter.convert(bytes)) return FromUtf16LeBytes(*converted + std::string(2, '\0'));
    }
    return Utf8ToWide(bytes);
}

std::optional<std::string> EncodeCodePageText(std::u16string_view text, uint16_t codePage) {
    if (codePage == kCodePageUtf16) return ToUtf16LeBytes(text);
    if (codePage == 0 || codePage == kCodePageUtf8) return WideToUtf8(text);
    if (text.empty()) return std::string();
    Converter& converter = ConverterFor(IconvName(codePage), "UTF-16LE");
    if (!converter.valid()) return std::nullopt;
    auto encoded = converter.convert(ToUtf16LeBytes(text));
    // A zero byte would end the stored string early.
    if (encoded && encoded->find('\0') != std::string::npos) return std::nullopt;
    return encoded;
}

std::string CodePageDisplayName(uint16_t codePage) {
    switch (codePage) {
    case 0: return "no code page";
    case kCodePageUtf8: return "UTF-8 (65001)";
    case kCodePageUtf16: return "UTF-16 (1200)";
    case 932: return "Shift-JIS (932)";
    case 10000: return "Mac Roman (10000)";
    case 10008: return "Mac Simplified Chinese (10008)";
    default:
        if (codePage >= 1250 && codePage <= 1258) return "Windows-" + std::to_string(codePage);
        return "code page " + std::to_string(codePage);
    }
}

}  // namespace velmora::engine
