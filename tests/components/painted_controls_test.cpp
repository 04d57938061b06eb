// The shader panel, the divider label and the marquee bar, rendered offscreen.
#include <gtest/gtest.h>

#include <QImage>

#include "components/d_progress_bar.h"
#include "components/tw/tw_shader.h"
#include "components/x_divider_label.h"

namespace velmora {
namespace {

using tw::TTwShader;

QImage Render(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

TEST(TTwShader, TheWizardBarHas128BandsRoundingHalvesToEven) {
    TTwShader bar;
    bar.resize(177, 20);
    bar.SetFromColor(0xFFF2D7);
    bar.SetToColor(tw::clWhite);
    bar.SetDirection(true);
    const QImage image = Render(bar);
    EXPECT_EQ(image.pixelColor(0, 10), QColor(215, 242, 255));
    EXPECT_EQ(image.pixelColor(176, 10), QColor(255, 255, 255));  // band 127 rounds to white
    // Band 8 covers x = 11 and 12 (12 is overwritten by band 9): red 215 +
    // nearbyint(2.5) = 217, not the 218 that rounding away from zero gives.
    EXPECT_EQ(image.pixelColor(11, 10), QColor(217, 243, 255));
    // Every band starts where its rounded offset says.
    for (int i = 0; i < 128; ++i) {
        const int x = static_cast<int>(std::nearbyint(i * 177.0 / 128));
        const int red = 215 + static_cast<int>(std::nearbyint(i * 40.0 / 128));
        EXPECT_EQ(image.pixelColor(x, 0).red(), red) << "band " << i;
    }
    EXPECT_EQ(image.pixelColor(5, 0), image.pixelColor(5, 19));  // bands run the full height
}

TEST(TTwShader, MirrorsIntoTwoHalvesTheSecondTakingTheOddPixel) {
    for (int width : {200, 201}) {
        SCOPED_TRACE(width);
        TTwShader shader;
        shader.resize(width, 10);
        shader.SetDirection(true);
        shader.SetFromColor(0x000000);
        shader.SetToColor(0x0000FF);  // towards red
        shader.SetFromColorMirror(0xFF0000);  // blue, fading to white: ToColorMirror is clNone
        const QImage image = Render(shader);
        EXPECT_EQ(image.pixelColor(0, 5), QColor(0, 0, 0));
        EXPECT_GT(image.pixelColor(99, 5).red(), 240);
        EXPECT_EQ(image.pixelColor(100, 5), QColor(0, 0, 255));  // the second half starts at 100
        EXPECT_GT(image.pixelColor(width - 1, 5).red(), 240);
        EXPECT_GT(image.pixelColor(width - 1, 5).green(), 240);
    }
}

TEST(TTwShader, NoFromColorPaintsNoGradientAndTheVersionReads1400) {
    QWidget parent;
    parent.setAutoFillBackground(true);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(1, 2, 3));
    parent.setPalette(palette);
    TTwShader shader(&parent);
    shader.resize(50, 20);
    parent.resize(50, 20);
    shader.SetFromColor(tw::clNone);
    const QImage image = Render(parent);
    EXPECT_EQ(image.pixelColor(25, 10), QColor(1, 2, 3));
    EXPECT_EQ(shader.Version(), "1.4.0.0");

    TTwShader vertical;  // the default runs top to bottom, blue to black
    vertical.resize(10, 128);
    const QImage down = Render(vertical);
    EXPECT_EQ(down.pixelColor(5, 0), QColor(0, 0, 255));
    EXPECT_EQ(down.pixelColor(0, 0), down.pixelColor(9, 0));
    EXPECT_LT(down.pixelColor(5, 127).blue(), 5);
}

TEST(TXDividerLabel, SegmentsFollowTheAlignmentAndSkipBackwardOnes) {
    using Segments = std::vector<components::TXDividerLabel::Segment>;
    auto flat = [](const Segments& segments) {
        std::vector<int> values;
        for (const auto& segment : segments) values.insert(values.end(), {segment.start, segment.end});
        return values;
    };
    EXPECT_EQ(flat(components::TXDividerLabel::Segments(Qt::AlignLeft, 50, 200, 5)), (std::vector<int>{55, 200}));
    EXPECT_EQ(flat(components::TXDividerLabel::Segments(Qt::AlignRight, 50, 200, 5)), (std::vector<int>{0, 145}));
    EXPECT_EQ(flat(components::TXDividerLabel::Segments(Qt::AlignHCenter, 50, 200, 5)), (std::vector<int>{0, 70, 130, 200}));
    EXPECT_TRUE(components::TXDividerLabel::Segments(Qt::AlignLeft, 300, 200, 5).empty());
}

TEST(TXDividerLabel, DrawsADarkLineAboveALightOneAfterTheCaption) {
    components::TXDividerLabel label("Analyze");
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, QColor(255, 255, 255));
    palette.setColor(QPalette::Dark, QColor(160, 160, 160));
    palette.setColor(QPalette::Light, QColor(250, 250, 250));
    label.setPalette(palette);
    label.setAutoFillBackground(true);
    label.resize(300, 17);
    EXPECT_EQ(label.Edge(), 5);
    const QImage image = Render(label);
    const int mid = label.fontMetrics().height() / 2;
    const int start = label.fontMetrics().horizontalAdvance("Analyze") + 5;
    EXPECT_EQ(image.pixelColor(start, mid - 1), QColor(160, 160, 160));
    EXPECT_EQ(image.pixelColor(start, mid), QColor(250, 250, 250));
    EXPECT_EQ(image.pixelColor(299, mid - 1), QColor(160, 160, 160));
    EXPECT_EQ(image.pixelColor(start - 1, mid - 1), QColor(255, 255, 255));  // the gap
}

TEST(TDProgressBar, OneTimerWhileAnimatingAndOneAdvancePerTick) {
    components::TDProgressBar bar;
    EXPECT_EQ(bar.Speed(), 50u);
    EXPECT_EQ(bar.Step(), 100);
    EXPECT_EQ(bar.AnimationTimer(), nullptr);
    bar.SetAnimate(true);
    bar.SetAnimate(true);
    EXPECT_EQ(bar.findChildren<QTimer*>().size(), 1);
    ASSERT_NE(bar.AnimationTimer(), nullptr);
    EXPECT_EQ(bar.AnimationTimer()->interval(), 50);
    EXPECT_TRUE(bar.AnimationTimer()->isActive());
    bar.SetSpeed(20);  // at once
    EXPECT_EQ(bar.AnimationTimer()->interval(), 20);

    const uint64_t before = bar.Advances();
    for (int i = 0; i < 7; ++i) bar.Tick();
    EXPECT_EQ(bar.Advances(), before + 7);
    const int offset = bar.BlockOffset();
    bar.SetAnimate(false);
    EXPECT_EQ(bar.AnimationTimer(), nullptr);
    EXPECT_TRUE(bar.findChildren<QTimer*>().isEmpty());
    EXPECT_EQ(bar.BlockOffset(), offset);  // nothing moves while off
    bar.SetSpeed(0xFFFFFFFFu);  // clamped when the timer is made
    bar.SetAnimate(true);
    EXPECT_GT(bar.AnimationTimer()->interval(), 0);
}

TEST(TDProgressBar, ASpeedOf0HoldsTheBlockInsteadOfSpinning) {
    // A running 0 ms timer would fire on every pass of the event loop.
    struct Case {
        const char* name;
        bool speedFirst;  // set before switching on, or while animating
    };
    for (const Case test : {Case{"set while idle", true}, Case{"set while animating", false}}) {
        SCOPED_TRACE(test.name);
        components::TDProgressBar bar;
        if (test.speedFirst) bar.SetSpeed(0);
        bar.SetAnimate(true);
        if (!test.speedFirst) bar.SetSpeed(0);
        ASSERT_NE(bar.AnimationTimer(), nullptr);  // animating still, one timer
        EXPECT_FALSE(bar.AnimationTimer()->isActive());
        EXPECT_TRUE(bar.Animate());
        bar.SetSpeed(30);  // moving again
        EXPECT_TRUE(bar.AnimationTimer()->isActive());
        EXPECT_EQ(bar.AnimationTimer()->interval(), 30);
    }
}

TEST(TDProgressBar, ARangeTheWrongWayRoundIsRefused) {
    components::TDProgressBar bar;
    try {
        bar.SetRange(10, 5);
        ADD_FAILURE() << "no error";
    } catch (const components::EInvalidOperation& error) {
        EXPECT_STREQ(error.what(), "TDProgressBar property out of range");
    }
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_THROW(bar.SetMin(101), components::EInvalidOperation);
    bar.SetMax(50);
    EXPECT_EQ(bar.Max(), 50);
    bar.SetPosition(30);
    EXPECT_EQ(bar.Position(), 30);
}

}  // namespace
}  // namespace velmora
