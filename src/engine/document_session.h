#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/custom_properties.h"
#include "engine/embedded_objects.h"
#include "engine/hidden_names.h"
#include "engine/printer_settings.h"
#include "engine/stream_bytes.h"
#include "engine/summary_info.h"
#include "engine/summary_reader.h"
#include "storage/byte_source.h"
#include "storage/compound_file.h"

namespace velmora::engine {

// One document opened for reading, once, for everything an analysis asks
// of it: the summary record, the names kept outside the property sets, and
// whether it holds a hyperlinks list. The header, DIFAT, FAT, miniFAT and
// directory are parsed once, and each sector of a stream is read at most
// once however many walks look at it (on a file share, openings and round
// trips are what a run costs).
class DocumentSession {
public:
    // Opens the file for reading (regular files only, under a shared lock);
    // raises StorageError as opening does, and where it is no compound file.
    explicit DocumentSession(const std::filesystem::path& path);
    // Over a source the caller keeps alive (memory in tests and the fuzzer).
    explicit DocumentSession(storage::ByteSource& source);
    ~DocumentSession();
    DocumentSession(const DocumentSession&) = delete;
    DocumentSession& operator=(const DocumentSession&) = delete;

    uint64_t size() const { return source_->size(); }
    storage::ByteSource& source() { return *source_; }
    storage::CompoundFile& file() { return *file_; }

    // ReadSummaryInfoFrom through this session's structures.
    ReadOutcome readSummary(TSummaryInfo& info);
    // What the last readSummary() found (damage read around included).
    const ReadOutcome& summaryOutcome() const { return summaryOutcome_; }
    // The root storage's stream of that name, or nullptr.
    StreamBytes* stream(std::u16string_view name);
    RootStreamBytes streams();
    HiddenNameScan hiddenNames();
    // The user-defined properties no other operation takes care of; none
    // where the set is missing or cannot be read.
    std::vector<CustomProperty> customProperties();
    // The printers the document names (Excel's printer settings).
    PrinterScan printers();
    // The documents embedded in this one (storages with property sets or a
    // document stream); none where the directory cannot be walked.
    std::vector<EmbeddedObject> embeddedObjects();
    // A hyperlinks list in DocumentSummaryInformation (DSI 21) or under the
    // user-defined name "_PID_HLINKS"; false where the set cannot be read.
    bool holdsHyperlinks();
    // The same, or nothing where the set cannot be read, with the reason in `why`.
    std::optional<bool> checkHyperlinks(std::string& why);

private:
    std::unique_ptr<storage::ByteSource> owned_;
    storage::ByteSource* source_;
    std::unique_ptr<storage::CompoundFile> file_;
    std::map<std::u16string, std::unique_ptr<StreamBytes>, std::less<>> streams_;
    ReadOutcome summaryOutcome_;
};

// What analysing one document found, through one session.
struct DocumentAnalysis {
    ReadOutcome outcome;
    TSummaryInfo info;
    uint64_t size = 0;  // 0 where the file could not be opened
    HiddenNameScan hidden;
    std::vector<CustomProperty> custom;
    PrinterScan printers;
    std::vector<EmbeddedObject> embedded;
    bool hyperlinks = false;  // asked for with `withHyperlinks`
    std::optional<uint64_t> residue;  // asked for with `withResidue`, where it could be surveyed
};
struct AnalysisOptions {
    bool withHyperlinks = false;
    bool withResidue = false;  // reads every free sector (see free_space.h)
};
// Reads the record and, where it could be read, the hidden names (and what
// `options` ask for) through one opening of the file. Never throws for a
// document it cannot read.
DocumentAnalysis AnalyzeDocument(const std::filesystem::path& path, const AnalysisOptions& options = {});

}  // namespace velmora::engine
