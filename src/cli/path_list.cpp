#include "cli/path_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/command_line.h"

namespace velmora::cli {

namespace {

constexpr size_t kPiece = 64 * 1024;
// No path on Linux is longer; a longer entry is not a list of paths.
constexpr size_t kLongestEntry = 4096;

}  // namespace

PathListReader::PathListReader(const std::string& file, bool nulSeparated)
    : name_(file), separator_(nulSeparated ? '\0' : '\n') {
    if (file == "-") {
        descriptor_ = STDIN_FILENO;
    } else {
        descriptor_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor_ < 0) throw UsageError("cannot read --files-from " + file + ": " + std::strerror(errno));
        ownsDescriptor_ = true;
    }
    struct stat status {};
    if (::fstat(descriptor_, &status) == 0 && S_ISDIR(status.st_mode)) {
        if (ownsDescriptor_) ::close(descriptor_);
        descriptor_ = -1;
        throw UsageError("cannot read --files-from " + file + ": it is a folder");
    }
}

PathListReader::~PathListReader() {
    if (ownsDescriptor_ && descriptor_ >= 0) ::close(descriptor_);
}

bool PathListReader::fill() {
    if (ended_) return false;
    buffer_.erase(0, start_);
    start_ = 0;
    const size_t old = buffer_.size();
    buffer_.resize(old + kPiece);
    ssize_t got;
    do {
        got = ::read(descriptor_, buffer_.data() + old, kPiece);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw std::runtime_error("cannot read --files-from " + name_ + ": " + std::strerror(errno));
    buffer_.resize(old + static_cast<size_t>(got));
    if (got == 0) ended_ = true;
    return got > 0;
}

bool PathListReader::Next(std::string& path) {
    size_t searched = start_;  // no separator before here
    while (true) {
        const size_t end = buffer_.find(separator_, searched);
        if (end != std::string::npos) {
            path.assign(buffer_, start_, end - start_);
            start_ = end + 1;
            searched = start_;
            if (path.empty()) continue;
            return check(path);
        }
        if (buffer_.size() - start_ > kLongestEntry)
            throw std::runtime_error("--files-from " + name_ + " has an entry longer than " + std::to_string(kLongestEntry) +
                                     " bytes");
        const size_t kept = buffer_.size() - start_;
        if (!fill()) {
            // The last entry needs no separator after it.
            path.assign(buffer_, start_, std::string::npos);
            start_ = buffer_.size();
            return !path.empty() && check(path);
        }
        searched = start_ + kept;  // fill() moved what was kept to the front
    }
}

bool PathListReader::check(const std::string& path) const {
    if (path.size() > kLongestEntry)
        throw std::runtime_error("--files-from " + name_ + " has an entry longer than " + std::to_string(kLongestEntry) +
                                 " bytes");
    // A NUL inside a line: a list find -print0 wrote, read without -0.
    if (separator_ != '\0' && path.find('\0') != std::string::npos)
        throw std::runtime_error("--files-from " + name_ + " holds NUL bytes: read a NUL-separated list with -0");
    return true;
}

}  // namespace velmora::cli
