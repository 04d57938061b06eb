#include "update/update_wizard.h"

#include <QCloseEvent>
#include <QPointer>
#include <QGuiApplication>
#include <QScreen>

#include "components/tw/tw_font.h"
#include "components/tw/tw_header.h"
#include "framework/desktop_helpers.h"
#include "framework/event_guard.h"
#include "framework/framework_services.h"
#include "framework/velmora_application.h"
#include "framework/widget_looks.h"
#include "update/download_progress_text.h"
#include "update/update_address.h"
#include "update/update_wizard_options.h"

namespace velmora::update {

namespace {

constexpr QSize kClientSize(659, 420);
const QColor kTitleColour(0x00, 0x33, 0xBD);
const char kCompany[] = "Ternwick";

using framework::Named;

QLabel* PlainLabel(QWidget* parent, const char* name, const QString& text, QRect geometry = QRect()) {
    auto* label = Named(new QLabel(text, parent), name);
    // Several labels show what a server sent: never read as markup.
    label->setTextFormat(Qt::PlainText);
    if (geometry.isValid()) {
        label->setGeometry(geometry);
    } else {
        label->move(geometry.topLeft());
        label->adjustSize();
    }
    return label;
}

QLabel* AutoLabel(QWidget* parent, const char* name, const QString& text, QPoint at) {
    return PlainLabel(parent, name, text, QRect(at, QSize()));
}

QLabel* Title(QWidget* page, const char* name, const QString& text) {
    QLabel* title = AutoLabel(page, name, text, QPoint(8, 8));
    framework::SetPixelFont(title, 15);
    framework::SetTextColour(title, kTitleColour);
    title->adjustSize();
    return title;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* button = Named(new QPushButton(text, parent), name);
    button->setGeometry(geometry);
    // Enter must not press whichever button last had the focus.
    button->setAutoDefault(false);
    return button;
}

QWidget* AddPage(QStackedWidget* pages, const char* name) {
    auto* page = Named(new QWidget, name);
    pages->addWidget(page);
    return page;
}

tw::TTwHtmlLabel* HtmlLabel(QWidget* parent, const char* name, QRect geometry, const QString& caption) {
    auto* label = Named(new tw::TTwHtmlLabel(parent), name);
    label->SetLabelType(tw::ltCustom);
    label->SetAutoWidth(false);
    label->SetAutoHeight(false);
    label->SetWordBreak(true);
    label->setGeometry(geometry);
    label->SetCaption(caption);
    return label;
}

}  // namespace

TfrmUpdateWizard::TfrmUpdateWizard(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmUpdateWizard"));
    setWindowTitle(QStringLiteral("Update Wizard"));
    // A fixed dialog border: no resizing, no minimising.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientSize);
    framework::ApplyMessageFont(this);
    buildPages();
    buildButtonBar();
    bindWebUpdate();

    BrowserHost_ = std::make_unique<shared::TWBContainer>(wbWhatsNew);
    BrowserHost_->CustomContextMenu = true;
    BrowserHost_->BorderVisible = false;
    BrowserHost_->TextSelectable = false;
    wbWhatsNew->ApplyHostInfo();

    AutoStart = false;
    const QString title = framework::TApplication::Title();
    QString welcome = HTMLabelWelcome->Caption();
    welcome.replace(QStringLiteral("{[PROGRAM_NAME]}"), title).replace(QStringLiteral("{[COMPANY]}"), QString::fromLatin1(kCompany));
    HTMLabelWelcome->SetCaption(welcome);
    QString ready = HTMLabelReadyToInstall->Caption();
    HTMLabelReadyToInstall->SetCaption(ready.replace(QStringLiteral("{[PROGRAM_NAME]}"), title));
    Label4->setText(Label4->text().replace(QStringLiteral("{[COMPANY]}"), QString::fromLatin1(kCompany)));

    Timer.setSingleShot(false);
    Timer.setInterval(200);
    connect(&Timer, &QTimer::timeout, this, framework::Guarded([this] { TimerTimer(); }));
    showPage(tsWelcome);
}

TfrmUpdateWizard::~TfrmUpdateWizard() {
    // The host goes before the view it serves; the component with the form.
    BrowserHost_.reset();
    wbWhatsNew->Stop();
    delete WebUpdate;
    WebUpdate = nullptr;
}

void TfrmUpdateWizard::buildPages() {
    auto* PanelMain = Named(new QWidget(this), "PanelMain");
    PanelMain->setGeometry(0, 0, kClientSize.width(), kClientSize.height() - 41);
    framework::SetBackground(PanelMain, Qt::white);

    TwShader1 = Named(new tw::TTwShader(PanelMain), "TwShader1");
    TwShader1->setGeometry(0, 0, 177, PanelMain->height());
    TwShader1->SetFromColor(16773847);
    TwShader1->SetToColor(tw::clWhite);
    TwShader1->SetDirection(true);
    Image1 = Named(new QLabel(TwShader1), "Image1");
    Image1->setGeometry(8, 16, 162, 329);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap::fromImage(tw::LoadPicture(QStringLiteral("UPDATE_WIZARD_PICTURE"), devicePixelRatioF())));

