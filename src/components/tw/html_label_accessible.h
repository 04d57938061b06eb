#pragma once

#include <vector>

#include <QAccessibleWidget>

namespace velmora::tw {

class TTwHtmlLabel;

// What a screen reader finds in an HTML label: static text that reads as
// the label shows it, with one child per link, read by the link's text and
// followed by its press action as a click follows it.
class HtmlLabelAccessible : public QAccessibleWidget {
public:
    explicit HtmlLabelAccessible(TTwHtmlLabel* label);
    ~HtmlLabelAccessible() override;

    QString text(QAccessible::Text kind) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

private:
    TTwHtmlLabel* label() const;

    // One interface per link place, made when first asked for; each reads
    // the label's current links.
    mutable std::vector<QAccessible::Id> children_;
};

// Registers the factory once; every label's constructor calls it.
void RegisterHtmlLabelAccessibility();

}  // namespace velmora::tw
