#include "storage/io_fault_injection.h"

#include <utility>

namespace velmora::storage {

namespace {
IoFaultHook& CurrentHook() {
    static IoFaultHook hook;
    return hook;
}
}  // namespace

void SetIoFaultHook(IoFaultHook hook) { CurrentHook() = std::move(hook); }

void RunIoFaultHook(IoStep step) {
    if (auto& hook = CurrentHook()) hook(step);
}

}  // namespace velmora::storage
