#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/property_change.h"
#include "engine/stream_bytes.h"

namespace velmora::engine {

// One place in a stream where a document keeps a person's name as counted
// characters: blanking overwrites exactly those characters, the count stays.
struct NameSite {
    std::string where;      // "CommentAuthor", "NoteAuthor", "RevisionAuthor", ...
    std::u16string stream;  // u"1Table", u"Workbook", u"PowerPoint Document", ...
    size_t offset = 0;      // first byte of the characters
    size_t count = 0;       // characters
    bool wide = false;      // UTF-16LE; else one byte each
    std::u16string name;
    // Initials get placeholders of their own, apart from full names.
    bool initials = false;
};

// A structure the format lets writers leave out, dropped whole: its length
// (and offset) in the FIB set to 0 and its bytes zeroed.
struct StructureDrop {
    std::string where;      // "SavedBy"
    size_t fibOffset = 0;   // of the fc; the lcb follows it (in `WordDocument`)
    std::u16string stream;  // where its bytes lie (the table stream)
    size_t offset = 0, length = 0;
    std::vector<std::u16string> names;  // the people it names
};

// A name's characters as stored: UTF-16LE, or one byte each read as
// Latin-1 (a code page changes no byte count).
std::u16string DecodeName(std::span<const uint8_t> bytes, bool wide);
// Spaces and zeros only: how the formats say "no name".
bool IsBlankName(std::u16string_view name);

struct RevisionLogNames {
    std::vector<NameSite> sites;
    std::vector<StructureDrop> drops;
    // "1Table: not cleaned: malformed ...", "... encrypted": left alone.
    std::vector<std::string> problems;
    // Said in the report but no reason to leave anything alone.
    std::vector<std::string> warnings;
};

// A document's streams as a walk reads them: nullptr where the root
// storage holds no stream of that name. The pointer stays valid for as long
// as the function does.
using RootStreamBytes = std::function<StreamBytes*(std::u16string_view name)>;
// Whole streams read through `read`, held for as long as the result.
RootStreamBytes HeldStreams(const RootStreamSource& read);

// Every name a document keeps in its comments, tracked changes, save
// history and shared-workbook records: Word (SttbSavedBy, GrpXstAtnOwners,
// comment initials, SttbfRMark, SttbfAssoc's author and last editor), Excel
// (Note authors, FileSharing, UserBView, and the `User Names` and `Revision
// Log` streams) and PowerPoint (comment authors and initials). Counts and
// offsets are checked against their own lengths and the stream; anything
// that does not parse cleanly is a problem and yields no site of its stream.
//
// Only what a name can be in is read: Word's FIB and the table structures
// its pairs name; Excel's records one header at a time, a body only where a
// name can be, and the sheets only where the globals hold a drawing group
// (a BIFF8 note hangs on a drawing; a BIFF5 note names no author);
// PowerPoint's record headers, descending only into the containers a
// comment or its author index can be in.
RevisionLogNames FindRevisionLogNames(const RootStreamBytes& open);
RevisionLogNames FindRevisionLogNames(const RootStreamSource& read);

// The fc/lcb pairs of a Word 97-2003 FIB: where they lie in `WordDocument`,
// how many there are, and the table stream they point into. Nothing where
// the stream is no such FIB; `problem` says why one cannot be read (cut
// short, encrypted), `fastSaved` whether it was saved incrementally.
struct FibPairs {
    size_t offset = 0;  // of pair 0 in `WordDocument`
    size_t count = 0;
    std::vector<uint8_t> bytes;  // the pairs, 8 bytes each
    std::u16string tableName;    // u"0Table" or u"1Table"
    bool fastSaved = false;
    bool secondFib = false;      // a template's AutoText FIB follows

    // Pair `index` when it names a structure (lcb not zero).
    struct Pair {
        size_t fibOffset = 0;  // of its fc; the lcb follows
        uint32_t fc = 0, lcb = 0;
    };
    std::optional<Pair> at(size_t index) const;
    // Whether the structure of pair `index` shares a byte with any other
    // the FIB names.
    bool overlapsAnother(size_t index) const;
};
std::optional<FibPairs> ReadFibPairs(StreamBytes& wordDocument, std::string& problem);

// The Word, Excel and PowerPoint walkers on their own (tests).
void FindWordNames(StreamBytes& wordDocument, const RootStreamBytes& open, RevisionLogNames& found);
void FindWorkbookNames(std::u16string_view streamName, StreamBytes& stream, RevisionLogNames& found);
void FindWorkbookNames(std::u16string_view streamName, std::span<const uint8_t> stream, RevisionLogNames& found);
void FindPowerPointNames(StreamBytes& document, RevisionLogNames& found);
void FindPowerPointNames(std::span<const uint8_t> document, RevisionLogNames& found);

}  // namespace velmora::engine
