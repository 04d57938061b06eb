// Renders the markup label in a few typical uses into PNG files, to look at
// by eye: tw_gallery <output folder>. Not a test; nothing is asserted.
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTextStream>

#include "components/tw/html_label.h"

namespace {

using namespace velmora::tw;

QPixmap Picture(QColor color, bool round) {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(color);
    painter.setPen(color.darker());
    if (round) {
        painter.drawEllipse(1, 1, 14, 14);
    } else {
        painter.drawRect(1, 1, 13, 13);
    }
    return picture;
}

QWidget* Page(int width, int height, QColor background) {
    auto* page = new QWidget;
    page->resize(width, height);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, background);
    page->setPalette(palette);
    page->setAutoFillBackground(true);
    return page;
}

TTwHtmlLabel* LabelOn(QWidget* page, QRect geometry, const QString& caption) {
    auto* label = new TTwHtmlLabel(page);
    label->setGeometry(geometry);
    label->SetFont({QStringLiteral("DejaVu Sans"), 9, clWindowText, {}});
    label->SetCaption(caption);
    return label;
}

void Save(QWidget* page, const QDir& folder, const QString& name) {
    page->show();
    QCoreApplication::processEvents();
    const QString path = folder.filePath(name);
    page->grab().save(path);
    QTextStream(stdout) << path << '\n';
    delete page;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: tw_gallery <output folder>\n";
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));

    QString welcome =
        "Update Wizard makes sure you have the most recent version of your {[COMPANY]} products at all times.<BR><BR>If an update is "
        "available for {[PROGRAM_NAME]}, this wizard will download and install it on your computer.<BR><BR><BR>Note: An Internet "
        "connection is required.";
    welcome.replace("{[PROGRAM_NAME]}", "Velmora").replace("{[COMPANY]}", "Ternwick");
    {
        QWidget* page = Page(475, 210, QColor(240, 240, 240));
        LabelOn(page, QRect(8, 8, 459, 145), welcome);
        Save(page, folder, "welcome.png");
    }

    TTwImageList images(16, 16);
    images.Add(Picture(QColor(60, 170, 80), true));
    images.Add(Picture(QColor(220, 120, 40), false));
    const QString rich =
        "<img src=idx:0> <b>Velmora</b> cleans <u>hidden</u> metadata.<br>"
        "Visit <a href=\"https://example.invalid/\">our site</a><div><a href=settings>Settings</a><div>"
        "<font color=clRed>red</font> <font color=#008000 size=12>green 12</font><br>"
        "Name:<ind x=120><b>value at 120</b> <img src=1>";
    {
        QWidget* page = Page(420, 3 * 70 + 8, Qt::white);
        const TTwAlignment alignments[] = {TTwAlignment::Left, TTwAlignment::Center, TTwAlignment::Right};
        for (int row = 0; row < 3; ++row) {
            TTwHtmlLabel* label = LabelOn(page, QRect(8, 4 + row * 70, 404, 64), rich);
            label->SetImages(&images);
            label->SetAlignment(alignments[row]);
        }
        Save(page, folder, "alignments.png");
    }
    {
        // The same with the mouse over the first link, hover colour red.
        QWidget* page = Page(420, 3 * 70 + 8, Qt::white);
        const TTwAlignment alignments[] = {TTwAlignment::Left, TTwAlignment::Center, TTwAlignment::Right};
        for (int row = 0; row < 3; ++row) {
            TTwHtmlLabel* label = LabelOn(page, QRect(8, 4 + row * 70, 404, 64), rich);
            label->SetImages(&images);
            label->SetAlignment(alignments[row]);
            label->SetLinkHover(true);
            label->SetLinkHoverColor(0x0000FF);
            for (const THtmlRenderChunk& chunk : label->Renderer().Chunks()) {
                if (chunk.Text != "our ") continue;
                TLineWidths widths;
                label->Renderer().LineWidths(widths);
                const int shift = row == 0 ? 0 : row == 1 ? label->width() / 2 - widths[chunk.Y] / 2 : label->width() - widths[chunk.Y];
                const QPoint inside(chunk.X + shift + 2, chunk.Y + 2);
                QMouseEvent move(QEvent::MouseMove, inside, label->mapToGlobal(inside), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(label, &move);
            }
        }
        Save(page, folder, "hover.png");
    }
    {
        QWidget* page = Page(420, 120, QColor(49, 136, 178));
        const struct {
            TTwLabelType type;
            const char* caption;
        } rows[] = {{ltTitle, "Title preset: <b>bold</b> white"},
                    {ltHeader, "Header preset"},
                    {ltHighlight, "Highlight preset with <a href=x>a link</a>"},
                    {ltNormal, "Normal preset"}};
        int top = 6;
        for (const auto& row : rows) {
            TTwHtmlLabel* label = LabelOn(page, QRect(8, top, 404, 20), row.caption);
            label->SetLabelType(row.type);
            label->SetAutoHeight(true);
            top += label->height() + 4;
        }
        Save(page, folder, "label_types.png");
    }
    return 0;
}
