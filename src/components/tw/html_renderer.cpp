#include "components/tw/html_renderer.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include "components/tw/tw_color.h"
#include "components/tw/tw_font.h"

namespace velmora::tw {

namespace {

// Marks belong to the letter before them: a word cut before its vowel signs
// or accents would be shaped, measured and drawn in pieces.
bool IsWordCharacter(char32_t codePoint) { return QChar::isLetterOrNumber(codePoint) || QChar::isMark(codePoint); }

}  // namespace

QStringView TakeNextToken(QStringView& rest) {
    qsizetype end = 0;
    while (end < rest.size()) {
        qsizetype length = 1;
        char32_t codePoint = rest[end].unicode();
        if (rest[end].isHighSurrogate() && end + 1 < rest.size() && rest[end + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(rest[end], rest[end + 1]);
            length = 2;
        }
        if (IsWordCharacter(codePoint)) {
            end += length;
            continue;
        }
        if (codePoint != u'\r' || end == 0) end += length;
        break;
    }
    const QStringView token = rest.left(end);
    rest = rest.mid(end);
    return token;
}

void THtmlRenderer::SetWordBreak(bool value) {
    wordBreak_ = value;
    if (value) autoWidth_ = false;
}

void THtmlRenderer::SetAutoWidth(bool value) {
    autoWidth_ = value;
    if (value) wordBreak_ = false;
}

void THtmlRenderer::Layout(const QRect& rect) {
    chunks_.clear();
    if (!root_) return;
    Pen pen{rect.x(), rect.y()};
    maxWidth_ = 0;
    height_ = 0;
    // Document order without recursion: the nesting depth comes from the
    // markup.
    std::vector<const THtmlNode*> pending{root_};
    while (!pending.empty()) {
        const THtmlNode* node = pending.back();
        pending.pop_back();
        LayOutNodeText(*node, rect, pen);
        for (auto child = node->Children().rbegin(); child != node->Children().rend(); ++child) pending.push_back(child->get());
    }
    height_ += 2;
}

void THtmlRenderer::LayOutNodeText(const THtmlNode& node, const QRect& rect, Pen& pen) {
    if (node.Text.isEmpty() && node.ImageIndex < 0) return;
    const int left = rect.x();
    const int right = rect.x() + rect.width();
    TTwFont font;
    ApplyFontData(node.FontData, font, &node == hovered_);
    const QFontMetrics metrics(ToQFont(font));
    const int lineHeight = metrics.height();

    QStringView rest = node.Text;
    do {
        QStringView token = TakeNextToken(rest);
        if (token == u"\r") {
            // Only a line feed right after it ends the line; anything else
            // is swallowed with it.
            if (TakeNextToken(rest) == u"\n") {
                maxWidth_ = std::max(maxWidth_, pen.x);
                pen.x = left;
                // Never above what is laid out already, so two breaks in a
                // row leave one empty line.
                pen.y = std::max(height_, pen.y + lineHeight);
            }
            continue;
        }
        if (token == u"\t" && node.Indent > 0) {
            token = {};
            // No widget is wider than QWIDGETSIZE_MAX; a farther jump would
            // only make the pen arithmetic overflow.
            pen.x = std::min(node.Indent, QWIDGETSIZE_MAX);
        }
        const QSize size = node.ImageIndex >= 0 && images_ ? QSize(images_->Width(), images_->Height() + imagePadding_)
                                                           : QSize(metrics.horizontalAdvance(token.toString()), lineHeight);
        height_ = std::max(height_, pen.y + size.height());
        // A run at the start of a line stays there however wide it is.
        if (wordBreak_ && pen.x + size.width() > right && pen.x > left) {
            maxWidth_ = std::max(maxWidth_, pen.x);
            pen.x = left;
            pen.y = height_;
            height_ += size.height();
        }
        THtmlRenderChunk chunk;
        CopyFontData(chunk.FontData, node.FontData);
        chunk.X = pen.x;
        chunk.Y = pen.y;
        chunk.Text = token.toString();
        chunk.Width = size.width();
        chunk.Height = size.height();
        chunk.Node = &node;
        chunks_.push_back(std::move(chunk));
        pen.x += size.width();
        maxWidth_ = std::max(maxWidth_, pen.x);
    } while (!rest.isEmpty());
}

void THtmlRenderer::LineWidths(TLineWidths& widths) const {
    widths.clear();
    for (const THtmlRenderChunk& chunk : chunks_) widths[chunk.Y] += chunk.Width;
}

int THtmlRenderer::PaintedLeft(const THtmlRenderChunk& chunk, int left, int right, const TLineWidths& widths) const {
    if (alignment_ == TTwAlignment::Left) return chunk.X;
    const auto line = widths.find(chunk.Y);
    const int lineWidth = line == widths.end() ? 0 : line->second;
    if (alignment_ == TTwAlignment::Center) return (left + right) / 2 - lineWidth / 2 + chunk.X;
    return right - lineWidth + chunk.X;
}

const THtmlNode* THtmlRenderer::HoveredAncestorOf(const THtmlNode* node) const {
    if (!hovered_) return nullptr;
    for (; node; node = node->Parent()) {
        if (node == hovered_) return node;
    }
    return nullptr;
}

void THtmlRenderer::Paint(QPainter& painter, const QRect& rect) const {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    TLineWidths widths;
    if (alignment_ != TTwAlignment::Left) LineWidths(widths);
    const int right = rect.x() + rect.width();
    const int bottom = rect.y() + rect.height();
    constexpr int kRunFormat = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;
    for (const THtmlRenderChunk& chunk : chunks_) {
        const int chunkLeft = PaintedLeft(chunk, rect.x(), right, widths);
        if (!chunk.Text.isEmpty() && chunkLeft < right && chunk.Y < bottom) {
            // Everything inside the hovered link takes the link's hover look,
            // in every alignment.
            TTwFont font;
            if (const THtmlNode* hoveredLink = HoveredAncestorOf(chunk.Node)) {
                ApplyFontData(hoveredLink->FontData, font, true);
            } else {
                ApplyFontData(chunk.FontData, font, false);
            }
            painter.setFont(ToQFont(font));
            painter.setPen(ColorToQColor(font.Color));
            painter.drawText(QRect(chunkLeft, chunk.Y, right - chunkLeft, bottom - chunk.Y), kRunFormat, chunk.Text);
        }
        if (images_ && chunk.Node->ImageIndex >= 0 && chunk.Node->ImageIndex < images_->Count()) {
            images_->Draw(painter, chunkLeft, chunk.Y, chunk.Node->ImageIndex);
        }
    }
    painter.restore();
}

const THtmlRenderChunk* THtmlRenderer::ChunkAt(int x, int y, int width, int /*height*/) const {
    TLineWidths widths;
    if (alignment_ != TTwAlignment::Left) LineWidths(widths);
    for (const THtmlRenderChunk& chunk : chunks_) {
        const int chunkLeft = PaintedLeft(chunk, 0, width, widths);
        if (x >= chunkLeft && x < chunkLeft + chunk.Width && y >= chunk.Y && y < chunk.Y + chunk.Height) return &chunk;
    }
    return nullptr;
}

const THtmlNode* THtmlRenderer::LinkAt(int x, int y, int width, int height) {
    linkText_.clear();
    const THtmlRenderChunk* chunk = ChunkAt(x, y, width, height);
    for (const THtmlNode* node = chunk ? chunk->Node : nullptr; node; node = node->Parent()) {
        if (!node->Link.isEmpty()) {
            linkText_ = node->Link;
            return node;
        }
    }
    return nullptr;
}

}  // namespace velmora::tw
