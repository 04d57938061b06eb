#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "engine/summary_info.h"
#include "storage/byte_source.h"
#include "storage/format_id.h"
#include "storage/storage_error.h"

namespace velmora::engine {

// The property sets the reader visits, in order. Only the first two
// contribute values; all count towards the answer.
const std::array<storage::FormatId, 8>& PropertySets();

// What a read came to, for callers that report why a document was refused.
struct ReadOutcome {
    bool ok = false;  // at least one property set was opened and enumerated
    storage::Refusal refusal = storage::Refusal::None;
    storage::StorageResult code = storage::StorageResult::Ok;
    std::string message;  // the refusal, or the damage that cut the reading short
    bool partial = false;  // damage ended the reading early; the record holds what came before
};

// Reads the document at `path` into `info`, updating in place only the
// fields whose properties the document holds (pass a fresh record for this
// document's values alone). True when at least one of the eight sets could
// be opened and enumerated; every failure is false, never an exception.
// Read-only documents are read, under a shared lock.
bool ReadSummaryInfo(const std::filesystem::path& path, TSummaryInfo& info);

// The same, with the reason for a refusal.
ReadOutcome ReadSummaryInfoWithOutcome(const std::filesystem::path& path, TSummaryInfo& info);

// The same on any byte source (memory in tests and the fuzzer).
ReadOutcome ReadSummaryInfoFrom(storage::ByteSource& source, TSummaryInfo& info);

}  // namespace velmora::engine
