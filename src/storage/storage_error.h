#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmora::storage {

// Result codes of the structured-storage family, kept so that callers and
// logs can tell failures apart without parsing message text.
enum class StorageResult : uint32_t {
    Ok = 0,
    FileNotFound = 0x80030002,       // STG_E_FILENOTFOUND
    PathNotFound = 0x80030003,       // STG_E_PATHNOTFOUND
    AccessDenied = 0x80030005,       // STG_E_ACCESSDENIED
    InsufficientMemory = 0x80030008, // STG_E_INSUFFICIENTMEMORY
    WriteFault = 0x8003001D,         // STG_E_WRITEFAULT
    ReadFault = 0x8003001E,          // STG_E_READFAULT
    ShareViolation = 0x80030020,     // STG_E_SHAREVIOLATION
    LockViolation = 0x80030021,      // STG_E_LOCKVIOLATION
    InvalidParameter = 0x80030057,   // STG_E_INVALIDPARAMETER
    MediumFull = 0x80030070,         // STG_E_MEDIUMFULL
    InvalidHeader = 0x800300FB,      // STG_E_INVALIDHEADER
    InvalidName = 0x800300FC,        // STG_E_INVALIDNAME
    DocFileCorrupt = 0x80030109,     // STG_E_DOCFILECORRUPT
};

// Why a document could not be used. Finer than the result code: several
// reasons share one code, and the analysis report names the reason.
enum class Refusal {
    None,
    NotFound,
    NotRegularFile,
    PermissionDenied,
    NotCompoundFile,
    Locked,
    OfficeLockFile,
    ReadOnly,
    NoPropertySets,
    NoSuchPropertySet,
    Damaged,
    Unencodable,
    IoError,
    DiskFull,
};

// Short, stable identifier of a refusal ("locked", "damaged"), for JSON output.
const char* RefusalName(Refusal refusal);

// The one error type of the storage layer and the engine. It carries the
// result code, the refusal reason and a message a user can act on
// ("The document is open in another program").
class StorageError : public std::runtime_error {
public:
    StorageError(StorageResult code, Refusal reason, const std::string& message)
        : std::runtime_error(message), code_(code), reason_(reason) {}

    StorageResult code() const { return code_; }
    Refusal reason() const { return reason_; }

private:
    StorageResult code_;
    Refusal reason_;
};

// Damage found while parsing: the file is a compound file but one of its
// structures is inconsistent. The message says what was expected and found.
[[noreturn]] void ThrowDamaged(const std::string& message);

// "0x0000ABCD": result codes, special sector values and links in messages.
std::string HexWord(uint32_t value);

}  // namespace velmora::storage
