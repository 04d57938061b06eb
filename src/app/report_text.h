#pragma once

#include <array>

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include "engine/summary_info.h"

namespace velmora::app {

struct ReportColumn {
    const char* caption;
    int width;  // designed, in pixels
};
inline constexpr int kReportColumnCount = 22;
// The report's columns in order; "File Name" first.
const std::array<ReportColumn, kReportColumnCount>& ReportColumns();

// A date-time cell: the locale's short date with a four-digit year, a blank
// and its long time without a time-zone name; the time is left out at
// exactly midnight. Empty for the zero date-time (never set) and for any
// value before 2 January 1601, which only a FILETIME of 0 ("never") or a
// damaged value gives. Below zero the engine's rule holds: the integral part
// is the day, the fraction, taken as positive, the time of day.
QString DateTimeText(engine::TDateTime value, const QLocale& locale = QLocale());

// The "Total Edit Time" cell: empty for an editing time that was never read
// (0.0) or that was reset.
QString EditTimeText(engine::TDateTime editTime);

// The 22 cells of one report row, "File Name" first; `hiddenNames` are the
// names the document keeps outside its property sets, joined, `embedded`
// the objects embedded in it, joined, and `customProperties` its
// user-defined properties as "name = value", joined.
QStringList ReportRowTexts(const QString& fileName, const engine::TSummaryInfo& info, bool holdsHyperlinks,
                           const QString& hiddenNames = QString(), const QString& embedded = QString(),
                           const QString& customProperties = QString(), const QLocale& locale = QLocale());

// The report as CSV: UTF-8, a header row, CRLF line ends, fields quoted where
// they hold a comma, a quote or a line break (quotes doubled). A field that a
// spreadsheet would take for a formula (starting with =, +, -, @, a tab or a
// carriage return) gets a leading apostrophe.
QByteArray ReportCsv(const QStringList& header, const QList<QStringList>& rows);

}  // namespace velmora::app
