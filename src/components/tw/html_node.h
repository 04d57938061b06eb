#pragma once

#include <memory>
#include <vector>

#include <QString>

#include "components/tw/font_data.h"

namespace velmora::tw {

// One node of a parsed markup tree. Every node carries its text and its
// fully resolved font, so the layout never looks at tags again. A node owns
// its children; the parent pointer is only a back reference.
class THtmlNode {
public:
    THtmlNode() = default;
    virtual ~THtmlNode();
    THtmlNode(const THtmlNode&) = delete;
    THtmlNode& operator=(const THtmlNode&) = delete;

    const std::vector<std::unique_ptr<THtmlNode>>& Children() const { return children_; }
    THtmlNode* Parent() const { return parent_; }

    // Appends `child` as the last child and makes this node its parent.
    THtmlNode& AppendChild(std::unique_ptr<THtmlNode> child);

    // Destroys all descendants, without recursion: the nesting depth comes
    // from the markup.
    void ClearChildren();

    virtual void AssignFont(const TFontData& source);

    QString Text;        // literal text, or the text that br, ind and div stand for
    TFontData FontData;  // the resolved font
    QString Link;        // "link:" and the target; empty when this is no link
    int ImageIndex = -1; // picture to draw, -1 for none
    int Indent = 0;      // absolute x to move to; 0 for none

private:
    std::vector<std::unique_ptr<THtmlNode>> children_;
    THtmlNode* parent_ = nullptr;
};

}  // namespace velmora::tw