    PageControlMain = Named(new QStackedWidget(PanelMain), "PageControlMain");
    PageControlMain->setGeometry(176, 16, 475, 349);

    // Welcome.
    QWidget* page = AddPage(PageControlMain, "tsWelcome");
    Title(page, "Label9", QStringLiteral("Welcome to Update Wizard"));
    HTMLabelWelcome = HtmlLabel(
        page, "HTMLabelWelcome", QRect(8, 56, 459, 145),
        QStringLiteral("Update Wizard makes sure you have the most recent version of your {[COMPANY]} products at all "
                       "times.<BR><BR>If an update is available for {[PROGRAM_NAME]}, this wizard will download and "
                       "install it on your computer.<BR><BR><BR>Note: An Internet connection is required."));
    Label1 = AutoLabel(page, "Label1", QStringLiteral("Click \"Next >\" to start checking for available application updates."),
                       QPoint(8, 305));
    btnOptions = Button(page, "btnOptions", QStringLiteral("Options"), QRect(8, 184, 89, 25));
    btnOptions->hide();
    CheckBox1 = Named(new QCheckBox(QStringLiteral("Threaded"), page), "CheckBox1");
    CheckBox1->setChecked(true);
    CheckBox1->hide();

    // Checking.
    page = AddPage(PageControlMain, "tsCheckProgress");
    Title(page, "Label2", QStringLiteral("Determing the available updates"));
    Label4 = PlainLabel(page, "Label4",
                        QStringLiteral("Update Wizard will now determine if there are updates available for your "
                                       "{[COMPANY]} product."),
                        QRect(8, 40, 451, 41));
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Notebook1 = Named(new QStackedWidget(page), "Notebook1");
    Notebook1->setGeometry(8, 88, 449, 201);
    auto* working = Named(new QWidget, "Working");
    Notebook1->addWidget(working);
    pbCheckingForUpdates = Named(new components::TDProgressBar(working), "pbCheckingForUpdates");
    pbCheckingForUpdates->setGeometry(8, 64, 433, 17);
    pbCheckingForUpdates->SetRange(0, 100);
    pbCheckingForUpdates->SetStep(50);
    pbCheckingForUpdates->SetSpeed(50);
    lblUpdateCheckStatus = AutoLabel(working, "lblUpdateCheckStatus", QStringLiteral("Searching for updates..."), QPoint(8, 88));
    auto* error = Named(new QWidget, "Error");
    Notebook1->addWidget(error);
    pnlCouldNotConnect = Named(new QFrame(error), "pnlCouldNotConnect");
    pnlCouldNotConnect->setGeometry(48, 32, 353, 137);
    // Shape1: a silver one-pixel frame.
    pnlCouldNotConnect->setStyleSheet(QStringLiteral("QFrame#pnlCouldNotConnect { border: 1px solid #C0C0C0; }"));
    Image2 = Named(new QLabel(pnlCouldNotConnect), "Image2");
    Image2->setGeometry(16, 16, 32, 32);
    Image2->setPixmap(QPixmap::fromImage(tw::LoadPicture(QStringLiteral("UPDATE_WIZARD_WARNING"), devicePixelRatioF())));
    Label8 = PlainLabel(pnlCouldNotConnect, "Label8",
                        QStringLiteral("Could not connect to update server or there's no new version available.\n\n"
                                       "Please make sure you are connected to the Internet and that communication from "
                                       "Update Wizard has not been blocked by a firewall, for example."),
                        QRect(64, 16, 273, 113));
    Label8->setWordWrap(true);
    Label8->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pnlCouldNotConnect->hide();
    // The cause in plain words, above the general advice.
    lblErrorCause = PlainLabel(error, "lblErrorCause", QString(), QRect(48, 4, 353, 56));
    lblErrorCause->setWordWrap(true);
    lblErrorCause->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    lblErrorCause->hide();

