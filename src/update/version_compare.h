#pragma once

#include <cstdint>

#include <QChar>
#include <QString>

namespace velmora::update {

// A version as the fixed file-version record holds it: major and minor in
// `ms`, release and build in `ls`, 16 bits each. 0xFFFFFFFF means unknown.
struct VersionWords {
    uint32_t ms = 0xFFFFFFFF;
    uint32_t ls = 0xFFFFFFFF;
    bool operator==(const VersionWords&) const = default;
};

// "3.0.0.52" or "3,0,0,52" into version words; parts that are not wholly
// numbers count for what they begin with, and a text without separators is
// a major version alone.
VersionWords ParseVersionNumber(const QString& text);

// The server's date ("29/10/2012" with the default pattern) and an optional
// "hh:nn" time; 1 January 1980 00:00 when the date cannot be read. The day,
// month and year come in the order d, m and y appear in `dateFormat`;
// two-digit years mean 1950 to 2049. Days since 30 December 1899.
double ParseServerDate(const QString& date, const QString& time, const QString& dateFormat, QChar separator);

// Dot-separated versions compared component by component; a missing
// component counts as 0 (1.2 equals 1.2.0, 1.2.1 is newer than 1.2); a
// component that is not a number counts as 0. Negative, zero or positive.
int CompareStandardVersions(const QString& current, const QString& offered);

// A decimal number as the whole text ("." as the point, optional exponent).
bool ParseVersionAsNumber(const QString& text, double& value);

}  // namespace velmora::update
