#include "update/update_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>

namespace velmora::update {

namespace {

bool MakeOwnFolder(const QByteArray& path, QString& error) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        error = QStringLiteral("Cannot create ") + QFile::decodeName(path);
        return false;
    }
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() ||
        (status.st_mode & 077) != 0) {
        error = QFile::decodeName(path) + QStringLiteral(" is not a private folder of this user");
        return false;
    }
    return true;
}

}  // namespace

QString UpdateCacheFolder(QString& error) {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache)) cache = QDir::homePath() + QStringLiteral("/.cache");
    if (!QDir().mkpath(cache)) {
        error = QStringLiteral("Cannot create ") + cache;
        return {};
    }
    const QByteArray velmora = QFile::encodeName(cache + QStringLiteral("/velmora"));
    const QByteArray updates = velmora + "/updates";
    if (!MakeOwnFolder(velmora, error) || !MakeOwnFolder(updates, error)) return {};
    return QFile::decodeName(updates) + u'/';
}

bool IsDisguisingCharacter(QChar c) {
    const char16_t u = c.unicode();
    // C0 and C1 controls; the marks and overrides that reorder text, so that
    // "update\u202Efdp.sh" reads as "updatehs.pdf"; zero-width characters.
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x061C || (u >= 0x200B && u <= 0x200F) ||
           (u >= 0x202A && u <= 0x202E) || (u >= 0x2060 && u <= 0x2069) || u == 0xFEFF;
}

bool IsPlainFileName(const QString& name) {
    // No hidden names either: ".profile" in a target folder is someone's settings.
    if (name.isEmpty() || name.startsWith(u'.') || name.startsWith(u'-') || name.toUtf8().size() > 250)
        return false;
    for (QChar c : name) {
        if (c == u'/' || c == u'\\' || IsDisguisingCharacter(c)) return false;
    }
    return true;
}

PartFile::PartFile(QString finalPath) : finalPath_(std::move(finalPath)), partPath_(QFile::encodeName(finalPath_) + ".part") {}

PartFile::~PartFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
    if (!renamed_ && created_) ::unlink(partPath_.constData());
}

bool PartFile::Create() {
    struct stat status {};
    if (::lstat(partPath_.constData(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid())
        ::unlink(partPath_.constData());
    // Never executable while it is written: only a checked update becomes so.
    descriptor_ = ::open(partPath_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor_ < 0) {
        descriptor_ = -1;
        return false;
    }
    created_ = true;
    return true;
}

bool PartFile::Write(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor_, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool PartFile::Seal() {
    if (descriptor_ < 0) return false;
    const bool synced = ::fsync(descriptor_) == 0;
    const bool closed = ::close(descriptor_) == 0;
    descriptor_ = -1;
    return synced && closed;
}

bool PartFile::Rename() {
    if (descriptor_ >= 0 || !created_) return false;
    if (::rename(partPath_.constData(), QFile::encodeName(finalPath_).constData()) != 0) return false;
    renamed_ = true;
    return true;
}

}  // namespace velmora::update
