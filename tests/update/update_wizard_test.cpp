// The update wizard against the loopback servers, offscreen.
#include "update/update_wizard.h"

#include <cstdlib>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "../framework/recording_presenter.h"
#include "framework/shell_open.h"
#include "framework/velmora_application.h"
#include "loopback_servers.h"
#include "support/test_paths.h"
#include "update/download_progress_text.h"
#include "update/update_launcher.h"
#include "update/update_signature.h"
#include "update/update_wizard_options.h"

namespace velmora::update {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServers;
using Wizard = TfrmUpdateWizard;

template <class Condition>
bool ProcessUntil(Condition done, int limitMs = 20'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string InfoPage(const std::string& version, const std::string& download) {
    return "<html><head>\n<META NAME=\"wuProduct\" CONTENT=\"Velmora\">\n<META NAME=\"wuVersion\" CONTENT=\"" + version +
           "\">\n<META NAME=\"wuDownload\" CONTENT=\"" + download +
           "\">\n<META NAME=\"wuClientSideName\" CONTENT=\"server-name.sh\">\n"
           "<META NAME=\"wuManifest\" CONTENT=\"/static/velmora.manifest\">\n"
           "<META NAME=\"wuShowURL\" CONTENT=\"https://example.com/velmora/3.0.0.52\">\n"
           "<META NAME=\"wuRunParameters\" CONTENT=\"--server-chosen\">\n</head></html>\n";
}

QMenu* VisibleMenu() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* menu = qobject_cast<QMenu*>(top); menu && menu->isVisible()) return menu;
    }
    return nullptr;
}

class UpdateWizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        framework::TApplication::SetTitle(QStringLiteral("Velmora"));
        servers.TakeRequests();
        ::setenv("XDG_CACHE_HOME", (cache.path() / "cache").c_str(), 1);
        previousKey = SetUpdatePublicKey(QByteArray::fromStdString(Read(servers.Keys() / "sign.pub.der")));
        payload = "#!" + std::string(299'998, 'u');
        servers.Put("update.bin", payload);
        servers.Put("slow.bin", std::string(100, 's'));
        serveInfo("3.0.0.52", "/static/update.bin");
        servers.Put("velmora.whatsnew",
                    "<html><body><h1>What is new</h1><p>Faster cleaning.</p>"
                    "<script>document.write('ran')</script></body></html>");
    }

    void TearDown() override { SetUpdatePublicKey(previousKey); }

    // The information and, signed, the manifest of the file served at
    // `download`.
    void serveInfo(const std::string& version, const std::string& download) {
        servers.Put("velmora.info", InfoPage(version, download));
        const std::string content = Read(servers.Root() / fs::path(download).filename());
        servers.PublishManifest("velmora.manifest",
                                testing::ReleaseFields::Valid(content, "velmora-update.sh", {"--quiet"}, version).Text());
    }

    // Opens the wizard as ShowUpdateWizard does, but without blocking.
    void open(const QString& address, bool autoStart = true) {
        wizard = std::make_unique<Wizard>();
        wizard->WebUpdate->ProductInfo.SetURL(address);
        wizard->WebUpdate->CaFileForTesting = servers.CaFile();
        wizard->WebUpdate->DownloadLimits.stallMs = 5000;
        wizard->wbWhatsNew->OnPageLoaded = [this](bool ok) { pageLoads.push_back(ok); };
        wizard->AutoStart = autoStart;
        wizard->show();
    }

    int page() const { return wizard->PageControlMain->currentIndex(); }

    void checkUntilOffered() {
        open(servers.Https("/script/velmora"));
        ASSERT_TRUE(ProcessUntil([&] { return page() == Wizard::tsUpdatesAvailable && !pageLoads.empty(); }));
    }

    LoopbackServers& servers = LoopbackServers::Get();
    velmora::testing::ScopedTempDir cache;
    framework::testing::RecordingPresenter boxes;
    QStringList opened;
    framework::ScopedShellOpenHandler shell{[this](const QString& what) {
        opened << what;
        return true;
    }};
    struct Launch {
        QString file;
        QStringList arguments;
    };
    std::vector<Launch> launches;
    bool launchSucceeds = true;
    ScopedUpdateLauncher launcher{[this](const QString& file, const QStringList& arguments, QString& reason) {
        launches.push_back({file, arguments});
        if (!launchSucceeds) reason = QStringLiteral("The update could not be started: Exec format error.");
        return launchSucceeds;
    }};
    QByteArray previousKey;
    std::string payload;
    std::vector<bool> pageLoads;
    std::unique_ptr<Wizard> wizard;
};

