#pragma once

#include <QColor>
#include <QString>

class QWidget;

namespace velmora::framework {

// Gives a widget a font of `pixelSize` pixels (the designs' negative font
// heights), bold when asked, keeping the family it inherits.
void SetPixelFont(QWidget* widget, int pixelSize, bool bold = false);
// Sets a widget's text colour.
void SetTextColour(QWidget* widget, const QColor& colour);
// Fills a widget with a plain colour.
void SetBackground(QWidget* widget, const QColor& colour);

// Gives a control its designed name as its object name, so that tests and
// screenshots find it; returns it.
template <class Control>
Control* Named(Control* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

}  // namespace velmora::framework
