#include "components/tw/html_label.h"

#include <algorithm>

#include <QApplication>

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "framework/shell_open.h"
#include "components/tw/html_label_accessible.h"
#include "components/tw/html_tags.h"
#include "components/tw/tw_style.h"

namespace velmora::tw {

namespace {

const QString kLinkMark = QStringLiteral("link:");
const QString kLineBreak = QStringLiteral("\r\n");

// Lines as a text list reads them: a line ends at "\r\n", "\r" or "\n", and
// a final line break opens no empty line.
QStringList SplitIntoLines(const QString& text) {
    QStringList lines;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype start = i;
        while (i < text.size() && text[i] != u'\r' && text[i] != u'\n') ++i;
        lines.append(text.mid(start, i - start));
        if (i < text.size() && text[i] == u'\r') ++i;
        if (i < text.size() && text[i] == u'\n') ++i;
    }
    return lines;
}

bool IsLink(const QString& link) { return SameMarkupName(QStringView(link).left(kLinkMark.size()), kLinkMark); }

}  // namespace

TTwHtmlLabel::TTwHtmlLabel(QWidget* parent) : QWidget(parent), parser_(CreateParser()) {
    RegisterHtmlLabelAccessibility();
    setMouseTracking(true);
    renderer_.SetRoot(&parser_->Root());
    parser_->SetLinkColor(clBlue);
    parser_->SetLinkHoverColor(clBlue);
    renderer_.SetWordBreak(true);
    // A whole font of its own, not the parent's size and weight with another
    // family: a window that applies a larger bold font leaves labels alone.
    const QFont toolkit = QApplication::font();
    QFont dialogFont(QStringLiteral("MS Shell Dlg 2"));
    if (toolkit.pointSizeF() > 0) dialogFont.setPointSizeF(toolkit.pointSizeF());
    else dialogFont.setPixelSize(toolkit.pixelSize());
    dialogFont.setWeight(QFont::Normal);
    dialogFont.setItalic(false);
    dialogFont.setUnderline(false);
    dialogFont.setStrikeOut(false);
    SetWidgetFont(dialogFont);  // the first parse and layout
    TTwStyle::Instance().RegisterListener(this, [this](TTwStyle*) { ApplyLabelType(); });
}

TTwHtmlLabel::~TTwHtmlLabel() {
    TTwStyle::Instance().UnregisterListener(this);
    // An image list owned by this label dies after this destructor, when
    // parser and renderer are gone: it must not ask for a new layout then.
    disconnect(imagesDestroyed_);
}

std::unique_ptr<THtmlParser> TTwHtmlLabel::CreateParser() {
    auto parser = std::make_unique<THtmlParser>();
    parser->RegisterTag(std::make_unique<TLinkTag>());
    parser->RegisterTag(std::make_unique<TFontTag>());
    parser->RegisterTag(std::make_unique<TLineBreakTag>());
    parser->RegisterTag(std::make_unique<TBoldTag>());
    parser->RegisterTag(std::make_unique<TUnderlineTag>());
    parser->RegisterTag(std::make_unique<TIdentTag>());
    parser->RegisterTag(std::make_unique<TDivTag>());
    parser->RegisterTag(std::make_unique<TImageTag>());
    return parser;
}

void TTwHtmlLabel::SetAlignment(TTwAlignment alignment) {
    renderer_.SetAlignment(alignment);
    update();
}

void TTwHtmlLabel::SetAutoHeight(bool value) {
    renderer_.SetAutoHeight(value);
    LayOutAtCurrentSize();
    update();
}

void TTwHtmlLabel::SetAutoWidth(bool value) {
    const bool wrapped = WordBreak();
    renderer_.SetAutoWidth(value);
    WrappingChanged(wrapped);
}

void TTwHtmlLabel::SetWordBreak(bool value) {
    const bool wrapped = WordBreak();
    renderer_.SetWordBreak(value);
    WrappingChanged(wrapped);
}

void TTwHtmlLabel::WrappingChanged(bool wrapped) {
    LayOutAtCurrentSize();
    // Switching wrapping off can leave the hint as it was while the label
    // stops trading height for width: the layout must hear of that too.
    if (wrapped && !WordBreak()) updateGeometry();
    update();
}

void TTwHtmlLabel::SetCaption(const QString& caption) {
    caption_ = caption;
    lines_ = SplitIntoLines(caption);
    TextChanged();
}

void TTwHtmlLabel::SetHTMLText(const QStringList& lines) {
    lines_ = lines;
    TextChanged();
}

