#include "components/tw/tw_header.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace velmora::tw {
namespace {

QImage Band(TTwHeader& header, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    header.PaintBand(painter, size);
    return image;
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1 && std::abs(a.blue() - b.blue()) <= 1;
}

TEST(TwPictures, EveryPictureLoadsAtItsSizeWithinItsAlphaLimit) {
    struct Case {
        const char* name;
        int width, height, alphaLimit;
    };
    const Case cases[] = {
        {"TW_HEADER_BKGND_3", 1, 96, 255},          {"TW_HEADER_BKGND_2", 6, 112, 255},
        {"TW_HEADER_BKGND_4", 4, 98, 255},          {"TW_HEADER_BACKGROUND_1", 1329, 295, 11},
        {"TW_HEADER_BACKGROUND_2", 1329, 295, 23},  {"TW_HEADER_BACKGROUND_3", 879, 250, 56},
        {"TW_HEADER_BACKGROUND_4", 920, 260, 94},   {"TW_HEADER_BACKGROUND_5", 1300, 214, 94},
        {"TW_HEADER_TEXTURE_GEOMETRIC", 1920, 200, 31}, {"TW_HEADER_TEXTURE_GRAIN", 64, 64, 31},
        {"TW_HEADER_TEXTURE_GRID", 64, 64, 8},      {"TW_HEADER_TEXTURE_GRID1", 56, 56, 13},
        {"TW_HEADER_TEXTURE_GRID2", 50, 50, 18},    {"TW_HEADER_TEXTURE_LINES", 64, 64, 8},
        {"TW_HEADER_TEXTURE_STRIPES", 64, 64, 8},   {"TW_HEADER_TEXTURE_PAPER", 100, 100, 39},
        {"TW_HEADER_TEXTURE_SQUARE", 20, 20, 35},   {"TW_HEADER_TEXTURE_DOT", 8, 8, 25},
        {"TW_HEADER_TEXTURE_METAL", 8, 8, 13},      {"TW_SHADOW_DIVIDER_1", 918, 12, 60},
        {"VELMORA_ICON", 32, 32, 255},              {"VELMORA_NAME_LOGO", 246, 27, 255},
        {"TERNWICK_LOGO", 148, 39, 255},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const QImage image = LoadPicture(test.name);
        EXPECT_EQ(image.size(), QSize(test.width, test.height));
        int highest = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) highest = std::max(highest, image.pixelColor(x, y).alpha());
        EXPECT_LE(highest, test.alphaLimit);
    }
    const QImage darkBlue = LoadPicture("TW_HEADER_BKGND_3");
    EXPECT_EQ(darkBlue.pixelColor(0, 0), QColor(61, 122, 199));
    EXPECT_EQ(darkBlue.pixelColor(0, 72), QColor(25, 93, 165));
    EXPECT_EQ(darkBlue.pixelColor(0, 95), QColor(13, 83, 154));
    const QImage shadow = LoadPicture("TW_SHADOW_DIVIDER_1");
    EXPECT_EQ(shadow.pixelColor(430, 0).alpha(), 0);
    EXPECT_EQ(shadow.pixelColor(430, 11).alpha(), 60);
    EXPECT_EQ(shadow.pixelColor(0, 11).alpha(), 1);
    EXPECT_EQ(shadow.pixelColor(917, 11).alpha(), 1);
    // Tiles meet seamlessly: the last column continues into the first.
    const QImage stripes = LoadPicture("TW_HEADER_TEXTURE_STRIPES");
    EXPECT_EQ(stripes.pixelColor(63, 0).alpha() != 0, (63 + 0) % 8 < 2);
}

// For a dense screen the pictures drawn from shapes and lettering come drawn
// at twice their size, or from that drawn smoothly down to the ratio; they
// take the same logical room at every ratio. Pixel textures have no second
// size.
TEST(TwPictures, DenseScreensGetPicturesDrawnForThem) {
    const struct {
        const char* name;
        qreal ratio;
        QSize device;
    } cases[] = {
        {"VELMORA_ICON", 1.0, {32, 32}},         {"VELMORA_ICON", 1.25, {40, 40}},
        {"VELMORA_ICON", 1.5, {48, 48}},         {"VELMORA_ICON", 2.0, {64, 64}},
        {"VELMORA_ICON", 3.0, {64, 64}},         {"VELMORA_NAME_LOGO", 2.0, {492, 54}},
        {"VELMORA_NAME_LOGO", 1.75, {431, 48}},  {"TERNWICK_LOGO", 2.0, {296, 78}},
        {"UPDATE_WIZARD_PICTURE", 2.0, {256, 256}}, {"UPDATE_WIZARD_WARNING", 1.5, {48, 48}},
        {"TW_HEADER_TEXTURE_GRID", 2.0, {64, 64}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.ratio));
        const QImage image = LoadPicture(c.name, c.ratio);
        EXPECT_EQ(image.size(), c.device);
        const QImage plain = LoadPicture(c.name);
        if (c.device != plain.size()) {
            EXPECT_DOUBLE_EQ(image.devicePixelRatio(), std::min<qreal>(c.ratio, 2.0));
            EXPECT_LT(std::abs(image.deviceIndependentSize().width() - plain.width()), 1.0);
            EXPECT_LT(std::abs(image.deviceIndependentSize().height() - plain.height()), 1.0);
        }
    }
    // Drawn, not doubled: the 2x icon has edge pixels no doubling of the 1x makes.
    const QImage doubled = LoadPicture("VELMORA_ICON").scaled(64, 64);
    const QImage drawn = LoadPicture("VELMORA_ICON", 2.0).convertToFormat(doubled.format());
    EXPECT_NE(drawn, doubled);
}

