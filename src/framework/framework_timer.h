#pragma once

#include <functional>

#include <QBasicTimer>
#include <QObject>

namespace velmora::framework {

// A timer component: while enabled, with a positive interval and a handler,
// calls OnTimer every Interval milliseconds on the GUI thread, through the
// event loop. The handler runs guarded: an exception shows the default error
// box and the timer goes on. A handler that disables its own timer makes it
// a one-shot. Ticks that fall due while the handler is still running (it
// shows a modal box, say) are skipped rather than nested.
class TTimer : public QObject {
public:
    explicit TTimer(QObject* parent = nullptr);

    int Interval() const { return interval_; }
    // Restarts the count from now when the timer runs. Negative values count as 0 (stopped).
    void SetInterval(int milliseconds);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    void SetOnTimer(std::function<void()> handler);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void Restart();

    int interval_ = 1000;
    bool enabled_ = true;
    bool inHandler_ = false;
    std::function<void()> onTimer_;
    QBasicTimer timer_;
};

}  // namespace velmora::framework
