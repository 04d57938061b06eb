#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmora::cli {

// The documents named on a command line. A path that is not a folder is
// taken as a document whatever its name (a missing one too: it is reported
// as unreadable). A folder contributes its regular files whose extension
// matches `types` (.doc 1, .xls 2, .ppt 4, in any letter case), in name
// order, then with `recursive` its sub-folders' in name order. Symbolic links
// to folders are not followed, so a link loop cannot trap the walk.
struct DocumentListing {
    std::vector<std::filesystem::path> documents;
    std::vector<std::string> errors;  // folders that could not be listed
};

DocumentListing ListDocuments(const std::vector<std::string>& paths, uint8_t types, bool recursive);

bool MatchesDocumentTypes(const std::filesystem::path& path, uint8_t types);

}  // namespace velmora::cli
