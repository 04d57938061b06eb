#pragma once

#include <functional>
#include <memory>

#include "storage/document_source.h"

namespace velmora::testing {

// Every mutating I/O step a document source performs.
enum class IoStep { Write, Sync, Resize };

// While it lives, every document the engine opens goes through a source
// that calls the hook before each write, sync and resize. The hook may throw
// StorageError (the step then fails) or end the process (a crash there).
class ScopedIoStepHook {
public:
    explicit ScopedIoStepHook(std::function<void(IoStep)> hook)
        : hook_(std::make_shared<std::function<void(IoStep)>>(std::move(hook))),
          opener_([hook = hook_](const std::filesystem::path& path, storage::AccessMode mode) {
              return std::unique_ptr<storage::WritableByteSource>(
                  std::make_unique<HookedSource>(storage::OpenFileDocument(path, mode), hook));
          }) {}

private:
    class HookedSource : public storage::ForwardingByteSource {
    public:
        HookedSource(std::unique_ptr<storage::WritableByteSource> inner, std::shared_ptr<std::function<void(IoStep)>> hook)
            : ForwardingByteSource(std::move(inner)), hook_(std::move(hook)) {}
        void writeAt(uint64_t offset, std::span<const uint8_t> bytes) override {
            (*hook_)(IoStep::Write);
            ForwardingByteSource::writeAt(offset, bytes);
        }
        void sync() override {
            (*hook_)(IoStep::Sync);
            ForwardingByteSource::sync();
        }
        void resize(uint64_t newSize) override {
            (*hook_)(IoStep::Resize);
            ForwardingByteSource::resize(newSize);
        }

    private:
        std::shared_ptr<std::function<void(IoStep)>> hook_;
    };

    std::shared_ptr<std::function<void(IoStep)>> hook_;
    storage::ScopedDocumentSourceOpener opener_;
};

}  // namespace velmora::testing
