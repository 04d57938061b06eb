#pragma once

#include <cstddef>
#include <map>
#include <vector>

#include <QPalette>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringView>

#include "components/tw/font_data.h"
#include "components/tw/html_node.h"
#include "components/tw/tw_image_list.h"

class QPainter;

namespace velmora::tw {

enum class TTwAlignment { Left = 0, Right = 1, Center = 2 };

// One laid-out run of text or one picture.
struct THtmlRenderChunk {
    TFontData FontData;  // the node's normal font at layout time; hover fields zero
    int X = 0;           // top-left corner in layout coordinates, before alignment
    int Y = 0;
    QString Text;        // empty for a picture or an indent
    int Width = 0;       // measured size in pixels
    int Height = 0;
    const THtmlNode* Node = nullptr;  // not owned
    // The nearest node at or above Node with a Link, found once during
    // layout so that hit-testing never walks the nesting; none outside links.
    const THtmlNode* LinkNode = nullptr;
};

// Chunk top -> sum of the widths of the chunks with that top.
using TLineWidths = std::map<int, int>;

// Takes the next token off the front of `rest`: a run of letters and digits
// (with their combining marks) and the first character that is neither, or
// the whole rest. A carriage return always starts a token of its own, so a
// line break in the text is seen even right after a word. A surrogate pair
// counts as one character.
QStringView TakeNextToken(QStringView& rest);

// Lays the node tree of a THtmlParser out as runs of text and pictures in a
// rectangle, word by word like running text, and paints them left-aligned,
// centred or right-aligned. Layout measures with QFontMetrics: a font's line
// height is its height, a run's size its horizontal advance and height.
// Chunks point into the tree, so whoever rebuilds the tree lays out again
// before painting or hit-testing.
class THtmlRenderer {
public:
    void SetRoot(const THtmlNode* root) { root_ = root; }

    // WordBreak and AutoWidth are never both on: switching one on switches
    // the other off.
    void SetWordBreak(bool value);
    bool WordBreak() const { return wordBreak_; }
    void SetAutoWidth(bool value);
    bool AutoWidth() const { return autoWidth_; }

    void SetAutoHeight(bool value) { autoHeight_ = value; }
    bool AutoHeight() const { return autoHeight_; }
    void SetAlignment(TTwAlignment alignment) { alignment_ = alignment; }
    TTwAlignment Alignment() const { return alignment_; }
    // Not owned; a destroyed list reads as none.
    void SetImages(TTwImageList* images) { images_ = images; }
    TTwImageList* Images() const { return images_; }
    // Extra height of every picture run.
    void SetImagePadding(int padding) { imagePadding_ = padding; }
    int ImagePadding() const { return imagePadding_; }
    // The link node under the mouse (what LinkAt() found): it and everything
    // inside it are drawn in its hover look. Any other node draws no hover.
    void SetHovered(const THtmlNode* node);
    const THtmlNode* Hovered() const { return hovered_; }

    // Rebuilds the chunks, the content height and the widest line's right
    // edge for `rect`. Without a root nothing is laid out and Height and
    // MaxWidth keep their values.
    void Layout(const QRect& rect);

    // What Layout would report as (MaxWidth, Height) for a rectangle of
    // `width` at the origin, wrapping or not as asked; the current chunks
    // stay as they are.
    QSize Measure(int width, bool wordBreak) const;

    // Draws every chunk, clipped to `rect`, without background. System
    // colours come from `palette`, normally the painting widget's own.
    void Paint(QPainter& painter, const QRect& rect, const QPalette& palette) const;

    // The first chunk whose painted box holds the point, for a control of
    // `width` x `height`; none when no chunk does.
    const THtmlRenderChunk* ChunkAt(int x, int y, int width, int height) const;

    // The link node that encloses the chunk at the point, remembered with its
    // Link in LinkText(); none (and LinkText() empty) otherwise.
    const THtmlNode* LinkAt(int x, int y, int width, int height);

    // Copies the line widths of the current chunks into `widths`.
    void LineWidths(TLineWidths& widths) const;

    const std::vector<THtmlRenderChunk>& Chunks() const { return chunks_; }
    int Height() const { return height_; }      // content height + 2
    int MaxWidth() const { return maxWidth_; }  // right edge of the widest line
    const QString& LinkText() const { return linkText_; }

private:
    // The chunks of one link's subtree: chunks are in tree order, so they
    // are the contiguous range [First, End).
    struct LinkSpan {
        const THtmlNode* Link = nullptr;
        std::size_t First = 0;
        std::size_t End = 0;
    };
    // One layout pass; `chunks` and `spans` are only filled when given.
    struct Pass {
        QRect rect;
        bool wordBreak = false;
        int x = 0;
        int y = 0;
        int height = 0;
        int maxWidth = 0;
        std::vector<THtmlRenderChunk>* chunks = nullptr;
        std::vector<LinkSpan>* spans = nullptr;
    };
    void Run(Pass& pass) const;
    void LayOutNodeText(const THtmlNode& node, const THtmlNode* linkNode, Pass& pass) const;
    int PaintedLeft(const THtmlRenderChunk& chunk, int left, int right) const;
    // Finds the hovered link's span among the current chunks.
    void FindHoveredSpan();

    const THtmlNode* root_ = nullptr;
    std::vector<THtmlRenderChunk> chunks_;
    std::vector<LinkSpan> linkSpans_;
    // Kept with the chunks: painting and every mouse move need them, and
    // they change only with a new layout.
    TLineWidths lineWidths_;
    bool wordBreak_ = false;
    bool autoWidth_ = false;
    bool autoHeight_ = false;
    int height_ = 0;
    int maxWidth_ = 0;
    QString linkText_;
    QPointer<TTwImageList> images_;
    int imagePadding_ = 0;
    TTwAlignment alignment_ = TTwAlignment::Left;
    const THtmlNode* hovered_ = nullptr;
    // The chunks drawn in the hover look, [First, End); looked up when the
    // hover or the chunks change, not on every paint.
    std::size_t hoveredFirst_ = 0;
    std::size_t hoveredEnd_ = 0;
};

}  // namespace velmora::tw
