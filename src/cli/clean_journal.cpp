#include "cli/clean_journal.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "cli/json_text.h"
#include "engine/clean_run.h"

namespace velmora::cli {

std::string CleanJournal::Header(const CleanOptions& options) {
    std::vector<int> operations;
    for (engine::CleanOperation operation : options.settings.operations) operations.push_back(static_cast<int>(operation));
    std::sort(operations.begin(), operations.end());
    std::string header = "{\"velmora-clean-journal\": 1, \"operations\": [";
    for (size_t i = 0; i < operations.size(); ++i) header += (i ? ", " : "") + std::to_string(operations[i]);
    header += "], \"author\": ";
    AppendJsonString(header, options.settings.author);
    header += ", \"company\": ";
    AppendJsonString(header, options.settings.company);
    // A shard's journal is its own: another shard's task must not take it.
    if (options.shard.Sharded()) header += ", \"shard\": \"" + options.shard.Text() + "\"";
    header += "}";
    return header;
}

bool CleanJournal::ParseLine(const std::string& line, std::string& jsonPath, bool& cleaned) {
    static const std::string kStart = "{\"path\": \"";
    if (line.rfind(kStart, 0) != 0 || line.empty() || line.back() != '}') return false;
    size_t end = kStart.size();
    while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
    if (end >= line.size()) return false;
    jsonPath = line.substr(kStart.size() - 1, end - kStart.size() + 2);
    cleaned = line.compare(end + 1, 14, ", \"ok\": true, ") == 0;
    return true;
}

CleanJournal::CleanJournal(const std::string& file, const CleanOptions& options) {
    const std::string header = Header(options);
    bool fresh = true;
    {
        std::ifstream in(file);
        std::string line;
        if (in && std::getline(in, line)) {
            fresh = false;
            if (line != header)
                throw UsageError("--resume " + file + " records a run with other operations or another shard; use another file");
            std::string jsonPath;
            bool cleaned = false;
            while (std::getline(in, line)) {
                if (ParseLine(line, jsonPath, cleaned) && cleaned) done_.insert(jsonPath);
            }
        }
    }
    bool endsInNewline = true;
    if (!fresh) {
        std::ifstream in(file, std::ios::binary | std::ios::ate);
        if (in.tellg() > 0) {
            in.seekg(-1, std::ios::end);
            endsInNewline = in.get() == '\n';
        }
    }
    out_.open(file, std::ios::app);
    if (!out_) throw std::runtime_error("cannot write " + file);
    if (!endsInNewline) out_ << '\n';  // a line a killed run left half written stays apart
    if (fresh) {
        out_ << header << '\n';
        out_.flush();
    }
}

void CleanJournal::Record(const std::string& jsonLine) {
    out_ << jsonLine << '\n';
    out_.flush();
    if (!out_) throw std::runtime_error("cannot write to the --resume file");
}

}  // namespace velmora::cli
