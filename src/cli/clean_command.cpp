#include "cli/clean_command.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "cli/document_listing.h"
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
        line += (i ? ", {\"field\": \"" : "{\"field\": \"") + failure.field + "\", \"error\": ";
        AppendJsonString(line, engine::Utf8ToWide(failure.error));
        line += ", \"code\": \"" + HexCode(failure.code) + "\"}";
    }
    line += "], \"error\": ";
    if (report.ok) {
        line += "null, \"code\": null";
    } else {
        AppendJsonString(line, engine::Utf8ToWide(report.error));
        line += ", \"code\": \"" + HexCode(report.code) + "\"";
    }
    line += "}";
    return line;
}

std::string TextLine(const std::filesystem::path& path, const engine::CleanReport& report, bool dryRun) {
    std::string line = path.string() + ": ";
    std::string fields, failed;
    for (size_t i = 0; i < report.changed.size(); ++i) fields += (i ? ", " : "") + report.changed[i];
    for (size_t i = 0; i < report.failed.size(); ++i) failed += (i ? ", " : "") + report.failed[i].field;
    if (!report.ok) {
        line += "FAILED: " + report.error + " (" + HexCode(report.code) + ")";
        if (!failed.empty()) line += (dryRun ? "; would fail: " : "; failed: ") + failed;
        if (!fields.empty()) line += (dryRun ? "; would change " : "; changed ") + fields;
    } else if (fields.empty()) {
        line += "nothing to change";
    } else {
        line += (dryRun ? "would change " : "changed ") + fields;
    }
    return line;
}

}  // namespace

bool RestoreFileTimes(const std::filesystem::path& path, const struct stat& before) {
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err) {
    return RunClean(options, out, err, RestoreFileTimes);
}

int RunClean(const CleanOptions& options, std::ostream& out, std::ostream& err, FileTimesRestorer restoreTimes) {
    ProgressLine progress(err, options.showProgress);
    DocumentListing listing = ListDocumentsFor(options, progress, err);
    bool allClean = listing.unlistable.empty();

    for (size_t i = 0; i < listing.documents.size(); ++i) {
        const std::filesystem::path& path = listing.documents[i];
        struct stat before {};
        bool haveTimes = options.keepDates && ::stat(path.c_str(), &before) == 0;
        engine::CleanReport report = engine::CleanDocument(path, options.settings, options.dryRun);
        if (haveTimes && !options.dryRun && !report.changed.empty()) {
            if (!restoreTimes(path, before)) {
                progress.Clear();
                err << "velmora-cli: " << path.string() << ": could not restore the file's dates\n";
                allClean = false;
            }
        }
        if (!report.ok) allClean = false;
        progress.ClearBeforeOutput();
        out << (options.json ? JsonLine(path, report) : TextLine(path, report, options.dryRun)) << '\n' << std::flush;
        progress.Update(i + 1, listing.documents.size());
    }
    return allClean ? 0 : 1;
}

}  // namespace velmora::cli
