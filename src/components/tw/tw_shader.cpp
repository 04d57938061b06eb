#include "components/tw/tw_shader.h"

#include <algorithm>
#include <cmath>

namespace velmora::tw {

namespace {

struct Rgb {
    int red, green, blue;
};

// System colours from the palette; anything else byte by byte (low byte red),
// which makes clNone white.
Rgb Resolve(TColor color, const QPalette& palette) {
    if ((color & kSystemColorFlag) == kSystemColorFlag) {
        const QColor resolved = ColorToQColor(color, palette);
        return {resolved.red(), resolved.green(), resolved.blue()};
    }
    return {static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF), static_cast<int>((color >> 16) & 0xFF)};
}

int Rounded(double value) { return static_cast<int>(std::nearbyint(value)); }  // halves to even

}  // namespace

void GradientFill(QPainter& painter, TColor from, TColor to, int steps, TRect rect, bool acrossWidth,
                  const QPalette& palette) {
    if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
    const int n = steps <= 0 ? 1 : steps;
    const Rgb start = Resolve(from, palette), end = Resolve(to, palette);
    const double redStep = (end.red - start.red) / static_cast<double>(n);
    const double greenStep = (end.green - start.green) / static_cast<double>(n);
    const double blueStep = (end.blue - start.blue) / static_cast<double>(n);
    const double band = (acrossWidth ? rect.Right - rect.Left : rect.Bottom - rect.Top) / static_cast<double>(n);
    const int width = static_cast<int>(std::trunc(band)) + 1;
    for (int i = 0; i < n; ++i) {
        const QColor colour(std::clamp(start.red + Rounded(i * redStep), 0, 255),
                            std::clamp(start.green + Rounded(i * greenStep), 0, 255),
                            std::clamp(start.blue + Rounded(i * blueStep), 0, 255));
        const int offset = Rounded(i * band);
        QRect area;
        if (acrossWidth) {
            const int left = rect.Left + offset;
            area = QRect(QPoint(left, rect.Top), QPoint(std::min(rect.Right, left + width) - 1, rect.Bottom - 1));
        } else {
            const int top = rect.Top + offset;
            area = QRect(QPoint(rect.Left, top), QPoint(rect.Right - 1, std::min(rect.Bottom, top + width) - 1));
        }
        if (area.isValid()) painter.fillRect(area, colour);
    }
}

void DrawShade(QPainter& painter, TRect rect, TColor fromColor, bool fill, TColor frameColor, bool vertical,
               TColor toColorMirror, TColor fromColorMirror, TColor toColor, const QPalette& palette) {
    constexpr int kBands = 128;
    if (fill && fromColor != clNone) {
        if (fromColorMirror != clNone) {
            TRect first = rect, second = rect;
            if (vertical) {
                first.Bottom = second.Top = rect.Top + (rect.Bottom - rect.Top) / 2;
            } else {
                first.Right = second.Left = rect.Left + (rect.Right - rect.Left) / 2;
            }
            GradientFill(painter, fromColor, toColor, kBands, first, !vertical, palette);
            GradientFill(painter, fromColorMirror, toColorMirror, kBands, second, !vertical, palette);
        } else {
            GradientFill(painter, fromColor, toColor, kBands, rect, !vertical, palette);
        }
    }
    if (frameColor != clNone && rect.Right > rect.Left && rect.Bottom > rect.Top) {
        painter.setPen(QPen(ColorToQColor(frameColor, palette), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(QPoint(rect.Left, rect.Top), QPoint(rect.Right - 1, rect.Bottom - 1)).adjusted(0, 0, -1, -1));
    }
}

TTwShader::TTwShader(QWidget* parent) : QWidget(parent) {}

QString TTwShader::Version() const {
    const uint32_t number = VersionNumber();
    return QStringLiteral("%1.%2.%3.%4")
        .arg(number >> 24)
        .arg((number >> 16) & 0xFF)
        .arg((number >> 8) & 0xFF)
        .arg(number & 0xFF);
}

template <class T>
void TTwShader::change(T& field, T value) {
    if (field == value) return;
    field = value;
    update();
}

void TTwShader::SetFromColor(TColor value) { change(fromColor_, value); }
void TTwShader::SetToColor(TColor value) { change(toColor_, value); }
void TTwShader::SetFromColorMirror(TColor value) { change(fromColorMirror_, value); }
void TTwShader::SetToColorMirror(TColor value) { change(toColorMirror_, value); }
void TTwShader::SetSteps(uint16_t value) { change(steps_, value); }
void TTwShader::SetDirection(bool value) { change(direction_, value); }
void TTwShader::SetCaption(const QString& value) { change(caption_, value); }
void TTwShader::SetAlignment(Qt::Alignment value) { change(alignment_, value); }

void TTwShader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawShade(painter, {0, 0, width(), height()}, fromColor_, true, clNone, !direction_, toColorMirror_, fromColorMirror_,
              toColor_, palette());
    if (caption_.isEmpty()) return;
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const Qt::Alignment horizontal = alignment_ & Qt::AlignHorizontal_Mask;
    painter.setClipRect(rect());
    painter.drawText(rect(), static_cast<int>((horizontal ? horizontal : Qt::AlignHCenter) | Qt::AlignVCenter | Qt::TextSingleLine),
                     caption_);
}

}  // namespace velmora::tw