void TTwHtmlLabel::TextChanged() {
    QString text;
    for (const QString& line : lines_) text += line + kLineBreak;
    while (text.endsWith(u'\r') || text.endsWith(u'\n')) text.chop(1);
    caption_ = text;
    RebuildLayout();
}

TTwFont TTwHtmlLabel::Font() const { return TTwFontFromQFont(font(), fontColor_); }

void TTwHtmlLabel::SetWidgetFont(const QFont& font) {
    reparsedForFont_ = false;
    QWidget::setFont(font);
    if (!reparsedForFont_) RebuildLayout();
}

void TTwHtmlLabel::SetFont(const TTwFont& font) {
    fontColor_ = font.Color;
    SetWidgetFont(ToQFont(font));
}

void TTwHtmlLabel::SetLinkColor(TColor color) {
    parser_->SetLinkColor(color);
    RebuildLayout();
}

void TTwHtmlLabel::SetLinkHoverColor(TColor color) {
    parser_->SetLinkHoverColor(color);
    RebuildLayout();
}

void TTwHtmlLabel::SetLinkHover(bool value) {
    parser_->SetLinkHover(value);
    RebuildLayout();
}

void TTwHtmlLabel::SetImages(TTwImageList* images) {
    disconnect(imagesDestroyed_);
    if (images) imagesDestroyed_ = connect(images, &QObject::destroyed, this, [this] { RebuildLayout(); });
    renderer_.SetImages(images);
    renderer_.SetImagePadding(imagePadding_);
    RebuildLayout();
}

void TTwHtmlLabel::SetLabelType(TTwLabelType type) {
    labelType_ = type;
    ApplyLabelType();
}

void TTwHtmlLabel::SetAlign(TTwAlign align) {
    align_ = align;
    ApplyAutoSize();
}

void TTwHtmlLabel::ApplyLabelType() {
    const TTwStyle& style = TTwStyle::Instance();
    switch (labelType_) {
    case ltCustom:
        // Keeps its font, yet is laid out again like a label that follows
        // a preset.
        RebuildLayout();
        break;
    case ltNormal:
        SetFont({style.NormalFontName, style.NormalFontSize, style.NormalFontColor, style.NormalFontStyle});
        break;
    case ltHighlight:
        SetFont({style.HighlightFontName, style.HighlightFontSize, style.HighlightFontColor, style.HighlightFontStyle});
        break;
    case ltTitle:
        SetFont({style.TitleFontName, style.TitleFontSize, style.TitleFontColor, style.TitleFontStyle});
        break;
    case ltHeader:
        SetFont({style.HeaderFontName, style.HeaderFontSize, style.HeaderFontColor, style.HeaderFontStyle});
        break;
    }
}

void TTwHtmlLabel::Reparse() {
    renderer_.SetHovered(nullptr);
    parser_->SetFont(Font());
    parser_->Parse(caption_);
    LayOutAtCurrentSize();
}

void TTwHtmlLabel::RebuildLayout() {
    Reparse();
    update();
}

void TTwHtmlLabel::LayOutAtCurrentSize() {
    renderer_.Layout(rect());
    lastLayoutWidth_ = width();
    UpdateSizeHint();
    ApplyAutoSize();
}

void TTwHtmlLabel::LayOutForNewWidth() {
    renderer_.Layout(rect());
    lastLayoutWidth_ = width();
    ApplyAutoSize();
}

void TTwHtmlLabel::UpdateSizeHint() {
    // The hint depends on the content and the switches, never on the current
    // size, so a parent's layout that resizes the label does not feed the
    // new width back into the hint. The heights for other widths may change
    // with the content without the hint changing, and the parent's layout
    // caches them, so a wrapping label always tells its layout.
    const QSize hint = renderer_.WordBreak() ? renderer_.Measure(QWIDGETSIZE_MAX, false) : QSize(renderer_.MaxWidth(), renderer_.Height());
    hfwWidth_ = -1;
    const bool wraps = renderer_.WordBreak();
    if (hint == sizeHint_ && !wraps) return;
    sizeHint_ = hint;
    updateGeometry();
}

void TTwHtmlLabel::ApplyAutoSize() {
    QSize size = this->size();
    if (renderer_.AutoHeight() && align_ != TTwAlign::Left && align_ != TTwAlign::Right && align_ != TTwAlign::Client) {
        size.setHeight(renderer_.Height());
    }
    if (renderer_.AutoWidth() && align_ != TTwAlign::Top && align_ != TTwAlign::Bottom && align_ != TTwAlign::Client) {
        size.setWidth(renderer_.MaxWidth());
    }
    if (size != this->size()) resize(size);
}

