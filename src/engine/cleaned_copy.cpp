#include "engine/cleaned_copy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "storage/scoped_descriptor.h"
#include "storage/storage_error.h"

namespace velmora::engine {

namespace {

using storage::Refusal;
using storage::ScopedDescriptor;
using storage::StorageError;
using storage::StorageResult;

[[noreturn]] void ThrowCopyError(const std::string& what, const std::filesystem::path& path, int error) {
    const bool full = error == ENOSPC || error == EDQUOT;
    const bool denied = error == EACCES || error == EPERM || error == EROFS;
    throw StorageError(full ? StorageResult::MediumFull : denied ? StorageResult::AccessDenied : StorageResult::WriteFault,
                       full ? Refusal::DiskFull : denied ? Refusal::PermissionDenied : Refusal::IoError,
                       what + " " + path.filename().string() + ": " + std::strerror(error));
}

void CopyAll(int from, int to, const std::filesystem::path& original) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowCopyError("Could not read", original, errno);
        }
        if (got == 0) return;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                ThrowCopyError("Could not copy", original, errno);
            }
            done += put;
        }
    }
}

// The folder's entry for the new name must reach the disk too, or a crash
// could lose a copy the user was told about.
void SyncFolder(const std::filesystem::path& folder) {
    ScopedDescriptor descriptor(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (descriptor.get() >= 0) ::fsync(descriptor.get());
}

}  // namespace

std::filesystem::path CleanedCopyName(const std::filesystem::path& original, int number) {
    std::string name = original.stem().string() + (number <= 1 ? " (cleaned)" : " (cleaned " + std::to_string(number) + ")");
    return original.parent_path() / (name + original.extension().string());
}

CleanedCopy::CleanedCopy(std::filesystem::path original) : original_(std::move(original)) {
    // Without blocking: a FIFO named like a document must not hang the window.
    ScopedDescriptor source(::open(original_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (source.get() < 0) ThrowCopyError("Could not open", original_, errno);
    struct stat status {};
    if (::fstat(source.get(), &status) != 0) ThrowCopyError("Could not open", original_, errno);
    if (!S_ISREG(status.st_mode)) ThrowCopyError("Could not copy", original_, EINVAL);
    ::fcntl(source.get(), F_SETFL, ::fcntl(source.get(), F_GETFL) & ~O_NONBLOCK);
    mode_ = status.st_mode & 07777;

    std::string pattern = (original_.parent_path() / ("." + original_.filename().string() + ".velmora-XXXXXX")).string();
    ScopedDescriptor target(::mkostemp(pattern.data(), O_CLOEXEC));  // mode 0600
    if (target.get() < 0) ThrowCopyError("Could not create a copy of", original_, errno);
    temporary_ = pattern;
    try {
        CopyAll(source.get(), target.get(), original_);
        // Running as another user than the owner (root cleaning a shared folder):
        // the copy should still belong to the original's owner. Best effort.
        if (::geteuid() == 0) (void)::fchown(target.get(), status.st_uid, status.st_gid);
        if (::fsync(target.get()) != 0) ThrowCopyError("Could not copy", original_, errno);
    } catch (...) {
        // No destructor runs for a constructor that throws: a disk that filled
        // up must not keep half a copy.
        ::unlink(temporary_.c_str());
        throw;
    }
}

CleanedCopy::~CleanedCopy() {
    if (!published_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

std::filesystem::path CleanedCopy::Publish() {
    if (::chmod(temporary_.c_str(), mode_) != 0) ThrowCopyError("Could not finish the copy of", original_, errno);
    for (int number = 1;; ++number) {
        const std::filesystem::path destination = CleanedCopyName(original_, number);
        if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
            published_ = true;
            SyncFolder(destination.parent_path());
            return destination;
        }
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) ThrowCopyError("Could not name the copy of", original_, errno);
        // A file system without the no-replace rename: a hard link refuses
        // an existing name just the same.
        if (::link(temporary_.c_str(), destination.c_str()) != 0) {
            if (errno == EEXIST) continue;
            ThrowCopyError("Could not name the copy of", original_, errno);
        }
        ::unlink(temporary_.c_str());
        published_ = true;
        SyncFolder(destination.parent_path());
        return destination;
    }
}

}  // namespace velmora::engine
