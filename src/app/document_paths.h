#pragma once

#include <filesystem>

#include <QString>

namespace velmora::app {

// Path text in the window is in the engine's byte mapping, so names that are
// not valid UTF-8 go back to the same bytes.
std::filesystem::path PathOf(const QString& text);
QString TextOf(const std::filesystem::path& path);

// True for an existing file that is not a folder, links followed; a file
// another program holds open still counts.
bool FileExists(const QString& text);

// Where a picker opens: the folder a field names, else the Documents folder
// (a field left empty would open the pickers at "/").
QString StartFolder(const QString& fieldText);
// The folder of the document a field names, for a document picker; empty
// where the field is.
QString FolderOf(const QString& fieldText);

}  // namespace velmora::app
