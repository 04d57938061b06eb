#pragma once

#include <functional>

#include <QColor>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "framework/widget_looks.h"

namespace velmora::app {

// Colours of the designed window.
inline const QColor kWindowBlue(25, 93, 163);
// Text colours are the designed ones darkened just enough for a contrast of
// 4.5:1 on white (the designs' 255,0,0 and 128,128,128 give 4.0 and 3.95).
inline const QColor kErrorRed(238, 0, 0);
inline const QColor kDarkGrey(118, 118, 118);
inline const QColor kHotLight(0, 102, 204);

// A rectangle outline drawn with a pen of the given width inside the
// control's bounds.
class OutlineShape : public QWidget {
public:
    OutlineShape(QWidget* parent, QColor pen, int penWidth);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor pen_;
    int penWidth_;
};

// A label that acts as a link: underlined, in the hot-light colour, with a
// hand cursor; runs its handler when clicked with the left button, or on
// Enter or Space once Tab has brought the focus to it (a dotted frame shows
// where the focus is).
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, QWidget* parent);
    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void()> handler_;
};

// A push button that Enter presses too, as Space does: outside a dialog Qt
// gives Enter to no button.
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

using framework::SetBackground;
using framework::SetPixelFont;
using framework::SetTextColour;

// Tooltip text that Qt shows as written: a tooltip that merely looks like
// markup (a file named "<b>x.doc") would otherwise be rendered.
QString PlainToolTip(const QString& text);

// `text` as it word-wraps in `font` at `width` pixels: whole while it takes
// at most `lines` lines, else cut at the end of the last of them with "…".
QString ElidedToLines(const QString& text, const QFont& font, int width, int lines);

}  // namespace velmora::app
