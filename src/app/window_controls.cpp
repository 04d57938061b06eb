#include "app/window_controls.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QPainter>
#include <QTextLayout>

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
    setFocusPolicy(Qt::StrongFocus);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && handler_) handler_();
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (handler_) handler_();
        return;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void PushButton::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && isEnabled()) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

QString PlainToolTip(const QString& text) {
    if (text.isEmpty()) return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QString ElidedToLines(const QString& text, const QFont& font, int width, int lines) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int lastStart = 0, count = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (++count == lines) lastStart = line.textStart();
        if (count > lines) {
            layout.endLayout();
            const QString head = text.left(lastStart);
            const QString last = text.mid(lastStart).simplified();
            return head + QFontMetrics(font).elidedText(last, Qt::ElideRight, width);
        }
    }
    layout.endLayout();
    return text;
}

}  // namespace velmora::app