TEST_F(UpdateWizardTest, WalksFromTheCheckToTheRestart) {
    open(servers.Https("/script/velmora"));
    // Auto-start: the checking page from the first paint.
    EXPECT_EQ(page(), Wizard::tsCheckProgress);
    ASSERT_TRUE(ProcessUntil([&] { return page() == Wizard::tsUpdatesAvailable && !pageLoads.empty(); }));
    EXPECT_TRUE(wizard->lblCurrentVersion->text().startsWith("3.0.0.51 ("));
    EXPECT_TRUE(wizard->lblLatestVersion->text().startsWith("3.0.0.52 ("));
    EXPECT_EQ(pageLoads, std::vector<bool>{true});
    // The server's page, shown and not run.
    const QString shown = wizard->wbWhatsNew->toPlainText();
    EXPECT_TRUE(shown.contains("Faster cleaning.")) << shown.toStdString();
    EXPECT_FALSE(shown.contains("ran"));
    EXPECT_TRUE(wizard->btnBack->isEnabled());
    EXPECT_TRUE(wizard->btnNext->isEnabled());
    std::vector<QString> lines;
    for (const QJsonObject& request : servers.TakeRequests()) lines.push_back(request.value("line").toString());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[0].startsWith("GET /script/velmora?checktype=info&v=3.0.0.51&d="));
    EXPECT_EQ(lines[1], "GET /static/velmora.manifest HTTP/1.0");
    EXPECT_EQ(lines[2], "GET /static/velmora.manifest.sig HTTP/1.0");
    EXPECT_TRUE(lines[3].startsWith("GET /script/velmora?checktype=whatsnew&v=3.0.0.51&d="));
    // The server's page about the update opens only when asked for.
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_TRUE(wizard->lblShowURL->isVisible());
    emit wizard->lblShowURL->linkActivated(QStringLiteral("show"));
    EXPECT_EQ(opened, QStringList{"https://example.com/velmora/3.0.0.52"});

    // The download runs inside the click, keeping the window alive.
    wizard->btnNext->click();
    EXPECT_EQ(page(), Wizard::tsReadyToInstall);
    EXPECT_EQ(Read(wizard->DownloadedFile().toStdString()), payload);
    EXPECT_EQ(wizard->lblTotalProgress->text(), "100%");
    EXPECT_TRUE(wizard->lblFileSizeProgress->text().endsWith("(292.97 KB of 292.97 KB downloaded)"))
        << wizard->lblFileSizeProgress->text().toStdString();
    EXPECT_TRUE(wizard->lblTransferRate->text().endsWith(" KB/s"));
    EXPECT_FALSE(wizard->btnBack->isEnabled());
    EXPECT_TRUE(wizard->btnClose->isEnabled());

    wizard->RestartButton->click();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].file, wizard->DownloadedFile());
    EXPECT_TRUE(wizard->DownloadedFile().endsWith("/velmora-update.sh"));  // the manifest's name
    EXPECT_EQ(launches[0].arguments, QStringList{"--quiet"});             // and its arguments, not the server's
    // The terminate request ends the application's loop at once; a backstop
    // ends it otherwise, with another code.
    QTimer backstop;
    backstop.setSingleShot(true);
    QObject::connect(&backstop, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    backstop.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(UpdateWizardTest, AnUpdateThatCannotStartSaysSoAndGoesBackToTheStart) {
    launchSucceeds = false;
    checkUntilOffered();
    wizard->btnNext->click();
    ASSERT_TRUE(ProcessUntil([&] { return page() == Wizard::tsReadyToInstall; }));
    wizard->RestartButton->click();
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].text,
              "Could not execute update file!\n\nThe update could not be started: Exec format error.");
    EXPECT_EQ(page(), Wizard::tsWelcome);
    EXPECT_TRUE(wizard->isVisible());
}

