#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/completion_signal.h"
#include "engine/document_search.h"
#include "engine/summary_info.h"

namespace velmora::engine {

// Receives one analysed document: its name, its folder with the trailing
// "/" (so FilePath + FileName is the full path, as text: see PathToText),
// its properties, and the low 32 bits of its size. May be unset.
using TAnalyzeCallback = std::function<void(const std::u16string& FileName, const std::u16string& FilePath,
                                            TSummaryInfo Info, int32_t FileSize)>;
// The same with the document still open: what the caller reads of it beyond
// the record goes through the session the record was read through.
class DocumentSession;
using TAnalyzeSessionCallback = std::function<void(DocumentSession& Document, const std::u16string& FileName,
                                                   const std::u16string& FilePath, TSummaryInfo Info, int32_t FileSize)>;

// Reads one document and hands it to the callback. True when the path names
// an existing file (links followed; a folder does not count) whose
// properties could be read, whether or not a callback is set. Errors raised
// by the reader or the callback propagate.
bool AnalyzeFile(const std::filesystem::path& path, const TAnalyzeCallback& callback);

// How the caller's thread waits for the scan thread to end: the command-line
// tool blocks; the desktop program keeps its windows alive meanwhile.
using ScanWaiter = std::function<void(CompletionSignal& scanEnded)>;
void WaitBlocking(CompletionSignal& scanEnded);

// What the scan thread is given; it owns and releases it.
struct TThreadMetadata {
    std::filesystem::path FolderPath;
    bool IncludeSubfolders = false;
    TDocumentTypes DocTypes = 0;
    TAnalyzeCallback Callback;
    TAnalyzeSessionCallback SessionCallback;  // when set, called instead of Callback
};

// A document the scan found but could not read, or a folder it could not
// list, and why.
struct ScanProblem {
    std::filesystem::path path;
    bool folder = false;
    std::string reason;
};

// What the scan thread leaves for the thread that waits for it.
struct ScanOutcome {
    CompletionSignal ended;
    std::exception_ptr error;  // what ended the scan early; null when it ran to the end
    size_t unreadable = 0;     // documents found but not delivered: the reader refused them
    std::vector<ScanProblem> problems;  // those documents, then the folders not listed
};

// The scan thread's routine: finds the documents, reads each into a fresh
// record and delivers those it could read, in list order. Documents that
// cannot be read are skipped. The first error (from the search, the reader
// or the callback) ends the scan and is kept in `outcome`. Releases the block
// whatever happens and raises `outcome.ended` as its last act. Never throws.
// Returns the thread's exit code, 0.
int ScanThreadProc(std::unique_ptr<TThreadMetadata> block, ScanOutcome& outcome);

// Scans a folder (and with `includeSubfolders` its sub-folders) on a thread
// of its own and waits for it with `wait`. False, with no thread started,
// when the folder does not exist or the type set is empty; true once a scan
// has run. A scan that an error ended early also gives true — the rows
// delivered are then incomplete — and the error is stored in `*scanError`
// when given, so that the caller can say so; so is the number of documents
// found that could not be read, in `*unreadable`.
bool AnalyzeFolder(const std::filesystem::path& folder, TDocumentTypes types, bool includeSubfolders,
                   const TAnalyzeCallback& callback, const ScanWaiter& wait = WaitBlocking,
                               std::exception_ptr* scanError = nullptr, size_t* unreadable = nullptr);

// The same, each document delivered with its session still open; with
// `problems`, each document it could not read and each folder it could not
// list, with the reason.
bool AnalyzeFolderWithSessions(const std::filesystem::path& folder, TDocumentTypes types, bool includeSubfolders,
                               const TAnalyzeSessionCallback& callback, const ScanWaiter& wait = WaitBlocking,
                               std::exception_ptr* scanError = nullptr, size_t* unreadable = nullptr,
                               std::vector<ScanProblem>* problems = nullptr);

// The low 32 bits of a size, as the callback's FileSize carries it.
int32_t LowSizeBits(int64_t size);

}  // namespace velmora::engine
