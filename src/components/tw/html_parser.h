#pragma once

#include <memory>
#include <vector>

#include <QString>

#include "components/tw/html_node.h"
#include "components/tw/html_tag.h"
#include "components/tw/tw_font.h"

namespace velmora::tw {

// Turns the label's markup into a tree of nodes. The markup is not HTML: no
// entities, comments or self-closing syntax, no whitespace folding; whatever
// is not a registered tag stays literal text, and tags left open end with
// the text.
class THtmlParser {
public:
    THtmlParser() = default;
    THtmlParser(const THtmlParser&) = delete;
    THtmlParser& operator=(const THtmlParser&) = delete;

    // Appends a handler, searched after those registered before it.
    void RegisterTag(std::unique_ptr<THtmlTag> tag);

    // The base font: unstyled text is drawn with it.
    void SetFont(const TTwFont& font);

    // Replaces the root's children with the tree of `text`. Nodes of an
    // earlier parse are destroyed.
    void Parse(const QString& text);

    // Pushed into every registered link tag; they affect later parses only.
    void SetLinkColor(TColor color);
    void SetLinkHoverColor(TColor color);
    void SetLinkHover(bool value);
    TColor LinkColor() const { return linkColor_; }
    TColor LinkHoverColor() const { return linkHoverColor_; }
    bool LinkHover() const { return linkHover_; }

    // Lives as long as the parser; only its children are rebuilt.
    const THtmlNode& Root() const { return root_; }

private:
    struct TagMatch {
        const THtmlTag* tag = nullptr;
        qsizetype length = 0;  // of the text between the tag's start and its ">"
    };
    // `close` is the position of the first ">" at or after `from` (-1 when
    // there is none), which the caller tracks as it goes, so that a long run
    // of "<" without ">" costs no more than one pass.
    TagMatch LookUpTag(const QString& text, qsizetype from, qsizetype close) const;

    template <class Visit>
    void ForEachLinkTag(Visit visit);

    THtmlNode root_;
    std::vector<std::unique_ptr<THtmlTag>> tags_;
    TColor linkColor_ = 0;
    TColor linkHoverColor_ = 0;
    bool linkHover_ = false;
};

}  // namespace velmora::tw
