#include "components/tw/tw_style.h"

#include <vector>

#include "components/tw/message_registry.h"

namespace velmora::tw {

TTwStyle& TTwStyle::Instance() {
    // Never destroyed: labels may still unregister while static objects are
    // torn down at exit.
    static TTwStyle* const instance = new TTwStyle;
    return *instance;
}

void TTwStyle::RegisterListener(const QObject* listener, THandler handler) {
    // Only callable handlers are stored, so whoever reads the registry needs
    // no check for an empty one.
    if (!handler) {
        listeners_.erase(listener);
        return;
    }
    listeners_[listener] = std::move(handler);
}

void TTwStyle::UnregisterListener(const QObject* listener) { listeners_.erase(listener); }

void TTwStyle::NotifyListeners() {
    // A handler may change the registry (a label that destroys another), so
    // walk a snapshot of the listeners and look each one up again.
    std::vector<const QObject*> snapshot;
    snapshot.reserve(listeners_.size());
    for (const auto& entry : listeners_) snapshot.push_back(entry.first);
    for (const QObject* listener : snapshot) {
        const auto found = listeners_.find(listener);
        if (found == listeners_.end()) continue;
        const THandler handler = found->second;  // the handler may replace itself while it runs
        handler(this);
    }
}

std::uint32_t StyleChangedMessage() {
    static const std::uint32_t number = RegisterMessageName(QStringLiteral("TERNWICK_STYLE_CHANGED"));
    return number;
}

}  // namespace velmora::tw
