#include "update/update_wizard_options.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>

#include "framework/desktop_helpers.h"
#include "framework/event_guard.h"
#include "framework/widget_looks.h"

namespace velmora::update {

namespace {

constexpr QSize kClientSize(465, 346);

QLabel* Label(QWidget* parent, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->move(at);
    label->adjustSize();
    return label;
}

}  // namespace

TUpdateWizardOptions::TUpdateWizardOptions(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("UpdateWizardOptions"));
    setWindowTitle(QStringLiteral("Update Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientSize);
    framework::ApplyMessageFont(this);

    auto* PanelMain = new QWidget(this);
    PanelMain->setObjectName(QStringLiteral("PanelMain"));
    PanelMain->setGeometry(0, 0, kClientSize.width(), kClientSize.height() - 41);
    framework::SetBackground(PanelMain, Qt::white);

    QLabel* Label1 = Label(PanelMain, QStringLiteral("Update Options"), QPoint(16, 8));
    framework::SetPixelFont(Label1, 16, true);
    Label1->adjustSize();

    chkCheckForUpdatesEvery = new QCheckBox(QStringLiteral("Check for program updates every"), PanelMain);
    chkCheckForUpdatesEvery->setObjectName(QStringLiteral("chkCheckForUpdatesEvery"));
    chkCheckForUpdatesEvery->setGeometry(16, 48, 193, 17);
    cbCheckForUpdatesEvery = new QComboBox(PanelMain);
    cbCheckForUpdatesEvery->setObjectName(QStringLiteral("cbCheckForUpdatesEvery"));
    cbCheckForUpdatesEvery->setGeometry(212, 46, 149, 21);
    cbCheckForUpdatesEvery->addItems({QStringLiteral("time the program starts"), QStringLiteral("day"),
                                      QStringLiteral("3 days"), QStringLiteral("Monday"),
                                      QStringLiteral("first day of the month")});

    auto* gbProxyDetails = new QGroupBox(QStringLiteral("Connect using a Proxy Server"), PanelMain);
    gbProxyDetails->setObjectName(QStringLiteral("gbProxyDetails"));
    gbProxyDetails->setGeometry(16, 88, 433, 201);
    Label(gbProxyDetails, QStringLiteral("Proxy server :"), QPoint(8, 32));
    Label(gbProxyDetails, QStringLiteral("Proxy username :"), QPoint(8, 64));
    Label(gbProxyDetails, QStringLiteral("Proxy password :"), QPoint(8, 96));
    QLabel* blank = Label(gbProxyDetails, QStringLiteral("(leave blank if no proxy used)"), QPoint(8, 128));
    QFont blankFont = blank->font();
    blankFont.setBold(true);
    blank->setFont(blankFont);
    blank->adjustSize();
    QLabel* note = Label(gbProxyDetails,
                         QStringLiteral("Note: Update Wizard uses by default the proxy information as setup in Internet "
                                        "Explorer. You only need to enter a Proxy Server if you do not use Internet "
                                        "Explorer or if you wish to use a different server."),
                         QPoint(8, 152));
    note->setWordWrap(true);
    note->setGeometry(8, 152, 417, 49);
    txtProxyServer = new QLineEdit(gbProxyDetails);
    txtProxyServer->setObjectName(QStringLiteral("txtProxyServer"));
    txtProxyServer->setGeometry(104, 28, 299, 21);
    txtProxyUser = new QLineEdit(gbProxyDetails);
    txtProxyUser->setObjectName(QStringLiteral("txtProxyUser"));
    txtProxyUser->setGeometry(104, 60, 251, 21);
    txtProxyPwd = new QLineEdit(gbProxyDetails);
    txtProxyPwd->setObjectName(QStringLiteral("txtProxyPwd"));
    txtProxyPwd->setGeometry(104, 92, 251, 21);
    txtProxyPwd->setEchoMode(QLineEdit::Password);

    auto* PanelBottom = new QWidget(this);
    PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
    PanelBottom->setGeometry(0, kClientSize.height() - 41, kClientSize.width(), 41);
    auto* line = new QFrame(PanelBottom);
    line->setGeometry(0, 0, kClientSize.width(), 2);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    btnOk = new QPushButton(QStringLiteral("OK"), PanelBottom);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(292, 8, 75, 25);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), PanelBottom);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(380, 8, 75, 25);
    btnOk->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    // Escape rejects as well: QDialog's own behaviour.
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(chkCheckForUpdatesEvery, &QCheckBox::clicked, this,
            framework::Guarded([this] { chkCheckForUpdatesEveryClick(); }));
}

void TUpdateWizardOptions::chkCheckForUpdatesEveryClick() {
    cbCheckForUpdatesEvery->setEnabled(chkCheckForUpdatesEvery->isChecked());
}

}  // namespace velmora::update
