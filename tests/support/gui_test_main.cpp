// Entry point of the GUI test binaries: one QApplication, offscreen unless the
// caller asks for a real display (QT_QPA_PLATFORM=xcb with DISPLAY set).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
