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
#include <QTest>
#include <QWidget>

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

TEST(SetCloseCommandEnabled, RefusesEveryCloseUntilEnabledAgain) {
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    SetCloseCommandEnabled(&window, false);
    SetCloseCommandEnabled(&window, false);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());

    SetCloseCommandEnabled(&window, true);
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
