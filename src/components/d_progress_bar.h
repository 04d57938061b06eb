#pragma once

#include <cstdint>
#include <stdexcept>

#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace velmora::components {

// The toolkit's invalid-operation error.
class EInvalidOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TDProgressBarOrientation { pbHorizontal, pbVertical };

// A marquee bar: a block that moves along the bar to show activity without
// an amount. Each position request moves the block one increment, wrapping
// at the end; with Animate on, a timer of the bar's own requests one every
// Speed milliseconds. Painted by us, so nothing but the timer moves it.
class TDProgressBar : public QWidget {
public:
    explicit TDProgressBar(QWidget* parent = nullptr);

    int32_t Min() const { return min_; }
    int32_t Max() const { return max_; }
    int32_t Position() const { return position_; }
    int32_t Step() const { return step_; }
    uint32_t Speed() const { return speed_; }
    bool Animate() const { return animate_; }
    TDProgressBarOrientation Orientation() const { return orientation_; }
    bool Smooth() const { return smooth_; }

    void SetMin(int32_t value) { SetRange(value, max_); }
    void SetMax(int32_t value) { SetRange(min_, value); }
    // Raises EInvalidOperation "TDProgressBar property out of range" when
    // `low` is above `high`, leaving the range as it was.
    void SetRange(int32_t low, int32_t high);
    void SetPosition(int32_t value);
    void SetStep(int32_t value) { step_ = value; }
    // Takes effect at once while animating; clamped to what a timer takes.
    // 0 stops the block: the timer stays while animating, but does not run.
    void SetSpeed(uint32_t value);
    // Turning on creates the bar's timer, turning off destroys it.
    void SetAnimate(bool value);
    // Stored; the bar always looks the same.
    void SetOrientation(TDProgressBarOrientation value) { orientation_ = value; }
    void SetSmooth(bool value) { smooth_ = value; }

    // How often the block has moved, and where it is now (in pixels).
    uint64_t Advances() const { return advances_; }
    int BlockOffset() const;
    QTimer* AnimationTimer() const { return timer_; }
    // What the timer does on each tick: one position request.
    void Tick();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Gives the timer the interval Speed asks for, and runs it unless 0.
    void runTimer();

    int32_t min_ = 0, max_ = 100, position_ = 0, step_ = 100;
    uint32_t speed_ = 50;
    bool animate_ = false;
    TDProgressBarOrientation orientation_ = pbHorizontal;
    bool smooth_ = false;
    uint64_t advances_ = 0;
    QPointer<QTimer> timer_;
};

}  // namespace velmora::components
