#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/summary_info.h"

namespace velmora::engine {

enum class FieldKind { Text, Date, EditTime, Count, Word, Reference, CountAndReference };

// One known property: where it lives (set index 0 = SummaryInformation,
// 1 = DocumentSummaryInformation, and PID), the value type documents store
// for it, and the TSummaryInfo field it fills.
struct SummaryProperty {
    size_t setIndex;
    uint32_t pid;
    const char* fieldName;
    uint16_t storedType;  // what documents store, and what the writer writes
    FieldKind kind;
    // Where applications keep the same value as a user-defined property of
    // this name too (LibreOffice keeps Company, Manager and Category only
    // there; Office keeps the GUID and hyperlinks there as well).
    const char16_t* userDefinedName = nullptr;
    std::u16string TSummaryInfo::*text = nullptr;
    TDateTime TSummaryInfo::*date = nullptr;
    int32_t TSummaryInfo::*count = nullptr;
    uint16_t TSummaryInfo::*word = nullptr;
    uint32_t TSummaryInfo::*reference = nullptr;
    TCountAndReference TSummaryInfo::*pair = nullptr;
};

// All 41, in the record's field order.
const std::vector<SummaryProperty>& SummaryProperties();
const SummaryProperty* FindSummaryProperty(size_t setIndex, uint32_t pid);
// By the record field's name ("Title", "Company"); the table must hold it.
const SummaryProperty& SummaryPropertyNamed(std::string_view fieldName);

}  // namespace velmora::engine
