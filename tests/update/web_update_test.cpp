// The web-update component against real loopback servers.
#include "update/web_update.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QLocale>
#include <QTimer>

#include "framework/shell_open.h"
#include "loopback_servers.h"
#include "support/test_paths.h"
#include "update/update_files.h"
#include "update/update_launcher.h"
#include "version/program_version.h"

namespace velmora::update {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServers;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

QString Header(const QJsonObject& request, const QString& name) {
    for (const QJsonValue& pair : request.value("headers").toArray()) {
        if (pair.toArray().at(0).toString().compare(name, Qt::CaseInsensitive) == 0) return pair.toArray().at(1).toString();
    }
    return QString();
}

std::string InfoPage(const std::string& version, const std::string& download, const std::string& clientName,
                     const std::string& extra = "") {
    return "<html><head>\n<META NAME=\"wuProduct\" CONTENT=\"Velmora\">\n<META NAME=\"wuVersion\" CONTENT=\"" + version +
           "\">\n<META NAME=\"wuDownload\" CONTENT=\"" + download + "\">\n<META NAME=\"wuClientSideName\" CONTENT=\"" +
           clientName + "\">\n" + extra + "</head><body>Velmora " + version + "</body></html>\n";
}

class WebUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        servers.TakeRequests();
        ::setenv("XDG_CACHE_HOME", (cache.path() / "cache").c_str(), 1);
        component.ProductInfo.SetURL(servers.Http("/static/info.html"));
        component.Options = {uoOverwrite};
        component.CaFileForTesting = servers.CaFile();
        component.InfoLimits.stallMs = 3000;
        component.DownloadLimits.stallMs = 3000;
        component.OnDownloadError = [this](TTwWebUpdate&) { events.push_back("DownloadError"); };
        component.OnNoUpdateFound = [this](TTwWebUpdate&) { events.push_back("NoUpdateFound"); };
        component.OnBeforeGetInfo = [this](TTwWebUpdate&) { events.push_back("BeforeGetInfo"); };
        component.OnAfterGetInfo = [this](TTwWebUpdate&) { events.push_back("AfterGetInfo"); };
        component.OnUpdateAvailable = [this](TTwWebUpdate&, const QString&, const QString&, const QString&,
                                             const QString& newDate, bool&) {
            events.push_back("UpdateAvailable");
            offeredDate = newDate;
        };
        component.OnBeforeShowInfo = [this](TTwWebUpdate&, bool&, bool&, const QString& address) {
            events.push_back("BeforeShowInfo");
            whatsNew = address;
        };
        component.OnCannotExecute = [this](TTwWebUpdate&) { events.push_back("CannotExecute"); };
        component.OnAfterDownload = [this](TTwWebUpdate&, const QString&) { events.push_back("AfterDownload"); };
        payload = std::string(5000, 'u');
        servers.Put("update.bin", payload);
    }

    void serveInfo(const std::string& version, const std::string& download = "/static/update.bin",
                   const std::string& clientName = "update.bin", const std::string& extra = "") {
        servers.Put("info.html", InfoPage(version, download, clientName, extra));
    }

    // Events without the per-chunk progress.
    std::vector<std::string> events;
    QString offeredDate, whatsNew;
    std::string payload;
    LoopbackServers& servers = LoopbackServers::Get();
    velmora::testing::ScopedTempDir cache;
    velmora::framework::ScopedShellOpenHandler shell{[this](const QString& what) {
        opened << what;
        return true;
    }};
    QStringList opened;
    TTwWebUpdate component;
};

TEST_F(WebUpdateTest, AskesWithTheDesignedRequestAndAnnouncesANewerVersion) {
    serveInfo("3.0.0.52");
    int chunks = 0, pumps = 0;
    component.OnDownload = [&](TTwWebUpdate&, int32_t, int32_t, double, double) { ++chunks; };
    component.ProcessMessages = [&] { ++pumps; };
    ASSERT_TRUE(HttpTransfer::ResolverIsAsynchronous());
    ASSERT_TRUE(component.CheckForUpdates());
    EXPECT_GT(pumps, chunks);  // before connecting, and around every piece
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeGetInfo", "AfterGetInfo", "UpdateAvailable", "BeforeShowInfo"}));
    EXPECT_GE(chunks, 1);
    EXPECT_EQ(component.CurrentVersion(), "3.0.0.51");
    EXPECT_FALSE(component.Busy());

    const auto requests = servers.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    const QString days = QString::number(static_cast<qint64>(component.BuildDate()));
    EXPECT_EQ(requests[0].value("line").toString(),
              "GET /static/info.html?checktype=info&v=3.0.0.51&d=" + days + " HTTP/1.0");
    EXPECT_EQ(Header(requests[0], "User-Agent"), "TWebUpdate");
    EXPECT_EQ(Header(requests[0], "Pragma"), "no-cache");
    EXPECT_EQ(Header(requests[0], "Cache-Control"), "no-cache");
    EXPECT_EQ(Header(requests[0], "Accept-Encoding"), "");
    EXPECT_EQ(Header(requests[0], "Authorization"), "");
    EXPECT_EQ(whatsNew, servers.Http("/static/info.html") + "?checktype=whatsnew&v=3.0.0.51&d=" + days);
}

