#include "storage/file_byte_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "storage/scoped_descriptor.h"
#include "storage/storage_error.h"

namespace velmora::storage {

namespace {

[[noreturn]] void ThrowOpenError(int error, AccessMode mode) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        throw StorageError(StorageResult::FileNotFound, Refusal::NotFound, "The document does not exist");
    case EACCES:
    case EPERM:
        if (mode == AccessMode::ReadWrite)
            throw StorageError(StorageResult::AccessDenied, Refusal::ReadOnly, "The document is read-only");
        throw StorageError(StorageResult::AccessDenied, Refusal::PermissionDenied,
                           "You do not have permission to read the document");
    case EROFS:
        throw StorageError(StorageResult::AccessDenied, Refusal::ReadOnly,
                           "The document is on a read-only file system");
    case ETXTBSY:
        throw StorageError(StorageResult::ShareViolation, Refusal::Locked,
                           "The document is in use by another program");
    default:
        throw StorageError(StorageResult::ReadFault, Refusal::IoError,
                           std::string("The document cannot be opened: ") + std::strerror(error));
    }
}

void LockWholeFile(int fd, AccessMode mode) {
    struct flock lock {};
    lock.l_type = mode == AccessMode::ReadWrite ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // to the end, however the file grows
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return;
    int error = errno;
    if (error == EAGAIN || error == EACCES)
        throw StorageError(StorageResult::ShareViolation, Refusal::Locked,
                           "The document is open in another program");
    // File systems without lock support (some network mounts) cannot tell us
    // about other programs; reading is still safe, writing is refused.
    if ((error == ENOLCK || error == EINVAL || error == EOPNOTSUPP) && mode == AccessMode::Read) return;
    throw StorageError(StorageResult::LockViolation, Refusal::Locked,
                       std::string("The document cannot be locked: ") + std::strerror(error));
}

}  // namespace

bool HasNoWritePermissionBits(const struct stat& status) {
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::unique_ptr<FileByteSource> FileByteSource::Open(const std::filesystem::path& path, AccessMode mode) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    ScopedDescriptor probe(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (probe.get() < 0) ThrowOpenError(errno, AccessMode::Read);

    struct stat status {};
    if (::fstat(probe.get(), &status) != 0) ThrowOpenError(errno, AccessMode::Read);
    if (!S_ISREG(status.st_mode))
        throw StorageError(StorageResult::AccessDenied, Refusal::NotRegularFile,
                           "The path is not a regular file");

    if (mode == AccessMode::Read) {
        LockWholeFile(probe.get(), mode);
        int fd = probe.release();
        return std::unique_ptr<FileByteSource>(new FileByteSource(fd, status, mode));
    }

    if (HasNoWritePermissionBits(status))
        throw StorageError(StorageResult::AccessDenied, Refusal::ReadOnly, "The document is read-only");

    // Reopen for writing only now that we know it is a regular file, and make
    // sure it is still the same file: the path may have been replaced meanwhile.
    ScopedDescriptor writable(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (writable.get() < 0) ThrowOpenError(errno, AccessMode::ReadWrite);
    struct stat again {};
    if (::fstat(writable.get(), &again) != 0) ThrowOpenError(errno, AccessMode::ReadWrite);
    if (again.st_dev != status.st_dev || again.st_ino != status.st_ino || !S_ISREG(again.st_mode))
        throw StorageError(StorageResult::ShareViolation, Refusal::Locked,
                           "The document was replaced while it was being opened");
    LockWholeFile(writable.get(), mode);
    int fd = writable.release();
    return std::unique_ptr<FileByteSource>(new FileByteSource(fd, again, mode));
}

FileByteSource::FileByteSource(int fd, const struct stat& status, AccessMode mode)
    : fd_(fd), status_(status), mode_(mode), size_(static_cast<uint64_t>(status.st_size)) {
    // Regular files never block, but clear the flag before writing anyway so
    // that writes behave the ordinary way on every file system.
    if (mode == AccessMode::ReadWrite) {
        int flags = ::fcntl(fd_, F_GETFL);
        if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    }
}

FileByteSource::~FileByteSource() { ::close(fd_); }

void FileByteSource::readAt(uint64_t offset, std::span<uint8_t> buffer) {
    if (offset > size_ || size_ - offset < buffer.size())
        ThrowDamaged("read of " + std::to_string(buffer.size()) + " bytes at offset " + std::to_string(offset) +
                     " lies beyond the end of the file (" + std::to_string(size_) + " bytes)");
    size_t done = 0;
    while (done < buffer.size()) {
        ssize_t got = ::pread(fd_, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            throw StorageError(StorageResult::ReadFault, Refusal::IoError,
                               std::string("The document cannot be read: ") + std::strerror(errno));
        }
        if (got == 0)
            throw StorageError(StorageResult::ReadFault, Refusal::IoError,
                               "The document became shorter while it was being read");
        done += static_cast<size_t>(got);
    }
    countRead(buffer.size());
}

namespace {
[[noreturn]] void ThrowWriteError(int error) {
    if (error == ENOSPC || error == EDQUOT)
        throw StorageError(StorageResult::MediumFull, Refusal::DiskFull, "There is not enough disk space");
    throw StorageError(StorageResult::WriteFault, Refusal::IoError,
                       std::string("The document cannot be written: ") + std::strerror(error));
}
}  // namespace

void FileByteSource::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
    if (mode_ != AccessMode::ReadWrite)
        throw StorageError(StorageResult::AccessDenied, Refusal::ReadOnly, "The document was opened for reading only");
    if (offset > size_ || size_ - offset < bytes.size())
        throw StorageError(StorageResult::WriteFault, Refusal::IoError, "write beyond the end of the document");
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            ThrowWriteError(errno);
        }
        done += static_cast<size_t>(put);
    }
}

void FileByteSource::sync() {
    if (::fsync(fd_) != 0) ThrowWriteError(errno);
}

void FileByteSource::resize(uint64_t newSize) {
    if (mode_ != AccessMode::ReadWrite)
        throw StorageError(StorageResult::AccessDenied, Refusal::ReadOnly, "The document was opened for reading only");
    int result;
    do {
        result = ::ftruncate(fd_, static_cast<off_t>(newSize));
    } while (result != 0 && errno == EINTR);
    if (result != 0) ThrowWriteError(errno);
    size_ = newSize;
}

}  // namespace velmora::storage
