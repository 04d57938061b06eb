#include "engine/document_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <utility>

#include "storage/scoped_descriptor.h"

namespace velmora::engine {

namespace {

struct FolderIdentity {
    dev_t device;
    ino_t inode;
    auto operator<=>(const FolderIdentity&) const = default;
};

struct Entry {
    std::string name;
    unsigned char type;  // d_type; DT_UNKNOWN when the file system does not say
};

std::string WithTrailingSeparator(const std::filesystem::path& folder) {
    std::string text = folder.native();
    if (text.empty() || text.back() != '/') text.push_back('/');
    return text;
}

bool IsDotOrDotDot(const std::string& name) { return name == "." || name == ".."; }

// Regular file, not a link to one: the name's own entry must be a file.
bool IsRegularFileEntry(int folder, const Entry& entry) {
    if (entry.type == DT_REG) return true;
    if (entry.type != DT_UNKNOWN) return false;
    struct stat status {};
    return ::fstatat(folder, entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode);
}

// A folder, or a link that leads to one.
bool IsFolderEntry(int folder, const Entry& entry) {
    if (entry.type == DT_DIR) return true;
    if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) return false;
    struct stat status {};
    return ::fstatat(folder, entry.name.c_str(), &status, 0) == 0 && S_ISDIR(status.st_mode);
}

class DocumentSearch {
public:
    DocumentSearch(TDocumentTypes types, bool includeSubfolders, std::vector<std::filesystem::path>& list, SearchReport* report)
        : types_(types), includeSubfolders_(includeSubfolders), list_(list), report_(report) {}

    // Depth first without recursion: a stack of folders whose sub-folders are
    // still to be visited, so that a very deep tree cannot exhaust the stack.
    void Run(const std::filesystem::path& top) {
        struct PendingFolder {
            std::string prefix;  // the folder's path with a trailing "/"
            std::vector<std::string> subfolders;
            size_t next = 0;
        };
        std::vector<PendingFolder> stack;
        auto visit = [&](const std::filesystem::path& folder) {
            std::string prefix = WithTrailingSeparator(folder);
            std::vector<std::string> subfolders;
            if (!ListFolder(prefix, subfolders)) return;
            if (!subfolders.empty()) stack.push_back({std::move(prefix), std::move(subfolders), 0});
        };
        if (StopRequested()) return;
        visit(top);
        while (!stack.empty()) {
            if (StopRequested()) return;
            PendingFolder& current = stack.back();
            if (current.next == current.subfolders.size()) {
                stack.pop_back();
                continue;
            }
            std::filesystem::path child(current.prefix + current.subfolders[current.next++]);
            visit(child);  // may grow the stack: `current` is not used after this
        }
    }

private:
    bool StopRequested() {
        if (report_ == nullptr || !report_->stopRequested || !report_->stopRequested()) return false;
        report_->cancelled = true;
        return true;
    }

    // Appends the folder's documents and collects the sub-folders to enter.
    // False when the folder cannot be opened or was visited before.
    bool ListFolder(const std::string& prefix, std::vector<std::string>& subfolders) {
        storage::ScopedDescriptor folder(::open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
        struct stat status {};
        if (folder.get() < 0 || ::fstat(folder.get(), &status) != 0) {
            ReportUnlistable(prefix);
            return false;
        }
        if (!visited_.insert(FolderIdentity{status.st_dev, status.st_ino}).second) return false;

        std::vector<Entry> entries;
        if (!ReadEntries(folder.get(), entries)) ReportUnlistable(prefix);
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

        for (const Entry& entry : entries) {
            if (IsDotOrDotDot(entry.name) || !MatchesDocumentTypes(entry.name, types_)) continue;
            if (!IsRegularFileEntry(folder.get(), entry)) continue;
            Append(prefix + entry.name);
        }
        if (includeSubfolders_) {
            for (const Entry& entry : entries) {
                if (entry.name.empty() || entry.name.front() == '.') continue;  // hidden, and "." and ".."
                if (IsFolderEntry(folder.get(), entry)) subfolders.push_back(entry.name);
            }
        }
        ++foldersSearched_;
        if (report_ != nullptr && report_->progress) report_->progress(foldersSearched_, list_.size());
        return true;
    }

    // Reads every entry; false when reading stopped on an error (the entries
    // read so far are kept).
    static bool ReadEntries(int folder, std::vector<Entry>& entries) {
        int duplicate = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
        if (duplicate < 0) return false;
        DIR* stream = ::fdopendir(duplicate);
        if (stream == nullptr) {
            ::close(duplicate);
            return false;
        }
        bool complete = true;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(stream);
            if (entry == nullptr) {
                complete = errno == 0;
                break;
            }
            entries.push_back(Entry{entry->d_name, entry->d_type});
        }
        ::closedir(stream);
        return complete;
    }

    void Append(std::string path) {
        try {
            list_.emplace_back(std::move(path));
        } catch (const std::bad_alloc&) {
            throw StringListFullError();
        } catch (const std::length_error&) {
            throw StringListFullError();
        }
    }

    void ReportUnlistable(const std::string& prefix) {
        if (report_ == nullptr) return;
        std::string folder = prefix;
        if (folder.size() > 1) folder.pop_back();
        report_->unlistable.emplace_back(std::move(folder));
    }

    TDocumentTypes types_;
    bool includeSubfolders_;
    std::vector<std::filesystem::path>& list_;
    SearchReport* report_;
    size_t foldersSearched_ = 0;
    std::set<FolderIdentity> visited_;
};

}  // namespace

bool MatchesDocumentTypes(std::string_view fileName, TDocumentTypes types) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = fileName.substr(dot);
    return ((types & dtWord) && extension == ".doc") || ((types & dtExcel) && extension == ".xls") ||
           ((types & dtPowerPoint) && extension == ".ppt");
}

void FindDocuments(const std::filesystem::path& folder, bool includeSubfolders, TDocumentTypes types,
                   std::vector<std::filesystem::path>& list, SearchReport* report) {
    if (folder.empty()) return;
    DocumentSearch(types, includeSubfolders, list, report).Run(folder);
}

bool IsFolder(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int64_t FileSizeOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<int64_t>(status.st_size);
}

}  // namespace velmora::engine
