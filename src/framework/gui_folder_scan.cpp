#include "framework/gui_folder_scan.h"

#include "framework/desktop_helpers.h"
#include "framework/framework_services.h"

namespace velmora::framework {

engine::TAnalyzeCallback DeliveredOnGuiThread(engine::TAnalyzeCallback callback, TPrepareDocument prepare) {
    if (!callback) return {};
    return [callback = std::move(callback), prepare = std::move(prepare)](
               const std::u16string& fileName, const std::u16string& filePath, engine::TSummaryInfo info, int32_t fileSize) {
        if (prepare) prepare(fileName, filePath, info);
        RunOnGuiThread([&] { callback(fileName, filePath, std::move(info), fileSize); });
    };
}

bool AnalyzeFolderForWindow(const std::filesystem::path& folder, engine::TDocumentTypes types, bool includeSubfolders,
                            const engine::TAnalyzeCallback& callback, std::exception_ptr* scanError,
                            size_t* unreadable, const TPrepareDocument& prepare) {
    return engine::AnalyzeFolder(folder, types, includeSubfolders, DeliveredOnGuiThread(callback, prepare),
                                 [](engine::CompletionSignal& ended) { WaitWithMessages(ended); }, scanError,
                                 unreadable);
}

}  // namespace velmora::framework
