#include "cli/progress_line.h"

#include <unistd.h>

#include <string>

namespace velmora::cli {

ProgressLine::ProgressLine(std::ostream& terminal, bool enabled) : terminal_(terminal), enabled_(enabled) {}

ProgressLine::~ProgressLine() { Clear(); }

bool ProgressLine::StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void ProgressLine::Update(size_t done, size_t total) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100) && done != total) return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const auto perSecond = seconds > 0.05 ? static_cast<long long>(static_cast<double>(done) / seconds) : 0LL;
    terminal_ << "\r\033[Kvelmora-cli: " << done << " of " << total << " documents";
    if (perSecond > 0) terminal_ << ", " << perSecond << " per second";
    terminal_ << std::flush;
    shown_ = true;
}

void ProgressLine::Clear() {
    if (!shown_) return;
    terminal_ << "\r\033[K" << std::flush;
    shown_ = false;
}

}  // namespace velmora::cli
