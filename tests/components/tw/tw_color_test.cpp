#include "components/tw/tw_color.h"

#include <gtest/gtest.h>

namespace velmora::tw {
namespace {

TEST(TwColor, ValueIsRedInTheLowByte) {
    EXPECT_EQ(ColorToQColor(0x0000FF, QPalette()), QColor(255, 0, 0));
    EXPECT_EQ(ColorToQColor(0xC77A3D, QPalette()), QColor(61, 122, 199));
    EXPECT_EQ(ColorToQColor(clNone, QPalette()).alpha(), 0);
}

TEST(TwColor, SystemColoursComeFromThePalette) {
    QPalette palette;
    palette.setColor(QPalette::Active, QPalette::WindowText, QColor(1, 2, 3));
    palette.setColor(QPalette::Active, QPalette::Button, QColor(4, 5, 6));
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(7, 8, 9));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(10, 11, 12));
    EXPECT_EQ(ColorToQColor(clWindowText, palette), QColor(1, 2, 3));
    EXPECT_EQ(ColorToQColor(*IdentToColor(u"clBtnFace"), palette), QColor(4, 5, 6));
    EXPECT_EQ(ColorToQColor(*IdentToColor(u"clHighlight"), palette), QColor(7, 8, 9));
    EXPECT_EQ(ColorToQColor(*IdentToColor(u"clGrayText"), palette), QColor(10, 11, 12));
    EXPECT_EQ(ColorToQColor(clDefault, palette), QColor(1, 2, 3));
    EXPECT_EQ(ColorToQColor(kSystemColorFlag | 25, palette), QColor(Qt::black));  // no system colour has index 25
}

TEST(TwColor, IdentifiersIgnoreCaseAndWindowTextHasNoName) {
    EXPECT_EQ(IdentToColor(u"CLRED"), 0x0000FFu);
    EXPECT_EQ(IdentToColor(u"clMoneyGreen"), 0xC0DCC0u);
    EXPECT_EQ(IdentToColor(u"clMenuBar"), 0xFF00001Eu);
    EXPECT_EQ(IdentToColor(u"clNone"), 0x1FFFFFFFu);
    EXPECT_FALSE(IdentToColor(u"clWindowText"));
    EXPECT_FALSE(IdentToColor(u"red"));
}

}  // namespace
}  // namespace velmora::tw
