#include "engine/revision_log_names.h"

#include <algorithm>
#include <map>
#include <memory>

#include "engine/text_conversions.h"
#include "storage/little_endian.h"

namespace velmora::engine {

namespace {

using Bytes = std::span<const uint8_t>;


struct Malformed {
    std::string what;
};

// ----- Word -------------------------------------------------------------

constexpr uint16_t kWordIdent = 0xA5EC;
constexpr size_t kSavedByPair = 71, kOwnersPair = 36, kAnnotationRefPair = 4, kRevisionMarkPair = 51, kAssocPair = 32;
using FcLcb = FibPairs::Pair;

// Bytes of a stream from `base` on, read once and addressed by their
// offsets in the whole stream (what a name site records).
struct Region {
    Bytes bytes;
    uint64_t base = 0;
    uint64_t end() const { return base + bytes.size(); }
    Bytes at(uint64_t offset, uint64_t length) const {
        if (offset < base || offset > end() || length > end() - offset) throw Malformed{"a read past its structure"};
        return bytes.subspan(static_cast<size_t>(offset - base), static_cast<size_t>(length));
    }
    uint16_t u16(uint64_t offset) const { return storage::LoadU16(at(offset, 2), 0); }
};

// An STTB with fExtend (UTF-16 strings): cData, cbExtra; each string's
// count and characters. `visit` sees the index, offset of the characters
// and count. `table` holds [fc, fc + lcb).
template <class Visit>
size_t WalkSttb(const Region& table, const FcLcb& at, const char* what, Visit visit) {
    const uint64_t end = uint64_t{at.fc} + at.lcb;
    if (end > table.end() || at.lcb < 6) throw Malformed{std::string(what) + " lies outside the table stream"};
    if (table.u16(at.fc) != 0xFFFF) throw Malformed{std::string(what) + " is not an extended string table"};
    const size_t count = table.u16(at.fc + 2);
    const size_t extra = table.u16(at.fc + 4);
    size_t p = at.fc + 6;
    for (size_t i = 0; i < count; ++i) {
        if (p + 2 > end) throw Malformed{std::string(what) + " ends inside a string"};
        const size_t characters = table.u16(p);
        if (p + 2 + 2 * characters + extra > end) throw Malformed{std::string(what) + " ends inside a string"};
        visit(i, p + 2, characters);
        p += 2 + 2 * characters + extra;
    }
    return p;
}

}  // namespace

std::u16string DecodeName(Bytes bytes, bool wide) {
    if (!wide) return std::u16string(bytes.begin(), bytes.end());
    return storage::Utf16LeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool IsBlankName(std::u16string_view name) {
    return std::all_of(name.begin(), name.end(), [](char16_t c) { return c == u' ' || c == 0; });
}

std::optional<FibPairs::Pair> FibPairs::at(size_t index) const {
    if (index >= count) return std::nullopt;
    Pair pair{offset + 8 * index, storage::LoadU32(bytes, 8 * index), storage::LoadU32(bytes, 8 * index + 4)};
    if (pair.lcb == 0) return std::nullopt;
    return pair;
}

bool FibPairs::overlapsAnother(size_t index) const {
    const std::optional<Pair> mine = at(index);
    if (!mine) return false;
    const uint64_t begin = mine->fc, end = uint64_t{mine->fc} + mine->lcb;
    for (size_t other = 0; other < count; ++other) {
        const std::optional<Pair> them = at(other);
        if (other != index && them && them->fc < end && uint64_t{them->fc} + them->lcb > begin) return true;
    }
    return false;
}

std::optional<FibPairs> ReadFibPairs(StreamBytes& word, std::string& problem) {
    if (word.size() < 34) return std::nullopt;
    const Bytes head = word.bytes(0, 34);
    if (storage::LoadU16(head, 0) != kWordIdent) return std::nullopt;  // not a Word 97-2003 FIB
    if (storage::LoadU16(head, 2) < 0x00C1) return std::nullopt;
    const uint16_t flags = storage::LoadU16(head, 0x0A);
    if (flags & 0x0100) {
        problem = "WordDocument: not cleaned: the document is encrypted";
        return std::nullopt;
    }
    FibPairs fib;
    fib.fastSaved = flags & 0x0004;
    fib.secondFib = storage::LoadU16(head, 0x08) != 0;
    fib.tableName = flags & 0x0200 ? u"1Table" : u"0Table";
    // The FIB's variable parts: only the counts and the fc/lcb pairs are read.
    size_t p = 32;
    const size_t csw = storage::LoadU16(head, p);
    p += 2 + 2 * csw;
    const auto cutShort = [&] {
        problem = "WordDocument: not cleaned: malformed (the FIB is cut short)";
        return std::nullopt;
    };
    if (p + 2 > word.size()) return cutShort();
    const size_t cslw = storage::LoadU16(word.bytes(p, 2), 0);
    p += 2 + 4 * cslw;
    if (p + 2 > word.size()) return cutShort();
    fib.count = storage::LoadU16(word.bytes(p, 2), 0);
    p += 2;
    if (p + 8 * fib.count > word.size()) return cutShort();
    const Bytes pairBytes = word.bytes(p, 8 * fib.count);
    fib.offset = p;
    fib.bytes.assign(pairBytes.begin(), pairBytes.end());
    return fib;
}

void FindWordNames(StreamBytes& word, const RootStreamBytes& open, RevisionLogNames& found) {
    std::string problem;
    const std::optional<FibPairs> fib = ReadFibPairs(word, problem);
    if (!problem.empty()) found.problems.push_back(problem);
    if (!fib) return;
    if (fib->fastSaved) found.warnings.push_back("WordDocument: fast-saved; older copies of its tables may remain until it is saved in full");
    const std::u16string& tableName = fib->tableName;
    try {
        const auto pair = [&](size_t i) { return fib->at(i); };
        const std::optional<FcLcb> savedBy = pair(kSavedByPair), owners = pair(kOwnersPair),
                                   references = pair(kAnnotationRefPair), marks = pair(kRevisionMarkPair),
                                   assoc = pair(kAssocPair);
        if (!savedBy && !owners && !references && !marks && !assoc) return;
        // A template with AutoText keeps a second FIB, with tables of its own.
        if (fib->secondFib)
            found.warnings.push_back("WordDocument: a second FIB (AutoText) keeps names this cleaning does not reach");
        StreamBytes* const table = open(tableName);
        if (!table) throw Malformed{"its table stream is missing"};
        // What is changed must share no byte with any other table the FIB
        // points at: a crafted overlap would make blanking write into
        // another structure's data.
        for (const size_t mine : {kSavedByPair, kOwnersPair, kAnnotationRefPair, kRevisionMarkPair, kAssocPair})
            if (fib->overlapsAnother(mine)) throw Malformed{"two of its tables overlap"};
        // Only the structures the pairs name are read from the table stream.
        auto region = [&](const FcLcb& at, const char* outside) {
            if (uint64_t{at.fc} + at.lcb > table->size()) throw Malformed{outside};
            return Region{table->bytes(at.fc, at.lcb), at.fc};
        };

        std::vector<NameSite> sites;
        std::vector<StructureDrop> drops;
        if (savedBy) {
            const Region bytes = region(*savedBy, "the save history lies outside the table stream");
            StructureDrop drop{"SavedBy", savedBy->fibOffset, tableName, savedBy->fc, savedBy->lcb, {}};
            const size_t end = WalkSttb(bytes, *savedBy, "the save history", [&](size_t i, size_t at, size_t count) {
                if (i % 2 == 0) drop.names.push_back(DecodeName(bytes.at(at, 2 * count), true));
            });
            // Its bytes are zeroed whole: they must be its strings and nothing else.
            if (end != uint64_t{savedBy->fc} + savedBy->lcb) throw Malformed{"the save history's length is not its strings'"};
            drops.push_back(std::move(drop));
        }
        if (owners) {
            // Xst after Xst: a count and UTF-16 characters, filling the structure.
            const Region bytes = region(*owners, "the comment authors lie outside the table stream");
            const uint64_t end = uint64_t{owners->fc} + owners->lcb;
            for (size_t at = owners->fc; at < end;) {
                if (at + 2 > end) throw Malformed{"the comment authors end inside a name"};
                const size_t count = bytes.u16(at);
                if (at + 2 + 2 * count > end) throw Malformed{"the comment authors end inside a name"};
                sites.push_back({"CommentAuthor", tableName, at + 2, count, true, DecodeName(bytes.at(at + 2, 2 * count), true)});
                at += 2 + 2 * count;
            }
        }
        if (references) {
            // (n + 1) character positions, then n 30-byte records whose
            // first 20 bytes are the initials: a count and 9 slots.
            if (references->lcb < 4 || (references->lcb - 4) % 34 != 0) throw Malformed{"the comment references have an odd size"};
            const Region bytes = region(*references, "the comment references lie outside the table stream");
            const size_t n = (references->lcb - 4) / 34;
            for (size_t k = 0; k < n; ++k) {
                const size_t record = references->fc + 4 * (n + 1) + 30 * k;
                const size_t count = bytes.u16(record);
                if (count > 9) throw Malformed{"comment initials longer than their nine places"};
                sites.push_back({"CommentInitials", tableName, record + 2, count, true, DecodeName(bytes.at(record + 2, 2 * count), true),
                                 true});
            }
        }
        if (marks) {
            const Region bytes = region(*marks, "the tracked-change authors lies outside the table stream");
            WalkSttb(bytes, *marks, "the tracked-change authors", [&](size_t i, size_t at, size_t count) {
                if (i == 0) return;  // "Unknown", which the format requires first
                sites.push_back({"RevisionAuthor", tableName, at, count, true, DecodeName(bytes.at(at, 2 * count), true)});
            });
        }
        if (assoc) {
            const Region bytes = region(*assoc, "the associated strings lies outside the table stream");
            WalkSttb(bytes, *assoc, "the associated strings", [&](size_t i, size_t at, size_t count) {
                if (i == 6 || i == 7)
                    sites.push_back({i == 6 ? "AssocAuthor" : "AssocLastEditor", tableName, at, count, true,
                                     DecodeName(bytes.at(at, 2 * count), true)});
            });
        }
        std::erase_if(sites, [](const NameSite& site) { return IsBlankName(site.name); });
        found.sites.insert(found.sites.end(), sites.begin(), sites.end());
        found.drops.insert(found.drops.end(), drops.begin(), drops.end());
    } catch (const Malformed& malformed) {
        found.problems.push_back("WordDocument: not cleaned: malformed (" + malformed.what + ")");
    }
}

namespace {

// ----- Excel ------------------------------------------------------------

constexpr uint16_t kBof = 0x0809, kEof = 0x000A, kFilePass = 0x002F, kFileSharing = 0x005B, kNote = 0x001C,
                   kUserBView = 0x01A9, kMsoDrawingGroup = 0x00EB, kUsrInfo = 0x0193, kUsrExcl = 0x0194,
                   kFileLock = 0x0195, kRrdHead = 0x0138;

// An XLUnicodeString at `at` inside the record [body, end): a count, a
// flags byte (bit 0: two bytes a character; no other bit), the characters.
std::optional<NameSite> UnicodeString(std::u16string_view stream, const Region& record, size_t at, size_t end, const char* where) {
    if (at + 3 > end) throw Malformed{std::string(where) + " is cut short"};
    const size_t count = record.u16(at);
    const uint8_t flags = record.at(at + 2, 1)[0];
    if (flags & 0xFE) throw Malformed{std::string(where) + " has a string of an unknown kind"};
    const bool wide = flags & 1;
    if (at + 3 + (wide ? 2 : 1) * count > end) throw Malformed{std::string(where) + " runs past its record"};
    NameSite site{where, std::u16string(stream), at + 3, count, wide, DecodeName(record.at(at + 3, (wide ? 2 : 1) * count), wide)};
    if (count == 0 || IsBlankName(site.name)) return std::nullopt;
    return site;
}

}  // namespace

void FindWorkbookNames(std::u16string_view streamName, StreamBytes& stream, RevisionLogNames& found) {
    std::vector<NameSite> sites;
    const bool workbook = streamName == u"Workbook" || streamName == u"Book";
    try {
        bool biff8 = !workbook;  // the shared-workbook streams are BIFF8 records
        bool inGlobals = workbook, drawings = false;
        for (size_t at = 0; at + 4 <= stream.size();) {
            // Headers are read one by one; a body only where a name can be.
            const Bytes header = stream.bytes(at, 4);
            const uint16_t type = storage::LoadU16(header, 0);
            const size_t length = storage::LoadU16(header, 2);
            const size_t body = at + 4, end = body + length;
            if (end > stream.size()) throw Malformed{"a record runs past the stream"};
            auto record = [&] { return Region{stream.bytes(body, length), body}; };
            if (workbook && at == 0) {
                if (type != kBof || length < 4) throw Malformed{"no BOF record at the start"};
                biff8 = record().u16(body) == 0x0600;
            }
            if (workbook && type == kFilePass) {
                found.problems.push_back(WideToUtf8(streamName) + ": not cleaned: the workbook is encrypted");
                return;
            }
            std::optional<NameSite> site;
            if (workbook && biff8 && type == kFileSharing && length > 4) site = UnicodeString(streamName, record(), body + 4, end, "FileSharing");
            else if (workbook && biff8 && type == kNote && length >= 11) site = UnicodeString(streamName, record(), body + 8, end, "NoteAuthor");
            else if (workbook && biff8 && type == kUserBView && length >= 53) site = UnicodeString(streamName, record(), body + 50, end, "UserBView");
            else if (!workbook && type == kUsrInfo && length >= 31) site = UnicodeString(streamName, record(), body + 28, end, "UsrInfo");
            else if (!workbook && type == kFileLock && length >= 7) site = UnicodeString(streamName, record(), body + 4, end, "FileLock");
            // Four bytes, the time the user took the workbook, the user.
            else if (!workbook && type == kUsrExcl && length >= 15) site = UnicodeString(streamName, record(), body + 12, end, "UsrExcl");
            else if (!workbook && type == kRrdHead && length >= 35) {
                // A count, then a fixed 114-byte field: a flags byte and the characters.
                const Region head = record();
                const size_t count = head.u16(body + 32);
                const bool wide = head.at(body + 34, 1)[0] & 1;
                if (body + 35 + (wide ? 2 : 1) * count > end || 1 + (wide ? 2 : 1) * count > 114)
                    throw Malformed{"RRDHead's user runs past its field"};
                NameSite user{"RRDHead", std::u16string(streamName), body + 35, count, wide,
                              DecodeName(head.at(body + 35, (wide ? 2 : 1) * count), wide)};
                if (count > 0 && !IsBlankName(user.name)) site = user;
            }
            if (site) sites.push_back(*site);
            if (inGlobals && type == kMsoDrawingGroup) drawings = true;
            if (inGlobals && type == kEof) {
                inGlobals = false;
                // Past the globals only a note names anyone. A BIFF8 note is
                // the text of a drawing object (its Obj and MsoDrawing), and
                // a sheet has drawings only where the globals hold the
                // drawing group; a BIFF5 note names no author at all. So the
                // sheets are read only where a note can be.
                if (!biff8 || !drawings) break;
            }
            at = end;
        }
        found.sites.insert(found.sites.end(), sites.begin(), sites.end());
    } catch (const Malformed& malformed) {
        found.problems.push_back(WideToUtf8(streamName) + ": not cleaned: malformed (" + malformed.what + ")");
    }
}

void FindWorkbookNames(std::u16string_view streamName, Bytes stream, RevisionLogNames& found) {
    HeldStreamBytes held(stream);
    FindWorkbookNames(streamName, held, found);
}

namespace {

// ----- PowerPoint -------------------------------------------------------

constexpr uint16_t kCString = 0x0FBA, kComment10 = 0x2EE0, kCommentIndex10 = 0x2EE4, kProgTags = 0x1388,
                   kProgBinaryTag = 0x138A, kBinaryTagData = 0x138B, kCryptSession = 0x2F14;
// Where a comment or its author index can be: the document, its slides,
// notes and masters, their programmable tags, the comments themselves.
// Every other body is sought over unread: drawings above all.
constexpr uint16_t kCommentHolders[] = {0x03E8 /* Document */, 0x03EE /* Slide */, 0x03F0 /* Notes */,
                                        0x03F8 /* MainMaster */, kProgTags, kProgBinaryTag, kComment10, kCommentIndex10};
constexpr int kDepthLimit = 32;

// `inTagData`: inside PowerPoint's own binary tag data, which holds only
// extension records: every container there is walked.
void WalkRecords(StreamBytes& document, size_t begin, size_t end, uint16_t parent, int depth, bool inTagData,
                 std::vector<NameSite>& sites) {
    if (depth > kDepthLimit) throw Malformed{"records nest too deep"};
    std::u16string tagName;  // of a ProgBinaryTag: its blob is a record list only for PowerPoint's own tags
    for (size_t at = begin; at < end;) {
        if (at + 8 > end) throw Malformed{"a record header runs past its container"};
        const Bytes header = document.bytes(at, 8);
        const uint16_t verInstance = storage::LoadU16(header, 0);
        const uint16_t type = storage::LoadU16(header, 2);
        const uint64_t length = storage::LoadU32(header, 4);
        const size_t body = at + 8;
        if (body + length > end) throw Malformed{"a record runs past its container"};
        if (type == kCryptSession) throw Malformed{"the document is encrypted"};
        const uint16_t version = verInstance & 0x0F, instance = verInstance >> 4;
        auto text = [&] { return DecodeName(document.bytes(body, length), true); };
        if (parent == kProgBinaryTag && type == kCString) tagName = text();
        const bool holder = inTagData || std::find(std::begin(kCommentHolders), std::end(kCommentHolders), type) != std::end(kCommentHolders);
        if (version == 0x0F && holder) {
            WalkRecords(document, body, body + static_cast<size_t>(length), type, depth + 1, inTagData, sites);
        } else if (type == kBinaryTagData && parent == kProgBinaryTag && tagName.starts_with(u"___PPT")) {
            // The body of PowerPoint's own binary tags ("___PPT9",
            // "___PPT10", ...) is a record list; other programs' tags hold
            // whatever they like.
            WalkRecords(document, body, body + static_cast<size_t>(length), type, depth + 1, true, sites);
        } else if (type == kCString && length % 2 == 0) {
            const bool author = instance == 0 && (parent == kComment10 || parent == kCommentIndex10);
            const bool initials = instance == 2 && parent == kComment10;
            if (author || initials) {
                NameSite site{initials ? "CommentInitials" : "CommentAuthor", u"PowerPoint Document", body,
                              static_cast<size_t>(length / 2), true, text(), initials};
                if (!IsBlankName(site.name)) sites.push_back(site);
            }
        }
        at = body + static_cast<size_t>(length);
    }
}

}  // namespace

void FindPowerPointNames(StreamBytes& document, RevisionLogNames& found) {
    std::vector<NameSite> sites;
    try {
        WalkRecords(document, 0, document.size(), 0, 0, false, sites);
        found.sites.insert(found.sites.end(), sites.begin(), sites.end());
    } catch (const Malformed& malformed) {
        found.problems.push_back("PowerPoint Document: not cleaned: " +
                                 (malformed.what == "the document is encrypted" ? malformed.what : "malformed (" + malformed.what + ")"));
    }
}

void FindPowerPointNames(Bytes document, RevisionLogNames& found) {
    HeldStreamBytes held(document);
    FindPowerPointNames(held, found);
}

RevisionLogNames FindRevisionLogNames(const RootStreamBytes& open) {
    RevisionLogNames found;
    if (StreamBytes* word = open(u"WordDocument")) FindWordNames(*word, open, found);
    bool encrypted = false;
    for (const char16_t* name : {u"Workbook", u"Book"})
        if (StreamBytes* stream = open(name)) {
            const size_t before = found.problems.size();
            FindWorkbookNames(name, *stream, found);
            for (size_t i = before; i < found.problems.size(); ++i) encrypted |= found.problems[i].ends_with("encrypted");
        }
    // An encrypted workbook's shared-workbook records are encrypted as well.
    for (const char16_t* name : {u"User Names", u"Revision Log"})
        if (StreamBytes* stream = open(name)) {
            if (encrypted)
                found.problems.push_back(WideToUtf8(name) + ": not cleaned: the workbook is encrypted");
            else
                FindWorkbookNames(name, *stream, found);
        }
    if (StreamBytes* document = open(u"PowerPoint Document")) {
        // The Current User stream says whether the document is encrypted.
        StreamBytes* current = open(u"Current User");
        if (current && current->size() >= 16 && storage::LoadU32(current->bytes(12, 4), 0) == 0xF3D1C4DF)
            found.problems.push_back("PowerPoint Document: not cleaned: the document is encrypted");
        else
            FindPowerPointNames(*document, found);
    }
    return found;
}

RootStreamBytes HeldStreams(const RootStreamSource& read) {
    auto held = std::make_shared<std::map<std::u16string, std::pair<std::vector<uint8_t>, std::unique_ptr<HeldStreamBytes>>>>();
    return [read, held](std::u16string_view name) -> StreamBytes* {
        auto [at, fresh] = held->try_emplace(std::u16string(name));
        if (fresh) {
            if (std::optional<std::vector<uint8_t>> bytes = read(name)) {
                at->second.first = std::move(*bytes);
                at->second.second = std::make_unique<HeldStreamBytes>(at->second.first);
            }
        }
        return at->second.second.get();
    };
}

RevisionLogNames FindRevisionLogNames(const RootStreamSource& read) { return FindRevisionLogNames(HeldStreams(read)); }

}  // namespace velmora::engine
