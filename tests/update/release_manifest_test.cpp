// The release manifest's reading and judging, the checked update's file
// checks, and the download's rate floor: the parts that need no server.
#include "update/release_manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "support/test_paths.h"
#include "update/rate_floor.h"
#include "update/verified_update.h"

namespace velmora::update {
namespace {

namespace fs = std::filesystem;

const char kValid[] =
    "# a comment\n"
    "product = example.ternwick.Velmora\n"
    "version = 3.0.0.52\n"
    "build-date = 2026-12-01\n"
    "file = Velmora-3.0.0.52.run\n"
    "size = 1234\n"
    "sha256 = 00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF\n"
    "not-after = 2027-06-30\n"
    "\n"
    "arg = --quiet\n"
    "arg =  two  spaces \n";

TEST(ReleaseManifest, ReadsEveryField) {
    ReleaseManifest manifest;
    QString reason;
    ASSERT_TRUE(ParseReleaseManifest(kValid, manifest, reason)) << reason.toStdString();
    EXPECT_EQ(manifest.product, "example.ternwick.Velmora");
    EXPECT_EQ(manifest.words, (VersionWords{3u << 16, 52u}));
    EXPECT_EQ(manifest.buildDate, QDate(2026, 12, 1));
    EXPECT_EQ(manifest.file, "Velmora-3.0.0.52.run");
    EXPECT_EQ(manifest.size, 1234);
    EXPECT_EQ(manifest.sha256.toHex(), "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
    EXPECT_EQ(manifest.notAfter, QDate(2027, 6, 30));
    // Arguments verbatim after " = ", spaces and all.
    EXPECT_EQ(manifest.arguments, (QStringList{"--quiet", " two  spaces "}));
}

TEST(ReleaseManifest, RefusesWhatIsNotAManifest) {
    const auto replaced = [](const std::string& from, const std::string& to) {
        std::string text = kValid;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"a carriage return", replaced("size = 1234\n", "size = 1234\r\n")},
        {"a NUL", replaced("--quiet", std::string("--qu\0iet", 8))},
        {"invalid UTF-8", replaced("--quiet", "--qu\xC3iet")},
        {"a key twice", replaced("size = 1234\n", "size = 1234\nsize = 1234\n")},
        {"no product", replaced("product = example.ternwick.Velmora\n", "")},
        {"no sha256", replaced("sha256", "sha-256")},
        {"a version part past 65535", replaced("3.0.0.52", "3.0.0.65536")},
        {"five version parts", replaced("3.0.0.52", "3.0.0.52.1")},
        {"a date that does not exist", replaced("2026-12-01", "2026-02-30")},
        {"a size of zero", replaced("size = 1234", "size = 0")},
        {"a size past 2^31-1", replaced("size = 1234", "size = 2147483648")},
        {"a short digest", replaced("00112233", "0011223")},
        {"an upper-case key", replaced("product =", "Product =")},
        {"no spaces around =", replaced("size = 1234", "size=1234")},
        {"a file name with a path", replaced("Velmora-3.0.0.52.run", "../Velmora.run")},
        {"an argument with a tab", replaced("--quiet", "--qu\tiet")},
        {"an argument with a bidi override", replaced("--quiet", "--qu\xE2\x80\xAEiet")},
        {"too long", std::string(kValid) + "# " + std::string(kLargestManifest, 'x') + "\n"},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        ReleaseManifest manifest;
        QString reason;
        EXPECT_FALSE(ParseReleaseManifest(QByteArray::fromStdString(text), manifest, reason));
        EXPECT_FALSE(reason.isEmpty());
    }
    // A key this version does not know is a later publisher's: skipped.
    ReleaseManifest manifest;
    QString reason;
    EXPECT_TRUE(ParseReleaseManifest(QByteArray(kValid) + "channel = beta\n", manifest, reason));
}

TEST(ReleaseManifest, IsTakenOnlyWhenNewerForThisProductAndUnexpired) {
    ReleaseManifest manifest;
    QString reason;
    ASSERT_TRUE(ParseReleaseManifest(kValid, manifest, reason));
    const VersionWords installed{3u << 16, 51u};
    const QDate built(2026, 11, 1), today(2027, 1, 1);
    EXPECT_TRUE(RefuseReleaseManifest(manifest, installed, built, today).isEmpty());
    // The last valid day is still valid; the next is not.
    EXPECT_TRUE(RefuseReleaseManifest(manifest, installed, built, QDate(2027, 6, 30)).isEmpty());
    EXPECT_TRUE(RefuseReleaseManifest(manifest, installed, built, QDate(2027, 7, 1)).contains("expired"));
    // The same version counts only when built on a later day.
    const VersionWords same{3u << 16, 52u};
    EXPECT_TRUE(RefuseReleaseManifest(manifest, same, QDate(2026, 11, 30), today).isEmpty());
    EXPECT_TRUE(RefuseReleaseManifest(manifest, same, QDate(2026, 12, 1), today).contains("not newer"));
    EXPECT_TRUE(RefuseReleaseManifest(manifest, VersionWords{4u << 16, 0}, built, today).contains("not newer"));
    manifest.product = "example.ternwick.Velmora ";
    EXPECT_TRUE(RefuseReleaseManifest(manifest, installed, built, today).contains("another product"));
}

class VerifiedUpdateTest : public ::testing::Test {
protected:
    ReleaseManifest manifestFor(const std::string& content) {
        ReleaseManifest manifest;
        manifest.size = static_cast<int64_t>(content.size());
        manifest.sha256 = QCryptographicHash::hash(QByteArray::fromStdString(content), QCryptographicHash::Sha256);
        return manifest;
    }
    QByteArray path(const char* name) const { return QByteArray::fromStdString((folder.path() / name).string()); }
    testing::ScopedTempDir folder;
};

TEST_F(VerifiedUpdateTest, ChecksThroughOneDescriptorAndRefusesTheRest) {
    const std::string script = "#!/bin/sh\necho hi\n";
    std::ofstream(folder.path() / "script") << script;
    std::ofstream(folder.path() / "text") << "just some text\n";
    fs::create_symlink(folder.path() / "script", folder.path() / "link");
    fs::create_directory(folder.path() / "folder");
    ReleaseManifest manifest = manifestFor(script);
    ReleaseManifest longer = manifest;
    longer.size += 1;
    ReleaseManifest otherDigest = manifest;
    otherDigest.sha256[0] = static_cast<char>(otherDigest.sha256[0] ^ 1);
    struct Case {
        const char* name;
        const char* file;
        ReleaseManifest manifest;
        const char* reason;
    };
    const Case cases[] = {
        {"a size that does not match", "script", longer, "size"},
        {"a digest that does not match", "script", otherDigest, "SHA-256"},
        {"a link, not followed", "link", manifest, "cannot be read"},
        {"a folder", "folder", manifest, "not a plain file"},
        {"neither program nor script", "text", manifestFor("just some text\n"), "neither"},
        {"missing", "none", manifest, "cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString reason;
        EXPECT_EQ(VerifiedUpdate::Open(path(c.file), c.manifest, reason), nullptr);
        EXPECT_TRUE(reason.contains(c.reason)) << reason.toStdString();
    }
    QString reason;
    const auto checked = VerifiedUpdate::Open(path("script"), manifest, reason);
    ASSERT_NE(checked, nullptr) << reason.toStdString();
    EXPECT_EQ(checked->kind(), VerifiedUpdate::Kind::Script);
    struct stat status {};
    ASSERT_EQ(::fstat(checked->Descriptor(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0500u);  // executable, and not to be written in place
    EXPECT_NE(::fcntl(checked->Descriptor(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(::fcntl(checked->Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
}

TEST(RateFloor, AsksForTheAverageOverEveryWindowNotTheWhole) {
    using namespace std::chrono;
    using Clock = RateFloor::Clock;
    struct Step {
        int atMs;
        uint64_t bytes;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool holds;  // after the last step
    };
    // A floor of 1000 bytes a second over 2 s: 2000 bytes in any 2 s.
    const Case cases[] = {
        {"not a whole window yet", {{0, 0}, {1900, 0}}, true},
        {"steady, just above", {{0, 0}, {1000, 1100}, {2000, 2200}, {3000, 3300}, {4000, 4400}}, true},
        {"exactly at the floor", {{0, 0}, {1000, 1000}, {2000, 2000}}, true},
        {"a fast start, then a trickle", {{0, 0}, {500, 100'000}, {1500, 100'500}, {3000, 101'000}, {4000, 101'500}}, false},
        {"a gap longer than the window", {{0, 0}, {1000, 5000}, {4000, 5000}}, false},
        {"nothing at all", {{0, 0}, {2000, 0}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RateFloor floor(1000, 2000);
        const Clock::time_point start = Clock::now();
        bool holds = true;
        for (const Step& step : c.steps) holds = floor.Holds(start + milliseconds(step.atMs), step.bytes);
        EXPECT_EQ(holds, c.holds);
    }
    RateFloor none(0, 2000);
    EXPECT_TRUE(none.Holds(Clock::now() + hours(1), 0));
}

}  // namespace
}  // namespace velmora::update
