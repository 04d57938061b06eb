// The writer's fuzz target: see clean_check.h for what one input is and
// what must hold.

#include "clean_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::fuzz::CheckCleanInMemory(data, size);
    return 0;
}
