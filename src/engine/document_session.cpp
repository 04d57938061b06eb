#include "engine/document_session.h"

#include "storage/format_id.h"

#include <new>

#include "engine/property_writer.h"
#include "storage/compound_file_writer.h"
#include "storage/document_source.h"
#include "storage/storage_error.h"

namespace velmora::engine {

DocumentSession::DocumentSession(const std::filesystem::path& path)
    : owned_(storage::OpenDocumentSource(path, storage::AccessMode::Read)),
      source_(owned_.get()),
      file_(std::make_unique<storage::CompoundFile>(*source_)) {}

DocumentSession::DocumentSession(storage::ByteSource& source)
    : source_(&source), file_(std::make_unique<storage::CompoundFile>(*source_)) {}

// The streams refer to the compound file, which refers to the source.
DocumentSession::~DocumentSession() {
    streams_.clear();
    file_.reset();
}

ReadOutcome DocumentSession::readSummary(TSummaryInfo& info) {
    summaryOutcome_ = ReadSummaryInfoFrom(*file_, info);
    return summaryOutcome_;
}

StreamBytes* DocumentSession::stream(std::u16string_view name) {
    auto found = streams_.find(name);
    if (found != streams_.end()) return found->second.get();
    std::unique_ptr<StreamBytes> bytes;
    const auto entry = file_->findInRoot(name);
    if (entry && entry->type == storage::ObjectType::Stream) bytes = std::make_unique<CachedStreamBytes>(*file_, *entry);
    return streams_.emplace(std::u16string(name), std::move(bytes)).first->second.get();
}

RootStreamBytes DocumentSession::streams() {
    return [this](std::u16string_view name) { return stream(name); };
}

HiddenNameScan DocumentSession::hiddenNames() { return ScanHiddenNames(streams()); }

bool DocumentSession::holdsHyperlinks() {
    std::string why;
    // The record says what is wrong with the set; the row stands without it.
    return checkHyperlinks(why).value_or(false);
}

std::vector<CustomProperty> DocumentSession::customProperties() {
    try {
        StreamBytes* stream = this->stream(storage::PropertySetStreamName(storage::format_ids::DocSummaryInformation));
        if (stream == nullptr) return {};
        return ReadCustomProperties(stream->bytes(0, stream->size()));
    } catch (const std::exception&) {
        // The record's reading says what is wrong with the set, or the file.
        return {};
    }
}

PrinterScan DocumentSession::printers() {
    try {
        return ScanPrinters(streams());
    } catch (const storage::StorageError& error) {
        // Finding the workbook's stream failed: the directory is damaged.
        PrinterScan scan;
        scan.problems.push_back(std::string("printers not read: ") + error.what());
        return scan;
    }
}

std::vector<EmbeddedObject> DocumentSession::embeddedObjects() {
    try {
        return AnalyzeEmbeddedObjects(*file_);
    } catch (const storage::StorageError&) {
        return {};
    }
}

std::optional<bool> DocumentSession::checkHyperlinks(std::string& why) {
    try {
        return DocumentHoldsProperty(*file_, 21, u"_PID_HLINKS");
    } catch (const std::exception& error) {
        why = error.what();
        return std::nullopt;
    }
}

DocumentAnalysis AnalyzeDocument(const std::filesystem::path& path, const AnalysisOptions& options) {
    DocumentAnalysis analysis;
    try {
        DocumentSession session(path);
        analysis.size = session.size();
        analysis.outcome = session.readSummary(analysis.info);
        if (!analysis.outcome.ok) return analysis;
        analysis.hidden = session.hiddenNames();
        analysis.custom = session.customProperties();
        analysis.printers = session.printers();
        analysis.embedded = session.embeddedObjects();
        if (options.withHyperlinks) analysis.hyperlinks = analysis.info.HLinks.Count > 0 || session.holdsHyperlinks();
        if (options.withResidue) {
            try {
                analysis.residue = storage::MeasureResidue(session.source());
            } catch (const storage::StorageError&) {
                // The writer's stricter model refuses it: no survey.
            }
        }
    } catch (const storage::StorageError& error) {
        analysis.outcome.refusal = error.reason();
        analysis.outcome.code = error.code();
        analysis.outcome.message = error.what();
    } catch (const std::bad_alloc&) {
        analysis.outcome.refusal = storage::Refusal::Damaged;
        analysis.outcome.code = storage::StorageResult::InsufficientMemory;
        analysis.outcome.message = "The document needs more memory than is available";
    }
    return analysis;
}

}  // namespace velmora::engine
