#include "components/d_progress_bar.h"

#include <algorithm>
#include <climits>

#include <QPainter>
#include <QStyle>

namespace velmora::components {

namespace {

constexpr int kAdvancesPerPass = 40;  // the block crosses the bar in this many ticks

int TimerInterval(uint32_t speed) { return static_cast<int>(std::min<uint32_t>(speed, INT_MAX)); }

}  // namespace

TDProgressBar::TDProgressBar(QWidget* parent) : QWidget(parent) {
    resize(150, style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

void TDProgressBar::SetRange(int32_t low, int32_t high) {
    if (low > high) throw EInvalidOperation("TDProgressBar property out of range");
    if (low == min_ && high == max_) return;
    min_ = low;
    max_ = high;
    update();
}

void TDProgressBar::SetPosition(int32_t value) {
    position_ = value;
    // A marquee moves one increment per position request.
    ++advances_;
    update();
}

void TDProgressBar::SetSpeed(uint32_t value) {
    speed_ = value;
    if (animate_ && timer_) runTimer();
}

void TDProgressBar::runTimer() {
    // A 0 ms QTimer fires whenever the event loop is idle and keeps a core
    // busy: a speed of 0 holds the block still, the timer kept but stopped.
    timer_->setInterval(TimerInterval(speed_));
    if (speed_ == 0) {
        timer_->stop();
    } else if (!timer_->isActive()) {
        timer_->start();
    }
}

void TDProgressBar::SetAnimate(bool value) {
    if (value == animate_) return;
    if (value) {
        timer_ = new QTimer(this);
        connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
        runTimer();
    } else {
        delete timer_;
    }
    animate_ = value;
}

void TDProgressBar::Tick() { SetPosition(100); }

int TDProgressBar::BlockOffset() const {
    const int block = std::max(width() / 4, 1);
    const int travel = width() + block;
    return static_cast<int>((advances_ % kAdvancesPerPass) * travel / kAdvancesPerPass) - block;
}

void TDProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    const int block = std::max(width() / 4, 1);
    QRect blockRect(BlockOffset(), 2, block, height() - 4);
    blockRect = blockRect.intersected(rect().adjusted(2, 2, -2, -2));
    if (blockRect.isEmpty()) return;
    QLinearGradient shade(blockRect.topLeft(), blockRect.topRight());
    const QColor highlight = palette().color(QPalette::Highlight);
    shade.setColorAt(0, highlight.lighter(160));
    shade.setColorAt(0.5, highlight);
    shade.setColorAt(1, highlight.lighter(160));
    painter.fillRect(blockRect, shade);
}

}  // namespace velmora::components
