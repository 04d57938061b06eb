#pragma once

#include <string>

#include "engine/summary_info.h"

namespace velmora::cli {

// The record as one JSON object: the 41 fields under their own names, in
// order; texts as strings, date-times as numbers, pairs as [count, reference].
std::string SummaryToJson(const engine::TSummaryInfo& info);

}  // namespace velmora::cli
