#include "cli/progress_line.h"

#include <unistd.h>

#include <string>

namespace velmora::cli {

ProgressLine::ProgressLine(std::ostream& terminal, bool enabled)
    : terminal_(terminal), enabled_(enabled), stdoutIsTerminal_(enabled && ::isatty(STDOUT_FILENO) == 1) {}

ProgressLine::~ProgressLine() { Clear(); }

bool ProgressLine::StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

bool ProgressLine::DueForDrawing(bool force) {
    if (!enabled_) return false;
    const auto now = Clock::now();
    if (!force && now - lastDrawn_ < std::chrono::milliseconds(100)) return false;
    lastDrawn_ = now;
    return true;
}

void ProgressLine::UpdateSearch(size_t folders, size_t found) {
    if (!DueForDrawing(false)) return;
    terminal_ << "\r\033[Kvelmora-cli: searching, " << folders << (folders == 1 ? " folder, " : " folders, ") << found
              << (found == 1 ? " document" : " documents") << " found" << std::flush;
    shown_ = true;
}

void ProgressLine::Update(size_t done, size_t total) {
    if (!workStarted_) {
        workStarted_ = true;
        workStart_ = Clock::now();
    }
    if (!DueForDrawing(done == total)) return;
    const double seconds = std::chrono::duration<double>(Clock::now() - workStart_).count();
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

void ProgressLine::ClearBeforeOutput() {
    if (stdoutIsTerminal_) Clear();
}

}  // namespace velmora::cli