TEST_F(WebUpdateTest, TheBuildDayIsWrittenInAsciiDigitsWhateverTheLocale) {
    serveInfo("3.0.0.51");
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    component.CheckForUpdates();
    QLocale::setDefault(before);
    const auto requests = servers.TakeRequests();
    ASSERT_FALSE(requests.empty());
    const QString line = requests[0].value("line").toString();
    EXPECT_TRUE(line.contains(QRegularExpression("&d=[0-9]+ HTTP/1.0$"))) << line.toStdString();
}

TEST_F(WebUpdateTest, ComparesVersionsByEveryFormat) {
    struct Case {
        const char* name;
        TWuVersionFormat format;
        const char* installed;
        const char* offered;
        bool newer;
    };
    const Case cases[] = {
        {"file version newer", vfFileVersion, "", "3.0.0.52", true},
        {"file version equal", vfFileVersion, "", "3.0.0.51", false},
        {"file version older", vfFileVersion, "", "2.9", false},
        {"file version unknown", vfFileVersion, "", "next", false},
        {"standard newer component", vfStandard, "1.2", "1.2.1", true},
        {"standard missing is zero", vfStandard, "1.2", "1.2.0", false},
        {"standard older", vfStandard, "1.2.1", "1.2", false},
        {"string ordinal", vfString, "1.9", "1.10", false},
        {"string newer", vfString, "a", "b", true},
        {"number newer", vfNumber, "3.5", "3.25e1", true},
        {"number unreadable", vfNumber, "3.5", "3.6 beta", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        serveInfo(test.offered);
        component.ProductInfo.VersionFormat = test.format;
        component.ProductInfo.Version = test.installed;
        events.clear();
        EXPECT_EQ(component.CheckForUpdates(), test.newer);
        EXPECT_EQ(std::count(events.begin(), events.end(), "NoUpdateFound"), test.newer ? 0 : 1);
    }
}

TEST_F(WebUpdateTest, AServerDateAfterTheBuildDayAnnouncesAnUpdate) {
    const QDate build = QDate(1899, 12, 30).addDays(static_cast<qint64>(
        std::floor(version::ImageBuildDate(version::OwnExecutablePath()))));
    const std::string tomorrow = build.addDays(1).toString("dd/MM/yyyy").toStdString();
    serveInfo("3.0.0.51", "/static/update.bin", "update.bin", "<META NAME=\"wuDate\" CONTENT=\"" + tomorrow + "\">\n");
    EXPECT_TRUE(component.CheckForUpdates());
    EXPECT_EQ(offeredDate, QLocale().toString(build.addDays(1), QLocale::ShortFormat));

    serveInfo("3.0.0.51", "/static/update.bin", "update.bin", "<META NAME=\"wuDate\" CONTENT=\"2012-10-29\">\n");
    EXPECT_FALSE(component.CheckForUpdates());  // unreadable: 1 January 1980
}

TEST_F(WebUpdateTest, RepliesThatAreNoAnswerFail) {
    serveInfo("3.0.0.52");
    const std::pair<const char*, const char*> cases[] = {
        {"missing page", "/static/none.html"}, {"forbidden", "/status/403"}, {"server error", "/status/500"},
        {"too long a reply", "/huge/x"},       {"endless redirection", "/loop"},
        {"a length past 2^31-1", "/hugelength/x"},
        {"cut off before its length", "/drop/info.html"},
    };
    for (const auto& [name, path] : cases) {
        SCOPED_TRACE(name);
        component.ProductInfo.SetURL(servers.Http(path));
        events.clear();
        EXPECT_FALSE(component.CheckForUpdates());
        EXPECT_EQ(std::count(events.begin(), events.end(), "DownloadError"), 2);  // the transfer's and the check's
        EXPECT_FALSE(component.Busy());
    }
    servers.Put("noproduct.html", "<META NAME=\"wuVersion\" CONTENT=\"9.0\">\n");
    component.ProductInfo.SetURL(servers.Http("/static/noproduct.html"));
    events.clear();
    EXPECT_FALSE(component.CheckForUpdates());
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeGetInfo", "AfterGetInfo", "DownloadError"}));
}

TEST_F(WebUpdateTest, ATextReplyWithoutLengthStillCounts) {
    serveInfo("3.0.0.52");
    component.ProductInfo.SetURL(servers.Http("/nolength/info.html"));
    EXPECT_TRUE(component.CheckForUpdates());
}

TEST_F(WebUpdateTest, FollowsAMetaRedirectionToAnotherBaseWithTheSameQuery) {
    servers.Put("first.html", "<META NAME=\"wuRedirection\" CONTENT=\"" + servers.Http("/static/second.html").toStdString() +
                                  "\">\n");
    servers.Put("second.html", InfoPage("3.0.0.52", "/static/update.bin", "update.bin"));
    component.ProductInfo.SetURL(servers.Http("/static/first.html"));
    EXPECT_TRUE(component.CheckForUpdates());
    const auto requests = servers.TakeRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].value("line").toString().startsWith("GET /static/second.html?checktype=info&v=3.0.0.51&d="));
}

