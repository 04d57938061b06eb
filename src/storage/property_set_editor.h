#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "storage/format_id.h"

namespace velmora::storage {

// One change to one property of one section of a property-set stream.
struct PropertyEdit {
    FormatId sectionId;
    uint32_t pid = 0;
    // The new value as stored (type word, padding, data); nullopt deletes.
    std::optional<std::vector<uint8_t>> value;
    // With a deletion: also drop the PID's name from the section's dictionary.
    bool dropDictionaryEntry = false;
};

// Applies the edits to a property-set stream and returns the new stream, or
// nullopt when nothing changes (every edit deletes a property that is not
// there). Every property, dictionary entry, code page and section that is not
// edited keeps its stored bytes; only what is rewritten is laid out anew,
// 4-byte aligned, and sizes and offsets are recomputed. A value for a section
// the stream does not hold throws StorageError (NoSuchPropertySet); a damaged
// stream throws (Damaged).
std::optional<std::vector<uint8_t>> EditPropertySet(std::span<const uint8_t> stream, std::span<const PropertyEdit> edits);

// Stored forms of the values the writer produces.
std::vector<uint8_t> StoredText8Value(std::string_view bytesWithoutTerminator, bool utf16CodePage);
std::vector<uint8_t> StoredFileTimeValue(uint64_t fileTime);

}  // namespace velmora::storage
