// Makes every picture the program carries, at build time, so that no picture
// is committed: the header band's style bitmaps, backgrounds, textures and
// shadow, and the main window's icon, name logo and maker's logo. Every rule
// is deterministic (noise comes from a fixed hash of x and y), and each
// picture is checked against its size and alpha limit before it is written.
//
//   picture_generator OUTPUT_FOLDER LETTERING_FONT_FILE
//
// Writes the pictures and "tw_pictures.qrc", which carries them under the
// prefix "/TW_PICTURES" by their resource names.

#include <cmath>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace {

struct KeyRow {
    int row, red, green, blue;
};

// A fixed integer hash of a pixel position: the same noise on every build.
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x9E3779B1u ^ (y + seed) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// A 24-bit bitmap whose columns are alike, each channel interpolated linearly
// between the key rows.
QImage StyleBitmap(int width, int height, const std::vector<KeyRow>& keys) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        size_t k = 0;
        while (k + 2 < keys.size() && y > keys[k + 1].row) ++k;
        const KeyRow& a = keys[k];
        const KeyRow& b = keys[std::min(k + 1, keys.size() - 1)];
        const double t = b.row == a.row ? 0.0 : std::clamp((y - a.row) / double(b.row - a.row), 0.0, 1.0);
        const QColor colour(static_cast<int>(std::lround(a.red + t * (b.red - a.red))),
                            static_cast<int>(std::lround(a.green + t * (b.green - a.green))),
                            static_cast<int>(std::lround(a.blue + t * (b.blue - a.blue))));
        for (int x = 0; x < width; ++x) image.setPixelColor(x, y, colour);
    }
    return image;
}

// A picture of one colour whose alpha a rule gives per pixel.
QImage AlphaPicture(int width, int height, QColor colour, const std::function<int(int, int)>& alpha) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            QColor pixel = colour;
            pixel.setAlpha(std::clamp(alpha(x, y), 0, 255));
            image.setPixelColor(x, y, pixel);
        }
    return image;
}

// Vector shapes drawn into a coverage image first, then scaled to the limit,
// so that overlapping shapes never pass it.
QImage ShapesPicture(int width, int height, QColor colour, int limit, const std::function<void(QPainter&)>& draw) {
    QImage coverage(width, height, QImage::Format_Grayscale8);
    coverage.fill(0);
    {
        QPainter painter(&coverage);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
    }
    return AlphaPicture(width, height, colour, [&](int x, int y) {
        return static_cast<int>(std::lround(coverage.pixelColor(x, y).red() * limit / 255.0));
    });
}

struct Picture {
    QString name;
    QString file;
    QImage image;
    int alphaLimit;        // the highest alpha allowed; -1 for the 24-bit bitmaps
    int exactAlpha = -1;   // the alpha every pixel must have, where the table says "everywhere"
};

void Check(const Picture& picture, int width, int height) {
    if (picture.image.width() != width || picture.image.height() != height)
        throw std::runtime_error(picture.name.toStdString() + ": wrong size");
    if (picture.alphaLimit < 0) return;
    int highest = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int alpha = picture.image.pixelColor(x, y).alpha();
            highest = std::max(highest, alpha);
            if (picture.exactAlpha >= 0 && alpha != picture.exactAlpha)
                throw std::runtime_error(picture.name.toStdString() + ": alpha not the same everywhere");
        }
    if (highest > picture.alphaLimit) throw std::runtime_error(picture.name.toStdString() + ": alpha above its limit");
    if (highest == 0) throw std::runtime_error(picture.name.toStdString() + ": nothing drawn");
}

QImage Lettering(int width, int height, const QString& family, const QString& text, int pixelSize, int cutOff) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    painter.setFont(font);
    const int textWidth = painter.fontMetrics().horizontalAdvance(text);
    if (textWidth > cutOff) throw std::runtime_error("the lettering \"" + text.toStdString() + "\" passes its cut-off");
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, width, height), Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

