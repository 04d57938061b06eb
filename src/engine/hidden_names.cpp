#include "engine/hidden_names.h"

#include <algorithm>

#include "engine/document_session.h"
#include "engine/revision_log_names.h"
#include "engine/text_conversions.h"
#include "storage/little_endian.h"
#include "storage/storage_error.h"

namespace velmora::engine {

namespace {

constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kWriteAccess = 0x005C;

struct Stream {
    const char16_t* name;
    const char* where;
};
constexpr Stream kWorkbookStreams[] = {{u"Workbook", "WriteAccess"}, {u"Book", "WriteAccess"}};
constexpr char16_t kCurrentUser[] = u"Current User";

}  // namespace

std::optional<WriteAccessName> FindWriteAccess(StreamBytes& stream, std::string& problem) {
    size_t at = 0;
    bool first = true;
    bool biff8 = true;
    while (at + 4 <= stream.size()) {
        const auto header = stream.bytes(at, 4);
        const uint16_t type = storage::LoadU16(header, 0);
        const size_t length = storage::LoadU16(header, 2);
        const size_t body = at + 4;
        if (body + length > stream.size()) {
            problem = "not cleaned: malformed (a record runs past the stream)";
            return std::nullopt;
        }
        if (first) {
            if (type != kBof || length < 4) {
                problem = "not cleaned: malformed (no BOF record at the start)";
                return std::nullopt;
            }
            const uint16_t version = storage::LoadU16(stream.bytes(body, 2), 0);
            if (version != 0x0600 && version != 0x0500) {
                problem = "not cleaned: an unknown BIFF version";
                return std::nullopt;
            }
            biff8 = version == 0x0600;
            first = false;
        } else if (type == kFilePass) {
            problem = "not cleaned: the workbook is encrypted";
            return std::nullopt;
        } else if (type == kEof) {
            return std::nullopt;  // the globals ended without one
        } else if (type == kWriteAccess) {
            WriteAccessName found{body, length, biff8, {}};
            const auto record = stream.bytes(body, length);
            if (biff8) {
                if (length < 3) {
                    problem = "not cleaned: malformed WriteAccess";
                    return std::nullopt;
                }
                const size_t count = storage::LoadU16(record, 0);
                const bool wide = record[2] & 1;
                const size_t bytes = wide ? count * 2 : count;
                if (3 + bytes > length) {
                    problem = "not cleaned: malformed WriteAccess (the name runs past its record)";
                    return std::nullopt;
                }
                found.name = DecodeName(record.subspan(3, bytes), wide);
            } else {
                if (length < 1 || 1 + static_cast<size_t>(record[0]) > length) {
                    problem = "not cleaned: malformed WriteAccess (the name runs past its record)";
                    return std::nullopt;
                }
                found.name = DecodeName(record.subspan(1, record[0]), false);
            }
            if (IsBlankName(found.name)) return std::nullopt;  // the format's "no user"
            return found;
        }
        at = body + length;
    }
    return std::nullopt;
}

std::optional<WriteAccessName> FindWriteAccess(std::span<const uint8_t> stream, std::string& problem) {
    HeldStreamBytes held(stream);
    return FindWriteAccess(held, problem);
}

bool BlankWriteAccess(std::vector<uint8_t>& stream, std::string& problem) {
    const std::optional<WriteAccessName> found = FindWriteAccess(stream, problem);
    if (!found) return false;
    uint8_t* body = stream.data() + found->bodyOffset;
    std::fill(body, body + found->bodyLength, uint8_t{' '});
    if (found->biff8) {
        if (found->bodyLength < 5) return false;
        body[0] = 2;  // two characters, 8-bit: "  "
        body[1] = 0;
        body[2] = 0;
    } else {
        if (found->bodyLength < 3) return false;
        body[0] = 2;
    }
    return true;
}

std::optional<std::u16string> FindCurrentUser(std::span<const uint8_t> stream, std::string& problem) {
    if (stream.size() < 28) {
        problem = "not cleaned: malformed Current User (too short)";
        return std::nullopt;
    }
    if (storage::LoadU16(stream, 2) != 0x0FF6) {
        problem = "not cleaned: malformed Current User (not a CurrentUserAtom)";
        return std::nullopt;
    }
    const size_t length = storage::LoadU16(stream, 20);
    if (length > 255 || 28 + length > stream.size()) {
        problem = "not cleaned: malformed Current User (the name runs past the stream)";
        return std::nullopt;
    }
    std::u16string name = DecodeName(stream.subspan(28, length), false);
    // The UTF-16 copy, when the stream holds it, after relVersion.
    if (stream.size() >= 32 + 3 * length) name = DecodeName(stream.subspan(32 + length, 2 * length), true);
    if (IsBlankName(name)) return std::nullopt;
    return name;
}

bool BlankCurrentUser(std::vector<uint8_t>& stream, std::string& problem) {
    if (!FindCurrentUser(stream, problem)) return false;
    const size_t length = storage::LoadU16(stream, 20);
    std::fill(stream.begin() + 28, stream.begin() + 28 + static_cast<std::ptrdiff_t>(length), uint8_t{' '});
    if (stream.size() >= 32 + 3 * length) {
        for (size_t i = 0; i < length; ++i) {
            stream[32 + length + 2 * i] = ' ';
            stream[32 + length + 2 * i + 1] = 0;
        }
    }
    return true;
}

bool IsPlaceholderName(std::u16string_view name) {
    const size_t end = name.find_last_not_of(u' ');
    if (end == std::u16string_view::npos) return false;
    name = name.substr(0, end + 1);
    // One capital letter: an initials placeholder. Longer runs of capitals
    // are far more often somebody's initials than a placeholder.
    if (name.size() == 1) return name[0] >= u'A' && name[0] <= u'Z';
    constexpr std::u16string_view kAuthor = u"Author ";
    if (!name.starts_with(kAuthor)) return false;
    const std::u16string_view number = name.substr(kAuthor.size());
    return !number.empty() && number.size() <= 6 &&
           std::all_of(number.begin(), number.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

std::u16string DistinctHiddenNames(const HiddenNameScan& scan) {
    std::vector<std::u16string> seen;
    std::u16string joined;
    for (const HiddenName& name : scan.names) {
        // Fixed-length fields pad a name with spaces: "Author 1    " reads "Author 1".
        const std::u16string text = name.name.substr(0, name.name.find_last_not_of(u' ') + 1);
        if (std::find(seen.begin(), seen.end(), text) != seen.end()) continue;
        seen.push_back(text);
        joined += (joined.empty() ? u"" : u", ") + text;
    }
    return joined;
}

HiddenNameScan ScanHiddenNames(const RootStreamBytes& open) {
    HiddenNameScan scan;
    try {
        for (const Stream& stream : kWorkbookStreams) {
            StreamBytes* bytes = open(stream.name);
            if (!bytes) continue;
            std::string problem;
            if (const auto found = FindWriteAccess(*bytes, problem)) scan.names.push_back({stream.where, stream.name, found->name});
            if (!problem.empty()) scan.notCleaned.push_back(WideToUtf8(stream.name) + ": " + problem);
        }
        if (StreamBytes* bytes = open(kCurrentUser)) {
            std::string problem;
            if (const auto found = FindCurrentUser(bytes->bytes(0, bytes->size()), problem))
                scan.names.push_back({"CurrentUser", kCurrentUser, *found});
            if (!problem.empty()) scan.notCleaned.push_back("Current User: " + problem);
        }
        const RevisionLogNames log = FindRevisionLogNames(open);
        for (const StructureDrop& drop : log.drops)
            for (const std::u16string& name : drop.names) scan.names.push_back({drop.where, drop.stream, name});
        for (const NameSite& site : log.sites) scan.names.push_back({site.where, site.stream, site.name});
        scan.notCleaned.insert(scan.notCleaned.end(), log.problems.begin(), log.problems.end());
    } catch (const storage::StorageError&) {
        // The property-set reader reports why a document cannot be read.
    }
    return scan;
}

HiddenNameScan ScanHiddenNames(const std::filesystem::path& path) {
    try {
        DocumentSession session(path);
        return session.hiddenNames();
    } catch (const storage::StorageError&) {
        return {};
    }
}

}  // namespace velmora::engine
