#pragma once

#include <cstdint>

#include <QPainter>
#include <QRect>
#include <QWidget>

#include "components/tw/tw_color.h"

namespace velmora::tw {

// A rectangle as the drawing routines take it: right and bottom exclusive.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Fills `rect` with `steps` bands of colour from `from` to `to` (left to
// right with `acrossWidth`, else top to bottom). Each band is one pixel wider
// than its share, so neighbours overlap by a pixel; channels round halves to
// even. System colours take the palette's value; any other value is read
// byte by byte, so clNone counts as white. Empty rectangles draw nothing.
void GradientFill(QPainter& painter, TColor from, TColor to, int steps, TRect rect, bool acrossWidth,
                  const QPalette& palette);

// The shader's picture: with `fill` and `fromColor` not clNone, a gradient in
// 128 bands, split into two halves (the second from `fromColorMirror` to
// `toColorMirror`) when `fromColorMirror` is not clNone; then a one-pixel
// frame unless `frameColor` is clNone.
void DrawShade(QPainter& painter, TRect rect, TColor fromColor, bool fill, TColor frameColor, bool vertical,
               TColor toColorMirror, TColor fromColorMirror, TColor toColor, const QPalette& palette);

// A panel filled with a colour gradient, optionally mirrored, with its
// caption on one line on top.
class TTwShader : public QWidget {
public:
    explicit TTwShader(QWidget* parent = nullptr);

    TColor FromColor() const { return fromColor_; }
    TColor ToColor() const { return toColor_; }
    TColor FromColorMirror() const { return fromColorMirror_; }
    TColor ToColorMirror() const { return toColorMirror_; }
    uint16_t Steps() const { return steps_; }
    // True: the gradient runs from left to right; false: from top to bottom.
    bool Direction() const { return direction_; }
    const QString& Caption() const { return caption_; }
    Qt::Alignment Alignment() const { return alignment_; }
    // "1.4.0.0": the bytes of VersionNumber() from the highest down.
    QString Version() const;
    virtual uint32_t VersionNumber() const { return 0x01040000; }

    // Each repaints only when the value changes.
    void SetFromColor(TColor value);
    void SetToColor(TColor value);
    void SetFromColorMirror(TColor value);
    void SetToColorMirror(TColor value);
    // Stored; painting always uses 128 bands.
    void SetSteps(uint16_t value);
    void SetDirection(bool value);
    void SetCaption(const QString& value);
    void SetAlignment(Qt::Alignment value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class T>
    void change(T& field, T value);

    TColor fromColor_ = clBlue;
    TColor toColor_ = clBlack;
    TColor fromColorMirror_ = clNone;
    TColor toColorMirror_ = clNone;
    uint16_t steps_ = 20;
    bool direction_ = false;
    QString caption_;
    Qt::Alignment alignment_ = Qt::AlignHCenter;
};

}  // namespace velmora::tw
