#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

namespace velmora::update {

// Whether a transfer keeps up an average of at least `bytesPerSecond` over
// every window of `windowMs` (counted from its first sample): told the bytes
// received so far, now and then, it answers for the window that ends now.
class RateFloor {
public:
    using Clock = std::chrono::steady_clock;

    RateFloor(int bytesPerSecond, int windowMs) : bytesPerSecond_(bytesPerSecond), windowMs_(windowMs) {}

    // False once the last window ending at `now` brought less than the floor.
    bool Holds(Clock::time_point now, uint64_t bytes) {
        if (bytesPerSecond_ <= 0 || windowMs_ <= 0) return true;
        // A sample every quarter second is plenty, and keeps the list short
        // however fast the bytes come.
        if (samples_.empty() || now - samples_.back().at >= std::chrono::milliseconds(250)) samples_.push_back({now, bytes});
        const Clock::time_point windowStart = now - std::chrono::milliseconds(windowMs_);
        if (samples_.front().at > windowStart) return true;  // not a whole window yet
        // From the newest sample at or before the window's start.
        while (samples_.size() > 1 && samples_[1].at <= windowStart) samples_.pop_front();
        const uint64_t needed = static_cast<uint64_t>(bytesPerSecond_) * static_cast<uint64_t>(windowMs_) / 1000;
        return bytes - samples_.front().bytes >= needed;
    }

private:
    struct Sample {
        Clock::time_point at;
        uint64_t bytes;
    };
    int bytesPerSecond_, windowMs_;
    std::deque<Sample> samples_;
};

}  // namespace velmora::update
