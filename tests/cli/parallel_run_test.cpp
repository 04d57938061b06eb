// Analysis and cleaning on a pool of workers: output in listing order, the
// same for any number of workers, and runs that resume where they stopped.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/analyze_command.h"
#include "cli/clean_command.h"
#include "cli/clean_journal.h"
#include "cli/command_line.h"
#include "cli/ordered_work.h"
#include "storage/document_source.h"
#include "support/test_paths.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;
using velmora::testing::ScopedTempDir;

// Copies every corpus document into `folder`, in sub-folders as in the corpus.
size_t CopyCorpus(const fs::path& folder) {
    size_t count = 0;
    const fs::path corpus = velmora::testing::TestDataPath("corpus");
    for (const fs::path& document : velmora::testing::CorpusDocuments()) {
        const fs::path target = folder / fs::relative(document, corpus);
        fs::create_directories(target.parent_path());
        velmora::testing::CopyWritable(document, target);
        ++count;
    }
    return count;
}

std::string Analyze(const std::vector<std::string>& arguments, int& status) {
    std::ostringstream out, err;
    status = RunAnalyze(ParseAnalyzeArguments(arguments), out, err);
    return out.str();
}

std::string Clean(const std::vector<std::string>& arguments, int& status, const CleanHooks& hooks = {}) {
    std::ostringstream out, err;
    status = RunClean(ParseCleanArguments(arguments), out, err, RestoreFileTimes, hooks);
    return out.str();
}

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(ParallelRun, AnalysisOutputIsTheSameForAnyNumberOfWorkers) {
    const std::string corpus = velmora::testing::TestDataPath("corpus").string();
    int one = -1, eight = -1;
    const std::string sequential = Analyze({"--json", "--recursive", "--jobs", "1", corpus}, one);
    const std::string parallel = Analyze({"--json", "--recursive", "--jobs", "8", corpus}, eight);
    EXPECT_EQ(parallel, sequential);
    EXPECT_EQ(one, eight);
    EXPECT_EQ(Lines(sequential), velmora::testing::CorpusDocuments().size());
    EXPECT_EQ(Analyze({"--recursive", "-j", "3", corpus}, eight), Analyze({"--recursive", "--jobs=1", corpus}, one));
}

TEST(ParallelRun, CleaningOutputIsTheSameForAnyNumberOfWorkers) {
    ScopedTempDir first, second;
    const size_t documents = CopyCorpus(first.path());
    CopyCorpus(second.path());
    int one = -1, eight = -1;
    std::string sequential = Clean({"--json", "--recursive", "--all", "--jobs", "1", first.path().string()}, one);
    std::string parallel = Clean({"--json", "--recursive", "--all", "--jobs", "8", second.path().string()}, eight);
    EXPECT_EQ(Lines(sequential), documents);
    // The same lines but for the folder each names.
    for (std::string* text : {&sequential, &parallel}) {
        const std::string folder = (text == &sequential ? first : second).path().string();
        for (size_t at = text->find(folder); at != std::string::npos; at = text->find(folder, at)) text->replace(at, folder.size(), "F");
    }
    EXPECT_EQ(parallel, sequential);
    EXPECT_EQ(one, eight);
}

TEST(ParallelRun, AFailedDocumentIsReportedInItsPlace) {
    ScopedTempDir folder;
    for (const char* name : {"a.doc", "c.doc", "d.doc", "e.doc"})
        velmora::testing::CopyWritable(velmora::testing::TestDataPath("corpus/generated/lo-ascii.doc"), folder.path() / name);
    velmora::testing::WriteWholeFile(folder.path() / "b.doc", {'j', 'u', 'n', 'k'});
    int status = -1;
    const std::string out = Clean({"--json", "--clear-title", "--jobs", "8", folder.path().string()}, status);
    EXPECT_EQ(status, 1);
    std::istringstream lines(out);
    std::string line;
    std::vector<std::string> order;
    while (std::getline(lines, line)) order.push_back(line);
    ASSERT_EQ(order.size(), 5u);
    EXPECT_NE(order[1].find("b.doc\", \"ok\": false"), std::string::npos) << order[1];
    for (size_t i : {0u, 2u, 3u, 4u}) EXPECT_NE(order[i].find("\"ok\": true"), std::string::npos) << order[i];
}

