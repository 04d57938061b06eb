#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/last_saver_blanking.h"
#include "engine/revision_log_names.h"

namespace velmora::engine {

// The stand-in for person `person` (from 1) in exactly `length` characters:
// "Author 1" padded with spaces, or for shorter fields "A", "B", ... "Z",
// "AA", ...; initials always take the letters. Distinct persons get distinct
// stand-ins wherever the field is long enough to tell them apart.
std::u16string Placeholder(size_t person, size_t length, bool initials);

// The in-place changes that take every name of FindRevisionLogNames out:
// each person's name becomes that person's stand-in everywhere in the file
// (so one person's comments stay one person's), initials likewise, and the
// save history is dropped. `warnings` receives what the walkers noticed.
InPlaceBlanking PlanRevisionLogBlanking(const RootStreamSource& read, std::vector<std::string>* warnings = nullptr);

// Opens the document, applies that plan durably and closes it. Raises
// storage::StorageError when the document cannot be written or a place
// holding names cannot be read ("not cleaned: malformed ..."); a document
// without such names is left untouched.
void BlankRevisionLogNames(const std::filesystem::path& path);

}  // namespace velmora::engine
