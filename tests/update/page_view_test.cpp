// The what's-new view: a page from the server and nothing else.
#include "update/page_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QTextDocument>
#include <QTimer>

#include "framework/shell_open.h"
#include "hostile_pages.h"
#include "loopback_servers.h"
#include "shared/units/wb_container.h"
#include "support/case_name.h"
#include "support/test_paths.h"

namespace velmora::update {
namespace {

using testing::LoopbackServers;

class PageViewTest : public ::testing::Test {
protected:
    HttpTransfer::Request request(const QString& url) {
        HttpTransfer::Request r;
        r.url = url;
        r.caFile = servers.CaFile();
        r.limits = TransferLimits{5000, 5000, 10000, 8};
        return r;
    }
    bool load(const QString& url) {
        loads.clear();
        view.Navigate(request(url));
        QElapsedTimer timer;
        timer.start();
        while (loads.empty() && timer.elapsed() < 10'000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return !loads.empty() && loads.back();
    }

    LoopbackServers& servers = LoopbackServers::Get();
    QStringList opened;
    framework::ScopedShellOpenHandler shell{[this](const QString& what) {
        opened << what;
        return true;
    }};
    TPageView view;
    std::vector<bool> loads;
    void SetUp() override {
        view.OnPageLoaded = [this](bool ok) { loads.push_back(ok); };
    }
};

TEST_F(PageViewTest, LoadsNothingLocalAndOpensOnlyWebLinksOutside) {
    servers.Put("local.html",
                "<html><head><link rel=\"stylesheet\" href=\"file:///etc/passwd\"></head><body>"
                "<img src=\"/etc/passwd\"><img src=\"file:///etc/passwd\">"
                "<a href=\"file:///etc/passwd\">local</a> <a href=\"https://www.ternwick.example/news\">web</a> "
                "<a href=\"/more.html\">relative</a> <a href=\"javascript:alert(1)\">script</a></body></html>");
    ASSERT_TRUE(load(servers.Http("/static/local.html")));
    const QString before = view.toHtml();
    EXPECT_FALSE(view.toPlainText().contains("root:"));
    for (const char* resource : {"/etc/passwd", "file:///etc/passwd"}) {
        EXPECT_FALSE(view.loadResource(QTextDocument::ImageResource, QUrl(resource)).isValid());
        // Never the file's bytes: a picture is always one transparent pixel.
        EXPECT_NE(view.document()->resource(QTextDocument::ImageResource, QUrl(resource)).userType(),
                  QMetaType::QByteArray);
    }
    for (const char* link : {"file:///etc/passwd", "https://www.ternwick.example/news", "/more.html", "javascript:alert(1)"})
        emit view.anchorClicked(QUrl(link));
    EXPECT_EQ(opened, QStringList({"https://www.ternwick.example/news", servers.Http("/more.html")}));
    EXPECT_EQ(view.toHtml(), before);  // no click navigates the view itself
    EXPECT_TRUE(view.source().isEmpty());
    // The document itself holds no link but the web ones.
    EXPECT_FALSE(before.contains("file:"));
    EXPECT_FALSE(before.contains("javascript:"));
    EXPECT_TRUE(before.contains(servers.Http("/more.html")));
}

TEST_F(PageViewTest, APictureOnTheDiskIsNeverRead) {
    velmora::testing::ScopedTempDir folder;
    const QString picture = QString::fromStdString((folder.path() / "private.png").string());
    QImage real(40, 30, QImage::Format_RGB32);
    real.fill(Qt::red);
    ASSERT_TRUE(real.save(picture));
    servers.Put("picture.html", "<p><img src=\"" + QUrl::fromLocalFile(picture).toString().toStdString() +
                                    "\"><img src=\"" + picture.toStdString() + "\"></p>");
    ASSERT_TRUE(load(servers.Http("/static/picture.html")));
    view.resize(300, 200);
    view.show();
    QCoreApplication::processEvents();
    view.document()->documentLayout()->documentSize();  // lays the pictures out
    for (const QUrl& url : {QUrl::fromLocalFile(picture), QUrl(picture)}) {
        const QVariant resource = view.document()->resource(QTextDocument::ImageResource, url);
        EXPECT_NE(qvariant_cast<QImage>(resource).size(), real.size()) << url.toString().toStdString();
    }
}

TEST_F(PageViewTest, FailuresAndRefusalsShowTheFailureText) {
    const char* const failing[] = {"/static/missing.html", "/status/500", "/huge/x"};
    for (const char* path : failing) {
        EXPECT_FALSE(load(servers.Http(path))) << path;
        EXPECT_EQ(view.toPlainText(), "The description of this update could not be loaded.") << path;
    }
    // https only: a redirection to plain http is not followed.
    servers.Put("fine.html", "<p>fine</p>");
    HttpTransfer::Request secure = request(servers.Https("/to-http/static/fine.html"));
    secure.httpsOnly = true;
    loads.clear();
    view.Navigate(secure);
    QElapsedTimer timer;
    timer.start();
    while (loads.empty() && timer.elapsed() < 10'000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(loads, std::vector<bool>{false});
}

TEST_F(PageViewTest, ANewerNavigationWinsAndStopDropsTheResult) {
    servers.Put("first.html", std::string(30, 'a'));
    servers.Put("second.html", "<p>second</p>");
    view.Navigate(request(servers.Http("/drip/first.html")));
    EXPECT_TRUE(view.Loading());
    ASSERT_TRUE(load(servers.Http("/static/second.html")));
    QTest::qWait(300);
    EXPECT_EQ(loads, std::vector<bool>{true});
    EXPECT_EQ(view.toPlainText(), "second");
    view.Navigate(request(servers.Http("/drip/first.html")));
    view.Stop();
    EXPECT_FALSE(view.Loading());
}

TEST_F(PageViewTest, ATableInsideATableKeepsTheInnerText) {
    servers.Put("tables.html",
                "<table><tr><td>outer<table><tr><td>inner one</td><td>inner two</td></tr></table>after</td>"
                "<td>next cell</td></tr></table>");
    ASSERT_TRUE(load(servers.Http("/static/tables.html")));
    const QString shown = view.toPlainText();
    for (const char* text : {"outer", "inner one", "inner two", "after", "next cell"})
        EXPECT_TRUE(shown.contains(text)) << text;
}

// Pages that crashed or froze the view, and the slowest its bounds let
// through: each arrives, is laid out whole, and shows its text.
class PageViewSampleTest : public PageViewTest, public ::testing::WithParamInterface<testing::SamplePage> {};

TEST_P(PageViewSampleTest, ShowsThePageWithItsText) {
    const testing::SamplePage& page = GetParam();
    servers.Put(page.name + ".html", page.html);
    view.resize(449, 257);  // the wizard's
    view.show();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(load(servers.Http(QString::fromStdString("/static/" + page.name + ".html"))));
    EXPECT_GT(view.document()->documentLayout()->documentSize().height(), 0);
    QCoreApplication::processEvents();
    EXPECT_LT(timer.elapsed(), 30'000);  // "finishes"; the figures are in bench/README.md
    const QString shown = view.toPlainText();
    qsizetype from = 0;
    for (const std::string& written : page.texts) {
        const QString text = QString::fromStdString(written);
        const qsizetype at = shown.indexOf(text, from);
        EXPECT_GE(at, 0) << written;
        if (at >= 0) from = at + text.size();
    }
}

INSTANTIATE_TEST_SUITE_P(Hostile, PageViewSampleTest, ::testing::ValuesIn(testing::HostilePages()),
                         velmora::testing::CaseName());
INSTANTIATE_TEST_SUITE_P(Bounds, PageViewSampleTest, ::testing::ValuesIn(testing::BoundPages()),
                         velmora::testing::CaseName());

TEST_F(PageViewTest, WithoutAHostItBehavesAsAPlainView) {
    shared::TNulWBContainer neutral(&view);
    view.ApplyHostInfo();
    EXPECT_EQ(view.frameShape(), QFrame::StyledPanel);
    EXPECT_EQ(view.textInteractionFlags(), Qt::TextBrowserInteraction);
    view.show();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
    QTimer::singleShot(0, [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* menu = qobject_cast<QMenu*>(top); menu && menu->isVisible()) {
                menu->setObjectName("standard menu seen");
                menu->close();
            }
        }
    });
    QCoreApplication::sendEvent(view.viewport(), &click);
    QCoreApplication::processEvents();
    bool seen = false;
    for (QWidget* top : QApplication::topLevelWidgets()) seen |= top->objectName() == "standard menu seen";
    EXPECT_TRUE(seen);
}

TEST_F(PageViewTest, TheHostsSwitchesReachTheView) {
    shared::TWBContainer host(&view);
    host.ScrollBarsVisible = false;
    host.BorderVisible = false;
    host.TextSelectable = false;
    host.HostCSS = "p { color: #FF0000 }";
    servers.Put("css.html", "<p>red</p>");
    ASSERT_TRUE(load(servers.Http("/static/css.html")));
    EXPECT_EQ(view.frameShape(), QFrame::NoFrame);
    EXPECT_EQ(view.textInteractionFlags(), Qt::LinksAccessibleByMouse);
    EXPECT_EQ(view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(view.document()->defaultStyleSheet(), "p { color: #FF0000 }");
    EXPECT_TRUE(view.toHtml().contains("#ff0000", Qt::CaseInsensitive));
}

}  // namespace
}  // namespace velmora::update
