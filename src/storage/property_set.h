#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "storage/format_id.h"
#include "storage/property_value.h"
#include "storage/stream_view.h"

namespace velmora::storage {

inline constexpr uint32_t kDictionaryPid = 0;
inline constexpr uint32_t kCodePagePid = 1;
inline constexpr uint16_t kCodePageUtf16 = 1200;

struct PropertyLocation {
    uint32_t pid = 0;
    uint32_t offset = 0;  // from the start of the section
};

struct PropertySection {
    FormatId formatId;
    uint32_t offset = 0;  // from the start of the stream
    uint32_t size = 0;    // as declared, clamped to the stream
    std::vector<PropertyLocation> properties;  // in stored order
    // The distinct property offsets, ascending: a value ends where the next
    // one begins, or at the section's end.
    std::vector<uint32_t> valueStarts;
};

// Where the value at `offset` ends: at the next value's start or the
// section's end. Values that ran into each other would let a small section
// decode the same bytes once per property; and copying exactly this extent
// keeps values of types we cannot parse as they were.
uint32_t ValueLimit(const PropertySection& section, uint32_t offset);

struct DictionaryEntry {
    uint32_t pid = 0;
    std::string nameBytes;  // as stored, terminator included; UTF-16LE bytes in code page 1200
};

// Parses a property-set stream: the header, its sections, and on request
// each property's value, the code page and the dictionary. Reads only what
// is asked for. Every offset, size and count is checked against the section
// and the stream; damage throws StorageError (Refusal::Damaged).
class PropertySetReader {
public:
    explicit PropertySetReader(StreamView& stream);

    const std::vector<PropertySection>& sections() const { return sections_; }
    // The section with that format identifier, or null.
    const PropertySection* findSection(const FormatId& formatId) const;

    PropertyValue readValue(const PropertySection& section, const PropertyLocation& property);
    // PID 1 as an unsigned 16-bit number (65001 is stored as -535); 0 when absent or unreadable.
    uint16_t codePage(const PropertySection& section);
    std::vector<DictionaryEntry> dictionary(const PropertySection& section);

private:
    StreamView& stream_;
    std::vector<PropertySection> sections_;
    std::map<uint32_t, uint64_t> elementBudgets_;  // by section offset
};

}  // namespace velmora::storage
