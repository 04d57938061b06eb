#pragma once

#include <string>
#include <vector>

#include "engine/clean_run.h"
#include "engine/hidden_names.h"
#include "engine/summary_info.h"
#include "engine/summary_reader.h"
#include "storage/compound_file.h"

namespace velmora::engine {

// A storage inside the document that is a document of its own: it holds a
// property set or a document stream (Word's `ObjectPool/_…`, Excel's
// `MBD…`, a package's storages). Its path joins the storage names with '/'.
struct EmbeddedStorage {
    std::u16string path;
    std::vector<storage::DirectoryEntry> children;
};

// Every such storage, at any depth below the root, each entered once: at
// most 64 of them, 8 storages deep, after at most 1,024 storages entered.
// Only directory sectors are read; a document without storages costs
// nothing more. `truncated`, when given, says whether a limit left some
// unread. Raises the reader's StorageError where the directory is damaged.
std::vector<EmbeddedStorage> FindEmbeddedStorages(storage::CompoundFile& file, bool* truncated = nullptr);

// The streams of one such storage, read whole when asked for (ReadOnce
// keeps them where several plans ask).
RootStreamSource StreamsOf(storage::CompoundFile& file, const EmbeddedStorage& storage);

// Why an embedded object is not cleaned.
inline constexpr char kEmbeddedNotCleaned[] =
    "not cleaned: objects embedded in a document are read, not rewritten, in this version";

// What analysing an embedded object found.
struct EmbeddedObject {
    std::u16string storage;
    ReadOutcome outcome;
    TSummaryInfo info;
    HiddenNameScan hidden;
    bool cleanable = false;
    std::string reason = kEmbeddedNotCleaned;
};
std::vector<EmbeddedObject> AnalyzeEmbeddedObjects(storage::CompoundFile& file);

// What a clean must report of the embedded objects: each field the
// selected operations would change in one, named with its storage
// ("ObjectPool/_1234/Author"), in run order per object, with why it is not
// cleaned. An object that cannot be read is "<storage>/*"; objects a limit
// left unread, or a directory that cannot be walked, are "Embedded".
struct EmbeddedField {
    std::string field;
    std::string reason;
};
std::vector<EmbeddedField> EmbeddedFieldsWithWork(storage::CompoundFile& file, const CleanSettings& settings);

}  // namespace velmora::engine
