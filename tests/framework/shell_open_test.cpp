#include "framework/shell_open.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace velmora::framework {
namespace {

TEST(ShellOpen, GoesThroughTheReplaceableHandlerAndRestoresIt) {
    QStringList opened;
    {
        ScopedShellOpenHandler recorder([&](const QString& target) {
            opened << target;
            return target.startsWith("https://");
        });
        EXPECT_TRUE(ShellOpen("https://example.invalid/"));
        EXPECT_FALSE(ShellOpen("mailto:someone@example.invalid"));
        {
            ScopedShellOpenHandler inner([](const QString&) { return false; });
            EXPECT_FALSE(ShellOpen("https://example.invalid/inner"));
        }
        EXPECT_TRUE(ShellOpen("https://example.invalid/again"));
    }
    EXPECT_EQ(opened, (QStringList{"https://example.invalid/", "mailto:someone@example.invalid", "https://example.invalid/again"}));
    EXPECT_FALSE(ShellOpen(""));  // the desktop's handler refuses an empty target without starting anything
}

}  // namespace
}  // namespace velmora::framework
