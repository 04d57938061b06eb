#pragma once

#include <fstream>
#include <set>
#include <string>

#include "cli/command_line.h"

namespace velmora::cli {

// The journal of a resumable clean ("--resume FILE"): a first line naming
// the operations and texts of the run, then one JSON line per finished
// document, appended as each finishes. Started again with the same file, a
// run skips the documents the journal lists as cleaned; a run asking for
// other operations is refused.
class CleanJournal {
public:
    // Opens or creates the journal. Throws UsageError when it records a run
    // with other operations or texts, std::runtime_error when it cannot be
    // read or written.
    CleanJournal(const std::string& file, const CleanOptions& options);

    // Whether the journal lists the document (by its JSON path text) as cleaned.
    bool Done(const std::string& jsonPath) const { return done_.count(jsonPath) != 0; }
    size_t DoneCount() const { return done_.size(); }
    // Appends a document's JSON line, flushed to the system at once: a killed
    // run loses no line it wrote.
    void Record(const std::string& jsonLine);

    // The first line for these options: operations in a fixed order, texts.
    static std::string Header(const CleanOptions& options);
    // The JSON text of the path of a document line ("\"/a/b.doc\""), and
    // whether the line says it was cleaned; false for a line cut short.
    static bool ParseLine(const std::string& line, std::string& jsonPath, bool& cleaned);

private:
    std::set<std::string> done_;
    std::ofstream out_;
};

}  // namespace velmora::cli
