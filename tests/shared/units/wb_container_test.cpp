// The page view's host: what it answers, by its switches.
#include "shared/units/wb_container.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace velmora::shared {
namespace {

class FakeView : public QWidget, public IHostedBrowser {
public:
    void SetClientSite(TNulWBContainer* site) override { sites.push_back(site); }
    QMenu* PopupMenu() const override { return menu; }
    std::vector<TNulWBContainer*> sites;
    QMenu* menu = nullptr;
};

TEST(WBContainer, RegistersWithItsViewAndLeavesWhenDestroyed) {
    FakeView view;
    {
        TWBContainer host(&view);
        ASSERT_EQ(view.sites.size(), 1u);
        EXPECT_EQ(view.sites[0], &host);
    }
    ASSERT_EQ(view.sites.size(), 2u);
    EXPECT_EQ(view.sites[1], nullptr);
}

TEST(WBContainer, AWidgetThatTakesNoHostIsRefused) {
    QLabel notAView;
    EXPECT_THROW(
        {
            try {
                TNulWBContainer host(&notAView);
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "Browser's Default interface does not support IOleObject");
                throw;
            }
        },
        std::runtime_error);
}

TEST(WBContainer, HostInfoFollowsTheSwitches) {
    struct Case {
        bool scrollBars, border, selectable;
        uint32_t flags;
    };
    const Case cases[] = {
        {true, true, true, 0x40000},  // the defaults: only themed controls
        {true, false, false, 0x40005},  // as the update wizard sets it
        {false, true, true, 0x40008},
        {false, false, false, 0x4000D},
    };
    FakeView view;
    TWBContainer host(&view);
    for (const Case& c : cases) {
        host.ScrollBarsVisible = c.scrollBars;
        host.BorderVisible = c.border;
        host.TextSelectable = c.selectable;
        DocHostUiInfo info;
        info.dwDoubleClick = 7;  // whatever the record held is cleared
        info.pchHostCss = "stale";
        EXPECT_EQ(host.GetHostInfo(info), kHostOk);
        EXPECT_EQ(info.cbSize, 20u);
        EXPECT_EQ(info.dwFlags, c.flags);
        EXPECT_EQ(info.dwDoubleClick, 0u);
        EXPECT_TRUE(info.pchHostCss.isEmpty());
    }
    host.HostCSS = "body { margin: 0 }";
    DocHostUiInfo info;
    host.GetHostInfo(info);
    EXPECT_EQ(info.pchHostCss, "body { margin: 0 }");
}

TEST(WBContainer, ContextMenuRules) {
    FakeView view;
    TNulWBContainer neutral(&view);
    DocHostUiInfo untouched;
    untouched.dwFlags = 3;
    EXPECT_EQ(neutral.GetHostInfo(untouched), kHostOk);
    EXPECT_EQ(untouched.dwFlags, 3u);  // left as given
    EXPECT_EQ(neutral.ShowContextMenu(0, QPoint()), kHostFalse);

    TWBContainer host(&view);
    EXPECT_EQ(host.ShowContextMenu(0, QPoint()), kHostFalse);  // the view's standard menu
    host.CustomContextMenu = true;
    EXPECT_EQ(host.ShowContextMenu(0, QPoint()), kHostOk);     // no menu at all
    QMenu own;
    own.addAction("Own");
    view.menu = &own;
    EXPECT_EQ(host.ShowContextMenu(0, QPoint(5, 5)), kHostOk);
    EXPECT_TRUE(own.isVisible());
    own.hide();
}

}  // namespace
}  // namespace velmora::shared
