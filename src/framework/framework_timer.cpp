#include "framework/framework_timer.h"

#include <algorithm>

#include <QPointer>
#include <QTimerEvent>

#include "framework/event_guard.h"

namespace velmora::framework {

TTimer::TTimer(QObject* parent) : QObject(parent) {}

void TTimer::SetInterval(int milliseconds) {
    interval_ = std::max(0, milliseconds);
    Restart();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void TTimer::SetOnTimer(std::function<void()> handler) {
    onTimer_ = std::move(handler);
    Restart();
}

void TTimer::Restart() {
    timer_.stop();
    if (enabled_ && interval_ > 0 && onTimer_) timer_.start(interval_, this);
}

void TTimer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    if (inHandler_) return;
    inHandler_ = true;
    // A copy, and a guard: the handler may replace itself or delete its timer.
    const std::function<void()> handler = onTimer_;
    const QPointer<TTimer> self(this);
    RunGuarded(handler);
    if (self) inHandler_ = false;
}

}  // namespace velmora::framework
