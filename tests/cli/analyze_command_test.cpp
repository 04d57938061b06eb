#include "cli/analyze_command.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

#include "cli/command_line.h"
#include "cli/display_width.h"
#include "cli/document_listing.h"
#include "cli/json_text.h"
#include "cli/progress_line.h"
#include "engine/text_conversions.h"
#include "storage/compound_file.h"
#include "storage/file_byte_source.h"
#include "support/test_paths.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

TEST(AnalyzeArguments, ParsesOptionsAndPaths) {
    AnalyzeOptions options = ParseAnalyzeArguments({"--recursive", "--types", "xls,doc", "--json", "a", "--", "--b"});
    EXPECT_TRUE(options.recursive);
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.types, engine::dtWord | engine::dtExcel);
    EXPECT_EQ(options.paths, (std::vector<std::string>{"a", "--b"}));
    EXPECT_EQ(ParseAnalyzeArguments({"--types=ppt", "x"}).types, engine::dtPowerPoint);
    EXPECT_EQ(ParseAnalyzeArguments({"x"}).types, engine::kAllDocumentTypes);
    EXPECT_FALSE(ParseAnalyzeArguments({"x"}).residue);
    EXPECT_TRUE(ParseAnalyzeArguments({"--residue", "x"}).residue);
}

TEST(AnalyzeArguments, RejectsBadUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"--json"}, {"--types"}, {"--types", "docx", "a"}, {"--types", "doc,", "a"}, {"--frobnicate", "a"}};
    for (const auto& arguments : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        EXPECT_THROW(ParseAnalyzeArguments(arguments), UsageError);
    }
}

TEST(AnalyzeArguments, HelpIsAnOptionUntilTheDoubleDash) {
    EXPECT_THROW(ParseAnalyzeArguments({"a", "--help"}), HelpRequested);
    EXPECT_THROW(ParseAnalyzeArguments({"-h"}), HelpRequested);
    EXPECT_EQ(ParseAnalyzeArguments({"--", "--help", "-h"}).paths, (std::vector<std::string>{"--help", "-h"}));
}

TEST(JsonText, EscapesEverythingAboveAscii) {
    std::string out;
    AppendJsonString(out, std::u16string(u"a\"b\\c\n\u00e9") + std::u16string(1, u'\xD800') + u"\x7F");
    EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\u00e9\\ud800\\u007f\"");
}

TEST(JsonText, NumbersReadBackExactly) {
    std::string out;
    AppendJsonNumber(out, -109205.0 - 2.0 / 24);
    EXPECT_EQ(std::stod(out), -109205.0 - 2.0 / 24);
}

TEST(FormatDateTime, ShowsLocalDateAndTime) {
    EXPECT_EQ(FormatDateTime(0.0), "");
    EXPECT_EQ(FormatDateTime(36526.5), "2000-01-01 12:00:00");
    EXPECT_EQ(FormatDateTime(-1.25), "1899-12-29 06:00:00");
}

class AnalyzeFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path source = testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls");
        testing::CopyWritable(source, root() / "b.doc");
        testing::CopyWritable(source, root() / "A.XLS");
        fs::create_directory(root() / "sub");
        testing::CopyWritable(source, root() / "sub" / "c.ppt");
        testing::WriteWholeFile(root() / "notes.txt", {'x'});
        ASSERT_EQ(::mkfifo((root() / "pipe.doc").c_str(), 0600), 0);
        fs::create_directory_symlink(root(), root() / "sub" / "loop");
    }
    const fs::path& root() const { return folder.path(); }

    std::vector<fs::path> listed(uint8_t types, bool recursive) {
        return ListDocuments({root().string()}, types, recursive).documents;
    }

    testing::ScopedTempDir folder;
};

TEST_F(AnalyzeFolderTest, FoldersAreSearchedLikeTheDesktopProgramDoes) {
    // Exact extensions, regular files only; the link back to the root leads
    // to a folder already searched.
    EXPECT_EQ(listed(engine::kAllDocumentTypes, false), (std::vector<fs::path>{root() / "b.doc"}));
    EXPECT_EQ(listed(engine::dtExcel, false), (std::vector<fs::path>{}));
    EXPECT_EQ(listed(engine::kAllDocumentTypes, true), (std::vector<fs::path>{root() / "b.doc", root() / "sub" / "c.ppt"}));
}

TEST_F(AnalyzeFolderTest, AFileIsAnalysedWhateverItsName) {
    EXPECT_EQ(ListDocuments({(root() / "notes.txt").string()}, engine::dtWord, false).documents,
              (std::vector<fs::path>{root() / "notes.txt"}));
}

