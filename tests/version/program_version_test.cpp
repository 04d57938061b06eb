// The version and build time carried in the executable, read back by path.
#include "version/program_version.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "build_stamp.h"
#include "support/test_paths.h"

namespace velmora::version {
namespace {

namespace fs = std::filesystem;

FixedFileInfo InfoFor(uint16_t major, uint16_t minor, uint16_t release, uint16_t build) {
    FixedFileInfo info;
    info.dwFileVersionMS = uint32_t{major} << 16 | minor;
    info.dwFileVersionLS = uint32_t{release} << 16 | build;
    return info;
}

TEST(BuildLetter, StartsAtCAndSkipsMultiplesOfTen) {
    const std::pair<uint32_t, const char*> cases[] = {{0, ""}, {10, ""}, {20, ""}, {1, "c"}, {11, "c"},
                                                      {51, "c"}, {2, "d"}, {8, "j"}, {9, "k"}, {65535, "g"}};
    for (const auto& [build, letter] : cases) EXPECT_EQ(BuildLetter(build), letter) << build;
}

TEST(VersionText, WritesMinorAndReleaseTogether) {
    struct Case {
        ProgramVersion version;
        bool includeBuild, buildOnly, buildAsLetter;
        const char* expected;
    };
    const Case cases[] = {
        {{3, 0, 0, 51}, true, false, true, "3.00c"},   // as the window caption shows it
        {{3, 0, 0, 50}, true, false, true, "3.00"},
        {{3, 1, 2, 7}, true, false, true, "3.12i"},
        {{3, 0, 10, 51}, true, false, true, "3.010c"},  // not 3.0.10
        {{3, 0, 0, 51}, true, false, false, "3.00 Build 51"},
        {{3, 0, 0, 51}, false, false, true, "3.00"},
        {{3, 0, 0, 51}, true, true, true, "Build 51"},
        {{3, 0, 0, 51}, false, true, false, "Build 51"},
    };
    for (const Case& c : cases) EXPECT_EQ(VersionText(c.version, c.includeBuild, c.buildOnly, c.buildAsLetter), c.expected);
}

TEST(FileVersionText, HasTwoFormats) {
    const FixedFileInfo info = InfoFor(3, 0, 0, 51);
    EXPECT_EQ(FileVersionText(info, 0), "3.0");
    EXPECT_EQ(FileVersionText(info, 1), "3.0.0.51");
    EXPECT_EQ(FileVersionText(info, 2, "kept"), "kept");
    EXPECT_EQ(FileVersionText(InfoFor(65535, 65535, 65535, 65535), 1), "65535.65535.65535.65535");
}

TEST(ProgramVersion, ComesFromTheNoteInTheRunningExecutable) {
    FixedFileInfo info;
    ASSERT_TRUE(ReadFixedFileInfo(OwnExecutablePath(), info));
    EXPECT_EQ(info.dwSignature, kFixedFileInfoSignature);
    EXPECT_EQ(FileVersionText(info, 1), VELMORA_PROJECT_VERSION);
    const ProgramVersion running = ReadProgramVersion();
    EXPECT_EQ(FileVersionText(InfoFor(running.major, running.minor, running.release, running.build), 1), VELMORA_PROJECT_VERSION);
    EXPECT_EQ(ProgramVersionText(true, false, true), "3.00c");
}

TEST(ProgramVersion, BuildDateIsTheStampInDaysSince1899) {
    EXPECT_DOUBLE_EQ(ImageBuildDate(OwnExecutablePath()), static_cast<double>(VELMORA_BUILD_TIME) / 86400.0 + 25569.0);
}

// A copy of this test executable with one byte changed in the note's owner
// name (and in every other copy of the note header, such as the one this very
// function holds among its constants, which the copy never runs).
fs::path CopyWithDamagedNote(const fs::path& folder) {
    std::vector<uint8_t> bytes = testing::ReadWholeFile(OwnExecutablePath());
    const uint8_t header[] = {8, 0, 0, 0, 60, 0, 0, 0, 1, 0, 0, 0, 'V', 'e', 'l', 'm', 'o', 'r', 'a', 0};
    int damaged = 0;
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), std::begin(header), std::end(header))) != bytes.end(); ++damaged)
        at[12] = 'W';
    if (damaged == 0) throw std::runtime_error("no note in the test executable");
    const fs::path copy = folder / "damaged";
    testing::WriteWholeFile(copy, bytes);
    return copy;
}

TEST(ProgramVersion, FilesWithoutAUsableNoteGiveFalseAndLeaveTheRecordAlone) {
    testing::ScopedTempDir folder;
    const std::vector<uint8_t> self = testing::ReadWholeFile(OwnExecutablePath());
    testing::WriteWholeFile(folder.path() / "empty", {});
    testing::WriteWholeFile(folder.path() / "header-only", std::vector<uint8_t>(self.begin(), self.begin() + 64));
    const fs::path cases[] = {folder.path() / "missing", folder.path() / "empty", folder.path() / "header-only",
                              folder.path(), testing::TestDataPath("corpus/generated/lo-ascii.doc"),
                              CopyWithDamagedNote(folder.path())};
    for (const fs::path& path : cases) {
        SCOPED_TRACE(path);
        FixedFileInfo info = InfoFor(1, 2, 3, 4);
        EXPECT_FALSE(ReadFixedFileInfo(path, info));
        EXPECT_EQ(FileVersionText(info, 1), "1.2.3.4");
    }
}

TEST(ProgramVersion, BuildDateFailuresCarryTheSystemErrorText) {
    testing::ScopedTempDir folder;
    try {
        ImageBuildDate(folder.path() / "missing");
        FAIL() << "no error";
    } catch (const OsError& error) {
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_STREQ(error.what(), "System Error.  Code: 2.\nNo such file or directory");
    }
    try {
        ImageBuildDate(testing::TestDataPath("corpus/generated/lo-ascii.doc"));
        FAIL() << "no error";
    } catch (const OsError& error) {
        EXPECT_STREQ(error.what(), "A call to an OS function failed");
    }
}

// The build stamp script, run as the build runs it.
std::string RunStampScript(const std::string& environment, const fs::path& output) {
    const std::string command = environment + " " VELMORA_CMAKE_COMMAND " -DSOURCE_DIR=/nonexistent -DOUTPUT=" +
                                output.string() + " -P " VELMORA_BUILD_STAMP_SCRIPT;
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    std::ifstream in(output);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(BuildStamp, TakesSourceDateEpochElseTheTimeOfTheBuild) {
    testing::ScopedTempDir folder;
    const fs::path output = folder.path() / "build_stamp.h";
    EXPECT_EQ(RunStampScript("env SOURCE_DATE_EPOCH=1351468800", output), "#pragma once\n#define VELMORA_BUILD_TIME 1351468800LL\n");

    // Unchanged content is not rewritten, so nothing is rebuilt.
    fs::last_write_time(output, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const auto before = fs::last_write_time(output);
    RunStampScript("env SOURCE_DATE_EPOCH=1351468800", output);
    EXPECT_EQ(fs::last_write_time(output), before);

    // No epoch and no repository: now.
    const std::string now = RunStampScript("env -u SOURCE_DATE_EPOCH", output);
    const long long stamp = std::stoll(now.substr(now.find("TIME ") + 5));
    EXPECT_NEAR(static_cast<double>(stamp), static_cast<double>(std::time(nullptr)), 600.0);
}

}  // namespace
}  // namespace velmora::version
