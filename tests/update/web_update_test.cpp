// The web-update component against real loopback servers.
#include "update/web_update.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QLocale>
#include <QTimer>

#include "framework/shell_open.h"
#include "loopback_servers.h"
#include "support/test_paths.h"
#include "update/update_files.h"
#include "update/release_manifest.h"
#include "update/update_signature.h"
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
        {"an empty page", "/static/empty.html"},
    };
    servers.Put("empty.html", "");
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
    EXPECT_EQ(status.st_mode & 0777, 0600u);  // unchecked (no key): never executable
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
        {"a final 302 without a Location", "/status/302"},
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
    // The last two: a right-to-left override that shows "update.sh" as
    // "updatehs.txt", and a C1 control (NEL).
    for (const char* name : {"../../.profile", "/tmp/evil", "-rf", "..", "", "update\xE2\x80\xAEtxt.sh", "up\xC2\x85" "date"}) {
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

TEST_F(WebUpdateTest, TheServersPageOpensOnlyWhenAskedAndOnlyAsAWebAddress) {
    const std::pair<const char*, bool> cases[] = {
        {"file:///etc/passwd", false}, {"/usr/bin/xterm", false}, {"javascript:alert(1)", false},
        {"https://example.com/whatsnew", true}};
    for (const auto& [address, shown] : cases) {
        SCOPED_TRACE(address);
        opened.clear();
        serveInfo("3.0.0.52", "/static/update.bin", "update.bin",
                  std::string("<META NAME=\"wuShowURL\" CONTENT=\"") + address + "\">\n");
        ASSERT_TRUE(component.CheckForUpdates());
        ASSERT_TRUE(component.Download());
        EXPECT_TRUE(opened.isEmpty());  // neither the check nor the download opens it
        component.OpenShowURL();
        EXPECT_EQ(opened.size(), shown ? 1 : 0);
    }
}

TEST_F(WebUpdateTest, ACheckEndsAtItsDeadlineWhateverTheServerDoes) {
    // Each hop of the chain answers late; the server of the second case never answers.
    servers.Put("ping.html", "<META NAME=\"wuRedirection\" CONTENT=\"" +
                                 servers.Http("/sleep/400/static/pong.html").toStdString() + "\">\n");
    servers.Put("pong.html", "<META NAME=\"wuRedirection\" CONTENT=\"" +
                                 servers.Http("/sleep/400/static/ping.html").toStdString() + "\">\n");
    const std::pair<const char*, const char*> cases[] = {
        {"a chain of slow META redirections", "/static/ping.html"},
        {"a server that never answers", "/hang/x"},
    };
    for (const auto& [name, path] : cases) {
        SCOPED_TRACE(name);
        component.ProductInfo.SetURL(servers.Http(path));
        component.CheckDeadlineMs = 1500;
        events.clear();
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(component.CheckForUpdates());
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(component.FailureReason().contains("time limit")) << component.FailureReason().toStdString();
        EXPECT_FALSE(component.Busy());
    }
    // The deadline belonged to that check: the what's-new page is not bound by it.
    serveInfo("3.0.0.52");
    component.ProductInfo.SetURL(servers.Http("/static/info.html"));
    ASSERT_TRUE(component.CheckForUpdates());
    HttpTransfer::Request request;
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    EXPECT_TRUE(component.PageRequest(whatsNew, request));
}

TEST_F(WebUpdateTest, ADownloadThatIsTooSlowOrTooLongEnds) {
    servers.Put("slow.bin", std::string(200, 's'));  // 20 bytes a second
    struct Case {
        const char* name;
        int minBytesPerSecond, rateWindowMs, totalMs;
        const char* reason;
    };
    const Case cases[] = {
        {"below 1 KiB/s over the window", 1024, 1000, 0, "slower than 1 KB/s"},
        {"past the whole download's limit", 0, 60'000, 800, "did not finish within the time limit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        component.DownloadLimits.minBytesPerSecond = c.minBytesPerSecond;
        component.DownloadLimits.rateWindowMs = c.rateWindowMs;
        component.DownloadLimits.totalMs = c.totalMs;
        serveInfo("3.0.0.52", "/drip/slow.bin", "slow.bin");
        ASSERT_TRUE(component.CheckForUpdates());
        events.clear();
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(component.Download());
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(events, std::vector<std::string>{"DownloadError"});
        EXPECT_TRUE(component.FailureReason().contains(c.reason)) << component.FailureReason().toStdString();
        EXPECT_TRUE(fs::is_empty(cache.path() / "cache" / "velmora" / "updates"));
    }
}

TEST_F(WebUpdateTest, FailuresAreNamedInPlainWords) {
    struct Case {
        const char* name;
        QString address;
        const char* reason;
    };
    const Case cases[] = {
        {"a certificate for another name", QStringLiteral("https://127.0.0.1:%1/static/info.html").arg(servers.WrongNamePort()),
         "certificate could not be verified"},
        {"a 3xx from https to http", servers.Https("/to-http/static/info.html"), "unencrypted"},
        {"nobody listening", QStringLiteral("http://127.0.0.1:1/static/info.html"), "could not be reached"},
        {"an error page", servers.Http("/status/500"), "HTTP 500"},
    };
    serveInfo("3.0.0.52");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        component.ProductInfo.SetURL(c.address);
        EXPECT_FALSE(component.CheckForUpdates());
        EXPECT_TRUE(component.FailureReason().contains(c.reason)) << component.FailureReason().toStdString();
    }
}

TEST_F(WebUpdateTest, HandlersThatThrowOrDeleteTheComponentAreSurvived) {
    // An error handler that throws inside the download's transfer ends it quietly.
    serveInfo("3.0.0.52", "/static/none.bin");
    ASSERT_TRUE(component.CheckForUpdates());
    component.OnDownloadError = [](TTwWebUpdate&) { throw std::runtime_error("handler failed"); };
    bool downloaded = true;
    EXPECT_NO_THROW(downloaded = component.Download());
    EXPECT_FALSE(downloaded);
    EXPECT_FALSE(component.Busy());
    EXPECT_FALSE(component.Timer().isActive());

    // A handler that deletes the component: nothing of it is touched after.
    serveInfo("3.0.0.52");
    servers.Put("noproduct.html", "<META NAME=\"wuVersion\" CONTENT=\"9.0\">\n");
    enum Where { DownloadError, GetClientFileName, ClientFileExists };
    for (Where where : {DownloadError, GetClientFileName, ClientFileExists}) {
        SCOPED_TRACE(where);
        auto* doomed = new TTwWebUpdate;
        doomed->ProductInfo.SetURL(servers.Http(where == DownloadError ? "/static/noproduct.html" : "/static/info.html"));
        doomed->Options = {};
        doomed->TargetFolder = QString::fromStdString(cache.path().string());
        std::ofstream(cache.path() / "update.bin") << "old";
        auto destroy = [](TTwWebUpdate& sender) { delete &sender; };
        if (where == DownloadError) {
            doomed->OnDownloadError = destroy;
            EXPECT_FALSE(doomed->CheckForUpdates());
            continue;
        }
        ASSERT_TRUE(doomed->CheckForUpdates());
        if (where == GetClientFileName) doomed->OnGetClientFileName = [&](TTwWebUpdate& sender, QString&) { destroy(sender); };
        if (where == ClientFileExists)
            doomed->OnClientFileExists = [&](TTwWebUpdate& sender, QString&, bool&) { destroy(sender); };
        EXPECT_FALSE(doomed->Download());
    }
}

TEST_F(WebUpdateTest, AnUpdateFolderThatIsNotPrivateFailsTheDownloadWithoutThrowing) {
    serveInfo("3.0.0.52");
    const fs::path folder = cache.path() / "cache" / "velmora" / "updates";
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    ASSERT_TRUE(component.CheckForUpdates());
    events.clear();
    bool downloaded = true;
    EXPECT_NO_THROW(downloaded = component.Download());
    EXPECT_FALSE(downloaded);
    EXPECT_EQ(events, std::vector<std::string>{"DownloadError"});
    EXPECT_TRUE(component.FailureReason().contains("not a private folder")) << component.FailureReason().toStdString();
    EXPECT_TRUE(fs::is_empty(folder));
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

// The build carries a key: releases are decided by signed manifests.
class SignedUpdateTest : public WebUpdateTest {
protected:
    using Fields = testing::ReleaseFields;

    void SetUp() override {
        WebUpdateTest::SetUp();
        component.Options = {uoOverwrite, uoRunUpdate};
        const std::string key = Read(servers.Keys() / "sign.pub.der");
        previousKey = SetUpdatePublicKey(QByteArray::fromStdString(key));
        output = cache.path() / "arguments.txt";
        script = "#!/bin/sh\nprintf '%s|' \"$@\" > '" + output.string() + "'\n";
        servers.Put("update.sh", script);
        fs::remove(servers.Root() / "update.sh.sig");
        // The server's own arguments and name, which must not count.
        serveInfo("3.0.0.52", "/static/update.sh", "server-name.sh",
                  "<META NAME=\"wuRunParameters\" CONTENT=\"--evil\">\n"
                  "<META NAME=\"wuManifest\" CONTENT=\"/static/update.manifest\">\n");
    }
    void TearDown() override { SetUpdatePublicKey(previousKey); }

    static QDate BuildDay() { return testing::OwnBuildDay(); }
    static QDate Today() { return testing::TodayUtc(); }
    Fields valid(const std::string& content) const { return Fields::Valid(content, "update.sh", {"--quiet", "two words"}); }

    // Serves update.manifest and its signature; `tamper` changes the text
    // after it was signed.
    void publish(const Fields& fields, bool otherKey = false, const std::function<void(std::string&)>& tamper = {}) {
        std::string text = fields.Text();
        servers.PublishManifest("update.manifest", text, otherKey);
        if (tamper) {
            tamper(text);
            servers.Put("update.manifest", text);
        }
    }

    bool outputAppears() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000) {
            if (fs::exists(output) && !Read(output).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    fs::path folder() const { return cache.path() / "cache" / "velmora" / "updates"; }
    std::vector<std::string> downloadRequests() {
        std::vector<std::string> lines;
        for (const QJsonObject& request : servers.TakeRequests()) {
            const std::string line = request.value("line").toString().toStdString();
            if (line.find("/static/update.sh") != std::string::npos) lines.push_back(line);
        }
        return lines;
    }

    QByteArray previousKey;
    fs::path output;
    std::string script;
};

TEST_F(SignedUpdateTest, AReleaseSignedWithThePublishersToolStartsWithItsOwnArguments) {
    // The manifest as the publisher makes it, with tools/sign-update.
    const std::string command = std::string(VELMORA_SOURCE_DIR) + "/tools/sign-update '" +
                                (servers.Keys() / "sign.pem").string() + "' '" + (servers.Root() / "update.sh").string() +
                                "' 3.0.0.52 --build-date " + BuildDay().addDays(3).toString(Qt::ISODate).toStdString() +
                                " --expires " + Today().addDays(10).toString(Qt::ISODate).toStdString() +
                                " --out '" + (servers.Root() / "update.manifest").string() +
                                "' --public-key '" + QByteArray::fromStdString(Read(servers.Keys() / "sign.pub.der")).toBase64().toStdString() +
                                "' -- --quiet 'two words' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(component.CheckForUpdates()) << component.FailureReason().toStdString();
    EXPECT_EQ(component.NewVersion(), "3.0.0.52");
    ASSERT_TRUE(component.Download()) << component.FailureReason().toStdString();
    ASSERT_TRUE(outputAppears());
    // The manifest's arguments, one each; the server's "--evil" is not among them.
    EXPECT_EQ(Read(output), "--quiet|two words|");
    // Saved under the manifest's name, executable (and read-only) once
    // checked; nothing else left.
    EXPECT_EQ(component.LocalFileName().toStdString(), (folder() / "update.sh").string());
    struct stat status {};
    ASSERT_EQ(::stat((folder() / "update.sh").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0500u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 1);
}

TEST_F(SignedUpdateTest, TheSameVersionBuiltLaterIsTakenAndAProgramStartsFromItsDescriptor) {
    // An ELF program this time: touch, told by the manifest which file to make.
    const std::string program = Read("/usr/bin/touch");
    ASSERT_FALSE(program.empty());
    servers.Put("update.sh", program);
    Fields fields = valid(program);
    fields.version = "3.0.0.51";
    fields.buildDate = BuildDay().addDays(1);
    fields.arguments = {output.string()};
    publish(fields);
    ASSERT_TRUE(component.CheckForUpdates()) << component.FailureReason().toStdString();
    ASSERT_TRUE(component.Download()) << component.FailureReason().toStdString();
    QElapsedTimer clock;
    clock.start();
    while (!fs::exists(output) && clock.elapsed() < 5000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(SignedUpdateTest, ReleasesThatDoNotHoldAreRefusedAndLeaveNothingBehind) {
    const std::string notAProgram = "echo this is no script\n";
    struct Case {
        const char* name;
        std::function<void(Fields&)> change;
        bool otherKey;
        std::function<void(std::string&)> tamper;
        bool refusedAtCheck;  // else at the download
        const char* reason;
    };
    const Case cases[] = {
        {"a rollback to an older signed version", [](Fields& f) { f.version = "3.0.0.50"; }, false, {}, true, "not newer"},
        {"the same version built before this one",
         [](Fields& f) {
             f.version = "3.0.0.51";
             f.buildDate = BuildDay().addDays(-1);
         },
         false, {}, true, "not newer"},
        {"a signed release of another product", [](Fields& f) { f.product = "example.ternwick.Other"; }, false, {}, true,
         "another product"},
        {"an expired manifest", [](Fields& f) { f.notAfter = Today().addDays(-1); }, false, {}, true, "expired"},
        {"a signature by another key", {}, true, {}, true, "signature"},
        {"a manifest changed by one byte after signing", {}, false,
         [](std::string& text) { text[text.find("two words") + 8] = 'z'; }, true, "signature"},
        {"a file name with a right-to-left override", [](Fields& f) { f.file = "update\xE2\x80\xAEtxt.sh"; }, false, {},
         true, "\"file\""},
        {"a size that does not match", [](Fields& f) { f.size += 1; }, false, {}, false, "size"},
        {"a digest that does not match", [](Fields& f) { f.sha256 = std::string(64, 'a'); }, false, {}, false,
         "SHA-256"},
        {"neither a program nor a script", {}, false, {}, false, "neither a program nor a script"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool plain = std::string(c.name) == "neither a program nor a script";
        servers.Put("update.sh", plain ? notAProgram : script);
        Fields fields = valid(plain ? notAProgram : script);
        if (c.change) c.change(fields);
        publish(fields, c.otherKey, c.tamper);
        servers.TakeRequests();
        events.clear();
        const bool offered = component.CheckForUpdates();
        if (c.refusedAtCheck) {
            EXPECT_FALSE(offered);
            EXPECT_EQ(std::count(events.begin(), events.end(), "DownloadError"), 1);
            EXPECT_TRUE(downloadRequests().empty()) << "nothing is fetched before the manifest holds";
        } else {
            ASSERT_TRUE(offered) << component.FailureReason().toStdString();
            EXPECT_FALSE(component.Download());
            EXPECT_EQ(events.back(), "DownloadError");
        }
        EXPECT_TRUE(component.FailureReason().contains(c.reason)) << component.FailureReason().toStdString();
        EXPECT_TRUE(!fs::exists(folder()) || fs::is_empty(folder()));
        EXPECT_FALSE(fs::exists(output));
    }
}

TEST_F(SignedUpdateTest, TheManifestMustComeFromTheInformationsOwnSchemeAndHost) {
    publish(valid(script));
    const std::pair<const char*, std::string> cases[] = {
        {"not named", ""},
        {"over https when the information came over http", servers.Https("/static/update.manifest").toStdString()},
        {"on another host name", "http://localhost:" + std::to_string(servers.HttpPort()) + "/static/update.manifest"},
    };
    for (const auto& [name, address] : cases) {
        SCOPED_TRACE(name);
        serveInfo("3.0.0.52", "/static/update.sh", "update.sh",
                  address.empty() ? "" : "<META NAME=\"wuManifest\" CONTENT=\"" + address + "\">\n");
        servers.TakeRequests();
        EXPECT_FALSE(component.CheckForUpdates());
        EXPECT_FALSE(component.FailureReason().isEmpty());
        for (const QJsonObject& request : servers.TakeRequests())
            EXPECT_EQ(request.value("line").toString().indexOf("manifest"), -1);
    }
}

TEST_F(SignedUpdateTest, TheStartedBytesAreTheCheckedOnesEvenIfTheFileIsSwapped) {
    publish(valid(script));
    component.Options = {uoOverwrite};  // as the wizard: started later, by the user
    ASSERT_TRUE(component.CheckForUpdates()) << component.FailureReason().toStdString();
    ASSERT_TRUE(component.Download()) << component.FailureReason().toStdString();
    // Someone replaces the file at its name before the start.
    const fs::path saved = component.LocalFileName().toStdString();
    const fs::path swap = saved.string() + ".swap";
    std::ofstream(swap) << "#!/bin/sh\necho swapped > '" << output.string() << "'\n";
    fs::permissions(swap, fs::perms::owner_all);
    fs::rename(swap, saved);
    QString reason;
    ASSERT_TRUE(component.StartDownloadedUpdate(reason)) << reason.toStdString();
    ASSERT_TRUE(outputAppears());
    EXPECT_EQ(Read(output), "--quiet|two words|");
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(SignedUpdateTest, NoDescriptorOfOursIsLeftOpenOrInherited) {
    // The update lists what it was given beyond the standard three.
    // (Standard output replaced first: a shell keeps a copy of what it
    // redirects, which would read as ours.)
    const std::string lister = "#!/bin/sh\nexec > '" + output.string() + ".part'\nls -l /proc/$$/fd\nmv '" +
                               output.string() + ".part' '" + output.string() + "'\n";
    servers.Put("update.sh", lister);
    publish(valid(lister));
    const size_t before = OpenDescriptors();
    {
        TTwWebUpdate own;
        own.ProductInfo.SetURL(servers.Http("/static/info.html"));
        own.CaFileForTesting = servers.CaFile();
        own.Options = {uoOverwrite, uoRunUpdate};
        ASSERT_TRUE(own.CheckForUpdates()) << own.FailureReason().toStdString();
        ASSERT_TRUE(own.Download()) << own.FailureReason().toStdString();
    }
    EXPECT_EQ(OpenDescriptors(), before);  // the checked descriptor went with the component
    ASSERT_TRUE(outputAppears());
    std::istringstream lines(Read(output));
    for (std::string line; std::getline(lines, line);) {
        const size_t arrow = line.find(" -> ");
        if (arrow == std::string::npos) continue;
        const int number = std::stoi(line.substr(line.rfind(' ', arrow - 1) + 1));
        if (number <= 2) continue;
        // The script itself (its interpreter reads it through the kept
        // descriptor) and the shell's own; never a socket, pipe or event of ours.
        EXPECT_EQ(line.find("socket:"), std::string::npos) << line;
        EXPECT_EQ(line.find("pipe:"), std::string::npos) << line;
        EXPECT_EQ(line.find("anon_inode:"), std::string::npos) << line;
    }
}

TEST_F(SignedUpdateTest, WithoutAKeyNothingIsStarted) {
    SetUpdatePublicKey({});
    publish(valid(script));
    ASSERT_TRUE(component.CheckForUpdates());
    events.clear();
    EXPECT_FALSE(component.Download());
    EXPECT_EQ(events, (std::vector<std::string>{"AfterDownload", "CannotExecute"}));
    EXPECT_TRUE(component.CannotExecuteReason().contains("no key"));
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
}  // namespace velmora::update