    // Updates available.
    page = AddPage(PageControlMain, "tsUpdatesAvailable");
    Title(page, "Label3", QStringLiteral("List of available updates"));
    lblCurrentVersion2 = AutoLabel(page, "lblCurrentVersion2", QStringLiteral("Current installed version:"), QPoint(8, 40));
    lblLatestVersion2 = AutoLabel(page, "lblLatestVersion2", QStringLiteral("Latest available version:"), QPoint(8, 64));
    lblCurrentVersion = PlainLabel(page, "lblCurrentVersion", QStringLiteral("--"), QRect(144, 40, 320, 16));
    lblLatestVersion = PlainLabel(page, "lblLatestVersion", QStringLiteral("--"), QRect(144, 64, 320, 16));
    for (QLabel* version : {lblCurrentVersion, lblLatestVersion}) {
        QFont bold = version->font();
        bold.setBold(true);
        version->setFont(bold);
    }
    // The page lies over the four version labels.
    pnlWebBrowser = Named(new QFrame(page), "pnlWebBrowser");
    pnlWebBrowser->setGeometry(8, 32, 449, 257);
    wbWhatsNew = Named(new TPageView(pnlWebBrowser), "wbWhatsNew");
    wbWhatsNew->setGeometry(0, 0, 449, 257);
    pnlNoUpdatesFound = PlainLabel(pnlWebBrowser, "pnlNoUpdatesFound",
                                   QStringLiteral("There are no updates for your product at this time."),
                                   QRect(8, 43, 433, 41));
    pnlNoUpdatesFound->setAlignment(Qt::AlignCenter);
    framework::SetBackground(pnlNoUpdatesFound, Qt::white);
    pnlNoUpdatesFound->hide();
    lblClickNextInstall = PlainLabel(page, "lblClickNextInstall",
                                     QStringLiteral("Click \"Next >\" if you wish to continue the update process."),
                                     QRect(8, 300, 459, 16));
    // The server's own page about the update opens only when asked for.
    lblShowURL = Named(new QLabel(page), "lblShowURL");
    lblShowURL->setTextFormat(Qt::RichText);
    lblShowURL->setText(QStringLiteral("<a href=\"show\">Read more about this update in your browser</a>"));
    lblShowURL->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    lblShowURL->setFocusPolicy(Qt::StrongFocus);
    lblShowURL->setGeometry(8, 322, 459, 18);
    lblShowURL->hide();
    connect(lblShowURL, &QLabel::linkActivated, this, framework::Guarded([this] { WebUpdate->OpenShowURL(); }));

    // Downloading.
    page = AddPage(PageControlMain, "tsUpdateProgress");
    Title(page, "Label14", QStringLiteral("The updates are being downloaded"));
    lblUpdateStatus = AutoLabel(page, "lblUpdateStatus", QStringLiteral("Please wait until the download is completed."),
                                QPoint(8, 40));
    auto* GroupBox1 = Named(new QFrame(page), "GroupBox1");
    GroupBox1->setGeometry(8, 79, 441, 82);
    GroupBox1->setFrameShape(QFrame::StyledPanel);
    ProgressBar = Named(new QProgressBar(GroupBox1), "ProgressBar");
    ProgressBar->setGeometry(16, 16, 385, 17);
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    lblTotalProgress = PlainLabel(GroupBox1, "lblTotalProgress", QStringLiteral("0%"), QRect(404, 18, 34, 16));
    lblTotalProgress->setAlignment(Qt::AlignRight | Qt::AlignTop);
    AutoLabel(GroupBox1, "Label6", QStringLiteral("Estimated time left:"), QPoint(16, 40));
    lblFileSizeProgress = PlainLabel(GroupBox1, "lblFileSizeProgress", QStringLiteral("0 Bytes of 2 MB downloaded"),
                                     QRect(136, 40, 300, 16));
    AutoLabel(GroupBox1, "Label7", QStringLiteral("Transfer rate:"), QPoint(16, 56));
    lblTransferRate = PlainLabel(GroupBox1, "lblTransferRate", QStringLiteral("0 Bytes of 2 MB downloaded"),
                                 QRect(136, 56, 300, 16));
    CancelButton = Button(page, "CancelButton", QStringLiteral("Cancel Update"), QRect(320, 240, 123, 25));

