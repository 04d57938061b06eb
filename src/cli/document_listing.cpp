#include "cli/document_listing.h"

#include "cli/command_line.h"
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

void StreamDocuments(const std::vector<std::string>& paths, engine::TDocumentTypes types, bool recursive,
                     const std::function<void(std::filesystem::path)>& found,
                     std::vector<std::filesystem::path>& unlistable) {
    std::vector<std::filesystem::path> batch;
    engine::SearchReport report;
    // After each folder, what it added goes on and the list starts again: a
    // million documents never sit in memory at once.
    report.progress = [&](size_t, size_t) {
        for (auto& path : batch) found(std::move(path));
        batch.clear();
    };
    for (const auto& text : paths) {
        std::filesystem::path path(text);
        if (engine::IsFolder(path)) {
            engine::FindDocuments(path, recursive, types, batch, &report);
            for (auto& document : batch) found(std::move(document));
            batch.clear();
        } else {
            found(std::move(path));
        }
    }
    unlistable = std::move(report.unlistable);
}

DocumentListing ListDocumentsFor(const ListingOptions& options, ProgressLine& progress, std::ostream& err) {
    DocumentListing listing = ListDocuments(options.paths, options.types, options.recursive, &progress);
    for (const auto& folder : listing.unlistable) err << "velmora-cli: cannot list " << folder.string() << '\n';
    return listing;
}

}  // namespace velmora::cli
