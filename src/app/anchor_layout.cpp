#include "app/anchor_layout.h"

#include <algorithm>

#include <QEvent>

namespace velmora::app {

namespace {

// One axis: start and length of the control, given the container's designed
// and current lengths.
void ArrangeAxis(int& start, int& length, bool nearSide, bool farSide, int designedLength, int currentLength) {
    const int farMargin = designedLength - start - length;
    if (nearSide && farSide) {
        length = std::max(0, currentLength - start - farMargin);
    } else if (farSide) {
        start = currentLength - farMargin - length;
    } else if (!nearSide && designedLength > 0) {
        // Neither side: the centre keeps its place in proportion, in doubles
        // so that a large container does not overflow.
        const double centre = (start + length / 2.0) * currentLength / designedLength;
        start = static_cast<int>(centre - length / 2.0);
    }
}

}  // namespace

AnchorLayout::AnchorLayout(QWidget* container, QSize designedSize)
    : QObject(container), container_(container), designedSize_(designedSize) {
    container->installEventFilter(this);
}

QRect AnchorLayout::Arrange(QRect designed, unsigned anchors, QSize designedSize, QSize size) {
    int x = designed.x(), width = designed.width(), y = designed.y(), height = designed.height();
    ArrangeAxis(x, width, anchors & akLeft, anchors & akRight, designedSize.width(), size.width());
    ArrangeAxis(y, height, anchors & akTop, anchors & akBottom, designedSize.height(), size.height());
    return QRect(x, y, width, height);
}

void AnchorLayout::add(QWidget* control, QRect designed, unsigned anchors) {
    if (control->parentWidget() != container_) control->setParent(container_);
    placements_.push_back({control, designed, anchors});
    control->setGeometry(Arrange(designed, anchors, designedSize_, container_->size()));
}

void AnchorLayout::arrangeAll() {
    for (const Placement& placement : placements_) {
        if (placement.control)
            placement.control->setGeometry(Arrange(placement.designed, placement.anchors, designedSize_, container_->size()));
    }
}

bool AnchorLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == container_ && event->type() == QEvent::Resize) arrangeAll();
    return QObject::eventFilter(watched, event);
}

}  // namespace velmora::app