    // Ready.
    page = AddPage(PageControlMain, "tsReadyToInstall");
    Title(page, "Label10", QStringLiteral("Ready to Install"));
    HTMLabelReadyToInstall = HtmlLabel(
        page, "HTMLabelReadyToInstall", QRect(8, 48, 459, 177),
        QStringLiteral("The software files were successfully downloaded to your computer. The wizard is ready to install "
                       "the {[PROGRAM_NAME]} update.<BR><BR>Note: The update requires you to restart {[PROGRAM_NAME]}."));
    RestartButton = Button(page, "RestartButton", QStringLiteral("Restart Program"), QRect(304, 240, 139, 25));

    for (tw::TTwHtmlLabel* label : {HTMLabelWelcome, HTMLabelReadyToInstall})
        label->SetFont(tw::TTwFontFromQFont(font(), tw::clBlack));

    connect(btnOptions, &QPushButton::clicked, this, framework::Guarded([this] { btnOptionsClick(); }));
    connect(CancelButton, &QPushButton::clicked, this, framework::Guarded([this] { CancelButtonClick(); }));
    connect(RestartButton, &QPushButton::clicked, this, framework::Guarded([this] { RestartButtonClick(); }));
}

void TfrmUpdateWizard::buildButtonBar() {
    auto* Panel3 = Named(new QWidget(this), "Panel3");
    Panel3->setGeometry(0, kClientSize.height() - 41, kClientSize.width(), 41);
    auto* Bevel2 = Named(new QFrame(Panel3), "Bevel2");
    Bevel2->setGeometry(0, 0, kClientSize.width(), 2);
    Bevel2->setFrameShape(QFrame::HLine);
    Bevel2->setFrameShadow(QFrame::Sunken);
    btnBack = Button(Panel3, "btnBack", QStringLiteral("< &Back"), QRect(406, 8, 75, 25));
    btnBack->setEnabled(false);
    btnNext = Button(Panel3, "btnNext", QStringLiteral("&Next >"), QRect(486, 8, 75, 25));
    btnClose = Button(Panel3, "btnClose", QStringLiteral("&Close"), QRect(574, 8, 75, 25));
    connect(btnBack, &QPushButton::clicked, this, framework::Guarded([this] { btnBackClick(); }));
    connect(btnNext, &QPushButton::clicked, this, framework::Guarded([this] { btnNextClick(); }));
    connect(btnClose, &QPushButton::clicked, this, framework::Guarded([this] { btnCloseClick(); }));
}

void TfrmUpdateWizard::bindWebUpdate() {
    WebUpdate = new TTwWebUpdate(this);
    WebUpdate->Agent = QStringLiteral("TWebUpdate");
    WebUpdate->HTTPPort = 80;
    WebUpdate->Options = {uoOverwrite};
    WebUpdate->ProductInfo.DateFormat = QStringLiteral("dd/mm/yyyy");
    WebUpdate->ProductInfo.DateSeparator = u'/';
    WebUpdate->ProductInfo.PassParameters = {ppVersion, ppBuildDate};
    WebUpdate->ProductInfo.VersionFormat = vfFileVersion;
    WebUpdate->OnAfterDownload = [this](TTwWebUpdate&, const QString& file) { TwWebUpdateAfterDownload(file); };
    WebUpdate->OnAfterGetInfo = [this](TTwWebUpdate&) { TwWebUpdateAfterGetInfo(); };
    WebUpdate->OnBeforeDownload = [this](TTwWebUpdate&, const QString&) { TwWebUpdateBeforeDownload(); };
    WebUpdate->OnBeforeGetInfo = [this](TTwWebUpdate&) { TwWebUpdateBeforeGetInfo(); };
    WebUpdate->OnBeforeShowInfo = [this](TTwWebUpdate&, bool& showInfo, bool&, const QString& infoURL) {
        TwWebUpdateBeforeShowInfo(showInfo, infoURL);
    };
    WebUpdate->OnCannotExecute = [this](TTwWebUpdate&) { TwWebUpdateCannotExecute(); };
    WebUpdate->OnDownload = [this](TTwWebUpdate&, int32_t total, int32_t downloaded, double kbps, double left) {
        TwWebUpdateDownload(total, downloaded, kbps, left);
    };
    WebUpdate->OnDownloadError = [this](TTwWebUpdate&) { TwWebUpdateDownloadError(); };
    WebUpdate->OnNoUpdateFound = [this](TTwWebUpdate&) { TwWebUpdateNoUpdateFound(); };
    WebUpdate->OnUpdateAvailable = [this](TTwWebUpdate&, const QString& current, const QString& offered,
                                          const QString& currentDate, const QString& offeredDate, bool& canUpdate) {
        TwWebUpdateUpdateAvailable(current, offered, currentDate, offeredDate, canUpdate);
    };
}

