#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::cli {

// Appends a JSON string. Every code unit above 0x7E is written as a \uXXXX
// escape, so the output is ASCII and lone surrogates survive unchanged.
void AppendJsonString(std::string& out, std::u16string_view text);

// Appends the shortest text that reads back as the same double (null for
// values JSON cannot hold).
void AppendJsonNumber(std::string& out, double value);
void AppendJsonNumber(std::string& out, int64_t value);

}  // namespace velmora::cli
