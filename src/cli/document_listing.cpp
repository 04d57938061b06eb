#include "cli/document_listing.h"

#include <sys/stat.h>

namespace velmora::cli {

DocumentListing ListDocuments(const std::vector<std::string>& paths, engine::TDocumentTypes types, bool recursive) {
    DocumentListing listing;
    for (const auto& text : paths) {
        std::filesystem::path path(text);
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            engine::FindDocuments(path, recursive, types, listing.documents, &listing.unlistable);
        else
            listing.documents.push_back(path);
    }
    return listing;
}

}  // namespace velmora::cli
