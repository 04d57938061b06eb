#include "components/x_divider_label.h"

#include <QPainter>

namespace velmora::components {

TXDividerLabel::TXDividerLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setTextFormat(Qt::PlainText);
    // Drawn from the top, so the rule at half the line height meets the text's middle.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    adjustSize();
    resize(width() + 150, height());
}

void TXDividerLabel::SetEdge(int value) {
    if (value == edge_) return;
    edge_ = value;
    repaint();
}

std::vector<TXDividerLabel::Segment> TXDividerLabel::Segments(Qt::Alignment alignment, int textWidth, int width,
                                                               int edge) {
    std::vector<Segment> segments;
    if (alignment & Qt::AlignRight) {
        segments.push_back({0, width - textWidth - edge});
    } else if (alignment & Qt::AlignHCenter) {
        segments.push_back({0, width / 2 - textWidth / 2 - edge});
        segments.push_back({textWidth / 2 + width / 2 + edge, width});
    } else {
        segments.push_back({textWidth + edge, width});
    }
    std::erase_if(segments, [](const Segment& segment) { return segment.end <= segment.start; });
    return segments;
}

void TXDividerLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    // "The height of the text '0'": the font's line height.
    const int mid = fontMetrics().height() / 2;
    const int textWidth = fontMetrics().horizontalAdvance(text());
    for (const Segment& segment : Segments(alignment(), textWidth, width(), edge_)) {
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(segment.start, mid - 1, segment.end - 1, mid - 1);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(segment.start, mid, segment.end - 1, mid);
    }
}

}  // namespace velmora::components
