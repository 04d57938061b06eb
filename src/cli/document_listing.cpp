#include "cli/document_listing.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "cli/command_line.h"

namespace velmora::cli {

namespace fs = std::filesystem;

bool MatchesDocumentTypes(const fs::path& path, uint8_t types) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return (extension == ".doc" && (types & kWord)) || (extension == ".xls" && (types & kExcel)) ||
           (extension == ".ppt" && (types & kPowerPoint));
}

namespace {

void ListFolder(const fs::path& folder, uint8_t types, bool recursive, DocumentListing& listing) {
    std::vector<fs::path> files, folders;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        listing.errors.push_back(folder.string() + ": " + error.message());
        return;
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) {
            listing.errors.push_back(folder.string() + ": " + error.message());
            break;
        }
        std::error_code statusError;
        fs::file_status linkStatus = it->symlink_status(statusError);
        fs::file_status status = it->status(statusError);
        if (fs::is_directory(linkStatus)) {
            folders.push_back(it->path());
        } else if (fs::is_regular_file(status) && MatchesDocumentTypes(it->path(), types)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    listing.documents.insert(listing.documents.end(), files.begin(), files.end());
    if (recursive)
        for (const auto& sub : folders) ListFolder(sub, types, recursive, listing);
}

}  // namespace

DocumentListing ListDocuments(const std::vector<std::string>& paths, uint8_t types, bool recursive) {
    DocumentListing listing;
    for (const auto& text : paths) {
        fs::path path(text);
        std::error_code error;
        if (fs::is_directory(path, error))
            ListFolder(path, types, recursive, listing);
        else
            listing.documents.push_back(path);
    }
    return listing;
}

}  // namespace velmora::cli
