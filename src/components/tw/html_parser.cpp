#include "components/tw/html_parser.h"

#include <algorithm>

#include <QtGlobal>

#include "components/tw/html_tags.h"

namespace velmora::tw {

void THtmlParser::RegisterTag(std::unique_ptr<THtmlTag> tag) {
    Q_ASSERT(tag);
    if (tag) tags_.push_back(std::move(tag));
}

void THtmlParser::SetFont(const TTwFont& font) { CopyFontData(root_.FontData, font); }

template <class Visit>
void THtmlParser::ForEachLinkTag(Visit visit) {
    for (const auto& tag : tags_) {
        if (auto* link = dynamic_cast<TLinkTag*>(tag.get())) visit(*link);
    }
}

void THtmlParser::SetLinkColor(TColor color) {
    linkColor_ = color;
    ForEachLinkTag([color](TLinkTag& tag) { tag.LinkColor = color; });
}

void THtmlParser::SetLinkHoverColor(TColor color) {
    linkHoverColor_ = color;
    ForEachLinkTag([color](TLinkTag& tag) { tag.LinkHoverColor = color; });
}

void THtmlParser::SetLinkHover(bool value) {
    linkHover_ = value;
    ForEachLinkTag([value](TLinkTag& tag) { tag.LinkHover = value; });
}

THtmlParser::TagMatch THtmlParser::LookUpTag(const QString& text, qsizetype from, qsizetype close) const {
    if (close < 0) return {};
    const QStringView tagText = QStringView(text).mid(from, close - from);
    // Only a space ends the name: "<br/>" is no tag, "<br />" is. A name
    // longer than every tag's matches none, so the space is looked for only
    // that far.
    qsizetype longestName = 0;
    for (const auto& tag : tags_) longestName = std::max(longestName, tag->Name().size());
    const qsizetype space = tagText.left(longestName + 1).indexOf(u' ');
    const QStringView name = space < 0 ? tagText : tagText.left(space);
    if (name.isEmpty() || name.size() > longestName) return {};
    for (const auto& tag : tags_) {
        if (SameMarkupName(tag->Name(), name)) return {tag.get(), tagText.size()};
    }
    return {};
}

void THtmlParser::Parse(const QString& text) {
    root_.ClearChildren();
    const qsizetype length = text.size();
    qsizetype i = 0;
    qsizetype pendingStart = 0;  // first character of literal text not yet emitted
    THtmlNode* current = &root_;
    const THtmlTag* currentTag = nullptr;
    std::vector<const THtmlTag*> enclosingTags;

    const auto emitPendingText = [&] {
        if (i <= pendingStart) return;
        auto node = std::make_unique<THtmlNode>();
        node->Text = text.mid(pendingStart, i - pendingStart);
        CopyFontData(node->FontData, current->FontData);
        current->AppendChild(std::move(node));
    };
    const auto closeCurrentTag = [&] {
        currentTag = enclosingTags.back();
        enclosingTags.pop_back();
        current = current->Parent();
    };

    qsizetype nextClose = text.indexOf(u'>');
    const auto closeAfter = [&](qsizetype from) {
        if (nextClose >= 0 && nextClose < from) nextClose = text.indexOf(u'>', from);
        return nextClose;
    };

    for (; i < length; ++i) {
        if (text[i] != u'<') continue;

        // A closing tag needs "/" and at least one more character after the
        // "<", and closes only the innermost open tag.
        if (currentTag && currentTag->Paired() && i + 2 < length && text[i + 1] == u'/') {
            const TagMatch closing = LookUpTag(text, i + 2, closeAfter(i + 2));
            if (closing.tag == currentTag) {
                emitPendingText();
                i += closing.length + 2;  // now at the ">"
                pendingStart = i + 1;
                closeCurrentTag();
                continue;
            }
        }

        if (i + 1 >= length) continue;
        const TagMatch opening = LookUpTag(text, i + 1, closeAfter(i + 1));
        if (!opening.tag) continue;  // the "<" stays literal text

        emitPendingText();
        const QString tagText = text.mid(i + 1, opening.length);
        i += opening.length + 1;  // now at the ">"
        pendingStart = i + 1;
        enclosingTags.push_back(currentTag);
        currentTag = opening.tag;
        auto node = opening.tag->CreateNode();
        node->AssignFont(current->FontData);
        current = &current->AppendChild(std::move(node));
        const qsizetype space = tagText.indexOf(u' ');
        opening.tag->Apply(space < 0 ? QString() : tagText.mid(space + 1), *current);
        if (!opening.tag->Paired()) closeCurrentTag();
    }
    emitPendingText();
}

}  // namespace velmora::tw
