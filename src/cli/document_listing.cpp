#include "cli/document_listing.h"

#include "cli/command_line.h"
#include "cli/path_list.h"
#include "cli/progress_line.h"

namespace velmora::cli {

DocumentListing ListDocuments(const std::vector<std::string>& paths, engine::TDocumentTypes types, bool recursive,
                              ProgressLine* progress) {
    DocumentListing listing;
    engine::SearchReport report;
    size_t foldersBefore = 0;  // of earlier folder arguments
    size_t foldersOfThisSearch = 0;
    if (progress != nullptr)
        report.progress = [&](size_t folders, size_t found) {
            foldersOfThisSearch = folders;
            progress->UpdateSearch(foldersBefore + folders, found);
        };
    for (const auto& text : paths) {
        std::filesystem::path path(text);
        if (engine::IsFolder(path)) {
            foldersOfThisSearch = 0;
            engine::FindDocuments(path, recursive, types, listing.documents, &report);
            foldersBefore += foldersOfThisSearch;
        } else {
            listing.documents.push_back(path);
        }
    }
    listing.unlistable = std::move(report.unlistable);
    if (progress != nullptr) progress->Clear();
    return listing;
}

namespace {

// Hands on the documents of one PATH after another as the search finds them.
class DocumentStream {
public:
    DocumentStream(engine::TDocumentTypes types, bool recursive, const std::function<void(std::filesystem::path)>& found)
        : types_(types), recursive_(recursive), found_(found) {
        // After each folder, what it added goes on and the list starts
        // again: a million documents never sit in memory at once.
        report_.progress = [this](size_t, size_t) { flush(); };
    }

    void Take(std::filesystem::path path) {
        if (engine::IsFolder(path)) {
            engine::FindDocuments(path, recursive_, types_, batch_, &report_);
            flush();
        } else {
            found_(std::move(path));
        }
    }

    std::vector<std::filesystem::path> TakeUnlistable() { return std::move(report_.unlistable); }

private:
    void flush() {
        for (auto& path : batch_) found_(std::move(path));
        batch_.clear();
    }

    engine::TDocumentTypes types_;
    bool recursive_;
    const std::function<void(std::filesystem::path)>& found_;
    std::vector<std::filesystem::path> batch_;
    engine::SearchReport report_;
};

}  // namespace

void StreamDocuments(const std::vector<std::string>& paths, engine::TDocumentTypes types, bool recursive,
                     const std::function<void(std::filesystem::path)>& found,
                     std::vector<std::filesystem::path>& unlistable) {
    DocumentStream stream(types, recursive, found);
    for (const auto& text : paths) stream.Take(text);
    unlistable = stream.TakeUnlistable();
}

void StreamDocuments(const ListingOptions& options, PathListReader* list,
                     const std::function<void(std::filesystem::path)>& found,
                     std::vector<std::filesystem::path>& unlistable) {
    const std::function<void(std::filesystem::path)> inShard = [&](std::filesystem::path path) {
        if (options.shard.Holds(path.native())) found(std::move(path));
    };
    DocumentStream stream(options.types, options.recursive, options.shard.Sharded() ? inShard : found);
    std::string entry;
    while (list != nullptr && list->Next(entry)) stream.Take(entry);
    for (const auto& text : options.paths) stream.Take(text);
    unlistable = stream.TakeUnlistable();
}

DocumentListing ListDocumentsFor(const ListingOptions& options, ProgressLine& progress, std::ostream& err) {
    DocumentListing listing = ListDocuments(options.paths, options.types, options.recursive, &progress);
    for (const auto& folder : listing.unlistable) err << "velmora-cli: cannot list " << folder.string() << '\n';
    return listing;
}

}  // namespace velmora::cli
