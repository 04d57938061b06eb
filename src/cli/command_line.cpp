#include "cli/command_line.h"

namespace velmora::cli {

uint8_t ParseTypeList(const std::string& list) {
    uint8_t types = 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item == "doc")
            types |= kWord;
        else if (item == "xls")
            types |= kExcel;
        else if (item == "ppt")
            types |= kPowerPoint;
        else
            throw UsageError("unknown document type \"" + item + "\" in --types (expected doc, xls or ppt)");
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return types;
}

AnalyzeOptions ParseAnalyzeArguments(const std::vector<std::string>& arguments) {
    AnalyzeOptions options;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            options.paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--recursive" || argument == "-r") {
            options.recursive = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--types" || argument.rfind("--types=", 0) == 0) {
            std::string list;
            if (argument == "--types") {
                if (i + 1 >= arguments.size()) throw UsageError("--types needs a list such as doc,xls,ppt");
                list = arguments[++i];
            } else {
                list = argument.substr(8);
            }
            options.types = ParseTypeList(list);
        } else {
            throw UsageError("unknown option " + argument);
        }
    }
    if (options.paths.empty()) throw UsageError("analyze needs at least one file or folder");
    return options;
}

}  // namespace velmora::cli
