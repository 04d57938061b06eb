#pragma once

#include <array>
#include <filesystem>
#include <set>
#include <string>

#include "engine/summary_info.h"
#include "engine/summary_properties.h"
#include "storage/byte_source.h"
#include "storage/compound_file.h"
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
    std::string message;  // the refusal, or the first damage met
    bool partial = false;  // some values or sets could not be read; the record holds every other one
    // Properties present in the document whose record field does not hold
    // exactly what is stored: damaged, of another type than the table's, or
    // also kept under a user-defined name. A clean must look at the stored
    // value itself before calling them done.
    std::set<const SummaryProperty*> inexact;
};

// Reads the document at `path` into `info`, updating in place only the
// fields whose properties the document holds (pass a fresh record for this
// document's values alone). True when at least one of the eight sets could
// be opened and enumerated; every failure is false, never an exception.
// Read-only documents are read, under a shared lock. A damaged value damages
// only itself: every other value, and the other sets, are still read. Where
// DocumentSummaryInformation lacks Company, Manager or Category, the
// user-defined property of that name (where LibreOffice keeps them) fills
// the field.
bool ReadSummaryInfo(const std::filesystem::path& path, TSummaryInfo& info);

// The same, with the reason for a refusal.
ReadOutcome ReadSummaryInfoWithOutcome(const std::filesystem::path& path, TSummaryInfo& info);

// The same, with the file's size taken from the same opening of the file
// (the folder scan and the command-line tool open each document once).
// `size` stays 0 when the file could not be opened.
ReadOutcome ReadSummaryInfoWithSize(const std::filesystem::path& path, TSummaryInfo& info, uint64_t& size);

// The same on any byte source (memory in tests and the fuzzer).
ReadOutcome ReadSummaryInfoFrom(storage::ByteSource& source, TSummaryInfo& info);
// The same on a compound file already open (a document session's).
ReadOutcome ReadSummaryInfoFrom(storage::CompoundFile& file, TSummaryInfo& info);
// The same for the property sets among `children`, a storage's entries (an
// object embedded in the document).
ReadOutcome ReadSummaryInfoIn(storage::CompoundFile& file, const std::vector<storage::DirectoryEntry>& children,
                              TSummaryInfo& info);

}  // namespace velmora::engine
