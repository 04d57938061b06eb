#include "app/folder_listing.h"

#include <QMetaObject>

#include "framework/desktop_helpers.h"

namespace velmora::app {

FolderListing::~FolderListing() { Cancel(); }

void FolderListing::Cancel() {
    Discard();
    for (const auto& run : runs_) {
        if (run->thread.joinable()) run->thread.join();
    }
    runs_.clear();
}

std::shared_ptr<FolderListing::Run> FolderListing::launch(const std::filesystem::path& folder, bool includeSubfolders,
                                                          engine::TDocumentTypes types,
                                                          std::function<void()> whenDone) {
    reapEnded();
    auto run = std::make_shared<Run>();
    run->thread = std::thread([run = run.get(), folder, includeSubfolders, types, hook = folderHook_,
                               whenDone = std::move(whenDone)] {
        std::vector<std::filesystem::path> found;
        try {
            engine::SearchReport report;
            report.stopRequested = [run, &hook] {
                if (hook) hook();
                return run->stop.load();
            };
            if (!folder.empty()) engine::FindDocuments(folder, includeSubfolders, types, found, &report);
            run->unlistable = report.unlistable;
        } catch (...) {
            // A listing that fails ("String list is full") lists nothing more;
            // what it found so far is still shown.
        }
        for (const auto& path : found) {
            if (run->stop) break;
            run->documents.push_back({path, engine::FileSizeOf(path)});
        }
        if (whenDone) whenDone();
        run->ended.Signal();
    });
    runs_.push_back(run);
    return run;
}

void FolderListing::Start(const std::filesystem::path& folder, bool includeSubfolders, engine::TDocumentTypes types,
                          Delivery deliver) {
    Discard();
    const uint64_t generation = ++generation_;
    auto runHolder = std::make_shared<std::weak_ptr<Run>>();
    // Runs on the listing thread as its last act; the delivery itself is
    // queued to this object, which drops it when the object is gone.
    auto whenDone = [this, generation, runHolder, deliver = std::move(deliver)] {
        QMetaObject::invokeMethod(
            this,
            [this, generation, runHolder, deliver] {
                const std::shared_ptr<Run> run = runHolder->lock();
                if (!run || generation != generation_ || run->stop) return;
                deliver(run->documents, run->unlistable);
            },
            Qt::QueuedConnection);
    };
    *runHolder = launch(folder, includeSubfolders, types, std::move(whenDone));
}

ListedDocuments FolderListing::ListAndWait(const std::filesystem::path& folder, bool includeSubfolders,
                                           engine::TDocumentTypes types, std::vector<std::filesystem::path>* unlistable) {
    Discard();
    ++generation_;
    const std::shared_ptr<Run> run = launch(folder, includeSubfolders, types, nullptr);
    framework::WaitWithMessages(run->ended);
    if (run->thread.joinable()) run->thread.join();  // a close meanwhile may have joined it
    ListedDocuments documents = std::move(run->documents);
    if (unlistable) *unlistable = std::move(run->unlistable);
    reapEnded();
    return documents;
}

bool FolderListing::Active() const {
    for (const auto& run : runs_) {
        if (!run->stop && !run->ended.IsSignalled()) return true;
    }
    return false;
}

void FolderListing::Discard() {
    ++generation_;
    for (const auto& run : runs_) run->stop = true;
}

void FolderListing::reapEnded() {
    std::erase_if(runs_, [](const std::shared_ptr<Run>& run) {
        if (!run->ended.IsSignalled()) return false;
        if (run->thread.joinable()) run->thread.join();
        return true;
    });
}

}  // namespace velmora::app
