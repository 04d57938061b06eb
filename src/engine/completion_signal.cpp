#include "engine/completion_signal.h"

namespace velmora::engine {

void CompletionSignal::Signal() {
    std::lock_guard lock(mutex_);
    if (signalled_) return;
    signalled_ = true;
    if (notification_) notification_();
    raised_.notify_all();
}

bool CompletionSignal::IsSignalled() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

void CompletionSignal::Wait() const {
    std::unique_lock lock(mutex_);
    raised_.wait(lock, [this] { return signalled_; });
}

void CompletionSignal::SetNotification(std::function<void()> notification) {
    std::lock_guard lock(mutex_);
    notification_ = std::move(notification);
    if (signalled_ && notification_) notification_();
}

}  // namespace velmora::engine
