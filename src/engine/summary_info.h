#pragma once

#include <cstdint>
#include <string>

namespace velmora::engine {

// A date-time: days since 30 December 1899 00:00, the fraction being the time
// of day, in local time. Below zero the integral part is the day and the
// fraction, taken as positive, still the time of day.
using TDateTime = double;

// A property-set FILETIME: 100-ns ticks since 1 January 1601 00:00 UTC.
using TFileTime = uint64_t;

// An element or byte count with the reference half of the stored value. The
// reference is opaque and always 0 here: nothing dereferences it.
struct TCountAndReference {
    uint32_t Count = 0;
    uint32_t Reference = 0;
    bool operator==(const TCountAndReference&) const = default;
};

// Everything the engine reads from a document's SummaryInformation (SI) and
// DocumentSummaryInformation (DSI) property sets. A fresh record is empty and
// zero; the reader overwrites only the fields whose properties a document
// holds. Plain value type: copies carry their texts.
struct TSummaryInfo {
    std::u16string Title;             // SI 2
    std::u16string Subject;           // SI 3
    std::u16string Author;            // SI 4
    std::u16string Keywords;          // SI 5
    std::u16string Comments;          // SI 6
    std::u16string Template;          // SI 7
    std::u16string LastAuthor;        // SI 8
    std::u16string RevNumber;         // SI 9
    TDateTime EditTime = 0.0;         // SI 10, see EditTimeToDateTime
    TDateTime LastPrinted = 0.0;      // SI 11
    TDateTime Created = 0.0;          // SI 12
    TDateTime LastSaved = 0.0;        // SI 13
    // Counts hold the stored 32-bit value, read as signed.
    int32_t PageCount = 0;            // SI 14
    int32_t WordCount = 0;            // SI 15
    int32_t CharCount = 0;            // SI 16
    uint32_t Thumbnail = 0;           // SI 17, opaque reference (0)
    std::u16string AppName;           // SI 18
    uint16_t Security = 0;            // SI 19
    std::u16string Category;          // DSI 2
    std::u16string PresentationTarget;  // DSI 3
    int32_t ByteCount = 0;            // DSI 4
    int32_t LineCount = 0;            // DSI 5
    int32_t ParagraphCount = 0;       // DSI 6
    int32_t SlideCount = 0;           // DSI 7
    int32_t NoteCount = 0;            // DSI 8
    int32_t HiddenSlideCount = 0;     // DSI 9
    int32_t MMClipCount = 0;          // DSI 10
    uint16_t Scale = 0;               // DSI 11, as stored (0 or 0xFFFF)
    TCountAndReference HeadingPairs;  // DSI 12
    TCountAndReference TitlesOfParts; // DSI 13
    std::u16string Manager;           // DSI 14
    std::u16string Company;           // DSI 15
    uint16_t LinksDirty = 0;          // DSI 16
    int32_t CharCountWithSpaces = 0;  // DSI 17
    std::u16string Guid;              // DSI 18
    uint16_t SharedDocument = 0;      // DSI 19
    std::u16string LinkBase;          // DSI 20
    TCountAndReference HLinks;        // DSI 21
    uint16_t HLinksChanged = 0;       // DSI 22
    uint16_t Version = 0;             // DSI 23
    TCountAndReference DigSig;        // DSI 24: byte count of the signature blob

    bool operator==(const TSummaryInfo&) const = default;
};

}  // namespace velmora::engine