void TfrmUpdateWizard::showPage(Page page) { PageControlMain->setCurrentIndex(page); }

void TfrmUpdateWizard::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    if (QScreen* screen = this->screen(); screen && QGuiApplication::platformName() != QLatin1String("wayland")) {
        QRect outer = frameGeometry();
        outer.moveCenter(screen->availableGeometry().center());
        move(outer.topLeft());
    }
    // With auto-start the user never sees the welcome page: the checking
    // page is there from the first paint, and the check follows the timer.
    if (AutoStart) {
        showPage(tsCheckProgress);
        Timer.start();
    }
}

void TfrmUpdateWizard::reject() {
    // The transfer ends at its next poll; the window closes once it has.
    Timer.stop();
    if (WebUpdate->Busy()) WebUpdate->Abort();
    wbWhatsNew->Stop();
    QDialog::reject();
}

void TfrmUpdateWizard::TimerTimer() {
    Timer.stop();
    if (!AutoStart) return;
    showPage(tsCheckProgress);
    btnNextClick();
}

void TfrmUpdateWizard::btnNextClick() {
    if (PageControlMain->currentIndex() == tsWelcome) showPage(tsCheckProgress);
    else if (PageControlMain->currentIndex() == tsUpdatesAvailable) showPage(tsUpdateProgress);

    if (PageControlMain->currentIndex() == tsCheckProgress) {
        Notebook1->setCurrentIndex(nbWorking);
        // A check after the "Error" view shows its progress again.
        pbCheckingForUpdates->show();
        lblUpdateCheckStatus->show();
        pbCheckingForUpdates->SetAnimate(true);
        if (WebUpdate->Busy()) WebUpdate->Abort();
        if (CheckBox1->isChecked()) {
            WebUpdate->CheckForUpdatesInThread();
        } else {
            WebUpdate->CheckForUpdates();
        }
    } else if (PageControlMain->currentIndex() == tsUpdateProgress) {
        btnNext->setEnabled(false);
        // A new download is not an earlier one's cancellation.
        Cancelled_ = false;
        CancelButton->setEnabled(true);
        const QPointer<TfrmUpdateWizard> alive(this);
        const bool downloaded = WebUpdate->Download();
        if (!alive || downloaded || PageControlMain->currentIndex() != tsUpdateProgress) return;
        // Ended without an event: cancelled, or the file could not be
        // written. Close works again; a failure is said as one.
        btnClose->setEnabled(true);
        if (!Cancelled_) TwWebUpdateDownloadError();
    }
}

void TfrmUpdateWizard::btnBackClick() {
    const int page = PageControlMain->currentIndex();
    if (page == tsCheckProgress || page == tsUpdatesAvailable) {
        btnBack->setEnabled(false);
        btnNext->setEnabled(true);
        showPage(tsWelcome);
    } else if (page == tsUpdateProgress) {
        showPage(tsWelcome);
    }
}

void TfrmUpdateWizard::btnCloseClick() {
    if (!WebUpdate->Busy()) close();
}

void TfrmUpdateWizard::btnOptionsClick() {
    TUpdateWizardOptions options(this);
    options.chkCheckForUpdatesEvery->setChecked(CheckEvery);
    options.cbCheckForUpdatesEvery->setCurrentIndex(CheckEveryIndex);
    options.cbCheckForUpdatesEvery->setEnabled(options.chkCheckForUpdatesEvery->isChecked());
    options.txtProxyServer->setText(ProxyServer);
    options.txtProxyUser->setText(ProxyUser);
    options.txtProxyPwd->setText(ProxyPassword);
    framework::ShowModal(options);
    CheckEvery = options.chkCheckForUpdatesEvery->isChecked();
    CheckEveryIndex = options.cbCheckForUpdatesEvery->currentIndex();
    ProxyServer = options.txtProxyServer->text();
    ProxyUser = options.txtProxyUser->text();
    ProxyPassword = options.txtProxyPwd->text();
}

