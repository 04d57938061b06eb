#pragma once

// What both benchmarks share: finding the corpus documents, making a private
// working folder (removed again however the run ends), timing and summaries.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace velmora::bench {

namespace fs = std::filesystem;

// The documents of a corpus folder (any depth), in name order so that runs
// are comparable.
inline std::vector<fs::path> CorpusDocuments(const fs::path& folder) {
    std::vector<fs::path> documents;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file()) continue;
        std::string extension = item.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".doc" || extension == ".xls" || extension == ".ppt") documents.push_back(item.path());
    }
    std::sort(documents.begin(), documents.end());
    if (documents.empty()) throw std::runtime_error("no .doc, .xls or .ppt documents under " + folder.string());
    return documents;
}

// A fresh folder under `parent`, removed when the object goes away, so that
// an exception cannot leave thousands of copies behind.
class ScratchFolder {
public:
    ScratchFolder(const fs::path& parent, const std::string& prefix) {
        std::string pattern = (parent / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a working folder under " + parent.string());
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Copies the document writable by its owner: the corpus is read-only, and a
// read-only copy is one the cleaner rightly refuses.
inline void CopyDocument(const fs::path& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::replace);
}

// Makes a copy durable (its pages clean), so that its write-back is not
// charged to whatever is measured next.
inline void SyncFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::close(fd);
}

// One copy of a corpus document, and which document it copies.
struct Copy {
    fs::path path;
    size_t corpusIndex;
};

// COUNT copies of the corpus documents, round robin; the i-th goes into the
// folder `folderOf(i)` (relative to `root`) under its corpus name with its
// number in front, so that names are unique and sort in copy order.
template <class FolderOf>
std::vector<Copy> CopyCorpus(const fs::path& root, const std::vector<fs::path>& corpus, size_t count, FolderOf folderOf) {
    std::vector<Copy> copies;
    copies.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const fs::path directory = root / folderOf(i);
        fs::create_directories(directory);
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%05zu-", i);
        const size_t corpusIndex = i % corpus.size();
        const fs::path target = directory / (prefix + corpus[corpusIndex].filename().string());
        CopyDocument(corpus[corpusIndex], target);
        copies.push_back({target, corpusIndex});
    }
    return copies;
}

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

inline double Best(const std::vector<double>& seconds) {
    return seconds.empty() ? 0.0 : *std::min_element(seconds.begin(), seconds.end());
}

// A positive count from the command line, or the default when absent.
inline size_t CountArgument(int argc, char** argv, int index, size_t fallback) {
    if (argc <= index) return fallback;
    char* end = nullptr;
    unsigned long long value = std::strtoull(argv[index], &end, 10);
    if (end == argv[index] || *end != '\0' || value == 0)
        throw std::invalid_argument(std::string("not a positive count: ") + argv[index]);
    return static_cast<size_t>(value);
}

inline fs::path FolderArgument(int argc, char** argv, int index, const fs::path& fallback) {
    if (argc <= index) return fallback;
    fs::path folder = argv[index];
    if (!fs::is_directory(folder)) throw std::invalid_argument("not a folder: " + folder.string());
    return folder;
}

}  // namespace velmora::bench
