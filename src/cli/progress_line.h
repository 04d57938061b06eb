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

    void Update(size_t done, size_t total);
    // Removes the line, so that other output starts on a clean line.
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& terminal_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDrawn_{};
};

}  // namespace velmora::cli
