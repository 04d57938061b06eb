#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/document_search.h"

namespace velmora::cli {

// The documents named on a command line. A path that is not a folder is
// taken as a document whatever its name (a missing one too: it is reported
// as unreadable). A folder contributes what the document search finds in it
// (and with `recursive` below it).
struct DocumentListing {
    std::vector<std::filesystem::path> documents;
    std::vector<std::filesystem::path> unlistable;  // folders that could not be listed
};

// `progress`, when given, hears of each folder searched.
DocumentListing ListDocuments(const std::vector<std::string>& paths, engine::TDocumentTypes types, bool recursive,
                              class ProgressLine* progress = nullptr);

// The same, one document at a time as the search finds them (so work can
// start while a large tree is still being searched). Folders that could not
// be listed are added to `unlistable`.
void StreamDocuments(const std::vector<std::string>& paths, engine::TDocumentTypes types, bool recursive,
                     const std::function<void(std::filesystem::path)>& found,
                     std::vector<std::filesystem::path>& unlistable);

// The documents a command's options name, one at a time: first those of
// `list` (the --files-from entries, each taken as a PATH argument is), then
// those of the PATH arguments; with a shard, only the documents whose path
// bytes fall in it, decided after the search.
void StreamDocuments(const struct ListingOptions& options, class PathListReader* list,
                     const std::function<void(std::filesystem::path)>& found,
                     std::vector<std::filesystem::path>& unlistable);

// The documents a command's options name; each folder that could not be
// listed is named on `err`.
DocumentListing ListDocumentsFor(const struct ListingOptions& options, ProgressLine& progress, std::ostream& err);

}  // namespace velmora::cli
