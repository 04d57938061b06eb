#include "cli/analyze_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/civil_date.h"
#include "cli/display_width.h"
#include "cli/document_listing.h"
#include "cli/path_list.h"
#include "cli/json_text.h"
#include "cli/ordered_work.h"
#include "cli/progress_line.h"
#include "cli/summary_json.h"
#include "engine/document_search.h"
#include "engine/document_session.h"
#include "engine/hidden_names.h"
#include "engine/path_text.h"
#include "engine/summary_reader.h"
#include "engine/text_conversions.h"

namespace velmora::cli {

namespace {

struct AnalyzedDocument {
    std::filesystem::path path;
    uint64_t size = 0;
    engine::TSummaryInfo info;
    engine::ReadOutcome outcome;
    engine::HiddenNameScan hidden;  // names kept outside the property sets
    std::vector<engine::CustomProperty> custom;
    engine::PrinterScan printers;
    std::vector<engine::EmbeddedObject> embedded;
    std::optional<uint64_t> residue;  // with --residue, where it could be surveyed
};

AnalyzedDocument Analyze(const std::filesystem::path& path, bool withResidue) {
    AnalyzedDocument document;
    document.path = path;
    // One opening of the file for everything.
    engine::DocumentAnalysis analysis = engine::AnalyzeDocument(path, {.withResidue = withResidue});
    document.outcome = std::move(analysis.outcome);
    document.info = std::move(analysis.info);
    document.size = analysis.size;
    document.hidden = std::move(analysis.hidden);
    document.custom = std::move(analysis.custom);
    document.printers = std::move(analysis.printers);
    document.embedded = std::move(analysis.embedded);
    document.residue = analysis.residue;
    // A file the reader could not open still has a size worth reporting.
    if (document.size == 0) document.size = static_cast<uint64_t>(std::max<int64_t>(engine::FileSizeOf(path), 0));
    return document;
}

// The names a document keeps outside its property sets, as a JSON array.
std::string HiddenJson(const engine::HiddenNameScan& hidden) {
    std::string line = "[";
    for (size_t i = 0; i < hidden.names.size(); ++i) {
        const engine::HiddenName& name = hidden.names[i];
        line += (i ? ", {\"where\": \"" : "{\"where\": \"") + name.where + "\", \"stream\": ";
        AppendJsonString(line, name.stream);
        line += ", \"name\": ";
        AppendJsonString(line, name.name);
        // What a clean wrote in place of a name is not somebody's.
        if (engine::IsPlaceholderName(name.name)) line += ", \"placeholder\": true";
        line += "}";
    }
    return line + "]";
}

std::string JsonLine(const AnalyzedDocument& document, bool withResidue) {
    std::string line = "{\"path\": ";
    AppendJsonString(line, engine::PathToText(document.path));
    line += ", \"readable\": ";
    line += document.outcome.ok ? "true" : "false";
    line += ", \"size\": " + std::to_string(document.size);
    if (document.outcome.ok) {
        line += ", \"summary\": " + SummaryToJson(document.info);
        line += ", \"hidden\": " + HiddenJson(document.hidden) + ", \"custom\": [";
        for (size_t i = 0; i < document.custom.size(); ++i) {
            line += i ? ", {\"name\": " : "{\"name\": ";
            AppendJsonString(line, document.custom[i].name);
            line += ", \"value\": ";
            AppendJsonString(line, document.custom[i].value);
            line += "}";
        }
        line += "], \"printers\": [";
        for (size_t i = 0; i < document.printers.places.size(); ++i) {
            const engine::PrinterPlace& place = document.printers.places[i];
            line += (i ? ", {\"where\": \"" : "{\"where\": \"") + place.where + "\", \"stream\": ";
            AppendJsonString(line, place.stream);
            line += ", \"name\": ";
            AppendJsonString(line, place.name);
            line += "}";
        }
        line += "], \"embedded\": [";
        for (size_t i = 0; i < document.embedded.size(); ++i) {
            const engine::EmbeddedObject& object = document.embedded[i];
            line += i ? ", {\"storage\": " : "{\"storage\": ";
            AppendJsonString(line, object.storage);
            line += ", \"summary\": " + (object.outcome.ok ? SummaryToJson(object.info) : std::string("null"));
            line += ", \"hidden\": " + HiddenJson(object.hidden);
            line += object.cleanable ? ", \"cleanable\": true}" : ", \"cleanable\": false, \"reason\": ";
            if (!object.cleanable) {
                AppendJsonString(line, engine::Utf8ToWide(object.reason));
                line += "}";
            }
        }
        line += "]";
        // null: the free space could not be surveyed (the writer's stricter
        // model refuses the document).
        if (withResidue) line += ", \"residue\": " + (document.residue ? std::to_string(*document.residue) : std::string("null"));
        if (document.outcome.partial) {
            line += ", \"damage\": ";
            AppendJsonString(line, engine::Utf8ToWide(document.outcome.message));
        }
    } else {
        line += ", \"reason\": \"";
        line += storage::RefusalName(document.outcome.refusal);
        line += "\", \"message\": ";
        AppendJsonString(line, engine::Utf8ToWide(document.outcome.message));
    }
    line += "}";
    return line;
}

// A cell of the table, and the terminal columns it takes: for CJK text twice
// its character count, for combining marks nothing.
struct Cell {
    std::string text;
    size_t width = 0;
};

Cell Shown(const std::u16string& text) { return {engine::WideToUtf8(text), DisplayWidth(text)}; }
Cell Shown(const std::string& ascii) { return {ascii, ascii.size()}; }

// At most `limit` columns, control characters shown as spaces; a longer text
// keeps what fits before an ellipsis.
Cell Clip(const std::u16string& text, size_t limit) {
    std::u16string shown = text;
    std::replace_if(shown.begin(), shown.end(), [](char16_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }, u' ');
    if (DisplayWidth(shown) > limit) shown = shown.substr(0, FittingLength(shown, limit - 1)) + u"\u2026";
    return Shown(shown);
}

void WriteTable(const std::vector<AnalyzedDocument>& documents, bool withResidue, std::ostream& out) {
    static const char* const kHeadings[] = {"File",    "Title",      "Author",   "Company",      "Last edited by",
                                            "Created", "Last saved", "Revision", "Hidden names", "Residue"};
    const size_t kColumns = withResidue ? 10 : 9;
    constexpr size_t kLimit = 32;
    std::vector<std::vector<Cell>> rows(1);
    for (size_t c = 0; c < kColumns; ++c) rows[0].push_back(Shown(std::string(kHeadings[c])));
    for (const auto& document : documents) {
        std::u16string name = engine::PathToText(document.path.filename());
        if (!document.outcome.ok) {
            // The last cell of its row: its width pads nothing.
            rows.push_back({Clip(name, kLimit), {"(unreadable: " + document.outcome.message + ")"}});
            continue;
        }
        const auto& info = document.info;
        rows.push_back({Clip(name, kLimit), Clip(info.Title, kLimit), Clip(info.Author, kLimit), Clip(info.Company, kLimit),
                        Clip(info.LastAuthor, kLimit), Shown(FormatDateTime(info.Created)), Shown(FormatDateTime(info.LastSaved)),
                        Clip(info.RevNumber, kLimit), Clip(engine::DistinctHiddenNames(document.hidden), kLimit)});
        if (withResidue) rows.back().push_back(Shown(document.residue ? std::to_string(*document.residue) : std::string("?")));
    }
    std::vector<size_t> widths(kColumns, 0);
    for (const auto& row : rows)
        if (row.size() == kColumns)
            for (size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], row[c].width);
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += row[c].text;
            if (c + 1 < row.size()) line.append(widths[c] - std::min(widths[c], row[c].width) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

}  // namespace

std::string FormatDateTime(double dateTime) {
    if (dateTime == 0.0 || !std::isfinite(dateTime) || std::fabs(dateTime) > 3'000'000.0) return "";
    double day = std::trunc(dateTime);
    int64_t seconds = std::llround(std::fabs(dateTime - day) * 86400.0);
    int64_t days = static_cast<int64_t>(day) + seconds / 86400;
    seconds %= 86400;
    const CivilDate date = CivilDateFromDays(days);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(date.year),
                  static_cast<long long>(date.month), static_cast<long long>(date.day), static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

int RunAnalyze(const AnalyzeOptions& options, std::ostream& out, std::ostream& err) {
    // Opened first: a list that cannot be read is bad usage, before any work.
    const std::unique_ptr<PathListReader> list =
        options.filesFrom.empty() ? nullptr : std::make_unique<PathListReader>(options.filesFrom, options.nulSeparated);
    ProgressLine progress(err, options.showProgress);
    std::vector<std::filesystem::path> unlistable;
    bool allRead = true;
    std::vector<AnalyzedDocument> documents;  // for the table, which needs every row for its widths
    size_t listed = 0;
    OrderedWork<AnalyzedDocument>::Run(
        options.jobs ? options.jobs : DefaultJobs(),
        [&](const auto& found) { StreamDocuments(options, list.get(), found, unlistable); },
        [&](const std::filesystem::path& path) { return Analyze(path, options.residue); },
        [&](size_t index, const std::filesystem::path&, AnalyzedDocument& document) {
            if (!document.outcome.ok) allRead = false;
            if (options.json) {
                progress.ClearBeforeOutput();
                out << JsonLine(document, options.residue) << '\n' << std::flush;
            } else {
                documents.push_back(std::move(document));
            }
            progress.Update(index + 1, std::max(listed, index + 1));
        },
        [&](size_t soFar) { listed = soFar; });
    progress.Clear();
    for (const auto& folder : unlistable) err << "velmora-cli: cannot list " << folder.string() << '\n';
    if (!unlistable.empty()) allRead = false;
    if (!options.json) WriteTable(documents, options.residue, out);
    return allRead ? 0 : 1;
}

}  // namespace velmora::cli
