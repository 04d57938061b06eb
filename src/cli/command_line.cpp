#include "cli/command_line.h"

#include <cstdlib>
#include <utility>

#include "engine/text_conversions.h"

namespace velmora::cli {

uint8_t ParseTypeList(const std::string& list) {
    uint8_t types = 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item == "doc")
            types |= engine::dtWord;
        else if (item == "xls")
            types |= engine::dtExcel;
        else if (item == "ppt")
            types |= engine::dtPowerPoint;
        else
            throw UsageError("unknown document type \"" + item + "\" in --types (expected doc, xls or ppt)");
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return types;
}

namespace {

bool IsOption(const std::string& argument, const char* name) {
    return argument == name || argument.rfind(std::string(name) + "=", 0) == 0;
}

// The value of an option given as "--name value" or "--name=value".
std::string OptionValue(const std::vector<std::string>& arguments, size_t& i, const char* name, const char* missing) {
    const std::string& argument = arguments[i];
    if (argument != name) return argument.substr(std::string(name).size() + 1);
    if (i + 1 >= arguments.size()) throw UsageError(missing);
    return arguments[++i];
}

// Takes an argument both commands know: a path, "--", --recursive, --json,
// --jobs, --types, --files-from, -0, --shard or --help. False for anything
// else.
bool TakeListingArgument(const std::vector<std::string>& arguments, size_t& i, bool& optionsEnded, ListingOptions& options) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-")
        options.paths.push_back(argument);
    else if (argument == "--")
        optionsEnded = true;
    else if (argument == "--help" || argument == "-h")
        throw HelpRequested();
    else if (argument == "--recursive" || argument == "-r")
        options.recursive = true;
    else if (argument == "--json")
        options.json = true;
    else if (IsOption(argument, "--jobs") || argument == "-j") {
        const std::string value = OptionValue(arguments, i, argument == "-j" ? "-j" : "--jobs", "--jobs needs a number");
        char* end = nullptr;
        const unsigned long jobs = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || jobs < 1 || jobs > 256)
            throw UsageError("--jobs needs a number from 1 to 256, not \"" + value + "\"");
        options.jobs = static_cast<unsigned>(jobs);
    } else if (IsOption(argument, "--files-from")) {
        options.filesFrom = OptionValue(arguments, i, "--files-from", "--files-from needs a file (- for standard input)");
        if (options.filesFrom.empty()) throw UsageError("--files-from needs a file (- for standard input)");
    } else if (argument == "-0" || argument == "--null") {
        options.nulSeparated = true;
    } else if (IsOption(argument, "--shard")) {
        options.shard = ParseShard(OptionValue(arguments, i, "--shard", "--shard needs K/N, as 3/8"));
    } else if (IsOption(argument, "--types"))
        options.types = ParseTypeList(OptionValue(arguments, i, "--types", "--types needs a list such as doc,xls,ppt"));
    else
        return false;
    return true;
}

void CheckSources(const ListingOptions& options, const std::string& command) {
    if (options.nulSeparated && options.filesFrom.empty()) throw UsageError("-0 goes with --files-from");
    if (options.paths.empty() && options.filesFrom.empty())
        throw UsageError(command + " needs at least one file or folder, or --files-from");
}

}  // namespace

AnalyzeOptions ParseAnalyzeArguments(const std::vector<std::string>& arguments) {
    AnalyzeOptions options;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (TakeListingArgument(arguments, i, optionsEnded, options)) continue;
        if (arguments[i] != "--residue") throw UsageError("unknown option " + arguments[i]);
        options.residue = true;
    }
    CheckSources(options, "analyze");
    return options;
}

CleanOptions ParseCleanArguments(const std::vector<std::string>& arguments) {
    using engine::CleanOperation;
    CleanOptions options;
    bool optionsEnded = false;
    bool all = false;
    auto select = [&](CleanOperation operation) {
        if (!options.settings.has(operation)) options.settings.operations.push_back(operation);
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (TakeListingArgument(arguments, i, optionsEnded, options)) continue;
        const std::string& argument = arguments[i];
        if (argument == "--dry-run" || argument == "-n") {
            options.dryRun = true;
        } else if (argument == "--keep-dates") {
            options.keepDates = true;
        } else if (IsOption(argument, "--resume")) {
            options.resumeFile = OptionValue(arguments, i, "--resume", "--resume needs a file");
            if (options.resumeFile.empty()) throw UsageError("--resume needs a file");
        } else if (argument == "--all") {
            all = true;
        } else if (IsOption(argument, "--author")) {
            options.settings.author = engine::Utf8ToWide(OptionValue(arguments, i, "--author", "--author needs a value"));
            select(CleanOperation::SetAuthor);
        } else if (IsOption(argument, "--company")) {
            options.settings.company = engine::Utf8ToWide(OptionValue(arguments, i, "--company", "--company needs a value"));
            select(CleanOperation::SetCompany);
        } else {
            bool known = false;
            for (const engine::CleanOperationName& name : engine::CleanOperationNames())
                // The options that take a text are taken above.
                if (name.operation != CleanOperation::SetAuthor && name.operation != CleanOperation::SetCompany &&
                    argument == name.flag) {
                    select(name.operation);
                    known = true;
                }
            if (!known) throw UsageError("unknown option " + argument);
        }
    }
    if (all)
        for (CleanOperation operation : engine::kAllCleanOperations) select(operation);
    if (options.settings.operations.empty())
        throw UsageError("clean needs at least one operation (for example --clear-title, or --all)");
    CheckSources(options, "clean");
    return options;
}

}  // namespace velmora::cli