TEST_F(AnalyzeFolderTest, ExitStatusSaysWhetherEveryDocumentWasRead) {
    std::ostringstream out, err;
    AnalyzeOptions options;
    options.json = true;
    options.paths = {root().string()};
    EXPECT_EQ(RunAnalyze(options, out, err), 0);
    EXPECT_NE(out.str().find("\"readable\": true"), std::string::npos);

    options.paths.push_back((root() / "notes.txt").string());
    std::ostringstream out2;
    EXPECT_EQ(RunAnalyze(options, out2, err), 1);
    EXPECT_NE(out2.str().find("\"readable\": false, \"size\": 1, \"reason\": \"not-a-compound-file\""), std::string::npos)
        << out2.str();
}

TEST_F(AnalyzeFolderTest, TableNamesUnreadableDocuments) {
    std::ostringstream out, err;
    AnalyzeOptions options;
    options.paths = {(root() / "b.doc").string(), (root() / "notes.txt").string()};
    EXPECT_EQ(RunAnalyze(options, out, err), 1);
    EXPECT_NE(out.str().find("John Machin"), std::string::npos);
    EXPECT_NE(out.str().find("notes.txt  (unreadable: "), std::string::npos) << out.str();
}

// The column a cell starts at on a terminal, found by the first occurrence
// of its text in the line.
size_t ColumnOf(const std::string& line, const std::string& cell) {
    const size_t at = line.find(cell);
    EXPECT_NE(at, std::string::npos) << cell << " in " << line;
    return DisplayWidth(engine::Utf8ToWide(line.substr(0, at)));
}

TEST_F(AnalyzeFolderTest, TableColumnsLineUpOnATerminal) {
    // Chinese takes two columns a character; a name too long for its column
    // is cut between characters, never inside an emoji's surrogate pair.
    std::string emoji;
    for (int i = 0; i < 20; ++i) emoji += "\U0001F600";
    fs::rename(root() / "b.doc", root() / "PowerPoint \u6F14\u793A\u6587\u7A3F.doc");
    testing::CopyWritable(root() / "A.XLS", root() / "a.doc");
    testing::CopyWritable(root() / "A.XLS", root() / (emoji + ".doc"));
    std::ostringstream out, err;
    AnalyzeOptions options;
    options.paths = {root().string()};
    ASSERT_EQ(RunAnalyze(options, out, err), 0) << err.str();

    std::vector<std::string> lines;
    std::istringstream table(out.str());
    for (std::string line; std::getline(table, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << out.str();
    const size_t author = ColumnOf(lines[0], "Author");
    const size_t company = ColumnOf(lines[0], "Company");
    for (size_t i = 1; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(ColumnOf(lines[i], "John Machin"), author);
        EXPECT_EQ(ColumnOf(lines[i], "Lingfo Pty Ltd"), company);
    }
    const std::string clipped = emoji.substr(0, 15 * 4) + "\u2026  ";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(clipped, 0) == 0; }))
        << out.str();
}

TEST(ProgressLine, IsSilentUnlessStderrIsATerminal) {
    std::ostringstream terminal;
    {
        ProgressLine progress(terminal, false);
        progress.UpdateSearch(3, 1);
        progress.Update(1, 1);
    }
    EXPECT_EQ(terminal.str(), "");
}

