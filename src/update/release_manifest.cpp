#include "update/release_manifest.h"

#include <algorithm>

#include <QRegularExpression>
#include <QStringDecoder>

#include "update/update_files.h"

namespace velmora::update {

namespace {

bool ReadDate(const QString& text, QDate& date) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (!pattern.match(text).hasMatch()) return false;
    date = QDate::fromString(text, Qt::ISODate);
    return date.isValid();
}

}  // namespace

bool ReadReleaseVersion(const QString& text, VersionWords& words) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,5}\\.[0-9]{1,5}\\.[0-9]{1,5}\\.[0-9]{1,5}$"));
    if (!pattern.match(text).hasMatch()) return false;
    const QStringList parts = text.split(u'.');
    uint32_t numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        numbers[i] = parts[i].toUInt();
        if (numbers[i] > 0xFFFF) return false;
    }
    words.ms = numbers[0] << 16 | numbers[1];
    words.ls = numbers[2] << 16 | numbers[3];
    return true;
}

namespace {

bool ReadSize(const QString& text, int64_t& size) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,12}$"));
    if (!pattern.match(text).hasMatch()) return false;
    size = text.toLongLong();
    // A download's length is kept in 31 bits.
    return size > 0 && size <= 0x7FFFFFFF;
}

bool ReadDigest(const QString& text, QByteArray& digest) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-fA-F]{64}$"));
    if (!pattern.match(text).hasMatch()) return false;
    digest = QByteArray::fromHex(text.toLatin1());
    return digest.size() == 32;
}

// An argument may be anything a program takes but control characters and
// those that reorder or hide text.
bool IsPlainArgument(const QString& argument) {
    return std::none_of(argument.begin(), argument.end(), IsDisguisingCharacter);
}

bool Fail(QString& reason, const QString& text) {
    reason = text;
    return false;
}

}  // namespace

bool ParseReleaseManifest(const QByteArray& text, ReleaseManifest& manifest, QString& reason) {
    manifest = ReleaseManifest();
    if (text.size() > kLargestManifest) return Fail(reason, QStringLiteral("The signed description is too long."));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(text);
    if (utf8.hasError() || text.contains('\0') || text.contains('\r'))
        return Fail(reason, QStringLiteral("The signed description is not plain UTF-8 text."));

    static const QRegularExpression line(QStringLiteral("^([a-z0-9-]+) = (.*)$"));
    QStringList seen;
    for (const QString& row : decoded.split(u'\n')) {
        if (row.isEmpty() || row.startsWith(u'#')) continue;
        const QRegularExpressionMatch match = line.match(row);
        if (!match.hasMatch())
            return Fail(reason, QStringLiteral("The signed description has a line that is not \"key = value\"."));
        const QString key = match.captured(1), value = match.captured(2);
        if (key == QLatin1String("arg")) {
            if (!IsPlainArgument(value))
                return Fail(reason, QStringLiteral("An argument in the signed description has control characters."));
            manifest.arguments << value;
            continue;
        }
        if (seen.contains(key)) return Fail(reason, QStringLiteral("The signed description names \"%1\" twice.").arg(key));
        seen << key;
        bool ok = true;
        if (key == QLatin1String("product")) {
            manifest.product = value;
        } else if (key == QLatin1String("version")) {
            manifest.version = value;
            ok = ReadReleaseVersion(value, manifest.words);
        } else if (key == QLatin1String("build-date")) {
            ok = ReadDate(value, manifest.buildDate);
        } else if (key == QLatin1String("file")) {
            manifest.file = value;
            ok = IsPlainFileName(value);
        } else if (key == QLatin1String("size")) {
            ok = ReadSize(value, manifest.size);
        } else if (key == QLatin1String("sha256")) {
            ok = ReadDigest(value, manifest.sha256);
        } else if (key == QLatin1String("not-after")) {
            ok = ReadDate(value, manifest.notAfter);
        }
        if (!ok) return Fail(reason, QStringLiteral("The signed description's \"%1\" cannot be read.").arg(key));
    }
    for (const char* required : {"product", "version", "build-date", "file", "size", "sha256", "not-after"}) {
        if (!seen.contains(QLatin1String(required)))
            return Fail(reason, QStringLiteral("The signed description has no \"%1\".").arg(QLatin1String(required)));
    }
    return true;
}

QString RefuseReleaseManifest(const ReleaseManifest& manifest, const VersionWords& installed,
                              const QDate& installedBuildDay, const QDate& today) {
    if (manifest.product != QLatin1String(kReleaseProductId))
        return QStringLiteral("The signed description is for another product (%1).").arg(manifest.product);
    if (today > manifest.notAfter)
        return QStringLiteral("The signed description expired on %1.").arg(manifest.notAfter.toString(Qt::ISODate));
    const auto order = [](const VersionWords& a, const VersionWords& b) {
        if (a.ms != b.ms) return a.ms < b.ms ? -1 : 1;
        if (a.ls != b.ls) return a.ls < b.ls ? -1 : 1;
        return 0;
    };
    const int versions = order(installed, manifest.words);
    if (versions < 0 || (versions == 0 && installedBuildDay.isValid() && manifest.buildDate > installedBuildDay))
        return QString();
    return QStringLiteral("The signed description offers version %1 built on %2, which is not newer than this one.")
        .arg(manifest.version, manifest.buildDate.toString(Qt::ISODate));
}

}  // namespace velmora::update
