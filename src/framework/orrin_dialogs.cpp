#include "framework/orrin_dialogs.h"

#include <array>
#include <utility>

#include <QApplication>
#include <QFileDialog>
#include <QScreen>

#include "framework/framework_services.h"
#include "framework/message_box_dialog.h"

namespace velmora::framework {

namespace {

struct ButtonLook {
    const char16_t* caption;
    int result;
};

// Indexed by MessageButton.
constexpr std::array<ButtonLook, kMessageButtonCount> kButtonLooks{{
    {u"&Yes", 6},
    {u"&No", 7},
    {u"OK", 1},
    {u"Cancel", 2},
    {u"&Abort", 3},
    {u"&Retry", 4},
    {u"&Ignore", 5},
    {u"&All", 12},
    {u"N&o to All", 13},
    {u"Yes to &All", 14},
    {u"&Help", -1},
    {u"&Close", 8},
}};

const ButtonLook& LookOf(MessageButton button) { return kButtonLooks.at(static_cast<size_t>(button)); }

QString KindCaption(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return QStringLiteral("Warning");
        case MessageKind::Error: return QStringLiteral("Error");
        case MessageKind::Information: return QStringLiteral("Information");
        case MessageKind::Confirmation: return QStringLiteral("Confirm");
        case MessageKind::Custom: break;
    }
    return MessageBoxTitle();
}

QMessageBox::Icon KindIcon(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return QMessageBox::Warning;
        case MessageKind::Error: return QMessageBox::Critical;
        case MessageKind::Information:
        case MessageKind::Confirmation: return QMessageBox::Information;
        case MessageKind::Custom: break;
    }
    return QMessageBox::NoIcon;
}

// The window a box belongs to and the area it is centred over.
void AimAtActiveWindow(MessageBoxRequest& request) {
    QWidget* window = QApplication::activeWindow();
    if (window == nullptr) window = MainWindow();
    if (window != nullptr) {
        // A box owned by a disabled window is disabled with it and could
        // never be answered: centre it there, but let it stand alone.
        if (window->isEnabled()) request.owner = window;
        request.centreOn = window->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        request.centreOn = screen->availableGeometry();
    }
}

MessageBoxPresenter& CurrentPresenter() {
    static MessageBoxPresenter presenter;
    return presenter;
}

FolderPicker& CurrentFolderPicker() {
    static FolderPicker picker;
    return picker;
}

QString PickFolderWithDialog(const QString& title, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(QApplication::activeWindow(), title, startFolder, QFileDialog::ShowDirsOnly);
}

}  // namespace

QString ButtonCaption(MessageButton button) { return QString::fromUtf16(LookOf(button).caption); }

int ButtonResult(MessageButton button) { return LookOf(button).result; }

int PresentMessageBox(MessageBoxRequest request) {
    if (!request.centreOn.isValid() && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        AimAtActiveWindow(request);
    const MessageBoxPresenter& presenter = CurrentPresenter();
    return presenter ? presenter(request) : ExecMessageBoxDialog(request);
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    return std::exchange(CurrentPresenter(), std::move(presenter));
}

int CenteredMessageDlg(const QString& text, MessageKind kind, MessageButtons buttons) {
    if (buttons.IsEmpty()) buttons = {MessageButton::OK};
    MessageBoxRequest request;
    request.caption = KindCaption(kind);
    request.icon = KindIcon(kind);
    request.text = text;
    for (int index = 0; index < kMessageButtonCount; ++index) {
        const auto button = static_cast<MessageButton>(index);
        if (!buttons.Contains(button)) continue;
        if (button == MessageButton::OK) request.defaultButton = static_cast<int>(request.buttons.size());
        request.buttons.push_back({ButtonCaption(button), ButtonResult(button)});
    }
    request.closeResult = buttons.Contains(MessageButton::Cancel) ? ButtonResult(MessageButton::Cancel) : 0;
    return PresentMessageBox(std::move(request));
}

void ShowMessage(const QString& text) { CenteredMessageDlg(text, MessageKind::Custom, {MessageButton::OK}); }

QString PickFolder(const QString& initial) {
    const QString title = QStringLiteral("Select Directory");
    const QString startFolder = initial.isEmpty() ? QStringLiteral("/") : initial;
    const FolderPicker& picker = CurrentFolderPicker();
    return picker ? picker(title, startFolder) : PickFolderWithDialog(title, startFolder);
}

FolderPicker SetFolderPicker(FolderPicker picker) {
    return std::exchange(CurrentFolderPicker(), std::move(picker));
}

}  // namespace velmora::framework
