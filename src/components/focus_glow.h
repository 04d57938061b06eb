#pragma once

#include <array>
#include <cstdint>

#include <QImage>

namespace velmora::components {

// The pure picture work of the focus glow: a blurred rounded ring, a glyph's
// silhouette, and the premultiplied alpha mask made from a shape and colours.
// "24-bit bitmaps" are QImage::Format_RGB888.

struct TBlurKernel {
    uint8_t Radius = 0;                 // 1 to 9 once built
    std::array<float, 21> Weights{};    // for the offsets -10 to 10
};

// A Gaussian of deviation `deviation` over -10..10, normalised, trimmed to the
// smallest radius whose discarded weight stays below 1/510, normalised again.
// Deviations 1, 2, 3 and 4 or more give radii 2, 5, 8 and 9.
TBlurKernel BuildBlurKernel(double deviation);

// Blurs one line of 3-byte pixels in place, each channel on its own; pixels
// beyond the ends repeat the end pixels.
void BlurLine(uint8_t* pixels, int count, int stride, const TBlurKernel& kernel);

// Blurs every row, then every column. Raises std::invalid_argument "Blur only
// works for 24-bit bitmaps" for another format; a deviation that is not
// positive leaves the bitmap as it is.
void BlurBitmap(QImage& bitmap, double deviation);

enum TGlyphPosition { gpAfterControl, gpBeforeControl };

// The ring: black, with a white rounded rectangle of pen width `size` (or a
// filled one-pixel one when `size` is 0), leaving `glyphWidth` pixels for a
// glyph on its side; then blurred by `blur`.
QImage DrawFocusShape(int width, int height, int blur, int rounding, int size, TGlyphPosition position, int glyphWidth);

// The glyph as it is drawn: one without an alpha channel loses every pixel
// of the colour of its bottom-left pixel; one with alpha stays as it is.
QImage TransparentGlyph(const QImage& glyph);

// The glyph in white on black: every pixel of the transparent glyph that is
// not pure black.
QImage MakeGlyphSilhouette(const QImage& glyph);

// A 32-bit premultiplied mask: alpha from the shape's red channel, colours
// from `colour` scaled by it (halves rounded to even). Nothing unless both are
// 24-bit and of one size. `ConstantAlpha` is applied by BakedImage().
class TAlphaMask {
public:
    void BuildFromShape(const QImage& shape, const QImage& colour);
    const QImage& Image() const { return image_; }
    uint8_t ConstantAlpha = 255;
    // The mask with ConstantAlpha multiplied into every premultiplied pixel.
    QImage BakedImage() const;

private:
    QImage image_;
};

}  // namespace velmora::components
