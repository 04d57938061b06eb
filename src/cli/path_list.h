#pragma once

#include <string>

namespace velmora::cli {

// The paths of a --files-from list, read as bytes, as `find` writes them:
// one per line, or NUL-separated (`find -print0`). Empty entries are
// skipped; nothing else is changed (no carriage return is taken off, no
// space trimmed). Read in pieces, so a listing of millions of paths never
// sits in memory.
class PathListReader {
public:
    // "-" is standard input. Throws UsageError when the file cannot be read.
    PathListReader(const std::string& file, bool nulSeparated);
    ~PathListReader();
    PathListReader(const PathListReader&) = delete;
    PathListReader& operator=(const PathListReader&) = delete;

    // The next entry; false at the end. Throws std::runtime_error when
    // reading fails midway, an entry is longer than any path (4096 bytes),
    // or a line holds a NUL byte (a NUL-separated list read without -0).
    bool Next(std::string& path);

private:
    bool fill();
    bool check(const std::string& path) const;

    std::string name_;
    int descriptor_ = -1;
    bool ownsDescriptor_ = false;
    char separator_;
    std::string buffer_;
    size_t start_ = 0;
    bool ended_ = false;
};

}  // namespace velmora::cli
