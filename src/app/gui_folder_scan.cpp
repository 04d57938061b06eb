#include "app/gui_folder_scan.h"

#include <QCoreApplication>
#include <QTimer>

#include <memory>
#include <mutex>
#include <vector>

#include "framework/desktop_helpers.h"

namespace velmora::app {

namespace {

constexpr int kBatchIntervalMs = 50;

// Rows on their way from the scan thread to the GUI thread. Shared, so that
// a hand-over still queued when the scan's frame has gone finds it alive.
class RowQueue {
public:
    // Scan thread: queues a row, and a hand-over unless one is pending.
    void push(std::function<void()> row) {
        std::lock_guard lock(mutex_);
        if (failure_) std::rethrow_exception(failure_);  // ends the scan
        rows_.push_back(std::move(row));
        if (scheduled_) return;
        scheduled_ = true;
        QCoreApplication* application = QCoreApplication::instance();
        if (application == nullptr) return;
        std::weak_ptr<RowQueue> self = self_;
        QMetaObject::invokeMethod(application, [self] {
            QTimer::singleShot(kBatchIntervalMs, [self] {
                if (auto queue = self.lock()) queue->drain();
            });
        });
    }

    // GUI thread: runs what is queued, in order, until one fails.
    void drain() {
        std::vector<std::function<void()>> rows;
        {
            std::lock_guard lock(mutex_);
            rows.swap(rows_);
            scheduled_ = false;
            if (failure_) return;
        }
        for (auto& row : rows) {
            try {
                if (row) row();
            } catch (...) {
                std::lock_guard lock(mutex_);
                failure_ = std::current_exception();
                rows_.clear();
                return;
            }
        }
    }

    std::exception_ptr failure() {
        std::lock_guard lock(mutex_);
        return failure_;
    }

    static std::shared_ptr<RowQueue> Make() {
        auto queue = std::make_shared<RowQueue>();
        queue->self_ = queue;
        return queue;
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> rows_;
    bool scheduled_ = false;
    std::exception_ptr failure_;
    std::weak_ptr<RowQueue> self_;
};

}  // namespace

bool AnalyzeFolderForWindow(const std::filesystem::path& folder, engine::TDocumentTypes types, bool includeSubfolders,
                            const TReadDocument& read, std::exception_ptr* scanError, size_t* unreadable,
                            std::vector<engine::ScanProblem>* problems) {
    const std::shared_ptr<RowQueue> queue = RowQueue::Make();
    engine::TAnalyzeSessionCallback deliver;
    if (read)
        deliver = [&read, queue](engine::DocumentSession& document, const std::u16string& fileName,
                                 const std::u16string& filePath, engine::TSummaryInfo info, int32_t fileSize) {
            queue->push(read(document, fileName, filePath, std::move(info), fileSize));
        };
    std::exception_ptr error;
    const bool ran = engine::AnalyzeFolderWithSessions(folder, types, includeSubfolders, deliver,
                                           [](engine::CompletionSignal& ended) { framework::WaitWithMessages(ended); }, &error,
                                           unreadable, problems);
    if (!ran) return false;
    queue->drain();  // the last rows, at once
    // A failure on the GUI side ends the scan as its own error would.
    if (!error) error = queue->failure();
    if (scanError) *scanError = error;
    return true;
}

}  // namespace velmora::app
