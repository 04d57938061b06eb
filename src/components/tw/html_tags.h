#pragma once

#include "components/tw/html_tag.h"

namespace velmora::tw {

// <a href=...>: a link. Its colours come from the parser, which pushes them
// into every registered link tag.
class TLinkTag : public THtmlTag {
public:
    TLinkTag() : THtmlTag(QStringLiteral("a"), true) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;

    TColor LinkColor = 0;
    TColor LinkHoverColor = 0;
    bool LinkHover = false;
};

// <font color=... face=... size=...>
class TFontTag : public THtmlTag {
public:
    TFontTag() : THtmlTag(QStringLiteral("font"), true) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;
};

// <br>: ends the line.
class TLineBreakTag : public THtmlTag {
public:
    TLineBreakTag() : THtmlTag(QStringLiteral("br"), false) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;
};

// <b>
class TBoldTag : public THtmlTag {
public:
    TBoldTag() : THtmlTag(QStringLiteral("b"), true) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;
};

// <u>
class TUnderlineTag : public THtmlTag {
public:
    TUnderlineTag() : THtmlTag(QStringLiteral("u"), true) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;
};

// <ind x=...>: moves the pen to an absolute x.
class TIdentTag : public THtmlTag {
public:
    TIdentTag() : THtmlTag(QStringLiteral("ind"), false) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;
};

// <div>: a grey " | " separator.
class TDivTag : public THtmlTag {
public:
    TDivTag() : THtmlTag(QStringLiteral("div"), false) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;
};

// <img src=idx:N>: picture N of the label's image list.
class TImageTag : public THtmlTag {
public:
    TImageTag() : THtmlTag(QStringLiteral("img"), false) {}
    void Apply(const QString& attributes, THtmlNode& node) const override;
};

}  // namespace velmora::tw
