#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>

namespace velmora::cli {

// "velmora-cli: 120 of 4000 documents, 850 per second" on one line of a
// terminal, redrawn at most ten times a second. Silent when `enabled` is
// false (stderr is not a terminal), so pipes and logs stay clean.
class ProgressLine {
public:
    ProgressLine(std::ostream& terminal, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // True when stderr is a terminal.
    static bool StderrIsTerminal();

    // While searching: "searching, 120 folders, 35 documents found".
    void UpdateSearch(size_t folders, size_t found);
    // While working through the documents found.
    void Update(size_t done, size_t total);
    // Removes the line, so that other output starts on a clean line.
    void Clear();
    // The same, when standard output shares the terminal, before a line of
    // it; when it goes elsewhere the progress line may stay.
    void ClearBeforeOutput();

private:
    using Clock = std::chrono::steady_clock;
    // True when enough time has passed since the last drawing (or `force`).
    bool DueForDrawing(bool force);
    std::ostream& terminal_;
    bool enabled_;
    bool stdoutIsTerminal_;
    bool shown_ = false;
    bool workStarted_ = false;
    Clock::time_point workStart_{};  // the first Update(): the rate leaves the search out
    Clock::time_point lastDrawn_{};
};

}  // namespace velmora::cli
