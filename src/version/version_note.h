#pragma once

#include <array>
#include <cstdint>

// The program's version and build time travel inside each executable in an
// ELF note section of ours, so that they can be read back from the file
// itself, by path, like any other fact about the file.
namespace velmora::version {

// The fixed file-information record of a version resource: 13 little-endian
// 32-bit words, 52 bytes. The version parts are the halves of the file
// version words: major = high half of FileVersionMS, minor = its low half,
// release = high half of FileVersionLS, build = its low half.
struct FixedFileInfo {
    uint32_t dwSignature = 0;
    uint32_t dwStrucVersion = 0;
    uint32_t dwFileVersionMS = 0;
    uint32_t dwFileVersionLS = 0;
    uint32_t dwProductVersionMS = 0;
    uint32_t dwProductVersionLS = 0;
    uint32_t dwFileFlagsMask = 0;
    uint32_t dwFileFlags = 0;
    uint32_t dwFileOS = 0;
    uint32_t dwFileType = 0;
    uint32_t dwFileSubtype = 0;
    uint32_t dwFileDateMS = 0;
    uint32_t dwFileDateLS = 0;
};
static_assert(sizeof(FixedFileInfo) == 52);

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

namespace version_note {

inline constexpr const char* kSectionName = ".note.velmora";
inline constexpr char kOwner[8] = "Velmora";  // with its NUL: 8 bytes, no padding needed
inline constexpr uint32_t kType = 1;
inline constexpr uint32_t kFixedInfoSize = 52;
inline constexpr uint32_t kDescriptorSize = kFixedInfoSize + 8;  // + build time, signed 64-bit seconds since 1970 UTC

// The whole note as it lies in the section: the ELF note header, the owner
// name, then the descriptor (fixed info, build time), all little-endian.
struct alignas(4) Layout {
    uint32_t ownerSize;
    uint32_t descriptorSize;
    uint32_t type;
    char owner[8];
    uint8_t descriptor[kDescriptorSize];
};
static_assert(sizeof(Layout) == 12 + 8 + kDescriptorSize);

}  // namespace version_note

}  // namespace velmora::version
