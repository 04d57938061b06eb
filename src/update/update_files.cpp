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

bool IsPlainFileName(const QString& name) {
    // No hidden names either: ".profile" in a target folder is someone's settings.
    if (name.isEmpty() || name.startsWith(u'.') || name.startsWith(u'-'))
        return false;
    for (QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
    }
    return true;
}

PartFile::PartFile(QString finalPath) : finalPath_(std::move(finalPath)), partPath_(QFile::encodeName(finalPath_) + ".part") {}

PartFile::~PartFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
    if (!finished_ && descriptor_ != -1) ::unlink(partPath_.constData());
}

bool PartFile::Create() {
    struct stat status {};
    if (::lstat(partPath_.constData(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid())
        ::unlink(partPath_.constData());
    descriptor_ = ::open(partPath_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor_ < 0) {
        descriptor_ = -1;
        return false;
    }
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

bool PartFile::Finish() {
    if (::fchmod(descriptor_, 0700) != 0 || ::fsync(descriptor_) != 0) return false;
    ::close(descriptor_);
    descriptor_ = -2;  // closed; the destructor still removes the part until renamed
    if (::rename(partPath_.constData(), QFile::encodeName(finalPath_).constData()) != 0) return false;
    finished_ = true;
    return true;
}

}  // namespace velmora::update