TEST_F(UpdateWizardTest, NothingNewerLeavesOnlyClose) {
    serveInfo("3.0.0.50", "/static/update.bin");
    open(servers.Http("/script/velmora"));
    ASSERT_TRUE(ProcessUntil([&] { return page() == Wizard::tsUpdatesAvailable && !wizard->WebUpdate->Busy(); }));
    EXPECT_TRUE(wizard->pnlNoUpdatesFound->isVisible());
    EXPECT_EQ(wizard->pnlNoUpdatesFound->text(), "There are no updates for your product at this time.");
    EXPECT_FALSE(wizard->lblCurrentVersion->isVisible());
    EXPECT_FALSE(wizard->lblLatestVersion2->isVisible());
    EXPECT_EQ(wizard->lblClickNextInstall->text(), "Click \"Finish\" to close Update Wizard.");
    EXPECT_FALSE(wizard->btnBack->isEnabled());
    EXPECT_FALSE(wizard->btnNext->isEnabled());
    EXPECT_TRUE(wizard->btnClose->isEnabled());
    EXPECT_TRUE(pageLoads.empty());
}

TEST_F(UpdateWizardTest, AServerThatIsDownShowsTheErrorViewAndBackAndNextCheckAgain) {
    open(QStringLiteral("http://127.0.0.1:1/script/velmora"));
    ASSERT_TRUE(ProcessUntil([&] { return wizard->Notebook1->currentIndex() == Wizard::nbError; }));
    EXPECT_EQ(page(), Wizard::tsCheckProgress);
    EXPECT_TRUE(wizard->pnlCouldNotConnect->isVisible());
    EXPECT_EQ(wizard->pnlCouldNotConnect->y(), 64);
    EXPECT_TRUE(wizard->Label8->text().startsWith("Could not connect to update server"));
    // Beside it, the cause in plain words.
    EXPECT_TRUE(wizard->lblErrorCause->isVisible());
    EXPECT_EQ(wizard->lblErrorCause->text(), "The update server could not be reached.");
    EXPECT_FALSE(wizard->pbCheckingForUpdates->isVisible());
    EXPECT_TRUE(wizard->btnBack->isEnabled());
    EXPECT_FALSE(wizard->btnNext->isEnabled());
    EXPECT_TRUE(wizard->btnClose->isEnabled());

    wizard->btnBack->click();
    EXPECT_EQ(page(), Wizard::tsWelcome);
    EXPECT_TRUE(wizard->btnNext->isEnabled());
    EXPECT_FALSE(wizard->btnBack->isEnabled());
    wizard->btnNext->click();
    // A new check shows its progress again.
    EXPECT_EQ(page(), Wizard::tsCheckProgress);
    EXPECT_EQ(wizard->Notebook1->currentIndex(), Wizard::nbWorking);
    EXPECT_TRUE(wizard->pbCheckingForUpdates->isVisible());
    EXPECT_TRUE(wizard->lblUpdateCheckStatus->isVisible());
    ASSERT_TRUE(ProcessUntil([&] { return wizard->Notebook1->currentIndex() == Wizard::nbError; }));
}

TEST_F(UpdateWizardTest, ARefusedReleaseShowsWhyInTheErrorView) {
    testing::ReleaseFields expired = testing::ReleaseFields::Valid(payload, "velmora-update.sh", {});
    expired.notAfter = testing::TodayUtc().addDays(-3);
    servers.PublishManifest("velmora.manifest", expired.Text());
    open(servers.Https("/script/velmora"));
    ASSERT_TRUE(ProcessUntil([&] { return wizard->Notebook1->currentIndex() == Wizard::nbError; }));
    EXPECT_TRUE(wizard->lblErrorCause->text().startsWith("The signed description expired on "))
        << wizard->lblErrorCause->text().toStdString();
    EXPECT_TRUE(wizard->Label8->isVisible());
    EXPECT_TRUE(pageLoads.empty());  // no what's-new page for a release that was refused
}

