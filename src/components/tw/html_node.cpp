#include "components/tw/html_node.h"

namespace velmora::tw {

THtmlNode::~THtmlNode() { ClearChildren(); }

THtmlNode& THtmlNode::AppendChild(std::unique_ptr<THtmlNode> child) {
    child->parent_ = this;
    children_.push_back(std::move(child));
    return *children_.back();
}

void THtmlNode::ClearChildren() {
    // Hand every grandchild over to a flat list before its parent dies, so
    // each destructor finds no children and deep markup cannot exhaust the
    // stack.
    std::vector<std::unique_ptr<THtmlNode>> pending = std::move(children_);
    children_.clear();
    while (!pending.empty()) {
        std::unique_ptr<THtmlNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children_) pending.push_back(std::move(child));
        node->children_.clear();
        node->parent_ = nullptr;
    }
}

void THtmlNode::AssignFont(const TFontData& source) { CopyFontData(FontData, source); }

}  // namespace velmora::tw
