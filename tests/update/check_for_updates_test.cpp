// The scheduled update check: when it is due, what it asks, what it opens.
#include "update/check_for_updates.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QElapsedTimer>
#include <QTimer>

#include "../framework/recording_presenter.h"
#include "framework/velmora_application.h"
#include "loopback_servers.h"
#include "support/test_paths.h"
#include "update/update_wizard.h"

namespace velmora::update {
namespace {

using testing::LoopbackServers;

double Day(int year, int month, int day, double hours = 0) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(year, month, day))) + hours / 24.0;
}

TEST(IsUpdateCheckDue, FollowsTheFrequencyRules) {
    // 2026-12-07 is a Monday, 2026-12-01 the first of its month.
    struct Case {
        const char* what;
        double now, last;
        uint8_t frequency;
        bool due;
    };
    const double monday = Day(2026, 12, 7, 10);
    const Case cases[] = {
        {"every start, even just after one", monday, monday, 0, true},
        {"daily, 23 hours later", monday, monday - 23.0 / 24, 1, false},
        {"daily, 25 hours later", monday, monday - 25.0 / 24, 1, true},
        {"daily, exactly a day later", monday, monday - 1.0, 1, false},
        {"three days, 2.9 days later", monday, monday - 2.9, 2, false},
        {"three days, 3.1 days later", monday, monday - 3.1, 2, true},
        {"Mondays, earlier the same Monday", monday, Day(2026, 12, 7, 1), 3, false},
        {"Mondays, last on the Sunday before", monday, Day(2026, 12, 6, 23), 3, true},
        {"Mondays, on a Tuesday", Day(2026, 12, 8, 10), Day(2026, 11, 1), 3, false},
        {"first of the month, later that day", Day(2026, 12, 1, 10), Day(2026, 12, 1, 9), 4, true},
        {"first of the month, the same moment", Day(2026, 12, 1, 10), Day(2026, 12, 1, 10), 4, false},
        {"first of the month, on the second", Day(2026, 12, 2, 10), Day(2026, 10, 1), 4, false},
        {"an unknown code", monday, 0, 5, false},
        {"the largest code", monday, 0, 255, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsUpdateCheckDue(c.now, c.last, c.frequency), c.due) << c.what;
}

// Answers the dialogs of a running check: the question through the box
// presenter; the wizard, when it opens, is looked at and closed.
class ScheduledCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        framework::TApplication::SetTitle(QStringLiteral("Velmora"));
        ::setenv("XDG_CACHE_HOME", (cache.path() / "cache").c_str(), 1);
        servers.TakeRequests();
        servers.Put("velmora.info",
                    "<META NAME=\"wuProduct\" CONTENT=\"Velmora\">\n<META NAME=\"wuVersion\" CONTENT=\"3.0.0.52\">\n"
                    "<META NAME=\"wuDownload\" CONTENT=\"/static/update.bin\">\n"
                    "<META NAME=\"wuClientSideName\" CONTENT=\"update.bin\">\n");
        servers.Put("velmora.whatsnew", "<p>new</p>");
        servers.Put("update.bin", "payload");
        servers.Put("old.info", "<META NAME=\"wuProduct\" CONTENT=\"Velmora\">\n<META NAME=\"wuVersion\" CONTENT=\"1.0.0.0\">\n");
    }

    static QString BottomText() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "UpdateCheckProgress" && top->isVisible())
                return top->findChild<QLabel*>("lblBottom")->text();
        }
        return QString();
    }

    LoopbackServers& servers = LoopbackServers::Get();
    velmora::testing::ScopedTempDir cache;
    ScopedUpdateCaFile ca{servers.CaFile()};
    const double now = Day(2026, 12, 7, 12);
    ScopedUpdateClock clock{[this] { return now; }};
};

TEST_F(ScheduledCheckTest, NotDueAsksNobody) {
    framework::testing::RecordingPresenter boxes(7);
    double last = now - 0.5;
    ScheduledUpdateCheck(servers.Http("/script/velmora"), last, ufDaily);
    EXPECT_EQ(last, now - 0.5);
    EXPECT_TRUE(servers.TakeRequests().empty());
    EXPECT_TRUE(boxes.Requests().empty());
    // The address still replaces the program's one.
    EXPECT_EQ(UpdateURL(), servers.Http("/script/velmora"));
}

TEST_F(ScheduledCheckTest, AnUpdateFoundIsOfferedAndNoEndsIt) {
    framework::testing::RecordingPresenter boxes(7);
    double last = 0;
    ScheduledUpdateCheck(servers.Https("/script/velmora"), last, ufEveryStart);
    EXPECT_EQ(last, now);
    ASSERT_EQ(boxes.Requests().size(), 1u);
    const framework::MessageBoxRequest& question = boxes.Requests()[0];
    EXPECT_EQ(question.text,
              "A new version of Velmora is available as a downloadable update.\n\nWould you like to update now?");
    EXPECT_EQ(question.icon, QMessageBox::Information);
    ASSERT_EQ(question.buttons.size(), 2u);
    EXPECT_EQ(question.buttons[0].result, 6);
    EXPECT_EQ(question.buttons[1].result, 7);
    EXPECT_EQ(servers.TakeRequests().size(), 1u);  // the information request alone
    EXPECT_TRUE(BottomText().isEmpty());           // the progress window is gone
    EXPECT_FALSE(UpdateCheckRunning());
}

