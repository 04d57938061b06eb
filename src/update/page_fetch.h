#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <QObject>
#include <QString>

#include "update/http_transfer.h"

namespace velmora::update {

// Fetches one page of text on a thread of its own, so that the windows never
// wait for it, and hands the result to `context`'s thread. It raises none of
// the update component's events: a page that fails to load is only that.
// The request carries the component's rules (see TTwWebUpdate::PageRequest);
// the reply must be a 2xx within the text cap.
class PageFetch {
public:
    // ok: the page arrived whole; text: its decoded text (empty otherwise).
    using Done = std::function<void(bool ok, const QString& text)>;

    // Starts at once. `done` runs on `context`'s thread, never once this
    // object is gone; destroy the fetch before `context`.
    PageFetch(HttpTransfer::Request request, QObject* context, Done done);
    // Stops the transfer at its next poll and waits for the thread.
    ~PageFetch();
    PageFetch(const PageFetch&) = delete;
    PageFetch& operator=(const PageFetch&) = delete;

    void Abort() { shared_->aborted = true; }

private:
    struct Shared {
        std::atomic<bool> aborted{false};
    };
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
};

}  // namespace velmora::update
