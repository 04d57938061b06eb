#include "app/document_paths.h"

#include <sys/stat.h>

#include "engine/path_text.h"
#include "framework/desktop_helpers.h"

namespace velmora::app {

std::filesystem::path PathOf(const QString& text) { return engine::TextToPath(text.toStdU16String()); }

QString TextOf(const std::filesystem::path& path) { return QString::fromStdU16String(engine::PathToText(path)); }

bool FileExists(const QString& text) {
    if (text.isEmpty()) return false;
    struct stat status {};
    return ::stat(PathOf(text).c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

QString StartFolder(const QString& fieldText) {
    return fieldText.trimmed().isEmpty() ? framework::GetDocumentsFolder() : fieldText;
}

QString FolderOf(const QString& fieldText) {
    if (fieldText.trimmed().isEmpty()) return QString();
    return TextOf(PathOf(fieldText).parent_path());
}

}  // namespace velmora::app
