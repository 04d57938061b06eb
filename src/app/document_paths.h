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

}  // namespace velmora::app