QImage Icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    // A page with a folded corner...
    QPainterPath page;
    page.moveTo(5, 2);
    page.lineTo(19, 2);
    page.lineTo(25, 8);
    page.lineTo(25, 29);
    page.lineTo(5, 29);
    page.closeSubpath();
    painter.setPen(QPen(QColor(40, 70, 110), 1));
    painter.setBrush(Qt::white);
    painter.drawPath(page);
    painter.setBrush(QColor(200, 218, 238));
    painter.drawPolygon(QPolygonF({QPointF(19, 2), QPointF(19, 8), QPointF(25, 8)}));
    painter.setPen(QPen(QColor(150, 172, 200), 1.5));
    for (int y = 12; y <= 24; y += 4) painter.drawLine(QPointF(8, y), QPointF(20, y));
    // ...under a magnifying glass.
    painter.setPen(QPen(QColor(50, 50, 60), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 24), QPointF(30, 30));
    painter.setPen(QPen(QColor(60, 60, 70), 2));
    painter.setBrush(QColor(170, 210, 250, 150));
    painter.drawEllipse(QPointF(19, 19), 6.5, 6.5);
    return image;
}

// The program's page with a green arrow coming down onto it: an update.
QImage UpdatePicture(int size) {
    QImage image = Icon(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    QPainterPath arrow;
    arrow.moveTo(3, 1);
    arrow.lineTo(9, 1);
    arrow.lineTo(9, 9);
    arrow.lineTo(12, 9);
    arrow.lineTo(6, 16);
    arrow.lineTo(0, 9);
    arrow.lineTo(3, 9);
    arrow.closeSubpath();
    painter.setPen(QPen(QColor(20, 100, 30), 0.8));
    painter.setBrush(QColor(60, 170, 70));
    painter.drawPath(arrow);
    return image;
}

// A yellow warning triangle with an exclamation mark.
QImage WarningSign(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    painter.setPen(QPen(QColor(150, 110, 0), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(250, 200, 40));
    painter.drawPolygon(QPolygonF({QPointF(16, 2), QPointF(30, 29), QPointF(2, 29)}));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40));
    painter.drawRoundedRect(QRectF(14.5, 10, 3, 11), 1.2, 1.2);
    painter.drawEllipse(QPointF(16, 25), 1.8, 1.8);
    return image;
}

}  // namespace

