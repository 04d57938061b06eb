#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora::engine {

// File names on Linux are bytes, not text; the engine keeps paths as bytes and
// turns them into UTF-16 text only where a caller shows or stores them. Valid
// UTF-8 becomes its characters; every other byte b becomes the lone code unit
// U+DC80 + b, which no valid UTF-8 can produce, so TextToPath gives back the
// very same bytes and a document with a mis-encoded name can still be opened.
std::u16string PathToText(const std::filesystem::path& path);

// The way back. Text that did not come from PathToText is encoded as UTF-8;
// a lone surrogate outside U+DC80-U+DCFF (which no file name can hold)
// becomes U+FFFD.
std::filesystem::path TextToPath(std::u16string_view text);

}  // namespace velmora::engine
