#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "storage/byte_source.h"

namespace velmora::storage {

enum class AccessMode { Read, ReadWrite };

// A document on disk, read with pread and written with pwrite (never mapped:
// another program may truncate the file under us, and a mapped page past the
// end would kill the process).
//
// Opening refuses what must not be read or written, with a StorageError that
// names the reason: a missing path, anything but a regular file (a FIFO named
// x.doc must not block us), a file another process holds a conflicting lock
// on, and for ReadWrite a read-only file. The file stays locked for the life
// of the object: shared for Read, exclusive for ReadWrite. The locks are
// open-file-description locks, which also conflict with the POSIX record
// locks office suites take on documents they have open.
class FileByteSource : public WritableByteSource {
public:
    static std::unique_ptr<FileByteSource> Open(const std::filesystem::path& path, AccessMode mode);
    ~FileByteSource() override;

    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    uint64_t size() const override { return size_; }
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override;
    void writeAt(uint64_t offset, std::span<const uint8_t> bytes) override;
    void sync() override;
    void resize(uint64_t newSize) override;


private:
    FileByteSource(int fd, const struct stat& status, AccessMode mode);

    int fd_;
    struct stat status_;
    AccessMode mode_;
    uint64_t size_;
};

// True when no one may write the file by its permission bits, whoever we are
// (root can open a mode-0444 file for writing, but the owner meant it read-only).
bool HasNoWritePermissionBits(const struct stat& status);

}  // namespace velmora::storage