int main(int argc, char** argv) try {
    QGuiApplication application(argc, argv);
    if (argc != 3) throw std::runtime_error("usage: picture_generator OUTPUT_FOLDER LETTERING_FONT_FILE");
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);
    const int fontId = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(argv[2]));
    const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
    if (families.isEmpty()) throw std::runtime_error(std::string("cannot load the lettering font ") + argv[2]);
    const QString lettering = families.first();

    std::vector<Picture> pictures;
    auto bitmap = [&](const char* name, int width, int height, std::vector<KeyRow> keys) {
        pictures.push_back({name, QString(name) + ".bmp", StyleBitmap(width, height, keys), -1});
        Check(pictures.back(), width, height);
    };
    auto png = [&](const char* name, QImage image, int width, int height, int limit, int exact = -1) {
        pictures.push_back({name, QString(name) + ".png", std::move(image), limit, exact});
        Check(pictures.back(), width, height);
    };
    const QColor white(255, 255, 255), black(0, 0, 0), darkGrey(60, 60, 60), grey(128, 128, 128);

    bitmap("TW_HEADER_BKGND_3", 1, 96,
           {{0, 61, 122, 199}, {23, 49, 113, 188}, {48, 37, 102, 177}, {72, 25, 93, 165}, {94, 13, 80, 148}, {95, 13, 83, 154}});
    bitmap("TW_HEADER_BKGND_2", 6, 112,
           {{0, 250, 250, 251}, {3, 254, 254, 255}, {56, 239, 245, 251}, {110, 223, 234, 247}, {111, 225, 235, 247}});
    bitmap("TW_HEADER_BKGND_4", 4, 98, {{0, 25, 93, 163}, {97, 22, 87, 155}});

    // The stripes' edges are diagonal: at twice the size they are drawn with
    // steps of one pixel, not doubled ones.
    auto stripes = [](int alpha, int scale) {
        return [alpha, scale](int x, int y) { return (x + y) % (24 * scale) < 8 * scale ? alpha : 0; };
    };
    png("TW_HEADER_BACKGROUND_1", AlphaPicture(1329, 295, white, stripes(11, 1)), 1329, 295, 11);
    png("TW_HEADER_BACKGROUND_2", AlphaPicture(1329, 295, white, stripes(23, 1)), 1329, 295, 23);
    png("TW_HEADER_BACKGROUND_1@2x", AlphaPicture(2658, 590, white, stripes(11, 2)), 2658, 590, 11);
    png("TW_HEADER_BACKGROUND_2@2x", AlphaPicture(2658, 590, white, stripes(23, 2)), 2658, 590, 23);
    png("TW_HEADER_BACKGROUND_3", ShapesPicture(879, 250, darkGrey, 56, [](QPainter& p) {
            p.setPen(QPen(Qt::white, 2));
            for (int i = 0; i < 14; ++i) {
                QPainterPath line;
                line.moveTo(0, 250 - i * 6);
                line.cubicTo(300, 180 - i * 14, 600, 260 - i * 10, 879, 120 - i * 8);
                p.drawPath(line);
            }
        }), 879, 250, 56);
    png("TW_HEADER_BACKGROUND_4", ShapesPicture(920, 260, darkGrey, 94, [](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 120));
            for (int i = 0; i < 5; ++i) {
                QPainterPath shape;
                shape.moveTo(0, 260);
                shape.cubicTo(200 + i * 60, 120 - i * 15, 500 + i * 40, 300, 920, 90 + i * 30);
                shape.lineTo(920, 260);
                shape.closeSubpath();
                p.drawPath(shape);
            }
        }), 920, 260, 94);
    png("TW_HEADER_BACKGROUND_5", AlphaPicture(1300, 214, darkGrey, [](int x, int y) {
            int bands = 0;  // 31 for each sine band covering the pixel
            for (int k = 0; k < 3; ++k)
                if (y > 150 + k * 18 + 22 * std::sin((x + k * 170) * 2 * M_PI / (420 + k * 90))) ++bands;
            return 31 * bands;
        }), 1300, 214, 94);

    png("TW_HEADER_TEXTURE_GEOMETRIC", AlphaPicture(1920, 200, grey, [](int, int) { return 31; }), 1920, 200, 31, 31);
    {
        // The geometric shapes are in the colour, at the one alpha.
        QImage& geometric = pictures.back().image;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 1920; ++x) {
                const int cell = static_cast<int>(Hash(x / 40, y / 40, 7) % 3);
                const int shade = (x % 40 + y % 40 < 40) == (cell == 0) ? 150 : 110;
                geometric.setPixelColor(x, y, QColor(shade, shade, shade, 31));
            }
        Check(pictures.back(), 1920, 200);
    }
    png("TW_HEADER_TEXTURE_GRAIN", AlphaPicture(64, 64, white, [](int x, int y) { return static_cast<int>(Hash(x, y, 1) % 32); }),
        64, 64, 31);
    auto grid = [](int every, int alpha) { return [=](int x, int y) { return x % every == 0 || y % every == 0 ? alpha : 0; }; };
    png("TW_HEADER_TEXTURE_GRID", AlphaPicture(64, 64, white, grid(8, 8)), 64, 64, 8);
    png("TW_HEADER_TEXTURE_GRID1", AlphaPicture(56, 56, white, grid(14, 13)), 56, 56, 13);
    png("TW_HEADER_TEXTURE_GRID2", AlphaPicture(50, 50, white, grid(10, 18)), 50, 50, 18);
    png("TW_HEADER_TEXTURE_LINES", AlphaPicture(64, 64, white, [](int, int y) { return y % 4 == 0 ? 8 : 0; }), 64, 64, 8);
    png("TW_HEADER_TEXTURE_STRIPES", AlphaPicture(64, 64, white, [](int x, int y) { return (x + y) % 8 < 2 ? 8 : 0; }),
        64, 64, 8);
    png("TW_HEADER_TEXTURE_PAPER", AlphaPicture(100, 100, QColor(210, 210, 210), [](int, int) { return 39; }), 100, 100, 39, 39);
    {
        QImage& paper = pictures.back().image;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                const int shade = 190 + static_cast<int>(Hash(x, y, 2) % 40);
                paper.setPixelColor(x, y, QColor(shade, shade, shade, 39));
            }
        Check(pictures.back(), 100, 100);
    }
    png("TW_HEADER_TEXTURE_SQUARE",
        AlphaPicture(20, 20, black, [](int x, int y) { return x == 0 || y == 0 ? 35 : (x == 10 || y == 10 ? 12 : 0); }), 20,
        20, 35);
    png("TW_HEADER_TEXTURE_DOT", ShapesPicture(8, 8, grey, 25, [](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(4, 4), 1.6, 1.6);
        }), 8, 8, 25);
    png("TW_HEADER_TEXTURE_METAL", AlphaPicture(8, 8, QColor(40, 40, 40), [](int x, int y) {
            return static_cast<int>(Hash(x, y, 3) % 14);
        }), 8, 8, 13);
    png("TW_SHADOW_DIVIDER_1", AlphaPicture(918, 12, black, [](int x, int y) {
            // Strongest near x = 430, fading to 1 at both ends, rising with (y/11)^2.
            const double span = x <= 430 ? 430.0 : 487.0;
            const double closeness = 1.0 - std::abs(x - 430) / span;
            const double bottom = 1.0 + 59.0 * closeness * closeness;
            return static_cast<int>(std::lround(bottom * (y / 11.0) * (y / 11.0)));
        }), 918, 12, 60);

    // The pictures drawn from shapes and lettering, once at their size and
    // once at twice it ("@2x") for screens of twice the density: scaled up,
    // the first would show soft edges.
    for (int scale : {1, 2}) {
        const QByteArray suffix = scale == 1 ? QByteArray() : QByteArray("@2x");
        auto scaled = [&](const char* name, QImage image, int width, int height) {
            png(QByteArray(name + suffix).constData(), std::move(image), width * scale, height * scale, 255);
        };
        scaled("VELMORA_ICON", Icon(32 * scale), 32, 32);
        scaled("UPDATE_WIZARD_PICTURE", UpdatePicture(128 * scale), 128, 128);
        scaled("UPDATE_WIZARD_WARNING", WarningSign(32 * scale), 32, 32);
        scaled("VELMORA_NAME_LOGO", Lettering(246 * scale, 27 * scale, lettering, QStringLiteral("Velmora"), 24 * scale, 225 * scale),
               246, 27);
        scaled("TERNWICK_LOGO", Lettering(148 * scale, 39 * scale, lettering, QStringLiteral("Ternwick"), 26 * scale, 148 * scale),
               148, 39);
    }

    QFile qrc(output + QStringLiteral("/tw_pictures.qrc"));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write tw_pictures.qrc");
    QTextStream out(&qrc);
    out << "<RCC>\n  <qresource prefix=\"/TW_PICTURES\">\n";
    for (const Picture& picture : pictures) {
        const QString path = output + u'/' + picture.file;
        if (!picture.image.save(path)) throw std::runtime_error("cannot write " + path.toStdString());
        out << "    <file alias=\"" << picture.name << "\">" << picture.file << "</file>\n";
    }
    out << "  </qresource>\n</RCC>\n";
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "picture_generator: %s\n", error.what());
    return 1;
}
