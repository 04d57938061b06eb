#include "update/verified_update.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "update/update_signature.h"

namespace velmora::update {

VerifiedUpdate::~VerifiedUpdate() { ::close(descriptor_); }

std::unique_ptr<VerifiedUpdate> VerifiedUpdate::Open(const QByteArray& path, const ReleaseManifest& manifest,
                                                     QString& reason) {
    const int descriptor = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        reason = QStringLiteral("The downloaded update cannot be read again.");
        return nullptr;
    }
    auto fail = [&](const QString& text) {
        ::close(descriptor);
        reason = text;
        return nullptr;
    };
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid())
        return fail(QStringLiteral("The downloaded update is not a plain file of this user."));
    if (status.st_size != manifest.size)
        return fail(QStringLiteral("The downloaded update's size does not match its signed description."));
    int64_t hashed = 0;
    const QByteArray digest = Sha256OfDescriptor(descriptor, hashed);
    if (digest.isEmpty()) return fail(QStringLiteral("The downloaded update cannot be read again."));
    if (hashed != manifest.size)
        return fail(QStringLiteral("The downloaded update's size does not match its signed description."));
    if (digest != manifest.sha256)
        return fail(QStringLiteral("The downloaded update's contents do not match its signed description (SHA-256)."));

    char head[4] = {};
    if (::pread(descriptor, head, sizeof head, 0) < 2) return fail(QStringLiteral("The update is too short to start."));
    Kind kind;
    if (QByteArray(head, 4) == QByteArray("\x7F" "ELF", 4)) kind = Kind::Program;
    else if (head[0] == '#' && head[1] == '!') kind = Kind::Script;
    else return fail(QStringLiteral("The update is neither a program nor a script, so it is not started."));

    // Executable, and read-only even for us: a checked update is not to be
    // written to in place.
    if (::fchmod(descriptor, 0500) != 0) return fail(QStringLiteral("The update cannot be made executable."));
    return std::unique_ptr<VerifiedUpdate>(new VerifiedUpdate(descriptor, kind));
}

}  // namespace velmora::update
