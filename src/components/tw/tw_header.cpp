#include "components/tw/tw_header.h"

#include <cmath>
#include <iterator>

#include <QFile>
#include <QPainter>
#include <QPixmap>

// The pictures are compiled into this static library; a program that links it
// must register them once.
static void RegisterPictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(tw_pictures);
        return true;
    }();
    (void)registered;
}

namespace velmora::tw {

namespace {

QImage LoadOrEmpty(const QString& name) { return name.isEmpty() ? QImage() : LoadPicture(name); }

}  // namespace

QImage LoadPicture(const QString& name) {
    RegisterPictures();
    QImage image(QStringLiteral(":/TW_PICTURES/") + name);
    if (image.isNull()) throw EResNotFound("Resource " + name.toStdString() + " not found");
    return image;
}

QImage LoadPicture(const QString& name, qreal devicePixelRatio) {
    QImage plain = LoadPicture(name);
    if (devicePixelRatio <= 1.0) return plain;
    QImage doubled(QStringLiteral(":/TW_PICTURES/") + name + QStringLiteral("@2x"));
    if (doubled.isNull()) return plain;
    if (devicePixelRatio < 2.0) {
        const QSize device(static_cast<int>(std::ceil(plain.width() * devicePixelRatio)),
                           static_cast<int>(std::ceil(plain.height() * devicePixelRatio)));
        doubled = doubled.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        doubled.setDevicePixelRatio(devicePixelRatio);
        return doubled;
    }
    doubled.setDevicePixelRatio(2.0);
    return doubled;
}

QIcon PictureIcon(const QString& name) {
    QIcon icon(QPixmap::fromImage(LoadPicture(name)));
    icon.addPixmap(QPixmap::fromImage(LoadPicture(name, 2.0)));
    return icon;
}

QString TTwHeader::ResourceName(THeaderStyle value) {
    switch (value) {
    case hsDarkBlue: return QStringLiteral("TW_HEADER_BKGND_3");
    case hsLightBlue: return QStringLiteral("TW_HEADER_BKGND_2");
    case hsCalder: return QStringLiteral("TW_HEADER_BKGND_4");
    default: return {};
    }
}

QString TTwHeader::ResourceName(THeaderBackgroundStyle value) {
    // A value cast from a number outside the enumeration names nothing.
    if (value <= hbsNone || value > hbsWaves) return {};
    return QStringLiteral("TW_HEADER_BACKGROUND_%1").arg(static_cast<int>(value));
}

QString TTwHeader::ResourceName(THeaderTexture value) {
    static const char* const kNames[] = {"",          "GEOMETRIC", "GRAIN",   "GRID",   "GRID1", "GRID2",
                                         "LINES",     "STRIPES",   "PAPER",   "SQUARE", "DOT",   "METAL"};
    static_assert(std::size(kNames) == htMetal + 1);
    // A value cast from a number outside the enumeration names nothing, and
    // must not index past the table.
    if (value <= htNone || value > htMetal) return {};
    return QStringLiteral("TW_HEADER_TEXTURE_") + QString::fromLatin1(kNames[value]);
}

QString TTwHeader::ResourceName(THeaderSeparator value) {
    return value == hspShadow ? QStringLiteral("TW_SHADOW_DIVIDER_1") : QString();
}

TTwHeader::TTwHeader(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // the band paints every pixel: nothing to erase first
    SetStyle(hsDarkBlue);
    SetBackgroundStyle(hbsStripes1);
    SetHeaderTexture(htNone);
    SetHeaderSeparator(hspShadow);
}

template <class Value>
void TTwHeader::replacePicture(Value& field, QImage& picture, Value value) {
    QImage loaded = LoadOrEmpty(ResourceName(value));  // raises before anything changes
    field = value;
    picture = std::move(loaded);
    repaint();
}

void TTwHeader::SetStyle(THeaderStyle value) { replacePicture(style_, styleBitmap_, value); }

void TTwHeader::SetBackgroundStyle(THeaderBackgroundStyle value) {
    replacePicture(backgroundStyle_, background_, value);
    const QString name = ResourceName(value);
    background2x_ = name.isEmpty() ? QImage() : LoadPicture(name, 2.0);
    if (background2x_.devicePixelRatio() < 2.0) background2x_ = QImage();
}

void TTwHeader::SetHeaderTexture(THeaderTexture value) { replacePicture(texture_, texturePicture_, value); }

void TTwHeader::SetHeaderSeparator(THeaderSeparator value) { replacePicture(separator_, separatorPicture_, value); }

void TTwHeader::PaintBand(QPainter& painter, QSize size) const {
    const int width = size.width(), height = size.height();
    if (styleBitmap_.isNull()) {
        // No style: the window's own colour under the other layers.
        painter.fillRect(QRect(0, 0, width, height), palette().color(QPalette::Window));
    } else {
        painter.fillRect(QRect(0, 0, width, height), styleBitmap_.pixelColor(0, 0));
        painter.drawImage(QRect(0, height - styleBitmap_.height(), width, styleBitmap_.height()), styleBitmap_);
    }
    if (!background_.isNull()) {
        // On a dense screen the picture drawn at twice the size, placed by
        // its logical size.
        const bool dense = painter.device() && painter.device()->devicePixelRatioF() > 1.0 && !background2x_.isNull();
        const QImage& picture = dense ? background2x_ : background_;
        const int scale = dense ? 2 : 1;
        const int top = height - background_.height();
        painter.drawImage(QRect(0, top, background_.width(), background_.height()), picture);
        // The stripes repeat every 24 pixels along x: past the picture's end
        // they go on in whole periods of it, taken where the phase matches,
        // as far as the band is wide.
        if (backgroundStyle_ == hbsStripes1 || backgroundStyle_ == hbsStripes2) {
            constexpr int kStripePeriod = 24;
            const int end = background_.width();
            const int phase = end % kStripePeriod;
            const int span = (end - phase) / kStripePeriod * kStripePeriod;
            for (int x = end; span > 0 && x < width; x += span)
                painter.drawImage(QRect(x, top, span, background_.height()), picture,
                                  QRect(phase * scale, 0, span * scale, background_.height() * scale));
        }
    }
    if (texturePicture_.width() > 0 && texturePicture_.height() > 0) {
        for (int y = 0; y < height; y += texturePicture_.height())
            for (int x = 0; x < width; x += texturePicture_.width()) painter.drawImage(QPoint(x, y), texturePicture_);
    }
    if (separatorPicture_.width() >= 1) painter.drawImage(QPoint(-100, height - separatorPicture_.height()), separatorPicture_);
}

void TTwHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBand(painter, size());
}

}  // namespace velmora::tw
