#include "storage/office_lock_files.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <string>
#include <vector>

namespace velmora::storage {

namespace {

namespace fs = std::filesystem;

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string ThisHost() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

// A LibreOffice lock file holds comma-separated fields ending in ';': the
// user's name, the account, the host, then the time and further fields; the
// process that holds the document is recorded as a field of digits after the
// host. We only call a lock stale when we can prove it: same host, and that
// process is gone. Anything we cannot read counts as live.
bool IsStaleLibreOfficeLock(const fs::path& lockFile) {
    std::ifstream in(lockFile, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    if (content.size() > 4096) return false;
    if (auto end = content.find(';'); end != std::string::npos) content.resize(end);
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = content.find(',', start);
        fields.push_back(content.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() < 4 || fields[2] != ThisHost()) return false;
    for (size_t i = 3; i < fields.size(); ++i) {
        if (!AllDigits(fields[i])) continue;
        pid_t pid = static_cast<pid_t>(std::stol(fields[i]));
        if (pid <= 0) return false;
        return ::kill(pid, 0) != 0 && errno == ESRCH;
    }
    return false;
}

}  // namespace

std::optional<fs::path> FindLiveOfficeLockFile(const fs::path& document) {
    const fs::path folder = document.parent_path();
    const std::string name = document.filename().string();

    const fs::path libreOffice = folder / (".~lock." + name + "#");
    if (Exists(libreOffice) && !IsStaleLibreOfficeLock(libreOffice)) return libreOffice;

    const fs::path owner = folder / ("~$" + name);
    if (Exists(owner)) return owner;
    if (name.size() > 2) {
        const fs::path shortOwner = folder / ("~$" + name.substr(2));
        if (Exists(shortOwner)) return shortOwner;
    }
    return std::nullopt;
}

}  // namespace velmora::storage
