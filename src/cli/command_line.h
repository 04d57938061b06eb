#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/shard.h"
#include "engine/clean_run.h"
#include "engine/document_search.h"

namespace velmora::cli {

// Bad usage: the message goes to stderr and the exit status is 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "--help" or "-h" where a command expects an option: the usage goes to
// stdout and the exit status is 0.
class HelpRequested : public std::runtime_error {
public:
    HelpRequested() : std::runtime_error("help requested") {}
};

// What both commands take: which documents, and how to report.
struct ListingOptions {
    bool recursive = false;
    bool json = false;
    engine::TDocumentTypes types = engine::kAllDocumentTypes;
    bool showProgress = false;  // a progress line on stderr
    unsigned jobs = 0;          // worker threads; 0: DefaultJobs()
    std::vector<std::string> paths;
    std::string filesFrom;      // "--files-from FILE" ("-": standard input); its paths come first
    bool nulSeparated = false;  // "-0": that list is NUL-separated
    Shard shard;                // "--shard K/N": only the documents of that slice
};

struct AnalyzeOptions : ListingOptions {
    bool residue = false;  // "--residue": survey every document's free space too
};

struct CleanOptions : ListingOptions {
    bool dryRun = false;
    bool keepDates = false;
    std::string resumeFile;  // "--resume FILE": the run's journal; empty for none
    engine::CleanSettings settings;
};

// Parses "doc,xls,ppt" (any subset, any order). Throws UsageError.
uint8_t ParseTypeList(const std::string& list);

// Parses the arguments after the verb "analyze". Throws UsageError, or
// HelpRequested.
AnalyzeOptions ParseAnalyzeArguments(const std::vector<std::string>& arguments);

// Parses the arguments after the verb "clean". Throws UsageError, or
// HelpRequested.
CleanOptions ParseCleanArguments(const std::vector<std::string>& arguments);

}  // namespace velmora::cli
