#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "engine/property_change.h"
#include "engine/summary_info.h"
#include "storage/byte_source.h"
#include "storage/compound_file.h"
#include "storage/format_id.h"

namespace velmora::engine {

// A value to write: VT_LPSTR text (encoded in the set's own code page) or a
// VT_FILETIME.
struct PropVariant {
    uint16_t vt = 0;
    std::u16string text;
    TFileTime fileTime = 0;
};

// Opens a document to rewrite it: refused when an office lock file lies
// beside it (the message names it and what it records), and as
// FileByteSource::Open refuses for writing (missing, locked, read-only, ...).
std::unique_ptr<storage::WritableByteSource> OpenForRewrite(const std::filesystem::path& path);

// Applies the changes to the document with one rewrite of each stream they
// touch, committed durably before returning. Raises the first change's
// failure (StorageError with a result code and a message a user
// understands) and then writes nothing. Returns whether the file changed.
bool ApplyChanges(const std::filesystem::path& path, std::span<const PropertyChange> changes);

// Writes one property of one of the two summary sets (a property of the
// property table), in place. Raises StorageError: the document missing, not
// a compound file, damaged, locked by another program (or with a live office
// lock file beside it), read-only, without that property set, or a text the
// set's code page cannot represent. A failed write leaves the document as
// it was.
void WriteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid, const PropVariant& value);

// Deletes one property of the two summary sets, and where the property table
// names a user-defined property for it, that one with its name, in the same
// commit. Deleting what is not there (or from a set the document does not
// have) succeeds and leaves the file alone. Returns whether the file changed.
bool DeleteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid);

// Whether the document holds the DocumentSummaryInformation property (or,
// with `userDefinedName`, the user-defined property of that name), read
// without writing. False for a document without the set.
bool DocumentHoldsProperty(const std::filesystem::path& path, uint32_t dsiPid, std::u16string_view userDefinedName);
bool DocumentHoldsProperty(storage::CompoundFile& file, uint32_t dsiPid, std::u16string_view userDefinedName);

}  // namespace velmora::engine