TEST(ParallelRun, AKilledRunResumesWhereItStopped) {
    ScopedTempDir folder, journalFolder;
    const size_t documents = CopyCorpus(folder.path());
    const std::string journal = (journalFolder.path() / "run.journal").string();
    const std::vector<std::string> arguments = {"--json", "--recursive", "--all", "--jobs", "4", "--resume", journal,
                                                folder.path().string()};
    constexpr size_t kKilledAfter = 5;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CleanHooks hooks;
        hooks.documentRecorded = [](size_t index) {
            if (index + 1 == kKilledAfter) ::raise(SIGKILL);
        };
        int status = 0;
        Clean(arguments, status, hooks);
        ::_exit(3);  // never reached
    }
    int childStatus = 0;
    ASSERT_EQ(::waitpid(child, &childStatus, 0), child);
    ASSERT_TRUE(WIFSIGNALED(childStatus) && WTERMSIG(childStatus) == SIGKILL);

    // What the journal lists as cleaned is not opened again.
    std::set<std::string> listed;
    {
        std::ifstream in(journal);
        std::string line, jsonPath;
        bool cleaned = false;
        std::getline(in, line);
        while (std::getline(in, line))
            if (CleanJournal::ParseLine(line, jsonPath, cleaned) && cleaned) listed.insert(jsonPath);
    }
    ASSERT_GE(listed.size(), kKilledAfter - 1);  // a document may have failed; the rest were recorded
    std::mutex mutex;
    std::set<std::string> opened;
    {
        storage::ScopedDocumentSourceOpener counting([&](const fs::path& path, storage::AccessMode mode) {
            {
                std::lock_guard lock(mutex);
                opened.insert("\"" + path.string() + "\"");
            }
            return storage::OpenFileDocument(path, mode);
        });
        int status = -1;
        const std::string resumed = Clean(arguments, status);
        EXPECT_EQ(Lines(resumed), documents - listed.size());
    }
    for (const std::string& path : listed) EXPECT_EQ(opened.count(path), 0u) << path;

    // Nothing is left to clean anywhere, and nothing was missed.
    int status = -1;
    const std::string check = Clean({"--json", "--recursive", "--all", "--dry-run", folder.path().string()}, status);
    EXPECT_EQ(check.find("\"changed\": [\""), std::string::npos) << check;
}

TEST(ParallelRun, AJournalOfOtherOperationsIsRefused) {
    ScopedTempDir folder;
    velmora::testing::CopyWritable(velmora::testing::TestDataPath("corpus/generated/lo-ascii.doc"), folder.path() / "a.doc");
    const std::string journal = (folder.path() / "run.journal").string();
    int status = -1;
    Clean({"--clear-title", "--resume", journal, (folder.path() / "a.doc").string()}, status);
    EXPECT_EQ(status, 0);
    EXPECT_THROW(Clean({"--clear-title", "--clear-subject", "--resume", journal, (folder.path() / "a.doc").string()}, status),
                 UsageError);
    EXPECT_THROW(Clean({"--author", "x", "--resume", journal, (folder.path() / "a.doc").string()}, status), UsageError);
    // The same operations in another order are the same run.
    EXPECT_NO_THROW(Clean({"--clear-title", "--resume=" + journal, (folder.path() / "a.doc").string()}, status));
    EXPECT_THROW(ParseCleanArguments({"--clear-title", "--resume", "", "a.doc"}), UsageError);
}

TEST(ParallelRun, JobsTakeANumberFromOneTo256) {
    for (const char* bad : {"0", "-1", "x", "257", "4x", ""})
        EXPECT_THROW(ParseAnalyzeArguments({"--jobs", bad, "a.doc"}), UsageError) << bad;
    EXPECT_EQ(ParseAnalyzeArguments({"--jobs", "16", "a.doc"}).jobs, 16u);
    EXPECT_EQ(ParseCleanArguments({"--all", "-j", "2", "a.doc"}).jobs, 2u);
    EXPECT_GE(DefaultJobs(), 4u);
    EXPECT_LE(DefaultJobs(), 32u);
}

TEST(OrderedWork, EmitsInListingOrderWhateverOrderWorkFinishes) {
    std::vector<size_t> emitted;
    OrderedWork<size_t>::Run(
        8,
        [](const auto& found) {
            for (int i = 0; i < 500; ++i) found(std::to_string(i));
        },
        [](const fs::path& path) {
            const size_t value = std::stoul(path.string());
            // Early documents take longest, so later ones finish first.
            std::this_thread::sleep_for(std::chrono::microseconds(value % 7 == 0 ? 2000 : 0));
            return value;
        },
        [&](size_t index, const fs::path&, size_t& value) {
            EXPECT_EQ(index, value);
            emitted.push_back(value);
        });
    ASSERT_EQ(emitted.size(), 500u);
    EXPECT_TRUE(std::is_sorted(emitted.begin(), emitted.end()));
}

TEST(OrderedWork, AnErrorWhileEmittingEndsTheRunCleanly) {
    int emitted = 0;
    EXPECT_THROW(OrderedWork<int>::Run(
                     4, [](const auto& found) { for (int i = 0; i < 100000; ++i) found("x"); },
                     [](const fs::path&) { return 1; },
                     [&](size_t index, const fs::path&, int&) {
                         ++emitted;
                         if (index == 10) throw std::runtime_error("disk full");
                     }),
                 std::runtime_error);
    EXPECT_EQ(emitted, 11);
}

}  // namespace
}  // namespace velmora::cli
