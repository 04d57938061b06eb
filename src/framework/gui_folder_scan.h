#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/analysis_driver.h"

namespace velmora::framework {

// Wraps a window's analysis callback so that each delivery runs on the GUI
// thread, one at a time, while the scan thread waits for it to be taken: the
// callback may then touch widgets and the window's path list freely. An
// error the callback raises there travels back to the scan thread and ends
// the scan.
// `prepare`, when set, runs first for each document, on the scan thread:
// the place for reading more of the document, which needs no window and
// should keep none waiting. The scan thread waits for each delivery, so
// what `prepare` stores is there for `callback` to read.
using TPrepareDocument = std::function<void(const std::u16string& fileName, const std::u16string& filePath,
                                            const engine::TSummaryInfo& info)>;
engine::TAnalyzeCallback DeliveredOnGuiThread(engine::TAnalyzeCallback callback, TPrepareDocument prepare = {});

// A folder scan for a window: the scan runs on its own thread, deliveries
// reach `callback` on the GUI thread, and the GUI thread keeps dispatching
// events (painting, input, timers) until the scan has ended. Results as
// engine::AnalyzeFolder, including the error that ended a scan early.
bool AnalyzeFolderForWindow(const std::filesystem::path& folder, engine::TDocumentTypes types, bool includeSubfolders,
                            const engine::TAnalyzeCallback& callback, std::exception_ptr* scanError = nullptr,
                            size_t* unreadable = nullptr, const TPrepareDocument& prepare = {});

}  // namespace velmora::framework
