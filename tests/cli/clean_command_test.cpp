#include "cli/clean_command.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sstream>

#include "cli/command_line.h"
#include "support/compound_file_builder.h"
#include "support/test_paths.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;
using engine::CleanOperation;

TEST(CleanArguments, AllSelectsEveryOperationWithEmptyAuthorAndCompany) {
    CleanOptions options = ParseCleanArguments({"--all", "x.doc"});
    EXPECT_EQ(options.settings.operations.size(), 20u);
    EXPECT_EQ(options.settings.author, u"");
    options = ParseCleanArguments({"--all", "--author", "Ren\xC3\xA9" "e", "--company=ACME", "x.doc"});
    EXPECT_EQ(options.settings.operations.size(), 20u);
    EXPECT_EQ(options.settings.author, u"Ren\u00e9e");
    EXPECT_EQ(options.settings.company, u"ACME");
}

TEST(CleanArguments, SingleOperationsAndSwitches) {
    CleanOptions options = ParseCleanArguments(
        {"--dry-run", "--keep-dates", "--json", "-r", "--types", "doc", "--clear-created", "--clear-title", "a", "b"});
    EXPECT_TRUE(options.dryRun && options.keepDates && options.json && options.recursive);
    EXPECT_EQ(options.types, engine::dtWord);
    EXPECT_EQ(options.settings.operations, (std::vector<CleanOperation>{CleanOperation::ClearCreated, CleanOperation::ClearTitle}));
    EXPECT_EQ(options.paths, (std::vector<std::string>{"a", "b"}));
}

TEST(CleanArguments, RejectsBadUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {"x.doc"}, {"--all"}, {"--author"}, {"--clear-everything", "x.doc"}, {"--types", "pdf", "--all", "x"}};
    for (const auto& arguments : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        EXPECT_THROW(ParseCleanArguments(arguments), UsageError);
    }
}

class CleanRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::CopyWritable(testing::TestDataPath("corpus/odd/dsi-all-pids.doc"), folder.path() / "a.doc");
        testing::WriteWholeFile(folder.path() / "b.doc", {'n', 'o', 't', ' ', 'a', ' ', 'd', 'o', 'c'});
        testing::CopyWritable(testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls"), folder.path() / "c.xls");
    }

    std::string run(const std::vector<std::string>& arguments, int expectedStatus) {
        std::vector<std::string> all = arguments;
        all.push_back(folder.path().string());
        std::ostringstream out, err;
        EXPECT_EQ(RunClean(ParseCleanArguments(all), out, err), expectedStatus) << out.str() << err.str();
        return out.str();
    }

    testing::ScopedTempDir folder;
};

TEST_F(CleanRunTest, GoesOnAfterAFailedDocumentAndReportsEach) {
    std::string out = run({"--json", "--clear-title", "--remove-guid", "--author", "X"}, 1);
    std::istringstream lines(out);
    std::string a, b, c;
    std::getline(lines, a);
    std::getline(lines, b);
    std::getline(lines, c);
    EXPECT_NE(a.find("a.doc\", \"ok\": true, \"changed\": [\"Title\", \"Guid\", \"Author\"], \"failed\": [], \"error\": null, \"code\": null}"),
              std::string::npos) << a;
    EXPECT_NE(b.find("b.doc\", \"ok\": false, \"changed\": [], \"failed\": [], \"error\": \"The file is not"), std::string::npos) << b;
    EXPECT_NE(b.find("\"code\": \"0x800300FB\""), std::string::npos) << b;
    EXPECT_NE(c.find("c.xls\", \"ok\": true, \"changed\": [\"Author\"]"), std::string::npos) << c;
    // A second run has nothing left to change.
    std::string again = run({"--json", "--clear-title", "--remove-guid", "--author", "X", "--types", "doc,xls"}, 1);
    EXPECT_EQ(again.find("\"changed\": [\""), std::string::npos) << again;
}

TEST_F(CleanRunTest, DryRunReportsTheSameChangesAndWritesNothing) {
    const auto before = testing::ReadWholeFile(folder.path() / "a.doc");
    std::string dry = run({"--dry-run", "--all"}, 1);
    EXPECT_EQ(testing::ReadWholeFile(folder.path() / "a.doc"), before);
    std::string real = run({"--all"}, 1);
    auto lineFor = [](const std::string& text, const std::string& name) {
        size_t at = text.find(name);
        return text.substr(at, text.find('\n', at) - at);
    };
    std::string dryLine = lineFor(dry, "a.doc"), realLine = lineFor(real, "a.doc");
    EXPECT_EQ(dryLine.substr(dryLine.find("would change ") + 13), realLine.substr(realLine.find("changed ") + 8));
}

