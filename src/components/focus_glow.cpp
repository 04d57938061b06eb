#include "components/focus_glow.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include <QPainter>

namespace velmora::components {

namespace {

uint8_t ClampToByte(double value) {
    if (value < 0) return 0;
    if (value > 255) return 255;
    return static_cast<uint8_t>(value);
}

}  // namespace

TBlurKernel BuildBlurKernel(double deviation) {
    TBlurKernel kernel;
    double sum = 0;
    for (int k = -10; k <= 10; ++k) {
        kernel.Weights[k + 10] = static_cast<float>(std::exp(-(k / deviation) * (k / deviation) / 2));
        sum += kernel.Weights[k + 10];
    }
    for (float& weight : kernel.Weights) weight = static_cast<float>(weight / sum);
    int radius = 10;
    double discarded = 0;
    while (discarded < 1.0 / 510 && radius > 1) {
        discarded += 2 * kernel.Weights[radius + 10];
        --radius;
    }
    kernel.Radius = static_cast<uint8_t>(radius);
    double kept = 0;
    for (int k = -radius; k <= radius; ++k) kept += kernel.Weights[k + 10];
    for (int k = -radius; k <= radius; ++k) kernel.Weights[k + 10] = static_cast<float>(kernel.Weights[k + 10] / kept);
    return kernel;
}

void BlurLine(uint8_t* pixels, int count, int stride, const TBlurKernel& kernel) {
    if (count <= 0) return;
    std::vector<uint8_t> scratch(static_cast<size_t>(count) * 3);
    const int r = kernel.Radius;
    for (int a = 0; a < count; ++a)
        for (int channel = 0; channel < 3; ++channel) {
            double sum = 0;
            for (int k = -r; k <= r; ++k) {
                const int at = std::clamp(a - k, 0, count - 1);
                // Widened before the product: a float product rounds, enough
                // to turn a flat line of 107 into 106 under a narrow kernel.
                sum += static_cast<double>(kernel.Weights[k + 10]) * pixels[static_cast<size_t>(at) * stride + channel];
            }
            scratch[static_cast<size_t>(a) * 3 + channel] = ClampToByte(sum);
        }
    for (int a = 0; a < count; ++a)
        for (int channel = 0; channel < 3; ++channel)
            pixels[static_cast<size_t>(a) * stride + channel] = scratch[static_cast<size_t>(a) * 3 + channel];
}

void BlurBitmap(QImage& bitmap, double deviation) {
    if (bitmap.format() != QImage::Format_RGB888) throw std::invalid_argument("Blur only works for 24-bit bitmaps");
    if (!(deviation > 0)) return;  // a zero deviation would divide by zero
    const TBlurKernel kernel = BuildBlurKernel(deviation);
    // Every row and every column: copying the middle rows from row 15, as the
    // first version did, smears the corners along whole sides once the ring's
    // blur reaches row 15 (a ring of 346 x 30 is about a million sums).
    for (int y = 0; y < bitmap.height(); ++y) BlurLine(bitmap.scanLine(y), bitmap.width(), 3, kernel);
    const qsizetype stride = bitmap.bytesPerLine();
    for (int x = 0; x < bitmap.width(); ++x)
        BlurLine(bitmap.bits() + static_cast<size_t>(x) * 3, bitmap.height(), static_cast<int>(stride), kernel);
}

QImage DrawFocusShape(int width, int height, int blur, int rounding, int size, TGlyphPosition position, int glyphWidth) {
    QImage bitmap(std::max(width, 1), std::max(height, 1), QImage::Format_RGB888);
    bitmap.fill(Qt::black);
    {
        QPainter painter(&bitmap);
        if (size > 0) {
            QPen pen(Qt::white, size);
            pen.setJoinStyle(Qt::MiterJoin);
            painter.setPen(pen);
            painter.setBrush(Qt::black);
        } else {
            painter.setPen(QPen(Qt::white, 1));
            painter.setBrush(Qt::white);
        }
        // The bitmap is one pixel wider and taller than the control plus two
        // margins, and an aliased pen of odd width lays its extra pixel on
        // the far side of its line: the far edges sit further in by both, so
        // the ring stands out as far right and down as left and up.
        const int half = size / 2;
        const int farHalf = (std::max(size, 1) + 1) / 2;
        const int left = position == gpAfterControl ? half + 2 : half + 2 + glyphWidth;
        const int right = position == gpAfterControl ? width - glyphWidth - farHalf - 3 : width - farHalf - 3;
        const int top = half + 2;
        const int bottom = height - farHalf - 3;
        const QRectF ring(left, top, right - left, bottom - top);
        if (ring.width() > 0 && ring.height() > 0) painter.drawRoundedRect(ring, rounding / 2.0, rounding / 2.0);
    }
    if (blur > 0) BlurBitmap(bitmap, blur);
    return bitmap;
}

QImage TransparentGlyph(const QImage& glyph) {
    if (glyph.isNull() || glyph.hasAlphaChannel()) return glyph;
    QImage keyed = glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = keyed.pixel(0, keyed.height() - 1);
    for (int y = 0; y < keyed.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
            if (row[x] == key) row[x] = qRgba(0, 0, 0, 0);
    }
    return keyed;
}

QImage MakeGlyphSilhouette(const QImage& glyph) {
    QImage silhouette(glyph.size(), QImage::Format_RGB888);
    silhouette.fill(Qt::black);
    {
        QPainter painter(&silhouette);
        painter.drawImage(0, 0, TransparentGlyph(glyph));
    }
    for (int y = 0; y < silhouette.height(); ++y)
        for (int x = 0; x < silhouette.width(); ++x)
            if (silhouette.pixelColor(x, y) != QColor(Qt::black)) silhouette.setPixelColor(x, y, Qt::white);
    return silhouette;
}

void TAlphaMask::BuildFromShape(const QImage& shape, const QImage& colour) {
    if (shape.format() != QImage::Format_RGB888 || colour.format() != QImage::Format_RGB888 || shape.size() != colour.size())
        return;
    image_ = QImage(colour.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < colour.height(); ++y) {
        const uint8_t* shapeRow = shape.constScanLine(y);
        const uint8_t* colourRow = colour.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(image_.scanLine(y));
        for (int x = 0; x < colour.width(); ++x) {
            const int alpha = shapeRow[x * 3];  // the red channel
            auto scale = [alpha](int channel) { return static_cast<int>(std::nearbyint(channel * (alpha / 255.0))); };
            out[x] = qRgba(scale(colourRow[x * 3]), scale(colourRow[x * 3 + 1]), scale(colourRow[x * 3 + 2]), alpha);
        }
    }
}

QImage TAlphaMask::BakedImage() const {
    QImage baked = image_;
    if (ConstantAlpha == 255) return baked;
    for (int y = 0; y < baked.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(baked.scanLine(y));
        for (int x = 0; x < baked.width(); ++x) {
            auto scale = [this](int value) { return (value * ConstantAlpha + 127) / 255; };
            row[x] = qRgba(scale(qRed(row[x])), scale(qGreen(row[x])), scale(qBlue(row[x])), scale(qAlpha(row[x])));
        }
    }
    return baked;
}

}  // namespace velmora::components
