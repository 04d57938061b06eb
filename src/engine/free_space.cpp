#include "engine/free_space.h"

#include "storage/compound_file_writer.h"
#include "storage/document_source.h"
#include "storage/office_lock_files.h"
#include "storage/storage_error.h"

namespace velmora::engine {

std::optional<uint64_t> MeasureResidue(const std::filesystem::path& path) {
    try {
        auto source = storage::OpenDocumentSource(path, storage::AccessMode::Read);
        return storage::MeasureResidue(*source);
    } catch (const storage::StorageError&) {
        return std::nullopt;
    }
}

uint64_t ZeroFreeSpace(const std::filesystem::path& path) {
    {
        auto source = storage::OpenDocumentSource(path, storage::AccessMode::Read);
        if (storage::MeasureResidue(*source) == 0) return 0;
    }
    auto source = storage::OpenDocumentSource(path, storage::AccessMode::ReadWrite);
    storage::CompoundFileWriter writer(*source);
    if (auto lockFile = storage::FindLiveOfficeLockFile(path))
        throw storage::StorageError(storage::StorageResult::ShareViolation, storage::Refusal::OfficeLockFile,
                                    "The document is open in another program. " + storage::OfficeLockFileMessage(*lockFile));
    return writer.zeroFreeSpace();
}

}  // namespace velmora::engine
