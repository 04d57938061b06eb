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

void THtmlRenderer::SetHovered(const THtmlNode* node) {
    hovered_ = node;
    FindHoveredSpan();
}

void THtmlRenderer::FindHoveredSpan() {
    hoveredFirst_ = 0;
    hoveredEnd_ = 0;
    // Only addresses are compared: a node of an earlier tree is never
    // dereferenced, and it matches no span of the current one.
    for (const LinkSpan& span : linkSpans_) {
        if (span.Link == hovered_) {
            hoveredFirst_ = span.First;
            hoveredEnd_ = span.End;
            return;
        }
    }
}

void THtmlRenderer::Layout(const QRect& rect) {
    chunks_.clear();
    linkSpans_.clear();
    lineWidths_.clear();
    if (root_) {
        Pass pass;
        pass.rect = rect;
        pass.wordBreak = wordBreak_;
        pass.chunks = &chunks_;
        pass.spans = &linkSpans_;
        Run(pass);
        height_ = pass.height;
        maxWidth_ = pass.maxWidth;
        for (const THtmlRenderChunk& chunk : chunks_) lineWidths_[chunk.Y] += chunk.Width;
    }
    FindHoveredSpan();
}

QSize THtmlRenderer::Measure(int width, bool wordBreak) const {
    if (!root_) return {maxWidth_, height_};
    Pass pass;
    pass.rect = QRect(0, 0, width, 1);
    pass.wordBreak = wordBreak;
    Run(pass);
    return {pass.maxWidth, pass.height};
}

void THtmlRenderer::Run(Pass& pass) const {
    pass.x = pass.rect.x();
    pass.y = pass.rect.y();
    pass.height = 0;
    pass.maxWidth = 0;
    // Document order without recursion: the nesting depth comes from the
    // markup. Each entry carries the nearest link above it, so no chunk has
    // to look up its ancestors later. A link opens its span when it is
    // reached and leaves a marker below its children that closes the span
    // once the whole subtree is laid out.
    struct Entry {
        const THtmlNode* node;  // none for a span's closing marker
        const THtmlNode* link;
        std::size_t closedSpan;
    };
    std::vector<Entry> pending{{root_, nullptr, 0}};
    while (!pending.empty()) {
        const Entry entry = pending.back();
        pending.pop_back();
        if (!entry.node) {
            (*pass.spans)[entry.closedSpan].End = pass.chunks->size();
            continue;
        }
        const THtmlNode& node = *entry.node;
        const THtmlNode* link = node.Link.isEmpty() ? entry.link : &node;
        if (&node == link && pass.chunks && pass.spans) {
            pending.push_back({nullptr, nullptr, pass.spans->size()});
            pass.spans->push_back({&node, pass.chunks->size(), pass.chunks->size()});
        }
        LayOutNodeText(node, link, pass);
        for (auto child = node.Children().rbegin(); child != node.Children().rend(); ++child) pending.push_back({child->get(), link, 0});
    }
    pass.height += 2;
}

void THtmlRenderer::LayOutNodeText(const THtmlNode& node, const THtmlNode* linkNode, Pass& pass) const {
    if (node.Text.isEmpty() && node.ImageIndex < 0) return;
    const int left = pass.rect.x();
    const int right = pass.rect.x() + pass.rect.width();
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
                pass.maxWidth = std::max(pass.maxWidth, pass.x);
                pass.x = left;
                // Never above what is laid out already, so two breaks in a
                // row leave one empty line.
                pass.y = std::max(pass.height, pass.y + lineHeight);
            }
            continue;
        }
        if (token == u"\t" && node.Indent > 0) {
            token = {};
            // No widget is wider than QWIDGETSIZE_MAX; a farther jump would
            // only make the pen arithmetic overflow.
            pass.x = std::min(node.Indent, QWIDGETSIZE_MAX);
        } else if (token == u"\t") {
            // A tab without a position is text: measured as it is drawn, one
            // space, not as a jump to the next tab stop it never makes.
            token = u" ";
        }
        const QSize size = node.ImageIndex >= 0 && images_ ? QSize(images_->Width(), images_->Height() + imagePadding_)
                                                           : QSize(metrics.horizontalAdvance(token.toString()), lineHeight);
        pass.height = std::max(pass.height, pass.y + size.height());
        // A run at the start of a line stays there however wide it is.
        if (pass.wordBreak && pass.x + size.width() > right && pass.x > left) {
            pass.maxWidth = std::max(pass.maxWidth, pass.x);
            pass.x = left;
            pass.y = pass.height;
            pass.height += size.height();
        }
        if (pass.chunks) {
            THtmlRenderChunk chunk;
            CopyFontData(chunk.FontData, node.FontData);
            chunk.X = pass.x;
            chunk.Y = pass.y;
            chunk.Text = token.toString();
            chunk.Width = size.width();
            chunk.Height = size.height();
            chunk.Node = &node;
            chunk.LinkNode = linkNode;
            pass.chunks->push_back(std::move(chunk));
        }
        pass.x += size.width();
        pass.maxWidth = std::max(pass.maxWidth, pass.x);
    } while (!rest.isEmpty());
}

