#include "engine/code_page_text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <utility>

#include "engine/text_conversions.h"
#include "storage/little_endian.h"

namespace velmora::engine {

namespace {

// glibc's names for the code pages documents declare. Most Windows and IBM
// pages are known as "CP<n>"; these go by other names. A page glibc has no
// converter for (Mac Greek, Arabic, Hebrew, Turkish, Thai and so on) keeps
// "CP<n>" and fails to open; so does Mac Icelandic, as glibc's "MAC-IS" lacks
// the Icelandic letters.
std::string IconvName(uint16_t codePage) {
    switch (codePage) {
    case 37: return "CP037";  // EBCDIC US; iconv wants the leading zero
    case 708: return "ASMO-708";
    case 950: return "BIG5";
    case 10000: return "MACINTOSH";
    // Mac Japanese is Shift-JIS. glibc's plain Shift-JIS reads 5C and 7E as
    // yen sign and overline, which would turn the backslashes of every path
    // into yen signs and refuse to write one; the Windows flavour keeps ASCII.
    case 10001: return "CP932";
    case 10002: return "BIG5";
    case 10003: return "EUC-KR";
    case 10008: return "EUC-CN";  // Mac Simplified Chinese is GB 2312 in EUC form
    case 10017: return "MAC-UK";  // Mac Ukrainian
    case 10029: return "MAC-CENTRALEUROPE";
    case 20106: return "ISO646-DE";
    case 20107: return "ISO646-SE";
    case 20108: return "ISO646-NO";
    case 20127: return "ASCII";
    case 20261: return "T.61-8BIT";
    case 20269: return "ISO_6937";
    case 20273: case 20277: case 20278: case 20280: case 20284: case 20285: case 20290: case 20297:
    case 20420: case 20423: case 20424: case 20871: case 20880: case 20905:
        return "IBM" + std::to_string(codePage - 20000);  // EBCDIC national pages
    case 20866: return "KOI8-R";
    case 20932: return "EUC-JP";
    case 20936: return "GB2312";
    case 21025: return "IBM1025";
    case 21866: return "KOI8-U";
    case 28591: case 28592: case 28593: case 28594: case 28595: case 28596: case 28597: case 28598: case 28599:
        return "ISO-8859-" + std::to_string(codePage - 28590);
    case 28603: return "ISO-8859-13";
    case 28605: return "ISO-8859-15";
    case 38598: return "ISO-8859-8";  // logical order: the bytes are the same
    case 50220: case 50221: case 50222: return "ISO-2022-JP";
    case 50225: return "ISO-2022-KR";
    case 50227: case 50229: return "ISO-2022-CN";
    case 50930: case 50933: case 50935: case 50937: case 50939:
        return "IBM" + std::to_string(codePage - 50000);  // EBCDIC with double-byte Asian sets
    case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    default: return "CP" + std::to_string(codePage);
    }
}

// Code pages whose bytes below 0x80 are not ASCII, or where some ASCII
// character starts something else, named here so that the answer does not
// rest on iconv knowing them.
bool NeverKeepsAscii(uint16_t codePage) {
    switch (codePage) {
    // EBCDIC
    case 37: case 500: case 870: case 875: case 1026: case 1047:
    case 1140: case 1141: case 1142: case 1143: case 1144: case 1145: case 1146: case 1147: case 1148: case 1149:
    case 20273: case 20277: case 20278: case 20280: case 20284: case 20285: case 20290: case 20297:
    case 20420: case 20423: case 20424: case 20833: case 20838: case 20871: case 20880: case 20905: case 20924:
    case 21025: case 21027:
    case 50930: case 50931: case 50933: case 50935: case 50936: case 50937: case 50939:
    // UTF-16 and UTF-32 in either order
    case 1200: case 1201: case 12000: case 12001:
    // 7-bit national variants of ISO 646, which put letters where ASCII has punctuation
    case 20105: case 20106: case 20107: case 20108:
    // "+" opens a base-64 run in UTF-7, "~{" a GB 2312 run in HZ, ESC a
    // character set switch in the ISO 2022 pages
    case 65000: case 52936: case 50220: case 50221: case 50222: case 50225: case 50227: case 50229:
        return true;
    default:
        return false;
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

// Up to the first zero code unit, the terminator.
std::u16string FromUtf16LeBytes(std::string_view bytes) {
    std::u16string text = storage::Utf16LeText(bytes);
    return text.substr(0, text.find(u'\0'));
}

// Whether the code page reads every byte below 0x80 as that very character,
// so that ASCII text needs no conversion either way. A page iconv converts is
// asked once; one it does not know is taken to keep ASCII, as nearly every
// page outside NeverKeepsAscii does: decoding then gives ASCII bytes as
// ASCII, and the UTF-8 fallback would too.
bool KeepsAscii(uint16_t codePage) {
    if (NeverKeepsAscii(codePage)) return false;
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
    if (codePage == kCodePageUtf16) return storage::Utf16LeBytes(text);
    if (codePage == 0 || codePage == kCodePageUtf8) return WideToUtf8(text);
    if (text.empty()) return std::string();
    // Mirrors the shortcut in DecodeCodePageText, and lets plain ASCII into a
    // set whose code page this system cannot convert.
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c != 0 && c < 0x80; }) && KeepsAscii(codePage))
        return std::string(text.begin(), text.end());
    Converter& converter = ConverterFor(IconvName(codePage), "UTF-16LE");
    if (!converter.valid()) return std::nullopt;
    auto encoded = converter.convert(storage::Utf16LeBytes(text));
    // A zero byte would end the stored string early.
    if (encoded && encoded->find('\0') != std::string::npos) return std::nullopt;
    return encoded;
}

std::string CodePageDisplayName(uint16_t codePage) {
    switch (codePage) {
    case 0: return "no code page";
    case kCodePageUtf8: return "UTF-8 (65001)";
    case kCodePageUtf16: return "UTF-16 (1200)";
    case 37: return "EBCDIC US (37)";
    case 932: return "Shift-JIS (932)";
    case 936: return "GBK (936)";
    case 949: return "Korean (949)";
    case 950: return "Big5 (950)";
    case 10000: return "Mac Roman (10000)";
    case 10001: return "Mac Japanese (10001)";
    case 10007: return "Mac Cyrillic (10007)";
    case 10008: return "Mac Simplified Chinese (10008)";
    case 10029: return "Mac Central European (10029)";
    case 20127: return "US-ASCII (20127)";
    case 20866: return "KOI8-R (20866)";
    case 21866: return "KOI8-U (21866)";
    case 50220: return "ISO-2022-JP (50220)";
    case 54936: return "GB18030 (54936)";
    case 65000: return "UTF-7 (65000)";
    default:
        if (codePage >= 1250 && codePage <= 1258) return "Windows-" + std::to_string(codePage);
        return "code page " + std::to_string(codePage);
    }
}

}  // namespace velmora::engine