TEST_F(WebUpdateTest, AnEndlessChainOfMetaRedirectionsEnds) {
    servers.Put("ping.html", "<META NAME=\"wuRedirection\" CONTENT=\"" + servers.Http("/static/pong.html").toStdString() + "\">\n");
    servers.Put("pong.html", "<META NAME=\"wuRedirection\" CONTENT=\"" + servers.Http("/static/ping.html").toStdString() + "\">\n");
    component.ProductInfo.SetURL(servers.Http("/static/ping.html"));
    EXPECT_FALSE(component.CheckForUpdates());
    EXPECT_LE(servers.TakeRequests().size(), 9u);
    EXPECT_FALSE(component.Busy());
}

TEST_F(WebUpdateTest, AnExternalVersionFileGivesTheInstalledVersion) {
    serveInfo("3.0.0.52");
    component.ProductInfo.VersionFormat = vfExternalFileVersion;
    component.ProductInfo.ExternalVersionFileName = QString::fromStdString(version::OwnExecutablePath().string());
    EXPECT_TRUE(component.CheckForUpdates());
    EXPECT_EQ(component.CurrentVersion(), "3.0.0.51");

    component.ProductInfo.ExternalVersionFileName = "/nowhere/program";
    try {
        component.CheckForUpdates();
        ADD_FAILURE() << "a missing version file must raise";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Invalid version filename: '/nowhere/program'");
    }
    EXPECT_FALSE(component.Busy());
}

TEST_F(WebUpdateTest, ThreeXxRedirectionsAreFollowedUpToEight) {
    serveInfo("3.0.0.52");
    component.ProductInfo.SetURL(servers.Http("/redirect/8/static/info.html"));
    EXPECT_TRUE(component.CheckForUpdates());
    component.ProductInfo.SetURL(servers.Http("/redirect/9/static/info.html"));
    EXPECT_FALSE(component.CheckForUpdates());
}

TEST_F(WebUpdateTest, HttpsNeedsAVerifiedServerAndNeverFallsBackToHttp) {
    serveInfo("3.0.0.52");
    component.ProductInfo.SetURL(servers.Https("/static/info.html"));
    EXPECT_TRUE(component.CheckForUpdates());

    component.CaFileForTesting.clear();  // the system's store does not know the test CA
    EXPECT_FALSE(component.CheckForUpdates());
    component.CaFileForTesting = servers.CaFile();
    component.ProductInfo.SetURL(QStringLiteral("https://127.0.0.1:%1/static/info.html").arg(servers.WrongNamePort()));
    EXPECT_FALSE(component.CheckForUpdates());

    component.ProductInfo.SetURL(servers.Https("/to-http/static/info.html"));
    EXPECT_FALSE(component.CheckForUpdates());
    for (const QJsonObject& request : servers.TakeRequests())
        EXPECT_NE(request.value("server").toString(), "http") << request.value("line").toString().toStdString();

    // A META redirection or a download address on http is refused as well.
    servers.Put("to-plain.html", "<META NAME=\"wuRedirection\" CONTENT=\"" + servers.Http("/static/info.html").toStdString() +
                                     "\">\n");
    component.ProductInfo.SetURL(servers.Https("/static/to-plain.html"));
    EXPECT_FALSE(component.CheckForUpdates());
    serveInfo("3.0.0.52", servers.Http("/static/update.bin").toStdString());
    component.ProductInfo.SetURL(servers.Https("/static/info.html"));
    ASSERT_TRUE(component.CheckForUpdates());
    EXPECT_FALSE(component.Download());
    for (const QJsonObject& request : servers.TakeRequests()) EXPECT_NE(request.value("server").toString(), "http");
}

