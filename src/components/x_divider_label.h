#pragma once

#include <vector>

#include <QLabel>

namespace velmora::components {

// A label followed (or, centred, flanked) by an etched horizontal rule: a
// line in the palette's shadow colour with one in its light colour below.
class TXDividerLabel : public QLabel {
public:
    explicit TXDividerLabel(const QString& caption = QString(), QWidget* parent = nullptr);

    // The gap in pixels between the caption and the rule.
    int Edge() const { return edge_; }
    void SetEdge(int value);

    struct Segment {
        int start, end;  // end exclusive
    };
    // Where the rule goes for a caption `textWidth` wide in a label `width`
    // wide; a segment whose end lies left of its start is left out.
    static std::vector<Segment> Segments(Qt::Alignment alignment, int textWidth, int width, int edge);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int edge_ = 5;
};

}  // namespace velmora::components
