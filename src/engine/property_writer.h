#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/summary_info.h"
#include "storage/format_id.h"

namespace velmora::engine {

// A value to write: VT_LPSTR text (encoded in the set's own code page) or a
// VT_FILETIME.
struct PropVariant {
    uint16_t vt = 0;
    std::u16string text;
    TFileTime fileTime = 0;
};

// Writes one property of one set of the document, in place, and commits it
// durably before returning. Raises StorageError with a result code and a
// message a user understands: the document missing, not a compound file,
// damaged, locked by another program (or with a live office lock file beside
// it), read-only, without that property set, or a text the set's code page
// cannot represent. A failed write leaves the document as it was.
void WriteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid, const PropVariant& value);

// Deletes one property; deleting a property the set does not hold (or a set
// the document does not have) succeeds and leaves the file alone. With
// `userDefinedName`, the property of that name in the user-defined section
// (and its dictionary entry) goes too, in the same commit. Returns whether
// the file changed.
bool DeleteProperty(const std::filesystem::path& path, const storage::FormatId& set, uint32_t pid,
                    std::u16string_view userDefinedName = {});

// Whether the document holds the property (or, with `userDefinedName`, the
// user-defined property of that name), read without writing. False for a
// document without the set.
bool DocumentHoldsProperty(const std::filesystem::path& path, uint32_t dsiPid, std::u16string_view userDefinedName);

// Opens the document as a write would and checks its structures, writing
// nothing; raises the refusal a write would meet.
void CheckDocumentWritable(const std::filesystem::path& path);

}  // namespace velmora::engine