TEST_F(UpdateWizardTest, AnInvalidHostFailsWithoutALookup) {
    QElapsedTimer timer;
    timer.start();
    open(QStringLiteral("https://updates.velmora.invalid/assets/update/VR/Velmora3.asp"));
    ASSERT_TRUE(ProcessUntil([&] { return wizard->Notebook1->currentIndex() == Wizard::nbError; }));
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(UpdateWizardTest, AWhatsNewPageThatFailsIsNotACheckThatFailed) {
    servers.Put("velmora.whatsnew", "");
    ASSERT_TRUE(std::filesystem::remove(servers.Root() / "velmora.whatsnew"));
    checkUntilOffered();
    EXPECT_EQ(pageLoads, std::vector<bool>{false});
    EXPECT_EQ(page(), Wizard::tsUpdatesAvailable);
    EXPECT_EQ(wizard->Notebook1->currentIndex(), Wizard::nbWorking);
    EXPECT_TRUE(wizard->btnNext->isEnabled());
    EXPECT_EQ(wizard->wbWhatsNew->toPlainText(), "The description of this update could not be loaded.");
}

// Runs `act` once, from the event loop the download keeps turning, as soon
// as the first bytes have arrived.
void WhenBytesArrive(Wizard& wizard, std::function<void()> act) {
    auto* poll = new QTimer(&wizard);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, &wizard, act] {
        if (wizard.ProgressBar->value() <= 0) return;
        poll->stop();
        poll->deleteLater();
        act();
    });
    poll->start();
}

TEST_F(UpdateWizardTest, CancelDuringTheDownloadStopsItAndStaysOnItsPage) {
    serveInfo("3.0.0.52", "/drip/slow.bin");
    checkUntilOffered();
    bool closeWasOff = false;
    WhenBytesArrive(*wizard, [&] {
        closeWasOff = !wizard->btnClose->isEnabled();
        wizard->CancelButton->click();
    });
    QElapsedTimer timer;
    timer.start();
    wizard->btnNext->click();
    EXPECT_LT(timer.elapsed(), 3000);  // the drip would take 5 s
    EXPECT_TRUE(closeWasOff);
    EXPECT_TRUE(wizard->Cancelled());
    EXPECT_FALSE(wizard->CancelButton->isEnabled());
    EXPECT_FALSE(wizard->WebUpdate->Busy());
    EXPECT_EQ(page(), Wizard::tsUpdateProgress);
    EXPECT_FALSE(wizard->btnNext->isEnabled());
    EXPECT_TRUE(wizard->btnBack->isEnabled());
    EXPECT_FALSE(fs::exists(cache.path() / "cache" / "velmora" / "updates" / "velmora-update.sh"));

    // Close works again once the transfer has ended; Back leads to the start.
    EXPECT_TRUE(wizard->btnClose->isEnabled());
    wizard->btnBack->click();
    EXPECT_EQ(page(), Wizard::tsWelcome);
    EXPECT_FALSE(wizard->btnNext->isEnabled());
    wizard->btnClose->click();
    EXPECT_FALSE(wizard->isVisible());
}

TEST_F(UpdateWizardTest, ACancelThatCameTooLateGoesBackAndANewDownloadIsNotCancelled) {
    checkUntilOffered();
    wizard->btnNext->setEnabled(false);
    // Everything had arrived when the abort came: the download still ends.
    wizard->CancelButtonClick();
    wizard->TwWebUpdateAfterDownload(QStringLiteral("/nowhere"));
    EXPECT_EQ(page(), Wizard::tsUpdatesAvailable);
    EXPECT_TRUE(wizard->btnNext->isEnabled());
    EXPECT_TRUE(wizard->CancelButton->isEnabled());
    wizard->btnNext->click();
    EXPECT_FALSE(wizard->Cancelled());
    EXPECT_EQ(page(), Wizard::tsReadyToInstall);
    EXPECT_EQ(Read(wizard->DownloadedFile().toStdString()), payload);
}

