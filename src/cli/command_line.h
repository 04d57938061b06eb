#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/clean_run.h"

namespace velmora::cli {

// Bad usage: the message goes to stderr and the exit status is 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Document types as a bit set: Word 1, Excel 2, PowerPoint 4.
enum DocumentTypeBits : uint8_t { kWord = 1, kExcel = 2, kPowerPoint = 4, kAllTypes = 7 };

struct AnalyzeOptions {
    bool recursive = false;
    bool json = false;
    uint8_t types = kAllTypes;
    std::vector<std::string> paths;
};

struct CleanOptions {
    bool recursive = false;
    bool json = false;
    bool dryRun = false;
    bool keepDates = false;
    uint8_t types = kAllTypes;
    engine::CleanSettings settings;
    std::vector<std::string> paths;
};

// Parses "doc,xls,ppt" (any subset, any order). Throws UsageError.
uint8_t ParseTypeList(const std::string& list);

// Parses the arguments after the verb "analyze". Throws UsageError.
AnalyzeOptions ParseAnalyzeArguments(const std::vector<std::string>& arguments);

// Parses the arguments after the verb "clean". Throws UsageError.
CleanOptions ParseCleanArguments(const std::vector<std::string>& arguments);

}  // namespace velmora::cli