void TfrmUpdateWizard::CancelButtonClick() {
    Cancelled_ = true;
    CancelButton->setEnabled(false);
    WebUpdate->Abort();
}

void TfrmUpdateWizard::RestartButtonClick() {
    QString reason;
    if (WebUpdate->StartDownloadedUpdate(reason)) {
        framework::RequestTerminate();
        return;
    }
    framework::ShowMessage(QStringLiteral("Could not execute update file!") +
                           (reason.isEmpty() ? QString() : QStringLiteral("\n\n") + reason));
    showPage(tsWelcome);
}

void TfrmUpdateWizard::TwWebUpdateBeforeGetInfo() { Notebook1->setCurrentIndex(nbWorking); }

void TfrmUpdateWizard::TwWebUpdateAfterGetInfo() {
    showPage(tsUpdatesAvailable);
    pbCheckingForUpdates->SetAnimate(false);
}

void TfrmUpdateWizard::TwWebUpdateDownloadError() {
    showPage(tsCheckProgress);
    Notebook1->setCurrentIndex(nbError);
    pbCheckingForUpdates->hide();
    lblUpdateCheckStatus->hide();
    pnlCouldNotConnect->move(pnlCouldNotConnect->x(), 64);
    pnlCouldNotConnect->show();
    lblErrorCause->setText(WebUpdate->FailureReason());
    lblErrorCause->setVisible(!WebUpdate->FailureReason().isEmpty());
    btnBack->setEnabled(true);
    btnNext->setEnabled(false);
    btnClose->setEnabled(true);
}

void TfrmUpdateWizard::TwWebUpdateNoUpdateFound() {
    showPage(tsUpdatesAvailable);
    pnlNoUpdatesFound->show();
    lblShowURL->hide();
    for (QLabel* label : {lblCurrentVersion, lblLatestVersion, lblCurrentVersion2, lblLatestVersion2}) label->hide();
    lblClickNextInstall->setText(QStringLiteral("Click \"Finish\" to close Update Wizard."));
    btnBack->setEnabled(false);
    btnNext->setEnabled(false);
    btnClose->setEnabled(true);
}

void TfrmUpdateWizard::TwWebUpdateUpdateAvailable(const QString& currentVersion, const QString& newVersion,
                                                  const QString& currentDate, const QString& newDate, bool& canUpdate) {
    showPage(tsUpdatesAvailable);
    btnBack->setEnabled(true);
    lblCurrentVersion->setText(currentVersion + QStringLiteral(" (") + currentDate + u')');
    lblLatestVersion->setText(newVersion + QStringLiteral(" (") + newDate + u')');
    lblShowURL->setVisible(IsWebAddress(WebUpdate->ShowURL()));
    canUpdate = true;
}

void TfrmUpdateWizard::TwWebUpdateBeforeShowInfo(bool& showInfo, const QString& infoURL) {
    showInfo = false;
    HttpTransfer::Request request;
    if (WebUpdate->PageRequest(infoURL, request)) {
        wbWhatsNew->Navigate(request);
    } else {
        wbWhatsNew->ShowLoadFailure();
    }
}

void TfrmUpdateWizard::TwWebUpdateBeforeDownload() { btnClose->setEnabled(false); }

void TfrmUpdateWizard::TwWebUpdateDownload(int32_t total, int32_t downloaded, double kbps, double secondsRemaining) {
    ProgressBar->setMaximum(std::max(total, 0));
    ProgressBar->setValue(std::clamp(downloaded, 0, std::max(total, 0)));
    const DownloadProgressText text = MakeDownloadProgressText(total, downloaded, kbps, secondsRemaining);
    lblTotalProgress->setText(text.percent);
    lblFileSizeProgress->setText(text.sizes);
    lblTransferRate->setText(text.rate);
}

void TfrmUpdateWizard::TwWebUpdateAfterDownload(const QString& fileName) {
    btnClose->setEnabled(true);
    if (Cancelled_) {
        showPage(tsUpdatesAvailable);
        btnNext->setEnabled(true);
        CancelButton->setEnabled(true);
    } else {
        btnBack->setEnabled(false);
        showPage(tsReadyToInstall);
        DownloadedFile_ = fileName;
    }
}

void TfrmUpdateWizard::TwWebUpdateCannotExecute() { showPage(tsWelcome); }

}  // namespace velmora::update
