// velmora-cli: the command-line companion of Velmora.
#include <iostream>
#include <string>
#include <vector>

#include "cli/analyze_command.h"
#include "cli/clean_command.h"
#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "cli/version_line.h"

namespace {

constexpr const char* kUsage =
    "usage: velmora-cli --version\n"
    "       velmora-cli analyze [--recursive] [--types doc,xls,ppt] [--json] [--jobs N] [--residue]\n"
    "                           [--files-from FILE [-0]] [--shard K/N] PATH...\n"
    "       velmora-cli clean [--recursive] [--types doc,xls,ppt] [--json] [--jobs N] [--dry-run]\n"
    "                         [--keep-dates] [--resume FILE] [--files-from FILE [-0]] [--shard K/N]\n"
    "                         OPERATIONS PATH...\n"
    "--files-from FILE reads paths from FILE (- for standard input), one per line or NUL-separated\n"
    "with -0, before the PATH arguments; --shard K/N keeps the documents of slice K of N.\n"
    "operations, applied in this order:\n"
    "  --clear-title --clear-subject --clear-keywords --clear-comments --reset-template\n"
    "  --reset-revision --reset-edit-time --remove-revision-log --remove-printer --remove-thumbnail\n"
    "  --remove-guid --remove-hyperlinks\n"
    "  --clear-last-edited-by --clear-last-saved --clear-last-printed --clear-created\n"
    "  --author TEXT --company TEXT --clear-manager --clear-custom\n"
    "  --all   every operation (author and company empty unless --author/--company give them)\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace velmora::cli;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        (arguments.empty() ? std::cerr : std::cout) << kUsage;
        return arguments.empty() ? 2 : 0;
    }
    std::string verb = arguments[0];
    arguments.erase(arguments.begin());
    try {
        if (verb == "--version" && arguments.empty()) {
            std::cout << VersionLine() << '\n';
            return 0;
        }
        if (verb == "analyze") {
            AnalyzeOptions options = ParseAnalyzeArguments(arguments);
            options.showProgress = ProgressLine::StderrIsTerminal();
            return RunAnalyze(options, std::cout, std::cerr);
        }
        if (verb == "clean") {
            CleanOptions options = ParseCleanArguments(arguments);
            options.showProgress = ProgressLine::StderrIsTerminal();
            return RunClean(options, std::cout, std::cerr);
        }
        throw UsageError("unknown command \"" + verb + "\"");
    } catch (const HelpRequested&) {
        std::cout << kUsage;
        return 0;
    } catch (const UsageError& error) {
        std::cerr << "velmora-cli: " << error.what() << '\n' << kUsage;
        return 2;
    } catch (const std::exception& error) {
        // What was written so far stands, but the work is incomplete.
        std::cerr << "velmora-cli: " << error.what() << '\n';
        return 1;
    }
}
