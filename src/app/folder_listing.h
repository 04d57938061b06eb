#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <QObject>

#include "engine/completion_signal.h"
#include "engine/document_search.h"

namespace velmora::app {

// One document a listing found: its path and size, read on the listing thread.
struct ListedDocument {
    std::filesystem::path path;
    int64_t size = 0;
};
using ListedDocuments = std::vector<ListedDocument>;

// Folder listings for the window, each on a thread of its own. Only the
// newest listing counts: results of one that a newer listing, Discard() or
// the owner's end replaced are dropped, so a listing can never change
// anything after the user moved on. Lives on the GUI thread.
class FolderListing : public QObject {
public:
    // The documents found, and the folders the listing could not enter.
    using Delivery = std::function<void(const ListedDocuments& documents, const std::vector<std::filesystem::path>& unlistable)>;

    FolderListing() = default;
    ~FolderListing() override;  // cancels

    // Lists in the background; `deliver` runs later on the GUI thread with the
    // result, unless the listing was replaced meanwhile.
    void Start(const std::filesystem::path& folder, bool includeSubfolders, engine::TDocumentTypes types,
               Delivery deliver);
    // Lists and waits for the result, keeping the window alive meanwhile;
    // with `unlistable`, the folders it could not list.
    ListedDocuments ListAndWait(const std::filesystem::path& folder, bool includeSubfolders,
                                engine::TDocumentTypes types, std::vector<std::filesystem::path>* unlistable = nullptr);
    // Drops whatever the listings still running would deliver, and asks them
    // to stop.
    void Discard();
    // Discards, then waits for every listing thread to end: nothing of a
    // listing runs after this returns.
    void Cancel();

    // A listing whose result still counts is searching.
    bool Active() const;

    // Called on a listing thread before each folder it enters; lets tests hold
    // a listing in the middle of its search.
    void SetFolderHookForTesting(std::function<void()> hook) { folderHook_ = std::move(hook); }

private:
    struct Run {
        std::thread thread;
        engine::CompletionSignal ended;
        std::atomic<bool> stop{false};
        ListedDocuments documents;
        std::vector<std::filesystem::path> unlistable;
    };
    std::shared_ptr<Run> launch(const std::filesystem::path& folder, bool includeSubfolders,
                                engine::TDocumentTypes types, std::function<void()> whenDone);
    void reapEnded();

    std::vector<std::shared_ptr<Run>> runs_;
    uint64_t generation_ = 0;
    std::function<void()> folderHook_;
};

}  // namespace velmora::app
