#include "app/window_controls.h"

#include <QMouseEvent>
#include <QPainter>

namespace velmora::app {

OutlineShape::OutlineShape(QWidget* parent, QColor pen, int penWidth)
    : QWidget(parent), pen_(pen), penWidth_(penWidth) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void OutlineShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPen pen(pen_, penWidth_);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    const qreal inset = penWidth_ / 2.0;
    painter.drawRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    SetTextColour(this, kHotLight);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && handler_) handler_();
}

QString PlainToolTip(const QString& text) {
    if (text.isEmpty()) return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

}  // namespace velmora::app
