#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/summary_properties.h"
#include "storage/property_set.h"

namespace velmora::engine {

// A user-defined property of DocumentSummaryInformation that no other
// operation takes care of: what "Remove Custom Properties" removes.
struct CustomProperty {
    uint32_t pid = 0;
    std::u16string name;   // from the set's dictionary; empty where it names none
    std::u16string value;  // as text: numbers in decimal, dates as "YYYY-MM-DD hh:mm:ss" UTC,
                           // true/false, "(N bytes)" for binary data, "(N values)" for lists
};

// The user-defined names with operations of their own (Company, Manager, the
// GUID and the hyperlinks list), compared without case as dictionary names
// are.
bool HasOwnOperation(std::u16string_view userDefinedName);

// The custom properties of a parsed DocumentSummaryInformation stream, in
// stored order; none where it has no user-defined section. Values only
// `withValues` (a value that cannot be decoded reads "(damaged)"); what a
// removal needs is the names and PIDs alone. Raises the reader's
// StorageError where the dictionary or the code page is damaged.
std::vector<CustomProperty> ReadCustomProperties(storage::PropertySetReader& reader, bool withValues);
// The same from the stream's bytes; none for a document without the stream.
std::vector<CustomProperty> ReadCustomProperties(std::span<const uint8_t> documentSummaryStream);

// "name = value", joined by "; ".
std::u16string JoinedCustomProperties(const std::vector<CustomProperty>& properties);

// The field the operation reports ("CustomProperties"): no property of the
// record, it names the user-defined set's custom part for a change.
const SummaryProperty& CustomPropertiesField();

}  // namespace velmora::engine
