#pragma once

#include <stdexcept>

#include <QIcon>
#include <QImage>
#include <QString>
#include <QWidget>

namespace velmora::tw {

enum THeaderStyle { hsNone, hsDarkBlue, hsLightBlue, hsCalder };
enum THeaderBackgroundStyle { hbsNone, hbsStripes1, hbsStripes2, hbsLines, hbsCurves, hbsWaves };
enum THeaderTexture { htNone, htGeometric, htGrain, htGrid, htGrid2, htGrid3, htLines, htStripes, htPaper, htSquare, htDot, htMetal };
enum THeaderSeparator { hspNone, hspShadow };

// The toolkit's resource-not-found error: "Resource <name> not found".
class EResNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Loads a picture of the program's "/TW_PICTURES" resources; raises
// EResNotFound when there is none of that name.
QImage LoadPicture(const QString& name);
// The same picture for a screen of `devicePixelRatio`: where a picture was
// also drawn at twice its size ("NAME@2x"), that one at 2 and above, and
// drawn smoothly down to the ratio between 1 and 2; the image carries the
// ratio, so it takes the same logical room as the plain one.
QImage LoadPicture(const QString& name, qreal devicePixelRatio);
// Both sizes of a picture, for a window icon.
QIcon PictureIcon(const QString& name);

// A header band painted from the program's pictures: a colour band (Style),
// a translucent background picture at the bottom left, a tiled texture, and a
// soft shadow along the bottom. Children sit on it.
class TTwHeader : public QWidget {
public:
    explicit TTwHeader(QWidget* parent = nullptr);

    THeaderStyle Style() const { return style_; }
    THeaderBackgroundStyle BackgroundStyle() const { return backgroundStyle_; }
    THeaderTexture HeaderTexture() const { return texture_; }
    THeaderSeparator HeaderSeparator() const { return separator_; }

    // Each loads its picture first: a missing one raises EResNotFound and
    // leaves the value and picture as they were.
    void SetStyle(THeaderStyle value);
    void SetBackgroundStyle(THeaderBackgroundStyle value);
    void SetHeaderTexture(THeaderTexture value);
    void SetHeaderSeparator(THeaderSeparator value);

    // The resource names the values use; empty for the "none" values and for
    // numbers outside the enumerations.
    static QString ResourceName(THeaderStyle value);
    static QString ResourceName(THeaderBackgroundStyle value);
    static QString ResourceName(THeaderTexture value);
    static QString ResourceName(THeaderSeparator value);

    // Paints the band into `painter` over a `size` area.
    void PaintBand(QPainter& painter, QSize size) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class Value>
    void replacePicture(Value& field, QImage& picture, Value value);

    THeaderStyle style_ = hsNone;
    THeaderBackgroundStyle backgroundStyle_ = hbsNone;
    THeaderTexture texture_ = htNone;
    THeaderSeparator separator_ = hspNone;
    QImage styleBitmap_, background_, texturePicture_, separatorPicture_;
    // The background drawn at twice its size, for dense screens (none for
    // the styles without one).
    QImage background2x_;
};

}  // namespace velmora::tw
