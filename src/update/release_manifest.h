#pragma once

#include <cstdint>

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include "update/version_compare.h"

namespace velmora::update {

// The product id every manifest for this program must name.
inline constexpr char kReleaseProductId[] = "example.ternwick.Velmora";

// The signed description of one release: everything that decides whether it
// is taken, what is saved and what is started. The server's META values may
// announce a release; only these values, under the built-in key, decide.
//
// The text is UTF-8, one "key = value" line each, LF line ends: the key in
// lower-case letters, digits and '-', then exactly " = ", then the value to
// the end of the line, spaces and all. Blank lines and lines starting with
// '#' are skipped; keys this program does not know are skipped too, so a
// later publisher may add some. Every key but "arg" appears exactly once.
struct ReleaseManifest {
    QString product;       // product
    QString version;       // version: four numbers 0-65535, "3.0.0.52"
    VersionWords words;    //   the same as file-version words
    QDate buildDate;       // build-date: YYYY-MM-DD
    QString file;          // file: the name to save under
    int64_t size = 0;      // size: bytes, decimal, at most 2^31 - 1
    QByteArray sha256;     // sha256: 64 hex digits, kept as the 32 bytes
    QDate notAfter;        // not-after: YYYY-MM-DD, the last day it is valid
    QStringList arguments; // arg: one line per argument, in order; no control or
                           // text-reordering characters
};

// Longest manifest accepted, in bytes, and longest signature.
inline constexpr int kLargestManifest = 64 * 1024;
inline constexpr int kLargestManifestSignature = 1024;

// Four dot-separated numbers 0-65535 ("3.0.0.52") as file-version words.
bool ReadReleaseVersion(const QString& text, VersionWords& words);

// Reads a manifest's text; false with `reason` (plain words) when it is not
// one.
bool ParseReleaseManifest(const QByteArray& text, ReleaseManifest& manifest, QString& reason);

// Why a valid manifest is not taken by this installation: for another
// product, past its last day (`today`, UTC), or not newer than the installed
// version `installed` built on `installedBuildDay` (a higher version, or the
// same version built on a later day). Empty when it is taken.
QString RefuseReleaseManifest(const ReleaseManifest& manifest, const VersionWords& installed,
                              const QDate& installedBuildDay, const QDate& today);

}  // namespace velmora::update