TEST_F(UpdateWizardTest, CloseIsRefusedWhileBusyAndTheCloseBoxAbortsAndCloses) {
    serveInfo("3.0.0.52", "/drip/slow.bin");
    checkUntilOffered();
    bool visibleAfterClose = false, busyAfterClose = false, hiddenAfterCloseBox = false;
    WhenBytesArrive(*wizard, [&] {
        wizard->btnCloseClick();
        visibleAfterClose = wizard->isVisible();
        busyAfterClose = wizard->WebUpdate->Busy();
        wizard->close();  // the close box
        hiddenAfterCloseBox = !wizard->isVisible();
    });
    QElapsedTimer timer;
    timer.start();
    wizard->btnNext->click();
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_TRUE(busyAfterClose);
    EXPECT_TRUE(hiddenAfterCloseBox);
    EXPECT_FALSE(wizard->WebUpdate->Busy());
    EXPECT_EQ(wizard->DownloadedFile(), QString());
}

TEST_F(UpdateWizardTest, ClosingWhileThePageLoadsDropsIt) {
    servers.Put("slow.html", std::string(60, 'w'));  // three seconds of drip
    open(servers.Http("/script/velmora"), false);
    bool showInfo = true;
    wizard->TwWebUpdateBeforeShowInfo(showInfo, servers.Http("/drip/slow.html"));
    EXPECT_FALSE(showInfo);
    EXPECT_TRUE(wizard->wbWhatsNew->Loading());
    QTest::qWait(200);
    wizard->close();
    EXPECT_FALSE(wizard->wbWhatsNew->Loading());
    QTest::qWait(3500);
    EXPECT_TRUE(pageLoads.empty());
}

TEST_F(UpdateWizardTest, ADownloadThatCannotBeWrittenShowsTheErrorView) {
    checkUntilOffered();
    // The file cannot be written: a folder stands where its part file goes.
    const fs::path updates = cache.path() / "cache" / "velmora" / "updates";
    fs::create_directories(updates / "velmora-update.sh.part" / "inside");
    fs::permissions(updates, fs::perms::owner_all);
    fs::permissions(updates.parent_path(), fs::perms::owner_all);
    wizard->btnNext->click();
    EXPECT_EQ(page(), Wizard::tsCheckProgress);
    EXPECT_EQ(wizard->Notebook1->currentIndex(), Wizard::nbError);
    EXPECT_TRUE(wizard->btnClose->isEnabled());
    EXPECT_TRUE(wizard->btnBack->isEnabled());
}

TEST_F(UpdateWizardTest, TheWelcomeAndReadyTextsNameTheProgramAndTheMaker) {
    open(servers.Http("/script/velmora"), false);
    EXPECT_EQ(page(), Wizard::tsWelcome);
    QTest::qWait(300);
    EXPECT_EQ(page(), Wizard::tsWelcome);  // without auto-start nothing moves
    const QString welcome = wizard->HTMLabelWelcome->Caption();
    EXPECT_TRUE(welcome.contains("your Ternwick products")) << welcome.toStdString();
    EXPECT_TRUE(welcome.contains("If an update is available for Velmora,"));
    EXPECT_FALSE(welcome.contains("{["));
    EXPECT_EQ(wizard->HTMLabelReadyToInstall->Caption().count("Velmora"), 2);
    EXPECT_TRUE(wizard->Label4->text().contains("for your Ternwick product."));
    EXPECT_FALSE(wizard->btnOptions->isVisible());
    EXPECT_FALSE(wizard->btnBack->isEnabled());
    EXPECT_EQ(wizard->windowTitle(), "Update Wizard");
    EXPECT_EQ(wizard->size(), QSize(659, 420));
}

TEST_F(UpdateWizardTest, ServerTextIsShownAsWritten) {
    open(servers.Http("/script/velmora"), false);
    bool canUpdate = false;
    wizard->TwWebUpdateUpdateAvailable("<b>3</b>", "<img src=x>", "&amp;", "<i>d</i>", canUpdate);
    EXPECT_TRUE(canUpdate);
    for (QLabel* label : {wizard->lblCurrentVersion, wizard->lblLatestVersion}) EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(wizard->lblCurrentVersion->text(), "<b>3</b> (&amp;)");
    EXPECT_EQ(wizard->lblLatestVersion->text(), "<img src=x> (<i>d</i>)");
}

