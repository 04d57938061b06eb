// Property-set streams alone, without a compound file around them, so that
// every mutation lands in the header, section list, values or dictionary.

#include <cstddef>
#include <cstdint>
#include <span>

#include "property_set_walk.h"
#include "storage/stream_view.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::storage::MemoryStreamView stream(std::span<const uint8_t>(data, size));
    velmora::fuzz::WalkPropertySet(stream);
    return 0;
}
