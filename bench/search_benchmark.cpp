// How fast the document search walks a folder tree, against the least any
// recursive walk has to do: list every folder (opendir/readdir) and enter
// the sub-folders. The search also sorts each folder's names, checks every
// matching file is a regular one, and keeps the (device, inode) of every
// folder it enters.
#include <dirent.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "engine/document_search.h"

namespace {

using namespace velmora;
using bench::fs::path;

// FOLDERS folders, 20 to a parent, each holding 20 files of which 2 are
// documents (one .doc, one .xls) and 18 are other files.
void MakeTree(const path& root, size_t folders) {
    std::vector<path> made = {root};
    for (size_t next = 0; made.size() < folders; ++next)
        for (int child = 0; child < 20 && made.size() < folders; ++child)
            made.push_back(made[next] / ("folder " + std::to_string(child)));
    for (const path& folder : made) {
        bench::fs::create_directories(folder);
        for (int file = 0; file < 20; ++file) {
            const char* extension = file == 0 ? ".doc" : file == 1 ? ".xls" : file % 3 ? ".txt" : ".docx";
            std::ofstream(folder / ("file " + std::to_string(file) + extension)) << 'x';
        }
    }
}

// The baseline: every folder listed, sub-folders entered; nothing else.
size_t PlainWalk(const std::string& folder) {
    DIR* stream = ::opendir(folder.c_str());
    if (stream == nullptr) return 0;
    size_t entries = 0;
    std::vector<std::string> subfolders;
    while (const dirent* entry = ::readdir(stream)) {
        ++entries;
        if (entry->d_type == DT_DIR && entry->d_name[0] != '.') subfolders.push_back(folder + "/" + entry->d_name);
    }
    ::closedir(stream);
    for (const auto& subfolder : subfolders) entries += PlainWalk(subfolder);
    return entries;
}

}  // namespace

int main(int argc, char** argv) try {
    const size_t folders = bench::CountArgument(argc, argv, 1, 5000);
    const path parent = bench::FolderArgument(argc, argv, 2, bench::fs::temp_directory_path());
    bench::ScratchFolder scratch(parent, "velmora-search-bench");
    MakeTree(scratch.path(), folders);

    constexpr int kRounds = 10;
    std::vector<double> searchSeconds, walkSeconds;
    size_t found = 0, entries = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = bench::Clock::now();
        std::vector<path> documents;
        engine::FindDocuments(scratch.path(), true, engine::kAllDocumentTypes, documents);
        searchSeconds.push_back(bench::SecondsSince(start));
        found = documents.size();

        start = bench::Clock::now();
        entries = PlainWalk(scratch.path());
        walkSeconds.push_back(bench::SecondsSince(start));
    }
    if (found != 2 * folders) throw std::runtime_error("the search found " + std::to_string(found) + " documents");

    std::printf("%zu folders, %zu entries, %zu documents; warm cache, %d rounds\n", folders, entries, found, kRounds);
    std::printf("search:     best %.1f ms, median %.1f ms, %.0f folders/s\n", 1000 * bench::Best(searchSeconds),
                1000 * bench::Median(searchSeconds), static_cast<double>(folders) / bench::Median(searchSeconds));
    std::printf("plain walk: best %.1f ms, median %.1f ms\n", 1000 * bench::Best(walkSeconds), 1000 * bench::Median(walkSeconds));
    std::printf("search / plain walk: %.2f\n", bench::Median(searchSeconds) / bench::Median(walkSeconds));
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "search_benchmark: %s\n", error.what());
    return 1;
}
