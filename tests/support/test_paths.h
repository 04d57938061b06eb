#pragma once

#include <filesystem>
#include <string_view>
#include <functional>
#include <string>
#include <vector>

namespace velmora::testing {

// A file under tests/data (the corpus lives in tests/data/corpus).
std::filesystem::path TestDataPath(const std::string& relative);

// Every document of the corpus (.doc, .xls, .ppt), in path order.
std::vector<std::filesystem::path> CorpusDocuments();

// Copies a file and makes the copy writable by its owner (the corpus may be read-only).
void CopyWritable(const std::filesystem::path& from, const std::filesystem::path& to);

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Whether `bytes` hold `text` as 8-bit characters (Latin-1) or as UTF-16LE.
bool HoldsText(const std::vector<uint8_t>& bytes, std::u16string_view text);

// Runs `check` and gives its result; as root, in a child process that has
// given up root's power to open any folder, so that permissions set by a test
// mean what they say. The child reports through its exit status (0 success);
// kCannotDropPrivileges when root could not become nobody (a container
// without the capability): the caller should skip.
inline constexpr int kCannotDropPrivileges = 90;
int RunUnprivileged(const std::function<int()>& check);

// A fresh folder removed with everything in it when the object goes.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Switches the process's time zone (TZ) for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool hadZone_ = false;
    std::string previous_;
};

}  // namespace velmora::testing