TEST_F(CleanRunTest, DryRunMeetsTheRefusalsARealRunWould) {
    ASSERT_EQ(::chmod((folder.path() / "c.xls").c_str(), 0444), 0);
    std::string out = run({"--dry-run", "--clear-last-edited-by", "--types", "xls"}, 1);
    EXPECT_NE(out.find("FAILED: The document is read-only"), std::string::npos) << out;
}

// Per field: a Windows-1252 set cannot hold a Japanese author, the company
// still goes; the failure is listed by field with its code.
TEST_F(CleanRunTest, FailedFieldsAreListedAndTheRestApplies) {
    std::string out = run({"--json", "--types", "xls", "--author", "\xE6\x97\xA5\xE6\x9C\xAC", "--company", ""}, 1);
    const size_t at = out.find("c.xls");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string line = out.substr(at, out.find('\n', at) - at);
    EXPECT_NE(line.find("\"ok\": false, \"changed\": [\"Company\"], \"failed\": [{\"field\": \"Author\", \"error\": "),
              std::string::npos) << line;
    EXPECT_NE(line.find("\"code\": \"0x80030057\"}]"), std::string::npos) << line;
}

// LibreOffice keeps the manager only as a user-defined property.
TEST_F(CleanRunTest, ClearManagerRemovesTheUserDefinedManager) {
    testing::CopyWritable(testing::TestDataPath("corpus/generated/lo-latin.xls"), folder.path() / "latin.xls");
    std::string out = run({"--clear-manager", "--types", "xls"}, 0);
    EXPECT_NE(out.find("latin.xls: changed Manager"), std::string::npos) << out;
    out = run({"--clear-manager", "--types", "xls"}, 0);
    EXPECT_NE(out.find("latin.xls: nothing to change"), std::string::npos) << out;
}

// A lock file left by LibreOffice still refuses, and says which and what to do.
TEST_F(CleanRunTest, LockFileRefusalNamesTheLockFile) {
    const fs::path lock = folder.path() / ".~lock.a.doc#";
    testing::WriteWholeFile(lock, testing::BytesOf("Ren\xC3\xA9" "e,renee,deskhost,10.12.2026 09:30,file:///home/renee;"));
    std::string out = run({"--clear-title", "--types", "doc"}, 1);
    EXPECT_NE(out.find(lock.string()), std::string::npos) << out;
    EXPECT_NE(out.find("deskhost"), std::string::npos) << out;
    EXPECT_NE(out.find("delete"), std::string::npos) << out;
}

TEST_F(CleanRunTest, KeepDatesGivesBackTheModificationTime) {
    const fs::path document = folder.path() / "c.xls";
    struct timespec old[2] = {{1'000'000'000, 0}, {1'100'000'000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, document.c_str(), old, 0), 0);
    run({"--keep-dates", "--clear-last-edited-by", "--types", "xls"}, 0);
    struct stat status {};
    ASSERT_EQ(::stat(document.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtim.tv_sec, 1'100'000'000);
    EXPECT_EQ(status.st_atim.tv_sec, 1'000'000'000);
    run({"--clear-title", "--types", "xls"}, 0);  // nothing to change: the dates stay too
    ASSERT_EQ(::stat(document.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtim.tv_sec, 1'100'000'000);
}

TEST_F(CleanRunTest, DatesThatCannotBeRestoredMakeTheRunFail) {
    auto refuse = [](const fs::path&, const struct stat&) { return false; };
    std::ostringstream out, err;
    CleanOptions options = ParseCleanArguments({"--keep-dates", "--clear-last-edited-by", "--types", "xls", folder.path().string()});
    EXPECT_EQ(RunClean(options, out, err, refuse), 1);
    EXPECT_NE(err.str().find("could not restore the file's dates"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("changed"), std::string::npos) << out.str();  // the cleaning itself still stands

    std::ostringstream quietOut, quietErr;  // a run that changes nothing never asks for the dates
    EXPECT_EQ(RunClean(options, quietOut, quietErr, refuse), 0) << quietErr.str();
}

}  // namespace
}  // namespace velmora::cli