TEST_F(WebUpdateTest, DownloadsIntoThePrivateUpdateFolder) {
    serveInfo("3.0.0.52");
    ASSERT_TRUE(component.CheckForUpdates());
    ASSERT_TRUE(component.Download());
    const fs::path saved = cache.path() / "cache" / "velmora" / "updates" / "update.bin";
    EXPECT_EQ(component.LocalFileName().toStdString(), saved.string());
    EXPECT_EQ(Read(saved), payload);
    struct stat status {};
    ASSERT_EQ(::stat(saved.parent_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(saved.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_FALSE(fs::exists(saved.string() + ".part"));
    EXPECT_EQ(events.back(), "AfterDownload");
    EXPECT_FALSE(component.Timer().isActive());
    EXPECT_TRUE(component.Download());  // the reply values are still there
}

TEST_F(WebUpdateTest, OverwriteRulesApplyToTheFinalName) {
    serveInfo("3.0.0.52");
    const fs::path target = cache.path() / "target";
    fs::create_directories(target);
    component.TargetFolder = QString::fromStdString(target.string());  // no trailing separator
    std::ofstream(target / "update.bin") << "old";
    ASSERT_TRUE(component.CheckForUpdates());
    servers.TakeRequests();

    component.Options = {};
    EXPECT_FALSE(component.Download());
    EXPECT_EQ(Read(target / "update.bin"), "old");
    EXPECT_TRUE(servers.TakeRequests().empty()) << "no request without leave to overwrite";

    component.OnClientFileExists = [](TTwWebUpdate&, QString&, bool& overwrite) { overwrite = true; };
    EXPECT_TRUE(component.Download());
    EXPECT_EQ(Read(target / "update.bin"), payload);
}

TEST_F(WebUpdateTest, BrokenDownloadsLeaveNothingBehind) {
    const std::pair<const char*, const char*> cases[] = {
        {"no length", "/nolength/update.bin"},
        {"dropped before the length", "/drop/update.bin"},
        {"missing", "/static/none.bin"},
        {"error page", "/status/500"},
        {"empty", "/static/empty.bin"},
    };
    servers.Put("empty.bin", "");
    for (const auto& [name, path] : cases) {
        SCOPED_TRACE(name);
        serveInfo("3.0.0.52", path);
        ASSERT_TRUE(component.CheckForUpdates());
        events.clear();
        EXPECT_FALSE(component.Download());
        EXPECT_EQ(events, std::vector<std::string>{"DownloadError"});
        const fs::path folder = cache.path() / "cache" / "velmora" / "updates";
        EXPECT_FALSE(fs::exists(folder / "update.bin"));
        EXPECT_FALSE(fs::exists(folder / "update.bin.part"));
        EXPECT_FALSE(component.Busy());
    }
}

TEST_F(WebUpdateTest, AHostileClientFileNameWritesNothing) {
    for (const char* name : {"../../.profile", "/tmp/evil", "-rf", "..", ""}) {
        SCOPED_TRACE(name);
        serveInfo("3.0.0.52", "/static/update.bin", name);
        ASSERT_TRUE(component.CheckForUpdates());
        servers.TakeRequests();
        events.clear();
        EXPECT_FALSE(component.Download());
        EXPECT_EQ(events, std::vector<std::string>{"DownloadError"});
        EXPECT_TRUE(servers.TakeRequests().empty());
    }
    EXPECT_FALSE(fs::exists(cache.path() / "cache" / ".profile"));
}

TEST_F(WebUpdateTest, APlantedLinkAtThePartNameIsNeverFollowed) {
    serveInfo("3.0.0.52");
    const fs::path target = cache.path() / "shared";
    fs::create_directories(target);
    component.TargetFolder = QString::fromStdString(target.string());
    const fs::path victim = cache.path() / "victim";
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, target / "update.bin.part");
    ASSERT_TRUE(component.CheckForUpdates());
    EXPECT_FALSE(component.Download());
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_FALSE(fs::exists(target / "update.bin"));
}

TEST_F(WebUpdateTest, AbortStopsATransferAtItsNextPoll) {
    servers.Put("slow.bin", std::string(200, 's'));
    serveInfo("3.0.0.52", "/drip/slow.bin");
    ASSERT_TRUE(component.CheckForUpdates());
    int pieces = 0;
    component.OnDownload = [&](TTwWebUpdate& sender, int32_t, int32_t, double, double) {
        if (++pieces == 3) sender.Abort();
    };
    events.clear();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(component.Download());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(pieces, 3);
    EXPECT_TRUE(events.empty());  // an abort raises no event
    EXPECT_FALSE(fs::exists(cache.path() / "cache" / "velmora" / "updates" / "slow.bin"));
}

TEST_F(WebUpdateTest, AStallEndsTheTransferButASlowDripDoesNot) {
    servers.Put("drip.bin", std::string(20, 'd'));
    component.DownloadLimits.stallMs = 1000;
    serveInfo("3.0.0.52", "/stall/update.bin");
    ASSERT_TRUE(component.CheckForUpdates());
    EXPECT_FALSE(component.Download());
    serveInfo("3.0.0.52", "/drip/drip.bin", "drip.bin");
    ASSERT_TRUE(component.CheckForUpdates());
    EXPECT_TRUE(component.Download());
}

TEST_F(WebUpdateTest, CredentialsGoAsBasicAuthentication) {
    serveInfo("3.0.0.52");
    component.ProductInfo.SetURL(servers.Http("/auth/info.html"));
    EXPECT_FALSE(component.CheckForUpdates());
    component.UserName = "user";
    component.Password = "secret";
    EXPECT_TRUE(component.CheckForUpdates());
}

TEST_F(WebUpdateTest, DownloadWhileBusyTouchesNothing) {
    serveInfo("3.0.0.52");
    bool downloadedInside = true, checkedInside = true;
    component.OnAfterGetInfo = [&](TTwWebUpdate& sender) {
        downloadedInside = sender.Download();
        checkedInside = sender.CheckForUpdates();
    };
    EXPECT_TRUE(component.CheckForUpdates());
    EXPECT_FALSE(downloadedInside);
    EXPECT_FALSE(checkedInside);
}

TEST_F(WebUpdateTest, AThrowingHandlerLeavesTheComponentIdle) {
    serveInfo("3.0.0.52");
    component.OnUpdateAvailable = [](TTwWebUpdate&, const QString&, const QString&, const QString&, const QString&,
                                     bool&) { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(component.CheckForUpdates(), std::runtime_error);
    EXPECT_FALSE(component.Busy());
    component.OnUpdateAvailable = nullptr;
    EXPECT_TRUE(component.CheckForUpdates());
}

TEST_F(WebUpdateTest, OnlyWebAddressesAreOpened) {
    const std::pair<const char*, bool> cases[] = {
        {"file:///etc/passwd", false}, {"/usr/bin/xterm", false}, {"javascript:alert(1)", false},
        {"https://example.com/whatsnew", true}};
    for (const auto& [address, shown] : cases) {
        SCOPED_TRACE(address);
        opened.clear();
        serveInfo("3.0.0.52", "/static/update.bin", "update.bin",
                  std::string("<META NAME=\"wuShowURL\" CONTENT=\"") + address + "\">\n");
        ASSERT_TRUE(component.CheckForUpdates());
        EXPECT_EQ(opened.size(), shown ? 1 : 0);
    }
}

TEST_F(WebUpdateTest, ADeferredCheckRunsLaterAndNeverAfterTheComponentIsGone) {
    serveInfo("3.0.0.52");
    component.CheckForUpdatesInThread();
    EXPECT_TRUE(events.empty());  // not inside the caller
    QCoreApplication::processEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "BeforeGetInfo");

    bool ran = false;
    {
        TTwWebUpdate doomed;
        doomed.ProductInfo.SetURL(servers.Http("/static/info.html"));
        doomed.OnBeforeGetInfo = [&](TTwWebUpdate&) { ran = true; };
        doomed.CheckForUpdatesInThread();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST_F(WebUpdateTest, ADeferredCheckAskedWhileBusyRunsOnceIdle) {
    serveInfo("3.0.0.52");
    int checks = 0;
    component.OnBeforeGetInfo = [&](TTwWebUpdate& sender) {
        if (++checks == 1) {
            sender.CheckForUpdatesInThread();
            QCoreApplication::processEvents();  // the deferred call arrives while busy
        }
    };
    component.CheckForUpdates();
    QCoreApplication::processEvents();
    EXPECT_EQ(checks, 2);
}

TEST_F(WebUpdateTest, AHandlerMayDeleteTheComponentMidTransfer) {
    serveInfo("3.0.0.52");
    auto* doomed = new TTwWebUpdate;
    doomed->ProductInfo.SetURL(servers.Http("/static/info.html"));
    doomed->OnDownload = [](TTwWebUpdate& sender, int32_t, int32_t, double, double) { delete &sender; };
    EXPECT_FALSE(doomed->CheckForUpdates());
}

TEST_F(WebUpdateTest, AnEventHandlerMayDeleteTheComponentWhileADownloadWaits) {
    servers.Put("slow.bin", std::string(100, 's'));
    serveInfo("3.0.0.52", "/drip/slow.bin", "slow.bin");
    auto* doomed = new TTwWebUpdate;
    doomed->ProductInfo.SetURL(servers.Http("/static/info.html"));
    doomed->Options = {uoOverwrite};
    ASSERT_TRUE(doomed->CheckForUpdates());
    // A window's handler, run while the transfer processes messages, deletes it.
    doomed->OnBeforeDownload = [&](TTwWebUpdate& sender, const QString&) {
        QTimer::singleShot(150, [&sender] { delete &sender; });
    };
    EXPECT_FALSE(doomed->Download());
}

class SignedUpdateTest : public WebUpdateTest {
protected:
    void SetUp() override {
        WebUpdateTest::SetUp();
        component.Options = {uoOverwrite, uoRunUpdate};
        const std::string key = Read(servers.Keys() / "sign.pub.der");
        previousKey = SetUpdatePublicKey(QByteArray::fromStdString(key));
        output = cache.path() / "arguments.txt";
        script = "#!/bin/sh\nprintf '%s|' \"$@\" > '" + output.string() + "'\n";
        servers.Put("update.sh", script);
        serveInfo("3.0.0.52", "/static/update.sh", "update.sh",
                  "<META NAME=\"wuRunParameters\" CONTENT=\"--quiet  two\">\n");
    }
    void TearDown() override { SetUpdatePublicKey(previousKey); }

    bool outputAppears() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            if (fs::exists(output) && !Read(output).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    QByteArray previousKey;
    fs::path output;
    std::string script;
};

TEST_F(SignedUpdateTest, AValidSignatureStartsTheScriptWithItsParameters) {
    servers.Sign(servers.Root() / "update.sh");
    ASSERT_TRUE(component.CheckForUpdates());
    ASSERT_TRUE(component.Download()) << component.CannotExecuteReason().toStdString();
    ASSERT_TRUE(outputAppears());
    EXPECT_EQ(Read(output), "--quiet|two|");  // split as a shell would, without one
}

TEST_F(SignedUpdateTest, AMissingOrWrongSignatureKeepsTheFileButStartsNothing) {
    const std::pair<const char*, int> cases[] = {{"missing", 0}, {"another key", 1}, {"other bytes", 2}};
    for (const auto& [name, kind] : cases) {
        SCOPED_TRACE(name);
        fs::remove(servers.Root() / "update.sh.sig");
        if (kind == 1) servers.Sign(servers.Root() / "update.sh", true);
        if (kind == 2) {
            servers.Put("update.sh", "#!/bin/sh\necho other\n");
            servers.Sign(servers.Root() / "update.sh");
            servers.Put("update.sh", script);
        }
        ASSERT_TRUE(component.CheckForUpdates());
        events.clear();
        EXPECT_FALSE(component.Download());
        EXPECT_EQ(events, (std::vector<std::string>{"AfterDownload", "CannotExecute"}));
        EXPECT_FALSE(component.CannotExecuteReason().isEmpty());
        EXPECT_TRUE(fs::exists(component.LocalFileName().toStdString()));
        EXPECT_FALSE(fs::exists(output));
    }
    SetUpdatePublicKey({});
    servers.Sign(servers.Root() / "update.sh");
    ASSERT_TRUE(component.CheckForUpdates());
    EXPECT_FALSE(component.Download());  // a build without a key starts nothing
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
}  // namespace velmora::update
