#include "storage/document_source.h"

#include <utility>

namespace velmora::storage {

namespace {
DocumentSourceOpener& CurrentOpener() {
    static DocumentSourceOpener opener = OpenFileDocument;
    return opener;
}
}  // namespace

std::unique_ptr<WritableByteSource> OpenFileDocument(const std::filesystem::path& path, AccessMode mode) {
    return FileByteSource::Open(path, mode);
}

std::unique_ptr<WritableByteSource> OpenDocumentSource(const std::filesystem::path& path, AccessMode mode) {
    return CurrentOpener()(path, mode);
}

ScopedDocumentSourceOpener::ScopedDocumentSourceOpener(DocumentSourceOpener opener)
    : previous_(std::exchange(CurrentOpener(), std::move(opener))) {}

ScopedDocumentSourceOpener::~ScopedDocumentSourceOpener() { CurrentOpener() = std::move(previous_); }

}  // namespace velmora::storage
