#include "framework/desktop_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>

#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QCloseEvent>
#include <QTest>
#include <QWidget>
#include <QtTest/qtestspontaneevent.h>

#include "engine/path_text.h"
#include "support/case_name.h"
#include "support/test_paths.h"

namespace velmora::framework {
namespace {

// --- SizeToText ---

struct SizeCase {
    std::string name;
    int64_t size;
    QString text;
};

class SizeToTextTable : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeToTextTable, UsesTheLargestUnitReachedWithTwoDecimals) {
    EXPECT_EQ(SizeToText(GetParam().size, QLocale(QLocale::English, QLocale::UnitedStates)), GetParam().text);
}

constexpr int64_t KB = 1024;
constexpr int64_t MB = KB * KB;
constexpr int64_t GB = MB * KB;
constexpr int64_t TB = GB * KB;

INSTANTIATE_TEST_SUITE_P(
    Sizes, SizeToTextTable,
    ::testing::Values(SizeCase{"zero", 0, ""},                                     //
                      SizeCase{"negative", -5, ""},                                //
                      SizeCase{"one_byte", 1, "1.00 Bytes"},                       //
                      SizeCase{"largest_bytes", 1023, "1,023.00 Bytes"},           //
                      SizeCase{"one_kb", KB, "1.00 KB"},                           //
                      SizeCase{"kb_and_a_half", 1536, "1.50 KB"},                  //
                      SizeCase{"rounds_up_within_kb", MB - 1, "1,024.00 KB"},      //
                      SizeCase{"one_mb", MB, "1.00 MB"},                           //
                      SizeCase{"one_gb", GB, "1.00 GB"},                           //
                      SizeCase{"gb_fraction", 5 * GB + GB / 4, "5.25 GB"},         //
                      SizeCase{"one_tb", TB, "1.00 TB"},                           //
                      SizeCase{"tb_is_the_largest_unit", 1024 * TB, "1,024.00 TB"},
                      SizeCase{"largest_size", std::numeric_limits<int64_t>::max(), "8,388,608.00 TB"}),
    velmora::testing::CaseName{});

TEST(SizeToText, FollowsTheLocaleAndAlwaysGroupsThousands) {
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(SizeToText(1536, german), "1,50 KB");
    EXPECT_EQ(SizeToText(1023, german), "1.023,00 Bytes");

    QLocale ungrouped(QLocale::English, QLocale::UnitedStates);
    ungrouped.setNumberOptions(QLocale::OmitGroupSeparator);
    EXPECT_EQ(SizeToText(1023, ungrouped), "1,023.00 Bytes");
    EXPECT_EQ(SizeToText(1023, QLocale::c()), "1,023.00 Bytes");
}

// --- GetDocumentsFolder ---

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) previous_ = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnvironment() {
        if (previous_) {
            qputenv(name_, *previous_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> previous_;
};

TEST(GetDocumentsFolder, FollowsTheUserDirsFileAndIsEmptyWhenTheFolderIsMissing) {
    velmora::testing::ScopedTempDir home;
    const std::filesystem::path config = home.path() / "config";
    std::filesystem::create_directories(config);
    std::ofstream(config / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n";
    const ScopedEnvironment homeVariable("HOME", QByteArray::fromStdString(home.path().string()));
    const ScopedEnvironment configVariable("XDG_CONFIG_HOME", QByteArray::fromStdString(config.string()));

    EXPECT_EQ(GetDocumentsFolder(), "");
    std::filesystem::create_directory(home.path() / "Docs");
    EXPECT_EQ(QDir::cleanPath(GetDocumentsFolder()),
              QDir::cleanPath(QString::fromStdString((home.path() / "Docs").string())));
}

// --- FolderExists ---

TEST(FolderExists, IsTrueOnlyForFoldersFollowingLinks) {
    velmora::testing::ScopedTempDir temp;
    const std::filesystem::path folder = temp.path() / "folder";
    const std::filesystem::path file = temp.path() / "file.doc";
    std::filesystem::create_directory(folder);
    std::ofstream(file) << "x";
    std::filesystem::create_directory_symlink(folder, temp.path() / "link_to_folder");
    std::filesystem::create_symlink(file, temp.path() / "link_to_file");
    std::filesystem::create_directory_symlink(temp.path() / "gone", temp.path() / "broken_link");

    const struct {
        const char* name;
        bool exists;
    } cases[] = {{"folder", true},        {"file.doc", false},    {"missing", false},
                 {"link_to_folder", true}, {"link_to_file", false}, {"broken_link", false}};
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(FolderExists(QString::fromStdString((temp.path() / entry.name).string())), entry.exists);
    }
    EXPECT_FALSE(FolderExists(""));
}

// A folder under one we may not read exists all the same; only "no such
// folder" answers false. Root reads everything, so the check runs as nobody.
TEST(FolderExists, AFolderWeMayNotLookIntoStillExists) {
    velmora::testing::ScopedTempDir temp;
    const std::filesystem::path locked = temp.path() / "locked";
    std::filesystem::create_directories(locked / "inner");
    std::filesystem::permissions(temp.path(), std::filesystem::perms::all, std::filesystem::perm_options::add);
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const int status = velmora::testing::RunUnprivileged([&] {
        const bool inner = FolderExists(QString::fromStdString((locked / "inner").string()));
        const bool missing = FolderExists(QString::fromStdString((temp.path() / "missing" / "x").string()));
        return inner && !missing ? 0 : 1;
    });
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
    if (status == velmora::testing::kCannotDropPrivileges) GTEST_SKIP() << "cannot drop root's privileges here";
    EXPECT_EQ(status, 0);
}

// Names that are not valid UTF-8 are found through the engine's byte mapping.
TEST(FolderExists, TakesPathTextInTheEnginesByteMapping) {
    velmora::testing::ScopedTempDir temp;
    const std::filesystem::path odd = temp.path() / std::string("caf\xE9");
    std::filesystem::create_directory(odd);
    EXPECT_TRUE(FolderExists(QString::fromStdU16String(velmora::engine::PathToText(odd))));
}

// --- ApplyMessageFont ---

TEST(ApplyMessageFont, GivesTheWindowTheGeneralFontAndChildrenOnlyItsFamily) {
    QWidget window;
    window.setFont(QFont("DejaVu Sans Mono", 20));
    auto* heading = new QLabel("Heading", &window);
    QFont headingFont("DejaVu Serif", 17, QFont::Bold, true);
    heading->setFont(headingFont);
    auto* plain = new QLabel("Plain", &window);

    ApplyMessageFont(&window);

    const QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    ASSERT_NE(general.family(), "DejaVu Serif");
    EXPECT_EQ(window.font().family(), general.family());
    EXPECT_EQ(window.font().pointSizeF(), general.pointSizeF());
    EXPECT_EQ(heading->font().family(), general.family());
    EXPECT_EQ(heading->font().pointSize(), 17);
    EXPECT_TRUE(heading->font().bold());
    EXPECT_TRUE(heading->font().italic());
    EXPECT_EQ(plain->font(), window.font());
}

// --- SetCloseCommandEnabled ---

// A close request as the desktop sends it (title-bar button, Alt+F4).
bool DesktopAsksToClose(QWidget& window) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    // Straight to notify(): sendEvent() would mark the event as the program's own.
    QCoreApplication::instance()->notify(&window, &event);
    if (event.isAccepted()) window.hide();
    return event.isAccepted();
}

TEST(SetCloseCommandEnabled, RefusesTheDesktopsRequestsUntilEnabledAgain) {
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    SetCloseCommandEnabled(&window, false);
    SetCloseCommandEnabled(&window, false);
    EXPECT_FALSE(DesktopAsksToClose(window));
    EXPECT_TRUE(window.isVisible());

    SetCloseCommandEnabled(&window, true);
    EXPECT_TRUE(DesktopAsksToClose(window));
    EXPECT_FALSE(window.isVisible());
}

// The program's own close() still closes (a progress window closes itself).
TEST(SetCloseCommandEnabled, TheProgramsOwnCloseStillCloses) {
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SetCloseCommandEnabled(&window, false);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

TEST(SetCloseCommandEnabled, EnablingAWindowNeverDisabledChangesNothing) {
    QWidget window;
    window.show();
    SetCloseCommandEnabled(&window, true);
    EXPECT_TRUE(window.children().isEmpty());
    EXPECT_TRUE(window.close());
}

}  // namespace
}  // namespace velmora::framework
