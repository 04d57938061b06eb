#include "update/html_tokenizer.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "update/html_entities.h"

namespace velmora::update {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsAsciiAlpha(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char16_t c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(char16_t c) { return IsAsciiAlpha(c) || IsAsciiDigit(c); }
bool IsHexDigit(char16_t c) { return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
// HTML's own whitespace; other Unicode spaces are text.
bool IsHtmlSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
char16_t AsciiLower(char16_t c) { return c >= 'A' && c <= 'Z' ? char16_t(c + ('a' - 'A')) : c; }

// Tag and attribute names compare without ASCII letter case.
char16_t NameCharacter(char16_t c) { return c == 0 ? kReplacement : AsciiLower(c); }

bool NameMatches(QStringView written, QStringView lowerName) {
    return written.size() == lowerName.size() &&
           std::equal(written.begin(), written.end(), lowerName.begin(),
                      [](QChar a, QChar b) { return AsciiLower(a.unicode()) == b.unicode(); });
}

int DigitValue(char16_t c) {
    if (IsAsciiDigit(c)) return c - '0';
    return AsciiLower(c) - 'a' + 10;
}

// Numeric references in 0x80-0x9F name the Windows-1252 characters there,
// as pages written for that code page meant them; 0 keeps the code point.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The character a numeric reference stands for: nothing may come out of a
// page that is not a Unicode scalar value.
char32_t NumericReferenceValue(char32_t value) {
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kReplacement;
    if (value >= 0x80 && value <= 0x9F && kWindows1252High[value - 0x80] != 0) return kWindows1252High[value - 0x80];
    return value;
}

bool IsRawTextElement(QStringView name) {
    static const char16_t* const kNames[] = {u"script",  u"style",    u"xmp",   u"iframe",   u"noembed",
                                             u"noframes", u"title", u"textarea", u"plaintext"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char16_t* raw) { return name == raw; });
}

// References are decoded in the text of these raw-text elements only.
bool DecodesReferences(QStringView rawElement) { return rawElement == u"title" || rawElement == u"textarea"; }

}  // namespace

void AppendCodePoint(QString& out, char32_t codePoint) {
    if (QChar::requiresSurrogates(codePoint)) {
        out += QChar(QChar::highSurrogate(codePoint));
        out += QChar(QChar::lowSurrogate(codePoint));
    } else {
        out += QChar(char16_t(codePoint));
    }
}

QString HtmlToken::Attribute(QStringView attribute) const {
    for (const HtmlAttribute& candidate : attributes)
        if (candidate.name == attribute) return candidate.value;
    return QString();
}

HtmlToken HtmlTokenizer::Next() {
    HtmlToken token;
    if (!rawElement_.isEmpty() && readRawText(token)) return token;
    while (pos_ < page_.size()) {
        if (page_[pos_] == u'<' && startsMarkup(pos_)) {
            if (readMarkup(token)) return token;
        } else if (readText(token)) {
            return token;
        }
    }
    return HtmlToken();
}

bool HtmlTokenizer::startsMarkup(qsizetype at) const {
    if (at + 1 >= page_.size()) return false;
    const char16_t next = page_[at + 1].unicode();
    // "</" at the very end is text.
    return IsAsciiAlpha(next) || next == u'!' || next == u'?' || (next == u'/' && at + 2 < page_.size());
}

bool HtmlTokenizer::readMarkup(HtmlToken& token) {
    const char16_t second = page_[pos_ + 1].unicode();
    if (second == u'!') {
        if (page_.sliced(pos_).startsWith(u"<!--")) {
            skipComment();
        } else {
            skipTo(u'>');  // doctype, CDATA section, or a bogus comment
        }
        return false;
    }
    if (second == u'?') {
        skipTo(u'>');
        return false;
    }
    if (second == u'/') {
        const char16_t third = page_[pos_ + 2].unicode();
        if (third == u'>') {
            pos_ += 3;
        } else if (!IsAsciiAlpha(third)) {
            skipTo(u'>');
        } else {
            pos_ += 2;
            return readTag(token, true);
        }
        return false;
    }
    pos_ += 1;
    return readTag(token, false);
}

bool HtmlTokenizer::readTag(HtmlToken& token, bool endTag) {
    QString name = readTagName();
    // A page that ends inside a tag loses the tag.
    if (!readAttributes(token, !endTag)) return false;
    token.kind = endTag ? HtmlToken::Kind::EndTag : HtmlToken::Kind::StartTag;
    token.name = std::move(name);
    if (!endTag && IsRawTextElement(token.name)) rawElement_ = token.name;
    return true;
}

QString HtmlTokenizer::readTagName() {
    QString name;
    while (pos_ < page_.size()) {
        const char16_t c = page_[pos_].unicode();
        if (IsHtmlSpace(c) || c == u'/' || c == u'>') break;
        name += QChar(NameCharacter(c));
        ++pos_;
    }
    return name;
}

bool HtmlTokenizer::readAttributes(HtmlToken& token, bool keep) {
    while (pos_ < page_.size()) {
        const char16_t c = page_[pos_].unicode();
        if (IsHtmlSpace(c) || c == u'/') {
            ++pos_;
            continue;
        }
        if (c == u'>') {
            ++pos_;
            return true;
        }
        HtmlAttribute attribute;
        // An '=' that starts a name belongs to it.
        attribute.name += QChar(NameCharacter(c));
        ++pos_;
        while (pos_ < page_.size()) {
            const char16_t n = page_[pos_].unicode();
            if (IsHtmlSpace(n) || n == u'/' || n == u'>' || n == u'=') break;
            attribute.name += QChar(NameCharacter(n));
            ++pos_;
        }
        while (pos_ < page_.size() && IsHtmlSpace(page_[pos_].unicode())) ++pos_;
        if (pos_ < page_.size() && page_[pos_] == u'=') {
            ++pos_;
            while (pos_ < page_.size() && IsHtmlSpace(page_[pos_].unicode())) ++pos_;
            attribute.value = readAttributeValue();
        }
        if (keep && token.attributes.size() < kHtmlAttributesMax) token.attributes.push_back(std::move(attribute));
    }
    return false;
}

QString HtmlTokenizer::readAttributeValue() {
    QString value;
    if (pos_ >= page_.size()) return value;
    const char16_t quote = page_[pos_].unicode();
    if (quote == u'"' || quote == u'\'') {
        ++pos_;
        while (pos_ < page_.size() && page_[pos_] != quote) {
            if (page_[pos_] == u'&') {
                readReference(value, ReferenceContext::Attribute);
            } else if (page_[pos_] == QChar(0)) {
                value += QChar(kReplacement);
                ++pos_;
            } else {
                appendCharacter(value);
            }
        }
        if (pos_ < page_.size()) ++pos_;  // the closing quote
        return value;
    }
    while (pos_ < page_.size()) {
        const char16_t c = page_[pos_].unicode();
        if (IsHtmlSpace(c) || c == u'>') break;
        if (c == u'&') {
            readReference(value, ReferenceContext::Attribute);
        } else {
            value += QChar(c == 0 ? kReplacement : c);
            ++pos_;
        }
    }
    return value;
}

void HtmlTokenizer::skipComment() {
    pos_ += 4;  // "<!--"
    // "<!-->" and "<!--->" are whole (empty) comments.
    const QStringView rest = page_.sliced(pos_);
    if (rest.startsWith(u'>')) {
        pos_ += 1;
        return;
    }
    if (rest.startsWith(u"->")) {
        pos_ += 2;
        return;
    }
    // Ends at "-->" or "--!>"; every search starts after the previous "--",
    // so a page of dashes is still read once.
    for (qsizetype dashes = page_.indexOf(u"--", pos_); dashes >= 0; dashes = page_.indexOf(u"--", dashes + 1)) {
        const QStringView after = page_.sliced(dashes + 2);
        if (after.startsWith(u'>')) {
            pos_ = dashes + 3;
            return;
        }
        if (after.startsWith(u"!>")) {
            pos_ = dashes + 4;
            return;
        }
    }
    pos_ = page_.size();
}

void HtmlTokenizer::skipTo(QChar stop) {
    const qsizetype at = page_.indexOf(stop, pos_);
    pos_ = at < 0 ? page_.size() : at + 1;
}

bool HtmlTokenizer::readText(HtmlToken& token) {
    token.kind = HtmlToken::Kind::Text;
    while (pos_ < page_.size()) {
        const QChar c = page_[pos_];
        if (c == u'<' && startsMarkup(pos_)) break;
        if (c == u'&') {
            readReference(token.text, ReferenceContext::Text);
        } else if (c == QChar(0)) {
            ++pos_;
        } else {
            appendCharacter(token.text);
        }
    }
    return !token.text.isEmpty();
}

bool HtmlTokenizer::readRawText(HtmlToken& token) {
    const QString element = std::exchange(rawElement_, QString());
    qsizetype end = page_.size();
    if (element != u"plaintext") {
        // The content ends where "</" + the name + a delimiter begins.
        for (qsizetype at = page_.indexOf(u"</", pos_); at >= 0; at = page_.indexOf(u"</", at + 1)) {
            const qsizetype after = at + 2 + element.size();
            if (after > page_.size()) break;
            if (!NameMatches(page_.sliced(at + 2, element.size()), element)) continue;
            if (after == page_.size() || IsHtmlSpace(page_[after].unicode()) || page_[after] == u'/' ||
                page_[after] == u'>') {
                end = at;
                break;
            }
        }
    }
    // No reference reads past `end`: the '<' there ends any.
    QString text;
    const bool decode = DecodesReferences(element);
    while (pos_ < end) {
        if (decode && page_[pos_] == u'&') {
            readReference(text, ReferenceContext::Text);
        } else if (page_[pos_] == QChar(0)) {
            text += QChar(kReplacement);
            ++pos_;
        } else {
            appendCharacter(text);
        }
    }
    if (text.isEmpty()) return false;
    token.kind = HtmlToken::Kind::RawText;
    token.name = element;
    token.text = std::move(text);
    return true;
}

void HtmlTokenizer::appendCharacter(QString& out) {
    const QChar c = page_[pos_++];
    if (c != u'\r') {
        out += c;
        return;
    }
    out += u'\n';
    if (pos_ < page_.size() && page_[pos_] == u'\n') ++pos_;
}

void HtmlTokenizer::readReference(QString& out, ReferenceContext context) {
    const qsizetype start = pos_ + 1;  // after '&'
    pos_ = start;
    if (start >= page_.size()) {
        out += u'&';
        return;
    }
    if (page_[start] == u'#') {
        qsizetype at = start + 1;
        const bool hex = at < page_.size() && (page_[at] == u'x' || page_[at] == u'X');
        if (hex) ++at;
        const qsizetype digits = at;
        char32_t value = 0;
        while (at < page_.size() && (hex ? IsHexDigit(page_[at].unicode()) : IsAsciiDigit(page_[at].unicode()))) {
            // Saturates: any value past Unicode's end reads as one.
            value = std::min<char32_t>(value * (hex ? 16 : 10) + char32_t(DigitValue(page_[at].unicode())), 0x110000);
            ++at;
        }
        if (at == digits) {
            out += u'&';  // "&#" and "&#x" without digits are text
            return;
        }
        if (at < page_.size() && page_[at] == u';') ++at;
        pos_ = at;
        AppendCodePoint(out, NumericReferenceValue(value));
        return;
    }
    // A named reference: the longest name HTML knows that the page spells here.
    std::string name;
    qsizetype at = start;
    while (at < page_.size() && name.size() + 1 < kHtmlEntityNameMax && IsAsciiAlnum(page_[at].unicode()))
        name += char(page_[at++].unicode());
    if (name.empty()) {
        out += u'&';
        return;
    }
    if (at < page_.size() && page_[at] == u';') {
        if (const HtmlEntity* entity = FindHtmlEntity(name + ';')) {
            pos_ = at + 1;
            AppendCodePoint(out, entity->first);
            if (entity->second != 0) AppendCodePoint(out, entity->second);
            return;
        }
    }
    // The old names without ';' ("&copy 2024", "&amp"), longest first.
    for (std::size_t length = name.size(); length >= 2; --length) {
        const HtmlEntity* entity = FindHtmlEntity(std::string_view(name).substr(0, length));
        if (entity == nullptr) continue;
        const qsizetype after = start + qsizetype(length);
        // In an attribute, "&copy=" or "&copyx" is left as written: query
        // strings in links are full of such text.
        if (context == ReferenceContext::Attribute && after < page_.size() &&
            (page_[after] == u'=' || IsAsciiAlnum(page_[after].unicode()))) {
            break;
        }
        pos_ = after;
        AppendCodePoint(out, entity->first);
        return;
    }
    out += u'&';
}

}  // namespace velmora::update
