#include "components/tw/tw_style.h"

#include <gtest/gtest.h>

#include <QObject>

#include "components/tw/message_registry.h"

namespace velmora::tw {
namespace {

TEST(TwStyle, InstanceIsOneObjectWithTheInitialPresets) {
    TTwStyle& style = TTwStyle::Instance();
    EXPECT_EQ(&style, &TTwStyle::Instance());
    EXPECT_EQ(style.NormalFontColor, 0x000000u);
    EXPECT_EQ(style.NormalFontSize, 9);
    EXPECT_EQ(style.NormalFontStyle, TFontStyles());
    EXPECT_EQ(style.NormalFontName, "Tahoma");
    EXPECT_EQ(style.TitleFontColor, 0xFFFFFFu);
    EXPECT_EQ(style.TitleFontSize, 12);
    EXPECT_EQ(style.TitleFontStyle, TFontStyles(fsBold));
    EXPECT_EQ(style.TitleFontName, "Tahoma");
    EXPECT_EQ(style.HighlightFontColor, 0xF9D3AEu);
    EXPECT_EQ(style.HighlightFontSize, 9);
    EXPECT_EQ(style.HighlightFontStyle, TFontStyles());
    EXPECT_EQ(style.HighlightFontName, "Tahoma");
    EXPECT_EQ(style.HeaderFontColor, 0xC77A3Du);
    EXPECT_EQ(style.HeaderFontSize, 13);
    EXPECT_EQ(style.HeaderFontStyle, TFontStyles());
    EXPECT_EQ(style.HeaderFontName, "Calibri");
    EXPECT_EQ(style.PageControlGradientBegin, 0xE5AB48u);
    EXPECT_EQ(style.PageControlGradientEnd, 0xB28831u);
}

TEST(TwStyle, ListenerHasOneHandlerAndUnknownListenersAreIgnored) {
    TTwStyle style;
    QObject listener;
    QObject stranger;
    int firstCalls = 0;
    int secondCalls = 0;
    TTwStyle* sender = nullptr;
    style.RegisterListener(&listener, [&](TTwStyle*) { ++firstCalls; });
    style.RegisterListener(&listener, [&](TTwStyle* s) {
        ++secondCalls;
        sender = s;
    });
    style.UnregisterListener(&stranger);
    EXPECT_TRUE(style.IsRegistered(&listener));
    EXPECT_FALSE(style.IsRegistered(&stranger));
    style.NotifyListeners();
    EXPECT_EQ(firstCalls, 0);
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(sender, &style);

    style.UnregisterListener(&listener);
    EXPECT_FALSE(style.IsRegistered(&listener));
    style.NotifyListeners();
    EXPECT_EQ(secondCalls, 1);
}

TEST(TwStyle, RegisteringAnEmptyHandlerUnregisters) {
    TTwStyle style;
    QObject listener;
    QObject never;
    int calls = 0;
    style.RegisterListener(&listener, [&](TTwStyle*) { ++calls; });
    style.RegisterListener(&listener, {});
    style.RegisterListener(&never, {});
    EXPECT_FALSE(style.IsRegistered(&listener));
    EXPECT_FALSE(style.IsRegistered(&never));
    style.NotifyListeners();
    EXPECT_EQ(calls, 0);
}

TEST(TwStyle, HandlerMayClearItselfWhileItRuns) {
    TTwStyle style;
    QObject listener;
    int calls = 0;
    style.RegisterListener(&listener, [&](TTwStyle*) {
        style.RegisterListener(&listener, {});
        ++calls;  // runs on a copy, so its captures are still there
    });
    style.NotifyListeners();
    style.NotifyListeners();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(style.IsRegistered(&listener));
}

TEST(TwStyle, ListenerUnregisteredByAnotherDuringNotificationIsNotCalled) {
    TTwStyle style;
    QObject first;
    QObject second;
    int calls = 0;
    // Whichever runs first removes the other, so exactly one runs.
    style.RegisterListener(&first, [&](TTwStyle*) {
        ++calls;
        style.UnregisterListener(&second);
    });
    style.RegisterListener(&second, [&](TTwStyle*) {
        ++calls;
        style.UnregisterListener(&first);
    });
    style.NotifyListeners();
    EXPECT_EQ(calls, 1);
}

TEST(MessageRegistry, OneNumberPerNameWhateverItsCase) {
    const std::uint32_t styleChanged = StyleChangedMessage();
    EXPECT_GE(styleChanged, 0xC000u);
    EXPECT_LE(styleChanged, 0xFFFFu);
    EXPECT_EQ(StyleChangedMessage(), styleChanged);
    EXPECT_EQ(RegisterMessageName("ternwick_style_changed"), styleChanged);
    const std::uint32_t other = RegisterMessageName("VELMORA_TEST_OTHER_MESSAGE");
    EXPECT_NE(other, styleChanged);
    EXPECT_NE(other, 0u);
    EXPECT_EQ(RegisterMessageName(""), 0u);
}

}  // namespace
}  // namespace velmora::tw
