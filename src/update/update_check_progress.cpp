#include "update/update_check_progress.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "framework/desktop_helpers.h"
#include "framework/framework_services.h"

namespace velmora::update {

namespace {

QLabel* CentredLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

TUpdateCheckProgress::TUpdateCheckProgress(QWidget* owner) : QDialog(nullptr), owner_(owner) {
    setObjectName(QStringLiteral("UpdateCheckProgress"));
    setWindowTitle(QStringLiteral("Update Check"));
    // A tool window: small caption, the close box only.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(215, 79);
    framework::ApplyMessageFont(this);
    lblTop = CentredLabel(this, "lblTop", QStringLiteral("Checking for application updates."), QRect(8, 8, 201, 15));
    pbCheckingForUpdates = new components::TDProgressBar(this);
    pbCheckingForUpdates->setObjectName(QStringLiteral("pbCheckingForUpdates"));
    pbCheckingForUpdates->setGeometry(8, 32, 201, 17);
    pbCheckingForUpdates->SetRange(0, 100);
    pbCheckingForUpdates->SetStep(50);
    pbCheckingForUpdates->SetSpeed(50);
    lblBottom = CentredLabel(this, "lblBottom", QStringLiteral("Please wait..."), QRect(8, 56, 201, 15));
}

void TUpdateCheckProgress::reject() {
    if (OnCloseRequested) OnCloseRequested();
}

void TUpdateCheckProgress::closeEvent(QCloseEvent* event) {
    // Only the check closes the window (it has no handler then); a user's
    // close asks it to end.
    if (OnCloseRequested) {
        event->ignore();
        OnCloseRequested();
        return;
    }
    QDialog::closeEvent(event);
}

void TUpdateCheckProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || QGuiApplication::platformName() == QLatin1String("wayland")) return;
    QWidget* over = owner_ != nullptr ? owner_ : framework::MainWindow();
    QRect area = over != nullptr && over != this ? over->frameGeometry() : QRect();
    if (!area.isValid() && screen() != nullptr) area = screen()->availableGeometry();
    QRect outer = frameGeometry();
    outer.moveCenter(area.center());
    move(outer.topLeft());
}

}  // namespace velmora::update
