#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "storage/byte_source.h"
#include "storage/file_byte_source.h"

namespace velmora::storage {

// Opens a document on disk for the engine: every read and every rewrite
// goes through here. By default a FileByteSource (with its refusals and
// locks); tests and benchmarks put a source of their own in between to
// fail, end or count each write, resize and sync, or to add latency.
using DocumentSourceOpener =
    std::function<std::unique_ptr<WritableByteSource>(const std::filesystem::path&, AccessMode)>;

std::unique_ptr<WritableByteSource> OpenDocumentSource(const std::filesystem::path& path, AccessMode mode);

// Replaces the opener while it lives (not thread-safe: set it up before the
// work starts). The replacement usually wraps OpenFileDocument.
class ScopedDocumentSourceOpener {
public:
    explicit ScopedDocumentSourceOpener(DocumentSourceOpener opener);
    ~ScopedDocumentSourceOpener();
    ScopedDocumentSourceOpener(const ScopedDocumentSourceOpener&) = delete;
    ScopedDocumentSourceOpener& operator=(const ScopedDocumentSourceOpener&) = delete;

private:
    DocumentSourceOpener previous_;
};

// The default opener.
std::unique_ptr<WritableByteSource> OpenFileDocument(const std::filesystem::path& path, AccessMode mode);

// Passes everything to another source; a base for sources that watch or
// change what passes through.
class ForwardingByteSource : public WritableByteSource {
public:
    explicit ForwardingByteSource(std::unique_ptr<WritableByteSource> inner) : inner_(std::move(inner)) {}

    uint64_t size() const override { return inner_->size(); }
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override {
        inner_->readAt(offset, buffer);
        countRead(buffer.size());
    }
    void writeAt(uint64_t offset, std::span<const uint8_t> bytes) override { inner_->writeAt(offset, bytes); }
    void sync() override { inner_->sync(); }
    void resize(uint64_t newSize) override { inner_->resize(newSize); }

protected:
    WritableByteSource& inner() { return *inner_; }

private:
    std::unique_ptr<WritableByteSource> inner_;
};

}  // namespace velmora::storage
