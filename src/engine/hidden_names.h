#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/revision_log_names.h"
#include "engine/stream_bytes.h"

namespace velmora::engine {

// A person's name a document keeps outside its property sets.
struct HiddenName {
    std::string where;      // "WriteAccess", "CurrentUser", "CommentAuthor", "SavedBy", ...
    std::u16string stream;  // u"Workbook", u"Book", u"Current User", u"1Table", ...
    std::u16string name;
};

struct HiddenNameScan {
    std::vector<HiddenName> names;
    // Places that could not be read and are left alone ("Workbook: not
    // cleaned: malformed ...", "... encrypted").
    std::vector<std::string> notCleaned;
};

// Who saved a workbook last: the WriteAccess record of the globals substream
// of a BIFF8 `Workbook` or BIFF5 `Book` stream. Nothing when the stream has
// none or holds the format's "no user" (spaces only). A record walk that
// overruns the stream, a string that overruns its record, or an encrypted
// workbook sets `problem` and gives nothing.
struct WriteAccessName {
    size_t bodyOffset = 0;
    size_t bodyLength = 0;
    bool biff8 = true;
    std::u16string name;
};
std::optional<WriteAccessName> FindWriteAccess(StreamBytes& stream, std::string& problem);
std::optional<WriteAccessName> FindWriteAccess(std::span<const uint8_t> stream, std::string& problem);
// Writes the format's "no user" in place: two spaces, the rest of the record
// spaces, the record's size unchanged. True when a name was there.
bool BlankWriteAccess(std::vector<uint8_t>& stream, std::string& problem);

// PowerPoint's last user: the CurrentUserAtom of the `Current User` stream
// (an 8-bit copy at 28, a UTF-16 copy after it when the stream is long
// enough; its record length is not trusted).
std::optional<std::u16string> FindCurrentUser(std::span<const uint8_t> stream, std::string& problem);
// Spaces of the same length in both copies; the lengths stay.
bool BlankCurrentUser(std::vector<uint8_t>& stream, std::string& problem);

// Every such name the document at `path` holds: who saved it last, and the
// names of its comments, tracked changes, save history and shared-workbook
// records (FindRevisionLogNames). Read only; never throws for
// a document it cannot read (the scan is then empty).
HiddenNameScan ScanHiddenNames(const std::filesystem::path& path);
// The same through streams already open (a document session's).
HiddenNameScan ScanHiddenNames(const RootStreamBytes& open);

// The distinct names of a scan, in order, without the spaces that pad them,
// joined by ", ".
std::u16string DistinctHiddenNames(const HiddenNameScan& scan);

// A name of the form a clean writes in place of a person's ("Author 3", or
// one capital letter where the field holds initials or is too short),
// trailing spaces aside. A real one-letter initial has that form too.
bool IsPlaceholderName(std::u16string_view name);

}  // namespace velmora::engine
