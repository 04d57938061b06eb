#include "framework/velmora_application.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

namespace velmora::framework {
namespace {

TEST(ApplicationTitle, DefaultsToTheProgramNameAndLeavesWindowTitlesAlone) {
    EXPECT_EQ(TApplication::Title(), "Velmora");
    const QString displayName = QGuiApplication::applicationDisplayName();
    TApplication::SetTitle("Velmora - report.doc");
    EXPECT_EQ(TApplication::Title(), "Velmora - report.doc");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), displayName);
    TApplication::SetTitle("Velmora");
    EXPECT_EQ(TApplication::Title(), "Velmora");
}

TEST(MapDesignFonts, MapsTheDesignFontsToDejaVuWithoutTahoma) {
    if (QFontDatabase::families().contains("Tahoma", Qt::CaseInsensitive)) GTEST_SKIP() << "a real Tahoma is installed";
    MapDesignFonts();
    // Qt keeps its substitution table in lower case.
    EXPECT_EQ(QFont::substitute("Tahoma").toLower(), "dejavu sans");
    EXPECT_EQ(QFont::substitute("MS Shell Dlg 2").toLower(), "dejavu sans");
    // What the windows will really draw with.
    QFont designFont("Tahoma");
    EXPECT_EQ(QFontInfo(designFont).family(), "DejaVu Sans");
}

}  // namespace
}  // namespace velmora::framework
