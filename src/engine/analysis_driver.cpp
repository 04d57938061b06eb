#include "engine/analysis_driver.h"

#include <thread>
#include <vector>

#include "engine/document_session.h"
#include "engine/path_text.h"
#include "engine/summary_reader.h"
#include "storage/storage_error.h"

namespace velmora::engine {

namespace {

// Reads a fresh record for the document through a session that stays open.
// Nothing for whatever the reader refuses: missing, a folder or anything
// else that is not a regular file, locked, not a compound file, no property
// sets.
std::unique_ptr<DocumentSession> OpenAndRead(const std::filesystem::path& path, TSummaryInfo& info, std::string* why = nullptr) {
    try {
        auto session = std::make_unique<DocumentSession>(path);
        const ReadOutcome outcome = session->readSummary(info);
        if (outcome.ok) return session;
        if (why) *why = outcome.message;
    } catch (const storage::StorageError& error) {
        if (why) *why = error.what();
    }
    return nullptr;
}

// The name and the folder with its trailing "/".
std::pair<std::u16string, std::u16string> NameAndFolder(const std::filesystem::path& path) {
    const std::u16string text = PathToText(path);
    const size_t slash = text.rfind(u'/');
    const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
    return {text.substr(nameStart), text.substr(0, nameStart)};
}

void Deliver(const std::filesystem::path& path, const TSummaryInfo& info, int64_t size, const TAnalyzeCallback& callback) {
    const auto [name, folder] = NameAndFolder(path);
    callback(name, folder, info, LowSizeBits(size));
}

bool RunScan(std::unique_ptr<TThreadMetadata> block, const ScanWaiter& wait, std::exception_ptr* scanError,
             size_t* unreadable, std::vector<ScanProblem>* problems = nullptr);

// What the scan thread is given, without a callback; nothing where no scan
// is to run (no such folder, no type).
std::unique_ptr<TThreadMetadata> ScanOf(const std::filesystem::path& folder, TDocumentTypes types, bool includeSubfolders) {
    if ((types & kAllDocumentTypes) == 0 || folder.empty() || !IsFolder(folder)) return nullptr;
    auto block = std::make_unique<TThreadMetadata>();
    block->FolderPath = folder;
    block->IncludeSubfolders = includeSubfolders;
    block->DocTypes = types;
    return block;
}

}  // namespace

int32_t LowSizeBits(int64_t size) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(size))); }

bool AnalyzeFile(const std::filesystem::path& path, const TAnalyzeCallback& callback) {
    TSummaryInfo info;
    if (path.empty()) return false;
    std::unique_ptr<DocumentSession> session = OpenAndRead(path, info);
    if (!session) return false;
    const int64_t size = static_cast<int64_t>(session->size());
    session.reset();  // closed before the callback: it may take its time
    if (callback) Deliver(path, info, size, callback);
    return true;
}

void WaitBlocking(CompletionSignal& scanEnded) { scanEnded.Wait(); }

int ScanThreadProc(std::unique_ptr<TThreadMetadata> block, ScanOutcome& outcome) {
    std::exception_ptr error;
    try {
        std::vector<std::filesystem::path> documents;
        SearchReport search;
        FindDocuments(block->FolderPath, block->IncludeSubfolders, block->DocTypes, documents, &search);
        for (const auto& folder : search.unlistable)
            outcome.problems.push_back({folder, true, "The folder could not be listed"});
        for (const auto& path : documents) {
            TSummaryInfo info;  // fresh for every document: no value carries over
            std::string why;
            std::unique_ptr<DocumentSession> session = OpenAndRead(path, info, &why);
            if (!session) {
                ++outcome.unreadable;
                outcome.problems.push_back({path, false, why});
                continue;
            }
            const int64_t size = static_cast<int64_t>(session->size());
            if (block->SessionCallback) {
                const auto [name, folder] = NameAndFolder(path);
                block->SessionCallback(*session, name, folder, std::move(info), LowSizeBits(size));
                continue;
            }
            session.reset();  // closed before the callback: it may take its time
            if (!block->Callback) continue;
            Deliver(path, info, size, block->Callback);
        }
    } catch (...) {
        error = std::current_exception();
    }
    // The list went with its scope; the block goes now, before the waiter is
    // released, so nothing of the scan outlives AnalyzeFolder.
    block.reset();
    outcome.error = error;
    outcome.ended.Signal();
    return 0;
}

bool AnalyzeFolder(const std::filesystem::path& folder, TDocumentTypes types, bool includeSubfolders,
                   const TAnalyzeCallback& callback, const ScanWaiter& wait, std::exception_ptr* scanError,
                   size_t* unreadable) {
    std::unique_ptr<TThreadMetadata> block = ScanOf(folder, types, includeSubfolders);
    if (!block) return false;
    block->Callback = callback;
    return RunScan(std::move(block), wait, scanError, unreadable);
}

bool AnalyzeFolderWithSessions(const std::filesystem::path& folder, TDocumentTypes types, bool includeSubfolders,
                               const TAnalyzeSessionCallback& callback, const ScanWaiter& wait,
                               std::exception_ptr* scanError, size_t* unreadable, std::vector<ScanProblem>* problems) {
    std::unique_ptr<TThreadMetadata> block = ScanOf(folder, types, includeSubfolders);
    if (!block) return false;
    block->SessionCallback = callback;
    return RunScan(std::move(block), wait, scanError, unreadable, problems);
}

namespace {

bool RunScan(std::unique_ptr<TThreadMetadata> block, const ScanWaiter& wait, std::exception_ptr* scanError,
             size_t* unreadable, std::vector<ScanProblem>* problems) {
    ScanOutcome outcome;
    std::thread scan(ScanThreadProc, std::move(block), std::ref(outcome));
    try {
        wait(outcome.ended);
    } catch (...) {
        // The thread refers to `outcome`: it must end before this frame does.
        scan.join();
        throw;
    }
    scan.join();  // it has raised the signal as its last act: this returns at once
    if (scanError) *scanError = outcome.error;
    if (unreadable) *unreadable = outcome.unreadable;
    if (problems) *problems = std::move(outcome.problems);
    return true;
}

}  // namespace

}  // namespace velmora::engine
