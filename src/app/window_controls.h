#pragma once

#include <functional>

#include <QColor>
#include <QLabel>
#include <QWidget>

#include "framework/widget_looks.h"

namespace velmora::app {

// Colours of the designed window.
inline const QColor kWindowBlue(25, 93, 163);
inline const QColor kErrorRed(255, 0, 0);
inline const QColor kDarkGrey(128, 128, 128);
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
// hand cursor; runs its handler when clicked with the left button.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, QWidget* parent);
    void setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> handler_;
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