QSize TTwHtmlLabel::sizeHint() const { return sizeHint_; }

bool TTwHtmlLabel::hasHeightForWidth() const { return renderer_.WordBreak(); }

int TTwHtmlLabel::heightForWidth(int width) const {
    if (!renderer_.WordBreak()) return QWidget::heightForWidth(width);
    if (width == lastLayoutWidth_) return renderer_.Height();
    if (width != hfwWidth_) {
        hfwHeight_ = renderer_.Measure(width, true).height();
        hfwWidth_ = width;
    }
    return hfwHeight_;
}

void TTwHtmlLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    renderer_.Paint(painter, rect(), palette());
}

void TTwHtmlLabel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Only wrapping depends on the width; repeated resizes to one width lay
    // out once.
    if (renderer_.WordBreak() && width() != lastLayoutWidth_) LayOutForNewWidth();
    // A size set from outside (a layout, resize()) must not clip an auto-sized
    // label; the second resize this may cause finds the size right.
    ApplyAutoSize();
}

void TTwHtmlLabel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange && parser_) {
        Reparse();
        reparsedForFont_ = true;
    }
}

void TTwHtmlLabel::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    const QPoint position = event->position().toPoint();
    const THtmlNode* link = renderer_.LinkAt(position.x(), position.y(), width(), height());
    setCursor(link && IsLink(link->Link) ? linkCursor_ : QCursor(Qt::ArrowCursor));
    if (link != renderer_.Hovered()) {
        renderer_.SetHovered(link);
        update();
    }
}

void TTwHtmlLabel::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (renderer_.Hovered()) {
        renderer_.SetHovered(nullptr);
        update();
    }
}

void TTwHtmlLabel::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const QPoint position = event->position().toPoint();
    renderer_.LinkAt(position.x(), position.y(), width(), height());
    const QString link = renderer_.LinkText();
    if (link.isEmpty() || !IsLink(link)) return;
    event->accept();
    FollowLink(link);
}

void TTwHtmlLabel::FollowLink(const QString& link) {
    if (!IsLink(link)) return;
    const QString target = link.mid(kLinkMark.size());
    // The handler may replace itself or delete this label: from here on only
    // copies are used.
    if (const TLinkClickEvent handler = onLinkClick_; handler && !target.isEmpty()) handler(target);
    if (target.contains(QStringLiteral("://")) || target.contains(QStringLiteral("mailto:"))) framework::ShellOpen(target);
}

QString TTwHtmlLabel::PlainText() const {
    std::vector<const THtmlRenderChunk*> chunks;
    for (const THtmlRenderChunk& chunk : renderer_.Chunks())
        if (!chunk.Text.isEmpty()) chunks.push_back(&chunk);
    std::stable_sort(chunks.begin(), chunks.end(), [](const THtmlRenderChunk* a, const THtmlRenderChunk* b) {
        return a->Y != b->Y ? a->Y < b->Y : a->X < b->X;
    });
    QString text;
    const THtmlRenderChunk* previous = nullptr;
    for (const THtmlRenderChunk* chunk : chunks) {
        // A gap, or a new line, reads as one space.
        if (previous && (chunk->Y != previous->Y || chunk->X > previous->X + previous->Width) && !text.endsWith(u' ') &&
            !chunk->Text.startsWith(u' '))
            text += u' ';
        text += chunk->Text;
        previous = chunk;
    }
    return text.simplified();
}

std::vector<TTwHtmlLabel::ShownLink> TTwHtmlLabel::Links() const {
    std::vector<ShownLink> links;
    const THtmlNode* current = nullptr;
    for (const THtmlRenderChunk& chunk : renderer_.Chunks()) {
        if (!chunk.LinkNode || !IsLink(chunk.LinkNode->Link)) {
            current = nullptr;
            continue;
        }
        if (chunk.LinkNode != current) {
            links.push_back({chunk.LinkNode->Link, QString()});
            current = chunk.LinkNode;
        }
        QString& text = links.back().text;
        if (!text.isEmpty() && !text.endsWith(u' ') && !chunk.Text.startsWith(u' ')) text += u' ';
        text += chunk.Text;
    }
    for (ShownLink& link : links) link.text = link.text.simplified();
    return links;
}

}  // namespace velmora::tw
