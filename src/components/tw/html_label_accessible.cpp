#include "components/tw/html_label_accessible.h"

#include <QAccessibleActionInterface>
#include <QPointer>

#include "components/tw/html_label.h"

namespace velmora::tw {

namespace {

// One link of a label. Made anew when asked for: the label's links change
// with its caption, so the interface holds the label and the link's place.
class HtmlLinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    HtmlLinkAccessible(TTwHtmlLabel* label, int index) : label_(label), index_(index) {}

    bool isValid() const override { return label_ && index_ < static_cast<int>(label_->Links().size()); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* parent() const override { return label_ ? QAccessible::queryAccessibleInterface(label_) : nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text kind) const override {
        if (!isValid()) return {};
        const TTwHtmlLabel::ShownLink link = label_->Links()[static_cast<size_t>(index_)];
        if (kind == QAccessible::Name) return link.text;
        if (kind == QAccessible::Description) return link.link.mid(5);  // past "link:"
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override { return label_ ? QRect(label_->mapToGlobal(QPoint(0, 0)), label_->size()) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.linked = true;
        state.focusable = false;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid()) label_->FollowLink(label_->Links()[static_cast<size_t>(index_)].link);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<TTwHtmlLabel> label_;
    int index_;
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* label = qobject_cast<TTwHtmlLabel*>(object)) return new HtmlLabelAccessible(label);
    return nullptr;
}

}  // namespace

HtmlLabelAccessible::HtmlLabelAccessible(TTwHtmlLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

HtmlLabelAccessible::~HtmlLabelAccessible() {
    for (QAccessible::Id id : children_) QAccessible::deleteAccessibleInterface(id);
}

TTwHtmlLabel* HtmlLabelAccessible::label() const { return static_cast<TTwHtmlLabel*>(widget()); }

QString HtmlLabelAccessible::text(QAccessible::Text kind) const {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) return label()->PlainText();
    if (kind == QAccessible::Description && widget()->accessibleDescription().isEmpty()) return label()->PlainText();
    return QAccessibleWidget::text(kind);
}

int HtmlLabelAccessible::childCount() const { return static_cast<int>(label()->Links().size()); }

QAccessibleInterface* HtmlLabelAccessible::child(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    while (static_cast<int>(children_.size()) <= index)
        children_.push_back(QAccessible::registerAccessibleInterface(new HtmlLinkAccessible(label(), static_cast<int>(children_.size()))));
    return QAccessible::accessibleInterface(children_[static_cast<size_t>(index)]);
}

int HtmlLabelAccessible::indexOfChild(const QAccessibleInterface* child) const {
    for (size_t index = 0; index < children_.size() && static_cast<int>(index) < childCount(); ++index)
        if (QAccessible::accessibleInterface(children_[index]) == child) return static_cast<int>(index);
    return -1;
}

void RegisterHtmlLabelAccessibility() {
    static const bool registered = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)registered;
}

}  // namespace velmora::tw
