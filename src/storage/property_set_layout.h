#pragma once

#include <cstdint>

namespace velmora::storage {

// Fixed lengths of a property-set stream's parts: the stream header, one
// entry of its section list, a section header (size and property count) and
// one entry of a section's property list (id and offset).
inline constexpr uint32_t kStreamHeaderLength = 28;
inline constexpr uint32_t kSectionListEntryLength = 20;
inline constexpr uint32_t kSectionHeaderLength = 8;
inline constexpr uint32_t kPropertyListEntryLength = 8;

}  // namespace velmora::storage
