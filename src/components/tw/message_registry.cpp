#include "components/tw/message_registry.h"

#include <mutex>

#include <QHash>

namespace velmora::tw {

namespace {

constexpr std::uint32_t kFirstMessageNumber = 0xC000;
constexpr std::uint32_t kLastMessageNumber = 0xFFFF;

struct Registry {
    std::mutex mutex;
    QHash<QString, std::uint32_t> numberOfName;  // keys case-folded
    std::uint32_t next = kFirstMessageNumber;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

std::uint32_t RegisterMessageName(const QString& name) {
    if (name.isEmpty()) return 0;
    Registry& registry = TheRegistry();
    const QString key = name.toCaseFolded();
    std::lock_guard lock(registry.mutex);
    if (const auto found = registry.numberOfName.constFind(key); found != registry.numberOfName.cend()) return *found;
    if (registry.next > kLastMessageNumber) return 0;
    const std::uint32_t number = registry.next++;
    registry.numberOfName.insert(key, number);
    return number;
}

}  // namespace velmora::tw
