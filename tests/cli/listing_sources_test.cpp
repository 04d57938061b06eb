// Where velmora-cli takes its documents from: --files-from lists and --shard slices.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "cli/analyze_command.h"
#include "cli/clean_command.h"
#include "cli/command_line.h"
#include "cli/shard.h"
#include "support/test_paths.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

const char kSample[] = "corpus/real/python3-xlrd/namesdemo.xls";

TEST(Shard, ParsesKOfNAndRefusesTheRest) {
    EXPECT_EQ(ParseShard("1/1").Text(), "1/1");
    EXPECT_EQ(ParseShard("3/8").index, 3u);
    EXPECT_EQ(ParseShard("8/8").count, 8u);
    EXPECT_EQ(ParseShard("1000000/1000000").index, 1000000u);
    for (const char* bad : {"0/8", "9/8", "8", "a/b", "1/0", "1/1000001", " 1/2", "1/2/3", "-1/2", "", "/"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ParseShard(bad), UsageError);
    }
}

TEST(Shard, TheHashIsPinned) {
    // 64-bit FNV-1a of the path bytes; a task on any machine must agree.
    const std::pair<std::string, uint64_t> cases[] = {
        {"", 14695981039346656037ull},
        {"a", 12638187200555641996ull},
        {"/srv/share/report.doc", 17413396879279836058ull},
        {"/srv/share/caf\xE9.xls", 9327536865677446382ull},
        {"docs/line\nbreak.ppt", 16362641707946057162ull},
    };
    for (const auto& [path, hash] : cases) EXPECT_EQ(ShardHash(path), hash) << path;
    EXPECT_TRUE((Shard{2, 7}.Holds("/srv/share/report.doc")));
    EXPECT_FALSE((Shard{1, 7}.Holds("/srv/share/report.doc")));
    EXPECT_TRUE(Shard{}.Holds("anything"));
}

TEST(ListingArguments, FilesFromNullAndShard) {
    AnalyzeOptions options = ParseAnalyzeArguments({"--files-from", "list.txt", "-0", "--shard=2/5"});
    EXPECT_EQ(options.filesFrom, "list.txt");
    EXPECT_TRUE(options.nulSeparated);
    EXPECT_EQ(options.shard.Text(), "2/5");
    EXPECT_TRUE(options.paths.empty());  // the list is enough
    EXPECT_EQ(ParseCleanArguments({"--all", "--files-from=-"}).filesFrom, "-");
    const std::vector<std::vector<std::string>> bad = {
        {"-0", "a"}, {"--files-from"}, {"--files-from="}, {"--shard", "0/3", "a"}, {"--shard"}};
    for (const auto& arguments : bad) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        EXPECT_THROW(ParseAnalyzeArguments(arguments), UsageError);
    }
}

// A tree of corpus copies with awkward names, and the tool run on it.
class ListingSourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root() / "folder" / "deeper");
        for (const char* name : {"plain.doc", "caf\xE9.xls", "line\nbreak.ppt", "folder/in-folder.doc",
                                 "folder/deeper/deep.xls"})
            testing::CopyWritable(testing::TestDataPath(kSample), root() / name);
    }
    const fs::path& root() const { return folder.path(); }

    void writeList(const std::string& bytes) { std::ofstream(root() / "list", std::ios::binary) << bytes; }

    // The JSON lines and the exit status of `velmora-cli analyze --json ARGS`.
    std::pair<std::vector<std::string>, int> analyze(const std::string& arguments, const std::string& input = "") {
        const std::string command = "cd '" + root().string() + "' && " + (input.empty() ? "" : "printf '" + input + "' | ") +
                                    VELMORA_CLI_PATH + " analyze --json " + arguments + " 2>/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string output;
        char buffer[4096];
        while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
        const int status = ::pclose(pipe);
        std::vector<std::string> paths;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            const size_t start = line.find("\"path\": \"") + 9, end = line.find("\", \"readable\"");
            paths.push_back(line.substr(start, end - start));
        }
        return {paths, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }

    testing::ScopedTempDir folder;
};

