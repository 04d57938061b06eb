#include "storage/write_journal.h"

#include <algorithm>
#include <iterator>

namespace velmora::storage {

void WriteJournal::write(uint64_t offset, std::span<const uint8_t> bytes) {
    auto after = staged_.upper_bound(offset);
    if (after != staged_.begin()) {
        auto before = std::prev(after);
        if (before->first + before->second.size() >= offset + bytes.size()) {
            std::copy(bytes.begin(), bytes.end(), before->second.begin() + static_cast<std::ptrdiff_t>(offset - before->first));
            return;
        }
        if (before->first + before->second.size() > offset) flush();
    }
    after = staged_.lower_bound(offset);
    if (after != staged_.end() && after->first < offset + bytes.size()) flush();
    staged_[offset] = std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void WriteJournal::flush() {
    if (staged_.empty()) return;
    const uint64_t end = std::prev(staged_.end())->first + std::prev(staged_.end())->second.size();
    if (source_.size() < end) source_.resize(end);
    std::vector<uint8_t> run;
    uint64_t runStart = 0;
    auto emit = [&] {
        if (run.empty()) return;
        if (recording_ && runStart < originalSize_) {
            std::vector<uint8_t> saved(static_cast<size_t>(std::min<uint64_t>(run.size(), originalSize_ - runStart)));
            source_.readAt(runStart, saved);
            undo_.emplace_back(runStart, std::move(saved));
        }
        source_.writeAt(runStart, run);
        run.clear();
    };
    for (auto& [offset, bytes] : staged_) {
        if (run.empty() || runStart + run.size() != offset) {
            emit();
            runStart = offset;
        }
        run.insert(run.end(), bytes.begin(), bytes.end());
    }
    emit();
    staged_.clear();
}

void WriteJournal::sync() {
    flush();
    source_.sync();
}

void WriteJournal::rollback() noexcept {
    staged_.clear();
    try {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) source_.writeAt(it->first, it->second);
        if (source_.size() != originalSize_) source_.resize(originalSize_);
        source_.sync();
    } catch (...) {
    }
}

}  // namespace velmora::storage
