#pragma once

#include <cstdint>

#include <QChar>
#include <QString>

namespace velmora::update {

enum TWuVersionFormat { vfExternalFileVersion, vfFileVersion, vfStandard, vfString, vfNumber };
enum TWuPassParameter { ppVersion, ppBuildDate };
enum TWuUpdateOption { uoRunUpdate, uoTerminate, uoOverwrite };

// A set of enumeration values, one bit per value.
template <class Enum>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<Enum> values) {
        for (Enum value : values) bits_ |= Bit(value);
    }
    constexpr bool Contains(Enum value) const { return bits_ & Bit(value); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr uint8_t Bit(Enum value) { return static_cast<uint8_t>(1u << static_cast<unsigned>(value)); }
    uint8_t bits_ = 0;
};
using TWuPassParameters = TSet<TWuPassParameter>;
using TWuUpdateOptions = TSet<TWuUpdateOption>;

// Where the product's update script lives and how its version is read.
class TTwProductInfo {
public:
    const QString& URL() const { return url_; }
    // Keeps an address that starts with "http://" or "https://" (any letter
    // case) as it is; anything else gets "http://" in front.
    void SetURL(const QString& value);

    QString Version = QStringLiteral("1.0");
    TWuVersionFormat VersionFormat = vfFileVersion;
    QString ExternalVersionFileName;
    QString DateFormat = QStringLiteral("dd/mm/yyyy");
    QChar DateSeparator = u'/';
    TWuPassParameters PassParameters{ppVersion, ppBuildDate};

private:
    QString url_ = QStringLiteral("http://");
};

// The META names looked for in the server's reply.
struct TTwTagInfo {
    QString Author = QStringLiteral("wuAuthor");
    QString Email = QStringLiteral("wuEmail");
    QString ClientFileName = QStringLiteral("wuClientSideName");
    QString Download = QStringLiteral("wuDownload");
    QString ProductName = QStringLiteral("wuProduct");
    QString Redirection = QStringLiteral("wuRedirection");
    QString RunParameters = QStringLiteral("wuRunParameters");
    QString Version = QStringLiteral("wuVersion");
    QString Date = QStringLiteral("wuDate");
    QString ShowURL = QStringLiteral("wuShowURL");
    QString Manifest = QStringLiteral("wuManifest");
};

}  // namespace velmora::update