TEST_F(ScheduledCheckTest, YesOpensTheWizardWhichChecksAtOnceOverTheProgressWindow) {
    framework::testing::RecordingPresenter boxes(6);
    bool sawWizard = false, autoStart = false, progressBehind = false;
    int wizardPage = -1;
    QTimer look;
    look.setInterval(50);
    QObject::connect(&look, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* wizard = dynamic_cast<TfrmUpdateWizard*>(top);
            if (wizard == nullptr || !wizard->isVisible()) continue;
            sawWizard = true;
            autoStart = wizard->AutoStart;
            progressBehind = BottomText() == "New Update found...";
            if (wizard->PageControlMain->currentIndex() == TfrmUpdateWizard::tsUpdatesAvailable &&
                !wizard->WebUpdate->Busy()) {
                wizardPage = wizard->PageControlMain->currentIndex();
                wizard->close();
            }
        }
    });
    look.start();
    double last = 0;
    ScheduledUpdateCheck(servers.Http("/script/velmora"), last, ufEveryStart);
    EXPECT_TRUE(sawWizard);
    EXPECT_TRUE(autoStart);
    EXPECT_TRUE(progressBehind);
    EXPECT_EQ(wizardPage, TfrmUpdateWizard::tsUpdatesAvailable);
    EXPECT_EQ(last, now);
    EXPECT_TRUE(BottomText().isEmpty());
    // The wizard asked the same script: the address carried over.
    const auto requests = servers.TakeRequests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_TRUE(requests[1].value("line").toString().startsWith("GET /script/velmora?checktype=info"));
}

TEST_F(ScheduledCheckTest, NothingNewerSaysSoForASecondAndAsksNothing) {
    framework::testing::RecordingPresenter boxes(6);
    QString seen;
    QTimer look;
    look.setInterval(100);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (const QString text = BottomText(); !text.isEmpty()) seen = text;
    });
    look.start();
    double last = 0;
    for (const QString& address : {servers.Http("/script/old"), QStringLiteral("http://127.0.0.1:1/script/velmora")}) {
        seen.clear();
        ScheduledUpdateCheck(address, last, ufEveryStart);
        EXPECT_EQ(seen, "No updates available at this time.") << address.toStdString();
        EXPECT_EQ(last, now);
    }
    EXPECT_TRUE(boxes.Requests().empty());
}

TEST_F(ScheduledCheckTest, AServerThatHoldsTheCheckMeetsItsDeadlineOrTheCloseBox) {
    // Slow META redirections, and a server that never answers.
    servers.Put("hop.info", "<META NAME=\"wuRedirection\" CONTENT=\"" +
                                servers.Http("/sleep/300/script/hop").toStdString() + "\">\n");
    ScopedStartupCheckDeadline deadline{1000};
    struct Case {
        const char* name;
        QString address;
        bool closeBox;
        int withinMs;
    };
    const Case cases[] = {
        {"redirections past the deadline", servers.Http("/script/hop"), false, 1000 + 1000 + 1500},
        {"no answer, until the deadline", servers.Http("/hang/x"), false, 1000 + 1000 + 1500},
        // Closed at 200 ms: over at once, without the second of "No updates".
        {"no answer, and the close box", servers.Http("/hang/x"), true, 200 + 800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        framework::testing::RecordingPresenter boxes(6);
        QTimer closer;
        closer.setSingleShot(true);
        QObject::connect(&closer, &QTimer::timeout, [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == "UpdateCheckProgress" && top->isVisible()) top->close();
        });
        if (c.closeBox) closer.start(200);
        QElapsedTimer elapsed;
        elapsed.start();
        double last = 0;
        ScheduledUpdateCheck(c.address, last, ufEveryStart);
        EXPECT_LT(elapsed.elapsed(), c.withinMs);
        EXPECT_TRUE(boxes.Requests().empty());
        EXPECT_FALSE(UpdateCheckRunning());
        EXPECT_TRUE(BottomText().isEmpty());
    }
}

TEST_F(ScheduledCheckTest, OtherWindowsAreDisabledMeanwhileAndEnabledAfter) {
    framework::testing::RecordingPresenter boxes(7);
    QWidget other;
    other.show();
    QWidget alreadyOff;
    alreadyOff.setEnabled(false);
    alreadyOff.show();
    bool otherWasOff = false;
    QTimer look;
    look.setInterval(50);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (UpdateCheckRunning()) otherWasOff |= !other.isEnabled();
    });
    look.start();
    double last = 0;
    ScheduledUpdateCheck(servers.Http("/script/old"), last, ufEveryStart);
    EXPECT_TRUE(otherWasOff);
    EXPECT_TRUE(other.isEnabled());
    EXPECT_FALSE(alreadyOff.isEnabled());
}

}  // namespace
}  // namespace velmora::update
