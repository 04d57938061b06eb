#include "cli/clean_command.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "cli/clean_journal.h"
#include "cli/document_listing.h"
#include "cli/path_list.h"
#include "cli/ordered_work.h"
#include "cli/json_text.h"
#include "cli/progress_line.h"
#include "engine/path_text.h"
#include "engine/text_conversions.h"
#include "storage/storage_error.h"

namespace velmora::cli {

namespace {

std::string HexCode(storage::StorageResult code) { return storage::HexWord(static_cast<uint32_t>(code)); }

std::string JsonLine(const std::filesystem::path& path, const engine::CleanReport& report) {
    std::string line = "{\"path\": ";
    AppendJsonString(line, engine::PathToText(path));
    line += ", \"ok\": ";
    line += report.ok ? "true" : "false";
    line += ", \"changed\": [";
    for (size_t i = 0; i < report.changed.size(); ++i) line += (i ? ", \"" : "\"") + report.changed[i] + "\"";
    line += "], \"failed\": [";
    for (size_t i = 0; i < report.failed.size(); ++i) {
        const engine::FieldFailure& failure = report.failed[i];
        // A field of an embedded object carries its storage's name: any text.
        line += i ? ", {\"field\": " : "{\"field\": ";
        AppendJsonString(line, engine::Utf8ToWide(failure.field));
        line += ", \"error\": ";
        AppendJsonString(line, engine::Utf8ToWide(failure.error));
        line += ", \"code\": \"" + HexCode(failure.code) + "\"";
        line += failure.embedded ? ", \"embedded\": true}" : "}";
    }
    line += "], \"error\": ";
    if (report.ok) {
        line += "null, \"code\": null";
    } else {
        AppendJsonString(line, engine::Utf8ToWide(report.error));
        line += ", \"code\": \"" + HexCode(report.code) + "\"";
    }
    if (!report.warnings.empty()) {
        line += ", \"warnings\": [";
        for (size_t i = 0; i < report.warnings.size(); ++i) {
            if (i) line += ", ";
            AppendJsonString(line, engine::Utf8ToWide(report.warnings[i]));
        }
        line += "]";
    }
    line += "}";
    return line;
}

// Control characters (a storage's name may hold any) shown as '?'.
std::string Printable(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
    return text;
}

std::string TextLine(const std::filesystem::path& path, const engine::CleanReport& report, bool dryRun) {
    std::string line = path.string() + ": ";
    std::string fields, failed;
    for (size_t i = 0; i < report.changed.size(); ++i) fields += (i ? ", " : "") + report.changed[i];
    for (size_t i = 0; i < report.failed.size(); ++i) failed += (i ? ", " : "") + Printable(report.failed[i].field);
    if (!report.ok) {
        line += "FAILED: " + Printable(report.error) + " (" + HexCode(report.code) + ")";
        if (!failed.empty()) line += (dryRun ? "; would fail: " : "; failed: ") + failed;
        if (!fields.empty()) line += (dryRun ? "; would change " : "; changed ") + fields;
    } else if (fields.empty()) {
        line += "nothing to change";
    } else {
        line += (dryRun ? "would change " : "changed ") + fields;
    }
    for (const std::string& warning : report.warnings) line += "; warning: " + warning;
    return line;
}

}  // namespace

bool RestoreFileTimes(const std::filesystem::path& path, const struct stat& before) {
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err) {
    return RunClean(options, out, err, RestoreFileTimes, {});
}

int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err, FileTimesRestorer restoreTimes,
             const CleanHooks& hooks) {
    if (!options.resumeFile.empty() && options.dryRun) throw UsageError("--resume and --dry-run do not go together");
    // Opened first: a list that cannot be read is bad usage, before any work.
    const std::unique_ptr<PathListReader> list =
        options.filesFrom.empty() ? nullptr : std::make_unique<PathListReader>(options.filesFrom, options.nulSeparated);
    std::optional<CleanJournal> journal;
    if (!options.resumeFile.empty()) journal.emplace(options.resumeFile, options);

    struct Cleaned {
        bool skipped = false;  // the journal lists it as cleaned already
        engine::CleanReport report;
        bool datesLost = false;
    };
    ProgressLine progress(err, options.showProgress);
    std::vector<std::filesystem::path> unlistable;
    bool allClean = true;
    size_t listed = 0;
    auto jsonPathOf = [](const std::filesystem::path& path) {
        std::string text;
        AppendJsonString(text, engine::PathToText(path));
        return text;
    };
    OrderedWork<Cleaned>::Run(
        options.jobs ? options.jobs : DefaultJobs(),
        [&](const auto& found) { StreamDocuments(options, list.get(), found, unlistable); },
        // Each document is cleaned by one worker alone, with its usual guarantees.
        [&](const std::filesystem::path& path) {
            Cleaned cleaned;
            if (journal && journal->Done(jsonPathOf(path))) {
                cleaned.skipped = true;
                return cleaned;
            }
            struct stat before {};
            const bool haveTimes = options.keepDates && ::stat(path.c_str(), &before) == 0;
            cleaned.report = engine::CleanDocument(path, options.settings, options.dryRun);
            if (haveTimes && !options.dryRun && !cleaned.report.changed.empty()) cleaned.datesLost = !restoreTimes(path, before);
            return cleaned;
        },
        [&](size_t index, const std::filesystem::path& path, Cleaned& cleaned) {
            progress.Update(index + 1, std::max(listed, index + 1));
            if (cleaned.skipped) return;
            if (cleaned.datesLost) {
                progress.Clear();
                err << "velmora-cli: " << path.string() << ": could not restore the file's dates\n";
                allClean = false;
            }
            if (!cleaned.report.ok) allClean = false;
            progress.ClearBeforeOutput();
            out << (options.json ? JsonLine(path, cleaned.report) : TextLine(path, cleaned.report, options.dryRun)) << '\n'
                << std::flush;
            if (journal) journal->Record(JsonLine(path, cleaned.report));
            if (hooks.documentRecorded) hooks.documentRecorded(index);
        },
        [&](size_t soFar) { listed = soFar; });
    progress.Clear();
    for (const auto& folder : unlistable) err << "velmora-cli: cannot list " << folder.string() << '\n';
    if (!unlistable.empty()) allClean = false;
    return allClean ? 0 : 1;
}

}  // namespace velmora::cli
