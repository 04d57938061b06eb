#include "app/report_text.h"

#include <cmath>

#include <QDate>
#include <QTime>

#include "engine/date_time_conversions.h"

namespace velmora::app {

namespace {

// 2 January 1601 00:00 in days since 30 December 1899. East of Greenwich the
// local time of FILETIME 0 falls on 1 January 1601 after midnight.
constexpr double kFirstShownDay = -109'204.0;
constexpr qint64 kMillisecondsPerDay = 86'400'000;

// The locale's short date format with the year always in four digits.
QString FourDigitYearFormat(QString format) {
    if (format.contains(QLatin1String("yyyy"))) return format;
    const qsizetype at = format.indexOf(QLatin1String("yy"));
    if (at >= 0) format.replace(at, 2, QStringLiteral("yyyy"));
    return format;
}

// The locale's long time format without its time-zone field ("t" outside
// quoted literals), and without the blank that led to it.
QString WithoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;
        result += c;
    }
    return result.trimmed();
}

QString Text(const std::u16string& text) { return QString::fromStdU16String(text); }

}  // namespace

const std::array<ReportColumn, kReportColumnCount>& ReportColumns() {
    static const std::array<ReportColumn, kReportColumnCount> columns{{
        {"File Name", 50},       {"Title", 50},          {"Author", 50},          {"Company", 60},
        {"Keywords", 60},        {"Subject", 50},        {"Comments", 64},        {"Template", 60},
        {"Application", 70},     {"Created", 60},        {"Last Saved", 70},      {"Last Edited By", 80},
        {"Hidden Names", 80},    {"Embedded", 80},       {"Custom Properties", 80}, {"Last Printed", 60},    {"Page Count", 60},     {"Word Count", 50},      {"Character Count", 50},
        {"Revision Count", 50},  {"Total Edit Time", 50}, {"Hyperlinks List", 50},
    }};
    return columns;
}

QString DateTimeText(engine::TDateTime value, const QLocale& locale) {
    if (value == 0.0 || !std::isfinite(value)) return {};
    const double day = std::trunc(value);
    if (day < kFirstShownDay || day > 2'958'465.0) return {};  // nor past 31 December 9999
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(day));
    QString text = locale.toString(date, FourDigitYearFormat(locale.dateFormat(QLocale::ShortFormat)));
    qint64 milliseconds = std::llround(std::fabs(value - day) * kMillisecondsPerDay);
    milliseconds = std::min(milliseconds, kMillisecondsPerDay - 1);
    if (milliseconds == 0) return text;
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(milliseconds));
    return text + u' ' + locale.toString(time, WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString EditTimeText(engine::TDateTime editTime) {
    if (editTime == 0.0) return {};
    return Text(engine::EditTimeToText(editTime));
}

QStringList ReportRowTexts(const QString& fileName, const engine::TSummaryInfo& info, bool holdsHyperlinks,
                           const QString& hiddenNames, const QString& embedded, const QString& customProperties,
                           const QLocale& locale) {
    return {fileName,
            Text(info.Title),
            Text(info.Author),
            Text(info.Company),
            Text(info.Keywords),
            Text(info.Subject),
            Text(info.Comments),
            Text(info.Template),
            Text(info.AppName),
            DateTimeText(info.Created, locale),
            DateTimeText(info.LastSaved, locale),
            Text(info.LastAuthor),
            hiddenNames,
            embedded,
            customProperties,
            DateTimeText(info.LastPrinted, locale),
            QString::number(info.PageCount),
            QString::number(info.WordCount),
            QString::number(info.CharCount),
            Text(info.RevNumber),
            EditTimeText(info.EditTime),
            holdsHyperlinks ? QStringLiteral("Yes") : QString()};
}

QByteArray ReportCsv(const QStringList& header, const QList<QStringList>& rows) {
    QByteArray csv;
    auto appendLine = [&csv](const QStringList& fields) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i) csv += ',';
            QString field = fields[i];
            // Text from documents must not become a formula in a spreadsheet.
            if (!field.isEmpty() && QStringLiteral("=+-@\t\r").contains(field.front())) field.prepend(u'\'');
            const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\n') || field.contains(u'\r');
            if (quote) {
                field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
                csv += '"' + field.toUtf8() + '"';
            } else {
                csv += field.toUtf8();
            }
        }
        csv += "\r\n";
    };
    appendLine(header);
    for (const QStringList& row : rows) appendLine(row);
    return csv;
}

}  // namespace velmora::app
