#pragma once

#include <functional>

namespace velmora::storage {

// Every mutating I/O step a writable byte source performs.
enum class IoStep { Write, Sync, Resize };

// Test seam: when set, the hook runs before each mutating I/O step of every
// writable byte source. It may throw StorageError (the step then fails) or
// end the process (a crash at that point). Production code never sets it.
using IoFaultHook = std::function<void(IoStep)>;

void SetIoFaultHook(IoFaultHook hook);
void RunIoFaultHook(IoStep step);

}  // namespace velmora::storage
