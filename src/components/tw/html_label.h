#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QCursor>
#include <QMetaObject>
#include <QStringList>
#include <QWidget>

#include "components/tw/html_parser.h"
#include "components/tw/html_renderer.h"
#include "components/tw/tw_font.h"
#include "components/tw/tw_image_list.h"

namespace velmora::tw {

// Which preset of the shared style (TTwStyle) the label's font follows.
enum TTwLabelType {
    ltCustom = 0,  // the label keeps its own font
    ltNormal = 1,
    ltHighlight = 2,
    ltTitle = 3,
    ltHeader = 4,
};

// Which of the label's edges its parent controls. The parent's layout does
// the placing; the label only leaves those edges alone when it sizes itself
// to its content.
enum class TTwAlign { None, Top, Bottom, Left, Right, Client };

using TLinkClickEvent = std::function<void(const QString& linkId)>;

// A label that shows the library's markup (see THtmlParser): coloured and
// styled runs, links that react to the mouse and can be clicked, line
// breaks, indents, separators and pictures. It wraps words to its width or
// sizes itself to its content, and it can follow a font preset of the shared
// style. It paints no background: its parent shows through.
//
// Caption and HTMLText are two views of one text: Caption is the lines
// joined with "\r\n", without trailing line breaks.
class TTwHtmlLabel : public QWidget {
    Q_OBJECT
public:
    explicit TTwHtmlLabel(QWidget* parent = nullptr);
    ~TTwHtmlLabel() override;

    // A parser with one handler of each tag of the markup.
    static std::unique_ptr<THtmlParser> CreateParser();

    TTwAlignment Alignment() const { return renderer_.Alignment(); }
    void SetAlignment(TTwAlignment alignment);

    // Follows the content height (laid-out height + 2) unless the parent
    // controls the height (Align left, right or client).
    bool AutoHeight() const { return renderer_.AutoHeight(); }
    void SetAutoHeight(bool value);

    // Follows the widest line and does not wrap (clears WordBreak), unless
    // the parent controls the width (Align top, bottom or client).
    bool AutoWidth() const { return renderer_.AutoWidth(); }
    void SetAutoWidth(bool value);

    // Wraps runs that do not fit the width (clears AutoWidth).
    bool WordBreak() const { return renderer_.WordBreak(); }
    void SetWordBreak(bool value);

    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    const QStringList& HTMLText() const { return lines_; }
    void SetHTMLText(const QStringList& lines);

    // QWidget's font with the label's font colour.
    TTwFont Font() const;
    void SetFont(const TTwFont& font);

    const QCursor& LinkCursor() const { return linkCursor_; }
    void SetLinkCursor(const QCursor& cursor) { linkCursor_ = cursor; }

    // Held by the parser, which hands them to the link tags.
    TColor LinkColor() const { return parser_->LinkColor(); }
    void SetLinkColor(TColor color);
    TColor LinkHoverColor() const { return parser_->LinkHoverColor(); }
    void SetLinkHoverColor(TColor color);
    bool LinkHover() const { return parser_->LinkHover(); }
    void SetLinkHover(bool value);
    // Stored for the forms that state it; the link's hover style does not
    // follow it.
    bool LinkHoverUnderline() const { return linkHoverUnderline_; }
    void SetLinkHoverUnderline(bool value) { linkHoverUnderline_ = value; }

    // Not owned; a destroyed list reads as none. Also hands the current
    // ImagePadding to the layout.
    TTwImageList* Images() const { return renderer_.Images(); }
    void SetImages(TTwImageList* images);
    // Takes effect at the next SetImages().
    int ImagePadding() const { return imagePadding_; }
    void SetImagePadding(int padding) { imagePadding_ = padding; }

    TTwLabelType LabelType() const { return labelType_; }
    void SetLabelType(TTwLabelType type);

    TTwAlign Align() const { return align_; }
    void SetAlign(TTwAlign align);

    // Called with the link's target (without the "link:" mark) when a link
    // with a target is clicked; targets holding "://" or "mailto:" are then
    // also opened by the desktop.
    const TLinkClickEvent& OnLinkClick() const { return onLinkClick_; }
    void SetOnLinkClick(TLinkClickEvent handler) { onLinkClick_ = std::move(handler); }

    // The current layout: what the label shows and where.
    const THtmlRenderer& Renderer() const { return renderer_; }

    // What the label shows, as text: for screen readers.
    QString PlainText() const;
    // Its links in reading order, each with the text that shows it.
    struct ShownLink {
        QString link;  // "link:" and the target
        QString text;
    };
    std::vector<ShownLink> Links() const;
    // Does what clicking `link` does.
    void FollowLink(const QString& link);

    // Without wrapping: the laid-out content. With WordBreak: the unwrapped
    // content, and the height follows the width through heightForWidth(), so
    // a layout can give the label any width and ask how tall it gets.
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void TextChanged();
    void ApplyLabelType();
    // Sets the widget's font and lays out once: through the FontChange that
    // QWidget sends, or directly when it sends none because the QFont is
    // unchanged (a change of colour only).
    void SetWidgetFont(const QFont& font);
    // Lays out after AutoWidth or WordBreak was set; `wrapped` is whether
    // the label wrapped before.
    void WrappingChanged(bool wrapped);
    // Parses the caption again and lays out: chunks point into the tree, and
    // the hovered link of the old tree is forgotten.
    void Reparse();
    void RebuildLayout();
    void LayOutAtCurrentSize();
    // Lays out again for a new width; the content and the hint are unchanged.
    void LayOutForNewWidth();
    void UpdateSizeHint();
    void ApplyAutoSize();

    std::unique_ptr<THtmlParser> parser_;
    THtmlRenderer renderer_;
    QStringList lines_;
    QString caption_;
    TColor fontColor_ = clWindowText;
    int lastLayoutWidth_ = 0;
    QSize sizeHint_;
    // Set when a FontChange has parsed again; SetWidgetFont() reads it.
    bool reparsedForFont_ = false;
    // The last answer of heightForWidth(): layouts ask for one width often.
    mutable int hfwWidth_ = -1;
    mutable int hfwHeight_ = 0;
    QCursor linkCursor_{Qt::PointingHandCursor};
    bool linkHoverUnderline_ = false;
    QMetaObject::Connection imagesDestroyed_;
    int imagePadding_ = 0;
    TTwLabelType labelType_ = ltCustom;
    TTwAlign align_ = TTwAlign::None;
    TLinkClickEvent onLinkClick_;
};

}  // namespace velmora::tw
