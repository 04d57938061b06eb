#include "framework/framework_timer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <QTest>

#include "framework/desktop_helpers.h"
#include "recording_presenter.h"

namespace velmora::framework {
namespace {

using testing::RecordingPresenter;

TEST(TTimer, AHandlerThatDisablesItsTimerRunsOnce) {
    TTimer timer;
    timer.SetInterval(1);
    int ticks = 0;
    timer.SetOnTimer([&] {
        ++ticks;
        timer.SetEnabled(false);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }));
    QTest::qWait(30);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(timer.Enabled());
}

TEST(TTimer, TicksOnlyWhileEnabled) {
    TTimer timer;
    timer.SetEnabled(false);
    timer.SetInterval(1);
    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
    timer.SetEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }));
}

TEST(TTimer, ShowsHandlerErrorsAndKeepsTicking) {
    RecordingPresenter presenter;
    TTimer timer;
    timer.SetInterval(1);
    int ticks = 0;
    timer.SetOnTimer([&] {
        if (++ticks <= 2) throw std::runtime_error("Tick failed");
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 4; }));
    timer.SetEnabled(false);
    ASSERT_EQ(presenter.Requests().size(), 2u);
    EXPECT_EQ(presenter.Requests()[0].text, "Tick failed.");
}

TEST(TTimer, SkipsTicksThatFallDueWhileItsHandlerRuns) {
    // The handler keeps the event loop running, as a modal box would.
    TTimer timer;
    timer.SetInterval(1);
    int running = 0;
    int mostRunningAtOnce = 0;
    int ticks = 0;
    timer.SetOnTimer([&] {
        ++running;
        mostRunningAtOnce = std::max(mostRunningAtOnce, running);
        if (++ticks == 1) DelayWithMessages(20);
        --running;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }));
    timer.SetEnabled(false);
    EXPECT_EQ(mostRunningAtOnce, 1);
}

}  // namespace
}  // namespace velmora::framework
