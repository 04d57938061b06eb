#pragma once

// Shared by the fuzz targets: reads everything a property-set stream offers
// (every section, every value, the code page and the dictionary) and checks
// that what came back stays inside the bytes it was read from. A broken
// bound aborts, so that libFuzzer keeps the input as a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "engine/code_page_text.h"
#include "storage/property_set.h"
#include "storage/storage_error.h"
#include "storage/stream_view.h"

namespace velmora::fuzz {

inline void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// Checks one decoded value against the section it came from, and pushes its
// texts through the code-page decoder the summary reader uses.
inline void CheckValue(const storage::PropertyValue& value, const storage::PropertySection& section,
                       uint16_t codePage) {
    using Kind = storage::PropertyValue::Kind;
    Require(value.text8.size() <= section.size, "an 8-bit string longer than its section");
    Require(value.text16.size() * 2 <= section.size, "a wide string longer than its section");
    Require(value.byteCount <= section.size, "a blob larger than its section");
    Require(value.elements.size() <= value.elementCount, "more vector elements than the stored count");
    if (value.kind == Kind::Vector && value.elementsComplete)
        Require(value.elements.size() == value.elementCount, "a complete vector with missing elements");
    if (value.kind == Kind::Text8) (void)engine::DecodeCodePageText(value.text8, codePage);
    for (const auto& element : value.elements) {
        Require(element.kind != Kind::Vector, "a vector inside a vector");
        CheckValue(element, section, codePage);
    }
}

// Reads every part of every section. Damage (StorageError) is the expected
// answer to most inputs; anything else escaping is a fault.
inline void WalkPropertySet(storage::StreamView& stream) {
    std::optional<storage::PropertySetReader> reader;
    try {
        reader.emplace(stream);
    } catch (const storage::StorageError&) {
        return;
    }
    const uint64_t streamSize = stream.size();
    Require(!reader->sections().empty(), "a property set without sections");
    for (const auto& section : reader->sections()) {
        Require(section.offset <= streamSize && streamSize - section.offset >= section.size,
                "a section reaching past its stream");
        Require(section.size >= 8, "a section shorter than its header");
        Require(section.properties.size() <= (section.size - 8) / 8, "more properties than the section holds");
        const storage::PropertySection* found = reader->findSection(section.formatId);
        Require(found != nullptr && found->formatId == section.formatId, "a listed section that cannot be found");

        uint16_t codePage = 0;
        try {
            codePage = reader->codePage(section);
        } catch (const storage::StorageError&) {
        }
        try {
            uint64_t nameBytes = 0;
            auto dictionary = reader->dictionary(section);
            Require(dictionary.size() <= section.size / 8, "a dictionary with more entries than its section holds");
            for (const auto& entry : dictionary) nameBytes += entry.nameBytes.size();
            Require(nameBytes <= section.size, "dictionary names longer than their section");
        } catch (const storage::StorageError&) {
        }
        for (const auto& property : section.properties) {
            Require(property.offset < section.size, "a property outside its section");
            try {
                CheckValue(reader->readValue(section, property), section, codePage);
            } catch (const storage::StorageError&) {
            }
        }
    }
}

}  // namespace velmora::fuzz
