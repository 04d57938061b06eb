#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/analysis_driver.h"
#include "engine/document_session.h"

namespace velmora::app {

// Runs on the scan thread for each document the scan could read, with the
// document still open: the place for reading more of it, which needs no
// window and should keep none waiting. What it returns runs on the GUI
// thread, in the order of the documents, where it may touch widgets and the
// window's lists freely.
using TReadDocument = std::function<std::function<void()>(engine::DocumentSession& document, const std::u16string& fileName,
                                                          const std::u16string& filePath, engine::TSummaryInfo info,
                                                          int32_t fileSize)>;

// A folder scan for a window: the scan runs on its own thread and the GUI
// thread keeps dispatching events (painting, input, timers) until it has
// ended. The rows reach the GUI thread in batches, a few times a second,
// not one blocking hand-over each: a row costs the window a repaint
// otherwise, and a large folder would spend its time painting. An error the
// GUI side raises drops the rows after it and ends the scan; it comes back
// in `scanError` like the scan's own. Results as engine::AnalyzeFolder.
bool AnalyzeFolderForWindow(const std::filesystem::path& folder, engine::TDocumentTypes types, bool includeSubfolders,
                            const TReadDocument& read, std::exception_ptr* scanError = nullptr,
                            size_t* unreadable = nullptr, std::vector<engine::ScanProblem>* problems = nullptr);

}  // namespace velmora::app
