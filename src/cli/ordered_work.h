#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace velmora::cli {

// The number of worker threads when none is asked for: one per online CPU,
// at least 4 (the work waits on the disk or the network more than on the
// CPU) and at most 32.
unsigned DefaultJobs();

// Documents flowing from a listing, through a fixed pool of workers, to
// output in listing order.
//
// The listing runs on a thread of its own and feeds a bounded queue, so the
// first results appear while a large tree is still being searched. Workers
// take documents in listing order; a worker does not start a document more
// than a window ahead of the last one handed out, so the results waiting to
// be handed out stay few whatever a slow document holds back. `emit` runs on
// the calling thread, in listing order, for every document: the output is
// the same for any number of workers.
template <class Result>
class OrderedWork {
public:
    using Listing = std::function<void(const std::function<void(std::filesystem::path)>& found)>;
    using Work = std::function<Result(const std::filesystem::path&)>;
    using Emit = std::function<void(size_t index, const std::filesystem::path&, Result&)>;

    // Returns once every listed document has been emitted. An exception from
    // `listing` or `emit` ends the run (workers finish their document first)
    // and is thrown here; `work` must not throw.
    static void Run(unsigned jobs, const Listing& listing, const Work& work, const Emit& emit,
                    const std::function<void(size_t listed)>& listedSoFar = {}) {
        OrderedWork run(jobs == 0 ? 1 : jobs);
        run.go(listing, work, emit, listedSoFar);
    }

private:
    explicit OrderedWork(unsigned jobs) : jobs_(jobs), window_(static_cast<size_t>(jobs) * 4), capacity_(4096) {}

    struct Done {
        std::filesystem::path path;
        Result result;
    };

    void go(const Listing& listing, const Work& work, const Emit& emit, const std::function<void(size_t)>& listedSoFar) {
        std::thread lister([&] {
            try {
                listing([&](std::filesystem::path path) {
                    std::unique_lock lock(mutex_);
                    changed_.wait(lock, [&] { return queue_.size() < capacity_ || stop_; });
                    if (stop_) return;
                    queue_.push_back(std::move(path));
                    ++listed_;
                    changed_.notify_all();
                });
            } catch (...) {
                std::lock_guard lock(mutex_);
                listingError_ = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            listingEnded_ = true;
            changed_.notify_all();
        });
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < jobs_; ++i) workers.emplace_back([&] { workLoop(work); });

        std::exception_ptr error;
        size_t reportedListed = 0;
        for (size_t next = 0;; ++next) {
            std::optional<Done> done;
            size_t listed = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return finished_.count(next) != 0 || (listingEnded_ && queue_.empty() && next >= taken_);
                });
                listed = listed_;
                if (finished_.count(next) == 0) break;  // everything emitted
                done.emplace(std::move(finished_.at(next)));
                finished_.erase(next);
                emitted_ = next + 1;
                changed_.notify_all();
            }
            if (listedSoFar && listed != reportedListed) listedSoFar(reportedListed = listed);
            try {
                emit(next, done->path, done->result);
            } catch (...) {
                error = std::current_exception();
                break;
            }
        }
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            changed_.notify_all();
        }
        for (auto& worker : workers) worker.join();
        lister.join();
        if (error) std::rethrow_exception(error);
        if (listingError_) std::rethrow_exception(listingError_);
    }

    void workLoop(const Work& work) {
        for (;;) {
            std::filesystem::path path;
            size_t index = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return stop_ || (listingEnded_ && queue_.empty()) || (!queue_.empty() && taken_ < emitted_ + window_);
                });
                if (stop_ || queue_.empty()) return;
                path = std::move(queue_.front());
                queue_.pop_front();
                index = taken_++;
                changed_.notify_all();
            }
            Result result = work(path);
            std::lock_guard lock(mutex_);
            finished_.emplace(index, Done{std::move(path), std::move(result)});
            changed_.notify_all();
        }
    }

    const unsigned jobs_;
    const size_t window_;
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::filesystem::path> queue_;
    std::map<size_t, Done> finished_;
    size_t listed_ = 0;
    size_t taken_ = 0;
    size_t emitted_ = 0;
    bool listingEnded_ = false;
    bool stop_ = false;
    std::exception_ptr listingError_;
};

}  // namespace velmora::cli