TEST(TwPictures, AMissingPictureIsNamed) {
    try {
        LoadPicture("TW_NO_SUCH_PICTURE");
        ADD_FAILURE();
    } catch (const EResNotFound& error) {
        EXPECT_STREQ(error.what(), "Resource TW_NO_SUCH_PICTURE not found");
    }
}

TEST(TTwHeader, ResourceNamesFollowTheValuesAndNothingOutsideThem) {
    struct Case {
        const char* name;
        QString resource;
        const char* expected;
    };
    const Case cases[] = {
        {"hsDarkBlue", TTwHeader::ResourceName(hsDarkBlue), "TW_HEADER_BKGND_3"},
        {"hsNone", TTwHeader::ResourceName(hsNone), ""},
        {"hbsWaves", TTwHeader::ResourceName(hbsWaves), "TW_HEADER_BACKGROUND_5"},
        {"background 7", TTwHeader::ResourceName(static_cast<THeaderBackgroundStyle>(7)), ""},
        {"htGrid2", TTwHeader::ResourceName(htGrid2), "TW_HEADER_TEXTURE_GRID1"},
        {"htMetal", TTwHeader::ResourceName(htMetal), "TW_HEADER_TEXTURE_METAL"},
        {"htNone", TTwHeader::ResourceName(htNone), ""},
        // Numbers past the last value that the enumeration can still hold.
        {"texture 12", TTwHeader::ResourceName(static_cast<THeaderTexture>(12)), ""},
        {"texture 15", TTwHeader::ResourceName(static_cast<THeaderTexture>(15)), ""},
        {"hspShadow", TTwHeader::ResourceName(hspShadow), "TW_SHADOW_DIVIDER_1"},
    };
    for (const Case& test : cases) EXPECT_EQ(test.resource, QString::fromLatin1(test.expected)) << test.name;
}

TEST(TTwHeader, PaintsTheMainWindowsBandLayerByLayer) {
    TTwHeader header;
    EXPECT_EQ(header.Style(), hsDarkBlue);
    EXPECT_EQ(header.BackgroundStyle(), hbsStripes1);
    EXPECT_EQ(header.HeaderSeparator(), hspShadow);
    header.SetBackgroundStyle(hbsStripes2);
    const QImage band = Band(header, QSize(1500, 73));
    // Row 0 shows row 23 of the style bitmap; at x = 10 no stripe passes.
    EXPECT_EQ(band.pixelColor(10, 0), QColor(49, 113, 188));
    // A stripe at x = 20 lightens it.
    EXPECT_GT(band.pixelColor(20, 0).red(), 49);
    // The bottom row: row 95 darkened by the shadow (alpha 5 at x = 10).
    EXPECT_TRUE(Near(band.pixelColor(10, 72), QColor(13 * 250 / 255, 83 * 250 / 255, 154 * 250 / 255)))
        << band.pixelColor(10, 72).name().toStdString();
    // The stripes go on past the picture's 1329 pixels, seamlessly, to any width.
    const QImage wide = Band(header, QSize(4000, 73));
    int stripes = 0;
    for (int x = 1300; x < 4000; ++x)
        for (int y : {0, 30, 60}) {
            ASSERT_EQ(wide.pixelColor(x, y), wide.pixelColor(x - 24, y)) << x << "," << y;
            stripes += wide.pixelColor(x, y) != QColor(49, 113, 188) && y == 0;
        }
    EXPECT_GT(stripes, 0);

    // On a screen of twice the density the stripes are drawn there, with
    // diagonal steps of one device pixel, and go on as far seamlessly.
    QImage dense(QSize(4000, 73) * 2, QImage::Format_RGB32);
    dense.setDevicePixelRatio(2.0);
    dense.fill(Qt::magenta);
    {
        QPainter painter(&dense);
        header.PaintBand(painter, QSize(4000, 73));
    }
    int singleSteps = 0;
    for (int x = 200; x < 8000; ++x) {
        ASSERT_EQ(dense.pixelColor(x, 0), dense.pixelColor(x - 48, 0)) << x;
        // Where a stripe begins on one row, on the next it begins one device pixel earlier.
        const bool begins = dense.pixelColor(x, 0) != dense.pixelColor(x - 1, 0);
        if (begins && dense.pixelColor(x - 1, 1) != dense.pixelColor(x - 2, 1)) ++singleSteps;
    }
    EXPECT_GT(singleSteps, 100);
    header.SetBackgroundStyle(hbsNone);
    EXPECT_EQ(Band(header, QSize(100, 73)).pixelColor(20, 0), QColor(49, 113, 188));
    header.SetHeaderTexture(htGrid);  // drawn over the band: a white line every 8 pixels
    const QImage grid = Band(header, QSize(100, 73));
    EXPECT_GT(grid.pixelColor(16, 5).red(), grid.pixelColor(17, 5).red());

    header.SetStyle(hsNone);  // the palette's window colour under the other layers
    header.SetHeaderTexture(htNone);
    header.SetHeaderSeparator(hspNone);
    EXPECT_EQ(Band(header, QSize(50, 20)).pixelColor(5, 5), header.palette().color(QPalette::Window));
}

}  // namespace
}  // namespace velmora::tw
