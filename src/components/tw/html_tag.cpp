#include "components/tw/html_tag.h"

#include <limits>

namespace velmora::tw {

namespace {

bool IsAttributeSeparator(QChar ch) { return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n'; }

// A value that opens with a double quote is read up to its closing quote;
// without one it is taken as written.
QString DequotedValue(const QString& value) {
    if (!value.startsWith(u'"')) return value;
    QString result;
    for (qsizetype i = 1; i < value.size(); ++i) {
        if (value[i] != u'"') {
            result += value[i];
        } else if (i + 1 < value.size() && value[i + 1] == u'"') {
            result += u'"';
            ++i;
        } else {
            return result;
        }
    }
    return value;
}

THtmlAttribute AttributeOfItem(const QString& item) {
    const qsizetype equals = item.indexOf(u'=');
    if (equals < 0) return {};
    return {item.left(equals), DequotedValue(item.mid(equals + 1))};
}

int HexDigitValue(QChar ch) {
    if (ch >= u'0' && ch <= u'9') return ch.unicode() - u'0';
    if (ch >= u'a' && ch <= u'f') return ch.unicode() - u'a' + 10;
    if (ch >= u'A' && ch <= u'F') return ch.unicode() - u'A' + 10;
    return -1;
}

}  // namespace

bool SameMarkupName(QStringView a, QStringView b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y) return false;
    }
    return true;
}

std::unique_ptr<THtmlNode> THtmlTag::CreateNode() const { return std::make_unique<THtmlNode>(); }

void THtmlTag::Apply(const QString&, THtmlNode&) const {}

QList<THtmlAttribute> THtmlTag::ParseAttributes(const QString& attributes) {
    QList<THtmlAttribute> result;
    QString item;
    QChar openQuote;
    const auto flush = [&] {
        if (!item.isEmpty()) result.append(AttributeOfItem(item));
        item.clear();
    };
    for (const QChar ch : attributes) {
        if (!openQuote.isNull()) {
            item += ch;
            if (ch == openQuote) openQuote = QChar();
        } else if (IsAttributeSeparator(ch)) {
            flush();
        } else {
            item += ch;
            if (ch == u'"' || ch == u'\'') openQuote = ch;
        }
    }
    flush();
    return result;
}

std::optional<std::int32_t> MarkupToInt(QStringView text) {
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    std::uint64_t magnitude = 0;
    if (text.startsWith(u'$') || text.startsWith(u"0x", Qt::CaseInsensitive)) {
        text = text.mid(text.startsWith(u'$') ? 1 : 2);
        if (text.isEmpty()) return std::nullopt;
        for (const QChar ch : text) {
            const int digit = HexDigitValue(ch);
            if (digit < 0) return std::nullopt;
            magnitude = magnitude * 16 + static_cast<std::uint64_t>(digit);
            if (magnitude > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
        }
        const auto bits = static_cast<std::uint32_t>(magnitude);
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    if (text.isEmpty()) return std::nullopt;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    for (const QChar ch : text) {
        if (ch < u'0' || ch > u'9') return std::nullopt;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(ch.unicode() - u'0');
        if (magnitude > limit) return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude));
}

}  // namespace velmora::tw
