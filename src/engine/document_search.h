#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <new>
#include <string_view>
#include <vector>

namespace velmora::engine {

// The legacy Office document types, as bits of a one-byte set.
enum TDocumentType : uint8_t {
    dtWord = 1,        // ".doc"
    dtExcel = 2,       // ".xls"
    dtPowerPoint = 4,  // ".ppt"
};
using TDocumentTypes = uint8_t;
inline constexpr TDocumentTypes kAllDocumentTypes = dtWord | dtExcel | dtPowerPoint;

// True when the file name's extension (from its last ".", the dot included)
// is exactly, in this letter case, that of a type in the set.
bool MatchesDocumentTypes(std::string_view fileName, TDocumentTypes types);

// Raised when the result list cannot grow.
class StringListFullError : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "String list is full"; }
};

// What a caller may want to know of a search besides its result.
struct SearchReport {
    // Folders that could not be opened, or whose reading failed part way.
    std::vector<std::filesystem::path> unlistable;
    // Called after each folder searched, with the folders searched so far
    // and the length of the result list; for a progress display.
    std::function<void(size_t foldersSearched, size_t listLength)> progress;
    // Asked before each folder is entered; when it answers true the search
    // stops there, keeping what it found, and `cancelled` is set. A window
    // closing while a listing runs ends it this way.
    std::function<bool()> stopRequested;
    bool cancelled = false;
};

// Appends to `list` the full path (folder + "/" + name) of every regular file
// in `folder` whose name matches `types`, then, with `includeSubfolders`, those
// of every sub-folder, depth first: a folder's own documents come before its
// sub-folders', and each sub-folder's come in full before the next one's.
// Each folder's entries are taken in byte order of their names, so the result
// is the same on every run. Only appends: nothing is sorted or removed.
//
// Hidden entries (names starting with ".") are listed as documents but never
// entered as folders. Symbolic links to files are not listed; symbolic links
// to folders are entered. No folder (device, inode) is entered twice in one
// search, so link cycles and folders reachable by two routes end there.
// A folder that cannot be opened contributes nothing and raises nothing; one
// whose reading fails part way contributes what was read before. Sub-folders
// are opened by path, so a folder whose path exceeds PATH_MAX counts as one
// that cannot be opened.
// Raises StringListFullError when `list` cannot grow; it keeps what it had.
void FindDocuments(const std::filesystem::path& folder, bool includeSubfolders, TDocumentTypes types,
                   std::vector<std::filesystem::path>& list, SearchReport* report = nullptr);


// True when `path` names a folder (links followed).
bool IsFolder(const std::filesystem::path& path);

// The size in bytes of the regular file at `path` (links followed); 0 when
// there is none.
int64_t FileSizeOf(const std::filesystem::path& path);

}  // namespace velmora::engine
