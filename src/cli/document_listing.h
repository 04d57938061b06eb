#pragma once

#include <cstdint>
#include <filesystem>
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

}  // namespace velmora::cli
