#include "update/version_compare.h"

#include <cmath>
#include <cstdlib>

#include <QDate>
#include <QLocale>
#include <QStringList>

namespace velmora::update {

namespace {

// The runtime's integer reading: leading blanks, a sign, "$" or "0x" for
// hexadecimal. `complete` tells whether the whole text was a number; the
// value is what came before the first character that was not.
int64_t ReadInteger(const QString& text, bool& complete) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    const qsizetype digitsStart = i;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = QChar(text[i]).isDigit() && text[i].unicode() < 128 ? text[i].unicode() - u'0'
                          : base == 16 && text[i].toLower() >= u'a' && text[i].toLower() <= u'f'
                              ? text[i].toLower().unicode() - u'a' + 10
                              : -1;
        if (digit < 0) break;
        value = (value * base + digit) & 0xFFFFFFFFFFLL;  // only the low bits survive anyway
    }
    complete = i == text.size() && i > digitsStart;
    return negative ? -value : value;
}

uint32_t Low16(int64_t value) { return static_cast<uint32_t>(value) & 0xFFFF; }

}  // namespace

VersionWords ParseVersionNumber(const QString& text) {
    VersionWords words;
    const QChar separator = text.contains(u',') ? u',' : text.contains(u'.') ? u'.' : QChar();
    bool complete = false;
    if (separator.isNull()) {
        const int64_t number = ReadInteger(text, complete);
        if (complete) {
            words.ms = Low16(number) << 16;
            words.ls = 0;
        }
        return words;
    }
    const qsizetype first = text.indexOf(separator);
    const int64_t a = ReadInteger(text.left(first), complete);
    const bool aComplete = complete;
    const QString rest = text.mid(first + 1);
    const qsizetype second = rest.indexOf(separator);
    if (second >= 0 && aComplete) {
        const int64_t b = ReadInteger(rest.left(second), complete);
        const bool bComplete = complete;
        words.ms = Low16(a) << 16 | Low16(b);
        const QString after = rest.mid(second + 1);
        const qsizetype third = after.indexOf(separator);
        if (third >= 0 && bComplete) {
            const int64_t c = ReadInteger(after.left(third), complete);
            const int64_t d = ReadInteger(after.mid(third + 1), complete);
            if (complete) words.ls = Low16(c) << 16 | Low16(d);
        } else {
            words.ls = Low16(ReadInteger(after, complete)) << 16;
        }
    } else {
        words.ms = Low16(a) << 16 | Low16(ReadInteger(rest, complete));
        words.ls = 0;
    }
    return words;
}

double ParseServerDate(const QString& date, const QString& time, const QString& dateFormat, QChar separator) {
    const QDate epoch(1899, 12, 30);
    double result = static_cast<double>(epoch.daysTo(QDate(1980, 1, 1)));
    // The order of day, month and year in the pattern.
    QString order;
    for (QChar c : dateFormat.toLower()) {
        if ((c == u'd' || c == u'm' || c == u'y') && !order.contains(c)) order += c;
    }
    const QStringList fields = date.trimmed().split(separator);
    if (order.size() == 3 && fields.size() == 3) {
        int day = 0, month = 0, year = 0;
        bool ok = true;
        for (int i = 0; i < 3 && ok; ++i) {
            bool fieldOk = false;
            const int value = fields[i].trimmed().toInt(&fieldOk);
            ok = fieldOk;
            if (order[i] == u'd') day = value;
            if (order[i] == u'm') month = value;
            if (order[i] == u'y') {
                year = value;
                if (fields[i].trimmed().size() <= 2) year += value < 50 ? 2000 : 1900;
            }
        }
        const QDate read(year, month, day);
        if (ok && read.isValid()) result = static_cast<double>(epoch.daysTo(read));
    }
    if (!time.isEmpty()) {
        const QStringList parts = time.trimmed().split(u':');
        bool hoursOk = false, minutesOk = false;
        const int hours = parts.size() == 2 ? parts[0].toInt(&hoursOk) : -1;
        const int minutes = parts.size() == 2 ? parts[1].toInt(&minutesOk) : -1;
        if (hoursOk && minutesOk && hours >= 0 && hours < 24 && minutes >= 0 && minutes < 60)
            result += (hours * 60 + minutes) / 1440.0;
    }
    return result;
}

int CompareStandardVersions(const QString& current, const QString& offered) {
    const QStringList a = current.split(u'.');
    const QStringList b = offered.split(u'.');
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        bool ok = false;
        qlonglong x = i < a.size() ? a[i].trimmed().toLongLong(&ok) : 0;
        if (!ok) x = 0;
        qlonglong y = i < b.size() ? b[i].trimmed().toLongLong(&ok) : 0;
        if (!ok) y = 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

bool ParseVersionAsNumber(const QString& text, double& value) {
    // Not strtod: Qt sets the user's locale at start, and a German one reads
    // "3.5" as 3.
    bool ok = false;
    value = QLocale::c().toDouble(text, &ok);
    return ok && std::isfinite(value);
}

}  // namespace velmora::update
