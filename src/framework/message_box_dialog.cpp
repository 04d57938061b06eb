#include "framework/message_box_dialog.h"

#include <algorithm>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

namespace velmora::framework {

namespace {

QStyle::StandardPixmap StandardPixmapFor(QMessageBox::Icon icon) {
    switch (icon) {
        case QMessageBox::Warning: return QStyle::SP_MessageBoxWarning;
        case QMessageBox::Critical: return QStyle::SP_MessageBoxCritical;
        case QMessageBox::Question: return QStyle::SP_MessageBoxQuestion;
        default: return QStyle::SP_MessageBoxInformation;
    }
}

}  // namespace

MessageBoxDialog::MessageBoxDialog(const MessageBoxRequest& request, QWidget* parent)
    : QDialog(parent), closeResult_(request.closeResult) {
    setWindowTitle(request.caption);

    auto* content = new QHBoxLayout;
    content->setSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) * 2);
    if (request.icon != QMessageBox::NoIcon) {
        auto* icon = new QLabel(this);
        const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(StandardPixmapFor(request.icon), nullptr, this).pixmap(iconSize));
        icon->setAlignment(Qt::AlignTop);
        content->addWidget(icon);
    }
    auto* text = new QLabel(request.text, this);
    // Error texts come from exceptions and file names; markup in them must
    // show as typed.
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    // Word wrap alone would squeeze the text into a narrow column; long lines
    // wrap at a readable width instead.
    constexpr int kWidestTextLine = 480;
    int widestLine = 0;
    for (const QString& line : request.text.split(u'\n'))
        widestLine = std::max(widestLine, text->fontMetrics().horizontalAdvance(line));
    text->setMinimumWidth(std::min(widestLine + 1, kWidestTextLine));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    content->addWidget(text, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    for (size_t index = 0; index < request.buttons.size(); ++index) {
        const MessageBoxChoice& choice = request.buttons[index];
        auto* button = new QPushButton(choice.caption, this);
        button->setAutoDefault(false);
        if (static_cast<int>(index) == request.defaultButton) {
            button->setDefault(true);
            button->setFocus();
        }
        const int result = choice.result;
        connect(button, &QPushButton::clicked, this, [this, result] {
            if (result >= 0) done(result);
        });
        buttonRow->addWidget(button);
    }
    buttonRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(content);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void MessageBoxDialog::reject() { done(closeResult_); }

QPoint CentredTopLeft(const QRect& area, const QSize& boxSize) {
    return {std::max(0, area.left() + area.width() / 2 - boxSize.width() / 2),
            std::max(0, area.top() + area.height() / 2 - boxSize.height() / 2)};
}

int ExecMessageBoxDialog(const MessageBoxRequest& request) {
    const QCoreApplication* application = QCoreApplication::instance();
    if (qobject_cast<const QApplication*>(application) == nullptr || QThread::currentThread() != application->thread())
        return 0;
    // On the heap: the owner may be deleted while the box is open, and takes
    // the box with it.
    QPointer<MessageBoxDialog> dialog = new MessageBoxDialog(request, request.owner.data());
    dialog->adjustSize();
    if (request.centreOn.isValid()) {
        // The box's frame is not known before it is shown; the owner's frame
        // is the best guess, as both come from the same window manager.
        QSize frameSize = dialog->size();
        if (request.owner) frameSize += request.owner->frameGeometry().size() - request.owner->size();
        dialog->move(CentredTopLeft(request.centreOn, frameSize));
    }
    const int result = dialog->exec();
    if (dialog.isNull()) return request.closeResult;
    delete dialog.data();
    return result;
}

}  // namespace velmora::framework