void THtmlRenderer::LineWidths(TLineWidths& widths) const { widths = lineWidths_; }

int THtmlRenderer::PaintedLeft(const THtmlRenderChunk& chunk, int left, int right) const {
    if (alignment_ == TTwAlignment::Left) return chunk.X;
    const auto line = lineWidths_.find(chunk.Y);
    const int lineWidth = line == lineWidths_.end() ? 0 : line->second;
    if (alignment_ == TTwAlignment::Center) return (left + right) / 2 - lineWidth / 2 + chunk.X;
    return right - lineWidth + chunk.X;
}

void THtmlRenderer::Paint(QPainter& painter, const QRect& rect, const QPalette& palette) const {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    // Everything inside the hovered link takes the link's hover look, in
    // every alignment, nested links included: one font and colour for the
    // whole span.
    QFont hoverFont;
    QColor hoverColor;
    if (hoveredFirst_ < hoveredEnd_) {
        TTwFont font;
        ApplyFontData(hovered_->FontData, font, true);
        hoverFont = ToQFont(font);
        hoverColor = ColorToQColor(font.Color, palette);
    }
    // A node's runs follow each other and share its font: convert it once
    // per node rather than once per run.
    const THtmlNode* nodeOfFont = nullptr;
    QFont nodeFont;
    QColor nodeColor;
    const int right = rect.x() + rect.width();
    const int bottom = rect.y() + rect.height();
    constexpr int kRunFormat = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const THtmlRenderChunk& chunk = chunks_[i];
        const int chunkLeft = PaintedLeft(chunk, rect.x(), right);
        if (!chunk.Text.isEmpty() && chunkLeft < right && chunk.Y < bottom) {
            if (i >= hoveredFirst_ && i < hoveredEnd_) {
                painter.setFont(hoverFont);
                painter.setPen(hoverColor);
            } else {
                if (chunk.Node != nodeOfFont) {
                    TTwFont font;
                    ApplyFontData(chunk.FontData, font, false);
                    nodeFont = ToQFont(font);
                    nodeColor = ColorToQColor(font.Color, palette);
                    nodeOfFont = chunk.Node;
                }
                painter.setFont(nodeFont);
                painter.setPen(nodeColor);
            }
            painter.drawText(QRect(chunkLeft, chunk.Y, right - chunkLeft, bottom - chunk.Y), kRunFormat, chunk.Text);
        }
        if (images_ && chunk.Node->ImageIndex >= 0 && chunk.Node->ImageIndex < images_->Count()) {
            images_->Draw(painter, chunkLeft, chunk.Y, chunk.Node->ImageIndex);
        }
    }
    painter.restore();
}

const THtmlRenderChunk* THtmlRenderer::ChunkAt(int x, int y, int width, int /*height*/) const {
    for (const THtmlRenderChunk& chunk : chunks_) {
        const int chunkLeft = PaintedLeft(chunk, 0, width);
        if (x >= chunkLeft && x < chunkLeft + chunk.Width && y >= chunk.Y && y < chunk.Y + chunk.Height) return &chunk;
    }
    return nullptr;
}

const THtmlNode* THtmlRenderer::LinkAt(int x, int y, int width, int height) {
    const THtmlRenderChunk* chunk = ChunkAt(x, y, width, height);
    const THtmlNode* link = chunk ? chunk->LinkNode : nullptr;
    linkText_ = link ? link->Link : QString();
    return link;
}

}  // namespace velmora::tw
