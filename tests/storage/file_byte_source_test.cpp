#include "storage/file_byte_source.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "storage/storage_error.h"
#include "support/case_name.h"
#include "support/test_paths.h"

namespace velmora::storage {
namespace {

using testing::ScopedTempDir;

Refusal RefusalOfOpen(const std::filesystem::path& path, AccessMode mode) {
    try {
        FileByteSource::Open(path, mode);
    } catch (const StorageError& error) {
        return error.reason();
    }
    return Refusal::None;
}

class FileByteSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        document = folder.path() / "report.doc";
        testing::WriteWholeFile(document, std::vector<uint8_t>(1000, 0xAB));
    }

    // Holds a lock on the document from another process, as another program
    // would (a POSIX lock held in this process would vanish as soon as we
    // close any descriptor of the file). Returns the child's pid.
    pid_t lockFromAnotherProcess(short type, int command) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        pid_t child = ::fork();
        if (child == 0) {
            int fd = ::open(document.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY);
            struct flock lock {};
            lock.l_type = type;
            lock.l_whence = SEEK_SET;
            char ok = (fd >= 0 && ::fcntl(fd, command, &lock) == 0) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        char ok = '0';
        EXPECT_EQ(::read(ready[0], &ok, 1), 1);
        EXPECT_EQ(ok, '1');
        ::close(ready[0]);
        ::close(ready[1]);
        return child;
    }

    static void release(pid_t child) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }

    ScopedTempDir folder;
    std::filesystem::path document;
};

TEST_F(FileByteSourceTest, ReadsWhatIsThere) {
    auto source = FileByteSource::Open(document, AccessMode::Read);
    ASSERT_EQ(source->size(), 1000u);
    std::vector<uint8_t> bytes(10);
    source->readAt(990, bytes);
    EXPECT_EQ(bytes, std::vector<uint8_t>(10, 0xAB));
    EXPECT_EQ(source->bytesRead(), 10u);
}

TEST_F(FileByteSourceTest, RefusesReadsPastTheEnd) {
    auto source = FileByteSource::Open(document, AccessMode::Read);
    std::vector<uint8_t> bytes(11);
    EXPECT_THROW(source->readAt(990, bytes), StorageError);
    EXPECT_THROW(source->readAt(UINT64_MAX - 2, bytes), StorageError);
}

TEST_F(FileByteSourceTest, NoticesTruncationUnderUs) {
    auto source = FileByteSource::Open(document, AccessMode::Read);
    ASSERT_EQ(::truncate(document.c_str(), 100), 0);
    std::vector<uint8_t> bytes(10);
    EXPECT_THROW(source->readAt(500, bytes), StorageError);
}

TEST_F(FileByteSourceTest, RefusesWhatIsNotARegularFile) {
    const auto fifo = folder.path() / "pipe.doc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto sub = folder.path() / "folder.doc";
    std::filesystem::create_directory(sub);
    for (const auto& path : {fifo, sub, std::filesystem::path("/dev/null")}) {
        SCOPED_TRACE(path.string());
        EXPECT_EQ(RefusalOfOpen(path, AccessMode::Read), Refusal::NotRegularFile);
        EXPECT_EQ(RefusalOfOpen(path, AccessMode::ReadWrite), Refusal::NotRegularFile);
    }
}

TEST_F(FileByteSourceTest, RefusesAMissingFile) {
    EXPECT_EQ(RefusalOfOpen(folder.path() / "missing.doc", AccessMode::Read), Refusal::NotFound);
}

TEST_F(FileByteSourceTest, ReadOnlyFileIsReadButNotWritten) {
    ASSERT_EQ(::chmod(document.c_str(), 0444), 0);
    EXPECT_EQ(RefusalOfOpen(document, AccessMode::Read), Refusal::None);
    EXPECT_EQ(RefusalOfOpen(document, AccessMode::ReadWrite), Refusal::ReadOnly);
}

struct LockCase {
    const char* name;
    short type;
    int command;
    Refusal forReading;
    Refusal forWriting;
};

class FileByteSourceLockTest : public FileByteSourceTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(FileByteSourceLockTest, HonoursOtherProgramsLocks) {
    pid_t holder = lockFromAnotherProcess(GetParam().type, GetParam().command);
    EXPECT_EQ(RefusalOfOpen(document, AccessMode::Read), GetParam().forReading);
    EXPECT_EQ(RefusalOfOpen(document, AccessMode::ReadWrite), GetParam().forWriting);
    release(holder);
    EXPECT_EQ(RefusalOfOpen(document, AccessMode::ReadWrite), Refusal::None);
}

INSTANTIATE_TEST_SUITE_P(Locks, FileByteSourceLockTest, ::testing::Values(
    LockCase{"SharedOfdLock", F_RDLCK, F_OFD_SETLK, Refusal::None, Refusal::Locked},
    LockCase{"ExclusiveOfdLock", F_WRLCK, F_OFD_SETLK, Refusal::Locked, Refusal::Locked},
    // Office suites take classic POSIX record locks on open documents.
    LockCase{"ExclusivePosixLock", F_WRLCK, F_SETLK, Refusal::Locked, Refusal::Locked}),
    testing::CaseName());

TEST_F(FileByteSourceTest, OurOwnReadersShareAndExcludeWriters) {
    auto reader = FileByteSource::Open(document, AccessMode::Read);
    EXPECT_EQ(RefusalOfOpen(document, AccessMode::Read), Refusal::None);
    EXPECT_EQ(RefusalOfOpen(document, AccessMode::ReadWrite), Refusal::Locked);
}

TEST_F(FileByteSourceTest, WritesStayInsideTheFile) {
    auto source = FileByteSource::Open(document, AccessMode::ReadWrite);
    std::vector<uint8_t> bytes{1, 2, 3};
    source->writeAt(997, bytes);
    EXPECT_THROW(source->writeAt(998, bytes), StorageError);
    source->resize(1003);
    source->writeAt(1000, bytes);
    source->sync();
    auto content = testing::ReadWholeFile(document);
    ASSERT_EQ(content.size(), 1003u);
    EXPECT_EQ(content[997], 1);
    EXPECT_EQ(content[1002], 3);
}

}  // namespace
}  // namespace velmora::storage
