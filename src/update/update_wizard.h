#pragma once

#include <cstdint>
#include <memory>

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <QTimer>

#include "components/d_progress_bar.h"
#include "components/tw/html_label.h"
#include "components/tw/tw_shader.h"
#include "shared/units/wb_container.h"
#include "update/page_view.h"
#include "update/web_update.h"

namespace velmora::update {

// The modal dialog that checks for, downloads and starts an update, page by
// page. It owns its web-update component and turns the component's events
// into page changes. Control names are the object names, so tests and
// screenshots find every control.
class TfrmUpdateWizard : public QDialog {
public:
    explicit TfrmUpdateWizard(QWidget* parent = nullptr);
    ~TfrmUpdateWizard() override;

    enum Page { tsWelcome, tsCheckProgress, tsUpdatesAvailable, tsUpdateProgress, tsReadyToInstall };
    enum NotebookPage { nbWorking, nbError };

    TTwWebUpdate* WebUpdate = nullptr;
    // Skip the welcome page and check as soon as the window shows.
    bool AutoStart = false;
    const QString& DownloadedFile() const { return DownloadedFile_; }
    bool Cancelled() const { return Cancelled_; }
    shared::TWBContainer& BrowserHost() { return *BrowserHost_; }

    QStackedWidget* PageControlMain = nullptr;
    tw::TTwShader* TwShader1 = nullptr;
    QLabel* Image1 = nullptr;
    // Welcome.
    tw::TTwHtmlLabel* HTMLabelWelcome = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* btnOptions = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    // Checking.
    QLabel* Label4 = nullptr;
    QStackedWidget* Notebook1 = nullptr;
    components::TDProgressBar* pbCheckingForUpdates = nullptr;
    QLabel* lblUpdateCheckStatus = nullptr;
    QFrame* pnlCouldNotConnect = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* lblErrorCause = nullptr;
    // Updates available.
    QLabel* lblCurrentVersion2 = nullptr;
    QLabel* lblLatestVersion2 = nullptr;
    QLabel* lblCurrentVersion = nullptr;
    QLabel* lblLatestVersion = nullptr;
    QFrame* pnlWebBrowser = nullptr;
    TPageView* wbWhatsNew = nullptr;
    QLabel* pnlNoUpdatesFound = nullptr;
    QLabel* lblClickNextInstall = nullptr;
    QLabel* lblShowURL = nullptr;
    // Downloading.
    QLabel* lblUpdateStatus = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* lblTotalProgress = nullptr;
    QLabel* lblFileSizeProgress = nullptr;
    QLabel* lblTransferRate = nullptr;
    QPushButton* CancelButton = nullptr;
    // Ready.
    tw::TTwHtmlLabel* HTMLabelReadyToInstall = nullptr;
    QPushButton* RestartButton = nullptr;
    // Button bar.
    QPushButton* btnBack = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnClose = nullptr;
    QTimer Timer;

    void TimerTimer();
    void btnBackClick();
    void btnNextClick();
    void btnCloseClick();
    void btnOptionsClick();
    void CancelButtonClick();
    void RestartButtonClick();

    void TwWebUpdateBeforeGetInfo();
    void TwWebUpdateAfterGetInfo();
    void TwWebUpdateDownloadError();
    void TwWebUpdateNoUpdateFound();
    void TwWebUpdateUpdateAvailable(const QString& currentVersion, const QString& newVersion, const QString& currentDate,
                                    const QString& newDate, bool& canUpdate);
    void TwWebUpdateBeforeShowInfo(bool& showInfo, const QString& infoURL);
    void TwWebUpdateBeforeDownload();
    void TwWebUpdateDownload(int32_t total, int32_t downloaded, double kbps, double secondsRemaining);
    void TwWebUpdateAfterDownload(const QString& fileName);
    void TwWebUpdateCannotExecute();

    // The options dialog's values, kept while the wizard is open; nothing
    // reads or stores them.
    bool CheckEvery = false;
    int32_t CheckEveryIndex = 0;
    QString ProxyServer, ProxyUser, ProxyPassword;

    // Escape and the title-bar close: a running transfer is aborted first.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildPages();
    void buildButtonBar();
    void bindWebUpdate();
    void showPage(Page page);

    bool Cancelled_ = false;
    QString DownloadedFile_;
    std::unique_ptr<shared::TWBContainer> BrowserHost_;
};

}  // namespace velmora::update