TEST_F(UpdateWizardTest, TheWhatsNewViewBlendsIntoTheDialog) {
    open(servers.Http("/script/velmora"), false);
    shared::DocHostUiInfo info;
    EXPECT_EQ(wizard->BrowserHost().GetHostInfo(info), shared::kHostOk);
    EXPECT_EQ(info.dwFlags, 0x40005u);
    EXPECT_EQ(info.cbSize, 20u);
    EXPECT_TRUE(info.pchHostCss.isEmpty());
    TPageView* view = wizard->wbWhatsNew;
    EXPECT_EQ(view->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(view->textInteractionFlags(), Qt::LinksAccessibleByMouse);
    EXPECT_EQ(view->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    // A right click shows no menu at all.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10), view->mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(view->viewport(), &click);
    QCoreApplication::processEvents();
    EXPECT_EQ(VisibleMenu(), nullptr);
}

TEST_F(UpdateWizardTest, OptionsAreKeptWhileTheWizardIsOpen) {
    open(servers.Http("/script/velmora"), false);
    QTimer::singleShot(0, [&] {
        auto* options = wizard->findChild<TUpdateWizardOptions*>();
        ASSERT_NE(options, nullptr);
        EXPECT_FALSE(options->cbCheckForUpdatesEvery->isEnabled());
        EXPECT_EQ(options->cbCheckForUpdatesEvery->count(), 5);
        options->chkCheckForUpdatesEvery->click();
        EXPECT_TRUE(options->cbCheckForUpdatesEvery->isEnabled());
        options->cbCheckForUpdatesEvery->setCurrentIndex(3);
        options->txtProxyServer->setText("proxy:8080");
        options->txtProxyPwd->setText("secret");
        EXPECT_EQ(options->txtProxyPwd->echoMode(), QLineEdit::Password);
        options->btnCancel->click();  // whichever button: the values come back
    });
    wizard->btnOptionsClick();
    EXPECT_TRUE(wizard->CheckEvery);
    EXPECT_EQ(wizard->CheckEveryIndex, 3);
    EXPECT_EQ(wizard->ProxyServer, "proxy:8080");
    EXPECT_EQ(wizard->ProxyPassword, "secret");
    EXPECT_EQ(wizard->ProxyUser, "");
}

TEST(DownloadProgressText, ReadsAsDesigned) {
    struct Case {
        int32_t total, downloaded;
        double kbps, seconds;
        const char *percent, *sizes, *rate;
    };
    const Case cases[] = {
        {2 * 1024 * 1024, 512 * 1024, 100, 15, "25%", "15 sec (512.00 KB of 2.00 MB downloaded)", "100 KB/s"},
        {2 * 1024 * 1024, 2 * 1024 * 1024, 99.6, 0.4, "100%", "0 sec (2.00 MB of 2.00 MB downloaded)", "100 KB/s"},
        {3, 1, 0, 125, "33%", "2 min 5 sec (1.00 Bytes of 3.00 Bytes downloaded)", "0 KB/s"},
        // More than announced never reads past full.
        {100, 150, 1, 0, "100%", "0 sec (150.00 Bytes of 100.00 Bytes downloaded)", "1 KB/s"},
        // No length yet: no division by zero.
        {0, 1025, 1.2, 59.6, "0%", "1 min 0 sec (1.00 KB of  downloaded)", "1 KB/s"},
    };
    for (const Case& c : cases) {
        const DownloadProgressText text = MakeDownloadProgressText(c.total, c.downloaded, c.kbps, c.seconds);
        EXPECT_EQ(text.percent, c.percent) << c.sizes;
        EXPECT_EQ(text.sizes, c.sizes);
        EXPECT_EQ(text.rate, c.rate) << c.sizes;
    }
    EXPECT_EQ(RemainingTimeText(42), "42 sec");
    EXPECT_EQ(RemainingTimeText(65), "1 min 5 sec");
    EXPECT_EQ(RemainingTimeText(125), "2 min 5 sec");
}

}  // namespace
}  // namespace velmora::update
