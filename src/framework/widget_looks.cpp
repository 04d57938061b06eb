#include "framework/widget_looks.h"

#include <QWidget>

namespace velmora::framework {

void SetPixelFont(QWidget* widget, int pixelSize, bool bold) {
    QFont font = widget->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    widget->setFont(font);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace velmora::framework
