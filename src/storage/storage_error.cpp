#include "storage/storage_error.h"

#include <cstdio>

namespace velmora::storage {

const char* RefusalName(Refusal refusal) {
    switch (refusal) {
    case Refusal::None: return "none";
    case Refusal::NotFound: return "not-found";
    case Refusal::NotRegularFile: return "not-a-regular-file";
    case Refusal::PermissionDenied: return "permission-denied";
    case Refusal::NotCompoundFile: return "not-a-compound-file";
    case Refusal::Locked: return "locked";
    case Refusal::OfficeLockFile: return "open-in-office";
    case Refusal::ReadOnly: return "read-only";
    case Refusal::NoPropertySets: return "no-property-sets";
    case Refusal::NoSuchPropertySet: return "no-such-property-set";
    case Refusal::Damaged: return "damaged";
    case Refusal::Unencodable: return "unencodable-text";
    case Refusal::IoError: return "io-error";
    case Refusal::DiskFull: return "disk-full";
    }
    return "unknown";
}

std::string HexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

void ThrowDamaged(const std::string& message) {
    throw StorageError(StorageResult::DocFileCorrupt, Refusal::Damaged,
                       "The document is damaged: " + message);
}

}  // namespace velmora::storage