TEST_F(ListingSourcesTest, ListsByLineOrByNulAreTakenAsPathsAre) {
    struct Case {
        const char* name;
        std::string list;
        std::string arguments;
        std::vector<std::string> paths;  // as JSON writes them, in order
        int status;
    };
    const Case cases[] = {
        {"one path a line", "plain.doc\n\ncaf\xE9.xls\n", "--files-from list", {"plain.doc", "caf\\udce9.xls"}, 0},
        {"the last line without its end", "plain.doc", "--files-from list", {"plain.doc"}, 0},
        {"NUL-separated, a newline inside a name", std::string("line\nbreak.ppt\0caf\xE9.xls\0", 24),
         "--files-from list -0", {"line\\nbreak.ppt", "caf\\udce9.xls"}, 0},
        {"a listed folder, searched as a PATH is", "folder\n", "--files-from list --recursive",
         {"folder/in-folder.doc", "folder/deeper/deep.xls"}, 0},
        {"a missing file is reported as that document", "plain.doc\nnot-there.doc\n", "--files-from list",
         {"plain.doc", "not-there.doc"}, 1},
        {"the list first, then the PATH arguments", "caf\xE9.xls\n", "plain.doc --files-from list",
         {"caf\\udce9.xls", "plain.doc"}, 0},
        // A list find -print0 wrote, read without -0, stops before any work.
        {"NUL bytes in a line-separated list", std::string("plain.doc\0caf\xE9.xls\n", 20), "--files-from list", {}, 1},
        {"an entry longer than any path", std::string(5000, 'x') + "\n", "--files-from list", {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeList(c.list);
        const auto [paths, status] = analyze(c.arguments);
        EXPECT_EQ(paths, c.paths);
        EXPECT_EQ(status, c.status);
    }
    // Standard input, and a list that cannot be read (bad usage).
    EXPECT_EQ(analyze("--files-from -", "plain.doc\\n").first, std::vector<std::string>{"plain.doc"});
    EXPECT_EQ(analyze("--files-from no-such-list").second, 2);
    EXPECT_EQ(analyze("--files-from folder").second, 2);
}

TEST_F(ListingSourcesTest, ShardsSplitTheListingWithNoOverlapAndNoGap) {
    // A larger tree: 60 documents in folders, listed by folder.
    for (int i = 0; i < 55; ++i)
        testing::CopyWritable(testing::TestDataPath(kSample), root() / "folder" / ("copy" + std::to_string(i) + ".doc"));
    AnalyzeOptions options;
    options.json = true;
    options.recursive = true;
    options.jobs = 2;
    options.paths = {root().string()};
    std::ostringstream whole, err;
    ASSERT_EQ(RunAnalyze(options, whole, err), 0);
    std::multiset<std::string> expected;
    std::istringstream lines(whole.str());
    for (std::string line; std::getline(lines, line);) expected.insert(line);
    ASSERT_EQ(expected.size(), 60u);

    for (uint32_t n : {1u, 2u, 7u, 64u}) {
        SCOPED_TRACE(n);
        std::multiset<std::string> merged;
        size_t nonEmptyShards = 0;
        for (uint32_t k = 1; k <= n; ++k) {
            options.shard = Shard{k, n};
            std::ostringstream out;
            ASSERT_EQ(RunAnalyze(options, out, err), 0);
            std::istringstream shardLines(out.str());
            size_t count = 0;
            for (std::string line; std::getline(shardLines, line); ++count) merged.insert(line);
            nonEmptyShards += count > 0;
        }
        EXPECT_EQ(merged, expected);  // every line once: no overlap, no gap
        if (n > 1) {
            EXPECT_GT(nonEmptyShards, 1u);
        }
    }
}

TEST_F(ListingSourcesTest, AShardsResumeFileIsItsOwn) {
    CleanOptions options = ParseCleanArguments({"--clear-title", "--shard", "1/2", "--resume",
                                                (root() / "journal").string(), root().string()});
    std::ostringstream out, err;
    RunClean(options, out, err);
    options.shard = Shard{2, 2};
    EXPECT_THROW(RunClean(options, out, err), UsageError);
    options.shard = Shard{1, 2};
    EXPECT_NO_THROW(RunClean(options, out, err));
}

}  // namespace
}  // namespace velmora::cli
