#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QList>
#include <QString>
#include <QStringView>

#include "components/tw/html_node.h"

namespace velmora::tw {

struct THtmlAttribute {
    QString Name;
    QString Value;

    friend bool operator==(const THtmlAttribute&, const THtmlAttribute&) = default;
};

// The handler of one tag name of the markup. A paired tag encloses content
// up to its closing tag; an unpaired one stands alone.
class THtmlTag {
public:
    THtmlTag(QString name, bool paired) : name_(std::move(name)), paired_(paired) {}
    virtual ~THtmlTag() = default;
    THtmlTag(const THtmlTag&) = delete;
    THtmlTag& operator=(const THtmlTag&) = delete;

    // Compared without regard to ASCII case.
    const QString& Name() const { return name_; }
    bool Paired() const { return paired_; }

    virtual std::unique_ptr<THtmlNode> CreateNode() const;

    // Sets up the tag's freshly created node from the text that followed the
    // tag name. The base does nothing.
    virtual void Apply(const QString& attributes, THtmlNode& node) const;

    // Cuts `attributes` into name=value items at spaces, tabs and line
    // breaks, never inside quotes. A value in double quotes loses them ("" in
    // between stands for one); a value whose closing quote is missing, or in
    // single quotes, stays as written. An item without "=" has an empty name
    // and value.
    static QList<THtmlAttribute> ParseAttributes(const QString& attributes);

private:
    QString name_;
    bool paired_;
};

// Equality of tag and attribute names: ASCII letters match in either case,
// every other character only itself.
bool SameMarkupName(QStringView a, QStringView b);

// An integer as the markup writes one: decimal, or hexadecimal after "$" or
// "0x", with an optional sign. Nothing when the text is not one or does not
// fit 32 bits (hexadecimal may use all 32, read as two's complement).
std::optional<std::int32_t> MarkupToInt(QStringView text);

}  // namespace velmora::tw
