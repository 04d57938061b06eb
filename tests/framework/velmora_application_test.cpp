#include "framework/velmora_application.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFile>
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

TEST(MapDesignFonts, DrawsTheDesignFontsWithTahomaOrTheClosestDejaVu) {
    const bool wineTahoma = QFile::exists("/usr/share/wine/fonts/tahoma.ttf");
    MapDesignFonts();
    // What the windows really draw with, under both of the designs' names.
    const QString drawn = QFontInfo(QFont("Tahoma")).family();
    EXPECT_EQ(QFontInfo(QFont("MS Shell Dlg 2")).family(), drawn);
    if (wineTahoma || QFontDatabase::families().contains("Tahoma", Qt::CaseInsensitive)) {
        EXPECT_EQ(drawn, "Tahoma");
        QFont bold("Tahoma");
        bold.setBold(true);
        EXPECT_TRUE(QFontInfo(bold).bold());
    } else {
        EXPECT_TRUE(drawn.startsWith("DejaVu Sans")) << drawn.toStdString();
    }
}

}  // namespace
}  // namespace velmora::framework