TEST(ProgressLine, RedrawsOneLineAndLeavesItClean) {
    std::ostringstream terminal;
    {
        ProgressLine progress(terminal, true);
        progress.UpdateSearch(1, 1);
        progress.Update(2, 2);  // the last step is always drawn
    }
    const std::string shown = terminal.str();
    EXPECT_EQ(shown.rfind("\r\033[Kvelmora-cli: searching, 1 folder, 1 document found", 0), 0u) << shown;
    EXPECT_NE(shown.find("\r\033[Kvelmora-cli: 2 of 2 documents"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");  // cleared when it goes
    EXPECT_EQ(shown.find('\n'), std::string::npos);
}

int RunCli(const std::string& arguments) {
    int status = std::system((std::string(VELMORA_CLI_PATH) + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(VelmoraCli, ExitStatuses) {
    const std::string corpusFile = testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls").string();
    EXPECT_EQ(RunCli("analyze " + corpusFile), 0);
    EXPECT_EQ(RunCli("analyze --json /nonexistent/x.doc"), 1);
    EXPECT_EQ(RunCli(""), 2);
    EXPECT_EQ(RunCli("analyse x"), 2);
    EXPECT_EQ(RunCli("analyze --types pdf x"), 2);
}

TEST(VelmoraCli, ReportsAFolderItCannotList) {
    const int result = testing::RunUnprivileged([] {
        char pattern[] = "/tmp/velmora-cli-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return 10;
        const fs::path top = pattern;
        fs::create_directory(top / "closed");
        fs::permissions(top / "closed", fs::perms::none);
        std::ostringstream out, err;
        AnalyzeOptions options;
        options.recursive = true;
        options.paths = {top.string()};
        const int status = RunAnalyze(options, out, err);
        fs::permissions(top / "closed", fs::perms::owner_all);
        fs::remove_all(top);
        if (status != 1) return 11;
        return err.str() == "velmora-cli: cannot list " + (top / "closed").string() + "\n" ? 0 : 12;
    });
    if (result == testing::kCannotDropPrivileges) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(result, 0);
}

std::string CliOutput(const std::string& arguments) {
    std::string output;
    FILE* pipe = ::popen((std::string(VELMORA_CLI_PATH) + " " + arguments + " 2>&1").c_str(), "r");
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    if (pipe) ::pclose(pipe);
    return output;
}

TEST(VelmoraCli, HelpOfEachCommandIsTheUsageOnStdout) {
    const auto stdoutAndStatus = [](const std::string& arguments) {
        std::string output;
        FILE* pipe = ::popen((std::string(VELMORA_CLI_PATH) + " " + arguments + " 2>/dev/null").c_str(), "r");
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        const int status = pipe ? ::pclose(pipe) : -1;
        return std::make_pair(output, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    };
    const auto [usage, usageStatus] = stdoutAndStatus("--help");
    ASSERT_EQ(usageStatus, 0);
    ASSERT_EQ(usage.rfind("usage: velmora-cli", 0), 0u) << usage;
    for (const char* arguments : {"analyze --help", "analyze -h", "clean --help", "clean -h"}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(stdoutAndStatus(arguments), std::make_pair(usage, 0));
    }
}

TEST(VelmoraCli, VersionNamesTheBuildLetterAndTheBuildDate) {
    // 3.0.0.51: "3.00" and the letter of build 51; the date from the note in
    // the executable itself, as "Month d, yyyy".
    EXPECT_THAT(CliOutput("--version"), ::testing::MatchesRegex("Velmora 3\\.00c \\([A-Z][a-z]+ [1-9][0-9]?, 20[0-9][0-9]\\)\n"));
}

TEST(VelmoraCli, NamesThatAreNotUtf8SurviveTheRoundTripThroughJson) {
    testing::ScopedTempDir folder;
    const fs::path odd = folder.path() / "caf\xE9.doc";
    testing::CopyWritable(testing::TestDataPath("corpus/real/python3-xlrd/namesdemo.xls"), odd);
    const std::string quoted = "'" + folder.path().string() + "'";
    const std::string json = CliOutput("analyze --json " + quoted);
    // The stray byte travels as U+DCE9, which maps back to the byte.
    EXPECT_NE(json.find("caf\\udce9.doc\", \"readable\": true"), std::string::npos) << json;
    const std::string cleaned = CliOutput("clean --json --clear-title " + quoted);
    EXPECT_NE(cleaned.find("caf\\udce9.doc\", \"ok\": true"), std::string::npos) << cleaned;
}

TEST(AnalyzeJson, ListsCustomPropertiesPrintersAndEmbeddedObjects) {
    struct Case {
        const char* document;
        const char* expected;  // a part of the JSON line
    };
    const Case cases[] = {
        {"corpus/real/python3-xlrd/namesdemo.xls",
         "\"custom\": [], \"printers\": [{\"where\": \"Pls\", \"stream\": \"Workbook\", \"name\": \"HP Mobile Printing PS\"}], "
         "\"embedded\": []"},
        {"corpus/odd/codepage-1200-lpwstr.doc", "\"custom\": [{\"name\": \"Projekt-Nr.\", \"value\": \"4711\"}, "},
        {"embedded/lo-workbook-in-word.doc", "\"embedded\": [{\"storage\": \"ObjectPool/_2147483647\", \"summary\": {\"Title\": "
                                             "\"Inner title\", \"Subject\": \"\", \"Author\": \"Inner Author\""},
        {"embedded/lo-workbook-in-word.doc", "\"cleanable\": false, \"reason\": \"not cleaned: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        std::ostringstream out, err;
        AnalyzeOptions options;
        options.json = true;
        options.paths = {testing::TestDataPath(c.document).string()};
        RunAnalyze(options, out, err);
        EXPECT_NE(out.str().find(c.expected), std::string::npos) << out.str();
    }
}

TEST(AnalyzeHiddenNames, JsonAndTableNameWhoSavedLast) {
    const std::string iris = testing::TestDataPath("corpus/real/r-cran-gdata/iris.xls").string();
    std::ostringstream json, table, err;
    AnalyzeOptions options;
    options.json = true;
    options.paths = {iris};
    RunAnalyze(options, json, err);
    EXPECT_NE(json.str().find("\"hidden\": [{\"where\": \"WriteAccess\", \"stream\": \"Workbook\", \"name\": \"Gregory Warmes\"}, "
                              "{\"where\": \"WriteAccess\", \"stream\": \"Book\", \"name\": \"Gregory Warmes\"}]"),
              std::string::npos)
        << json.str();
    options.json = false;
    RunAnalyze(options, table, err);
    EXPECT_NE(table.str().find("Hidden names"), std::string::npos);
    EXPECT_EQ(table.str().find("Gregory Warmes, Gregory Warmes"), std::string::npos) << "names are listed once";
    EXPECT_NE(table.str().find("Gregory Warmes"), std::string::npos);
}

// After "remove the revision log", the names in its place are marked as the
// clean's own placeholders.
TEST(AnalyzeHiddenNames, JsonMarksPlaceholders) {
    testing::ScopedTempDir folder;
    const auto document = folder.path() / "comments.doc";
    testing::CopyWritable(testing::TestDataPath("hidden-names/lo-comments.doc"), document);
    const std::string quoted = "'" + document.string() + "'";
    const std::string before = CliOutput("analyze --json " + quoted);
    // Real initials ("GH") are names.
    EXPECT_EQ(before.find("\"placeholder\""), std::string::npos) << before;
    CliOutput("clean --remove-revision-log " + quoted);
    const std::string after = CliOutput("analyze --json " + quoted);
    for (const char* marked : {"\"name\": \"Author 1    \", \"placeholder\": true}", "\"name\": \"A \", \"placeholder\": true}"})
        EXPECT_NE(after.find(marked), std::string::npos) << after;
}

// Old bytes in the unused tail of WordDocument's last sector: analysis
// reports them only when asked, the clean zeroes them as "FreeSpace" though
// nothing else needs a change, and then there are none.
TEST(AnalyzeResidue, ReportedWhenAskedAndGoneAfterAClean) {
    testing::ScopedTempDir folder;
    const fs::path document = folder.path() / "residue.doc";
    testing::CopyWritable(testing::TestDataPath("corpus/generated/lo-ascii.doc"), document);
    ASSERT_NE(CliOutput("clean --json --clear-title " + document.string()).find("\"ok\": true"), std::string::npos);
    uint64_t tail = 0;
    {
        auto source = storage::FileByteSource::Open(document, storage::AccessMode::Read);
        storage::CompoundFile file(*source);
        const auto word = file.findInRoot(u"WordDocument");
        ASSERT_TRUE(word && word->streamSize % 512 != 0);
        tail = file.sectorOffset(file.openStream(*word).chain().back()) + word->streamSize % 512;
    }
    std::vector<uint8_t> bytes = testing::ReadWholeFile(document);
    bytes[tail + 2] = 'X';
    testing::WriteWholeFile(document, bytes);

    EXPECT_EQ(CliOutput("analyze --json " + document.string()).find("\"residue\""), std::string::npos);
    const std::string before = CliOutput("analyze --json --residue " + document.string());
    EXPECT_NE(before.find("\"residue\": " + std::to_string(512 - tail % 512)), std::string::npos) << before;
    const std::string table = CliOutput("analyze --residue " + document.string());
    EXPECT_NE(table.find("Residue"), std::string::npos) << table;

    const std::string cleaned = CliOutput("clean --json --clear-title " + document.string());
    EXPECT_NE(cleaned.find("\"ok\": true, \"changed\": [\"FreeSpace\"]"), std::string::npos) << cleaned;
    EXPECT_NE(CliOutput("analyze --json --residue " + document.string()).find("\"residue\": 0}"), std::string::npos);
    EXPECT_NE(CliOutput("clean --json --clear-title " + document.string()).find("\"changed\": []"), std::string::npos);
}

}  // namespace
}  // namespace velmora::cli
