#include "storage/property_set_editor.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "storage/little_endian.h"
#include "storage/property_set.h"
#include "storage/property_set_layout.h"
#include "storage/property_value.h"
#include "storage/storage_error.h"
#include "storage/stream_view.h"

namespace velmora::storage {

namespace {

void PadTo4(std::vector<uint8_t>& bytes) {
    while (bytes.size() % 4 != 0) bytes.push_back(0);
}

void AppendU32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> RebuildDictionary(const std::vector<DictionaryEntry>& entries, bool wide) {
    std::vector<uint8_t> bytes;
    AppendU32(bytes, static_cast<uint32_t>(entries.size()));
    for (const auto& entry : entries) {
        AppendU32(bytes, entry.pid);
        AppendU32(bytes, static_cast<uint32_t>(wide ? entry.nameBytes.size() / 2 : entry.nameBytes.size()));
        bytes.insert(bytes.end(), entry.nameBytes.begin(), entry.nameBytes.end());
        if (wide) PadTo4(bytes);
    }
    PadTo4(bytes);
    return bytes;
}

// The section rebuilt with its edits; nullopt when none of them changes it.
std::optional<std::vector<uint8_t>> RebuildSection(std::span<const uint8_t> stream, PropertySetReader& reader,
                                                   const PropertySection& section,
                                                   const std::vector<const PropertyEdit*>& edits) {
    std::map<uint32_t, const PropertyEdit*> byPid;
    for (const PropertyEdit* edit : edits) byPid[edit->pid] = edit;

    std::set<uint32_t> droppedNames;
    bool changed = false;
    for (const auto& [pid, edit] : byPid) {
        bool present = std::any_of(section.properties.begin(), section.properties.end(),
                                   [wanted = pid](const PropertyLocation& p) { return p.pid == wanted; });
        if (edit->value || present) changed = true;
        if (!edit->value && edit->dropDictionaryEntry) droppedNames.insert(pid);
    }
    std::vector<DictionaryEntry> dictionary;
    if (!droppedNames.empty()) {
        dictionary = reader.dictionary(section);
        auto kept = std::remove_if(dictionary.begin(), dictionary.end(),
                                   [&](const DictionaryEntry& e) { return droppedNames.count(e.pid) > 0; });
        if (kept != dictionary.end()) changed = true;
        dictionary.erase(kept, dictionary.end());
    }
    if (!changed) return std::nullopt;

    // Each stored value runs from its offset to the next one (or the end of
    // the section): copying that extent keeps types we cannot parse and the
    // unpadded layouts some writers produce exactly as they were.
    auto extentOf = [&](uint32_t offset) {
        return stream.subspan(section.offset + offset, ValueLimit(section, offset) - offset);
    };

    struct Block {
        std::vector<uint8_t> bytes;
        bool laidAnew;
    };
    std::vector<PropertyLocation> entries;           // stored order, rewritten offsets filled later
    std::map<uint32_t, size_t> blockOfOffset;        // shared offsets stay shared
    std::vector<Block> blocks;
    std::vector<size_t> blockOfEntry;
    const bool wide = reader.codePage(section) == kCodePageUtf16;

    for (const auto& property : section.properties) {
        auto edit = byPid.find(property.pid);
        if (edit != byPid.end() && !edit->second->value) continue;  // deleted
        if (edit != byPid.end()) {
            blocks.push_back({*edit->second->value, true});
            blockOfEntry.push_back(blocks.size() - 1);
        } else if (property.pid == kDictionaryPid && !droppedNames.empty()) {
            blocks.push_back({RebuildDictionary(dictionary, wide), true});
            blockOfEntry.push_back(blocks.size() - 1);
        } else if (auto shared = blockOfOffset.find(property.offset); shared != blockOfOffset.end()) {
            blockOfEntry.push_back(shared->second);
        } else {
            auto extent = extentOf(property.offset);
            blocks.push_back({std::vector<uint8_t>(extent.begin(), extent.end()), false});
            blockOfOffset[property.offset] = blocks.size() - 1;
            blockOfEntry.push_back(blocks.size() - 1);
        }
        entries.push_back(property);
    }
    std::vector<std::pair<uint32_t, size_t>> placement;  // original offset -> block, in data order
    for (size_t i = 0; i < entries.size(); ++i) {
        bool first = std::find_if(placement.begin(), placement.end(),
                                  [&](const auto& p) { return p.second == blockOfEntry[i]; }) == placement.end();
        if (first) placement.emplace_back(entries[i].offset, blockOfEntry[i]);
    }
    std::stable_sort(placement.begin(), placement.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // New properties go after the stored ones, in the order of the edits, so
    // that one batch and the same edits one at a time lay a section out alike.
    for (const PropertyEdit* edit : edits) {
        if (!edit->value || byPid.at(edit->pid) != edit) continue;
        const uint32_t pid = edit->pid;
        bool present = std::any_of(entries.begin(), entries.end(), [wanted = pid](const PropertyLocation& p) { return p.pid == wanted; });
        if (present) continue;
        blocks.push_back({*edit->value, true});
        entries.push_back({pid, 0});
        blockOfEntry.push_back(blocks.size() - 1);
        placement.emplace_back(UINT32_MAX, blocks.size() - 1);
    }

    std::vector<uint8_t> out(kSectionHeaderLength + kPropertyListEntryLength * entries.size(), 0);
    std::map<size_t, uint32_t> offsetOfBlock;
    for (const auto& [originalOffset, blockIndex] : placement) {
        Block& block = blocks[blockIndex];
        // The format wants every value on a 4-byte boundary; a copied value
        // that some writer left unaligned is aligned where it lands now.
        PadTo4(out);
        offsetOfBlock[blockIndex] = static_cast<uint32_t>(out.size());
        out.insert(out.end(), block.bytes.begin(), block.bytes.end());
        if (block.laidAnew) PadTo4(out);
    }
    PadTo4(out);
    StoreU32(out, 0, static_cast<uint32_t>(out.size()));
    StoreU32(out, 4, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        StoreU32(out, kSectionHeaderLength + kPropertyListEntryLength * i, entries[i].pid);
        StoreU32(out, kSectionHeaderLength + kPropertyListEntryLength * i + 4, offsetOfBlock.at(blockOfEntry[i]));
    }
    return out;
}

}  // namespace

std::optional<std::vector<uint8_t>> EditPropertySet(std::span<const uint8_t> stream, std::span<const PropertyEdit> edits) {
    MemoryStreamView view(stream);
    PropertySetReader reader(view);
    const auto& sections = reader.sections();

    for (const auto& edit : edits)
        if (edit.value && reader.findSection(edit.sectionId) == nullptr)
            throw StorageError(StorageResult::FileNotFound, Refusal::NoSuchPropertySet,
                               "The document has no property section " + edit.sectionId.toString());

    std::vector<std::vector<uint8_t>> bodies;
    bool changed = false;
    for (const auto& section : sections) {
        std::vector<const PropertyEdit*> mine;
        for (const auto& edit : edits)
            if (edit.sectionId == section.formatId) mine.push_back(&edit);
        std::optional<std::vector<uint8_t>> rebuilt;
        if (!mine.empty()) rebuilt = RebuildSection(stream, reader, section, mine);
        if (rebuilt) {
            changed = true;
            bodies.push_back(std::move(*rebuilt));
        } else {
            auto raw = stream.subspan(section.offset, section.size);
            bodies.emplace_back(raw.begin(), raw.end());
        }
    }
    if (!changed) return std::nullopt;

    const size_t listEnd = kStreamHeaderLength + kSectionListEntryLength * sections.size();
    std::vector<uint8_t> out(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(listEnd));
    for (size_t i = 0; i < sections.size(); ++i) {
        PadTo4(out);
        StoreU32(out, kStreamHeaderLength + kSectionListEntryLength * i + 16, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), bodies[i].begin(), bodies[i].end());
    }
    return out;
}

std::vector<uint8_t> StoredText8Value(std::string_view bytesWithoutTerminator, bool utf16CodePage) {
    std::vector<uint8_t> bytes;
    AppendU32(bytes, vt::LPStr);
    const size_t terminator = utf16CodePage ? 2 : 1;
    AppendU32(bytes, static_cast<uint32_t>(bytesWithoutTerminator.size() + terminator));
    bytes.insert(bytes.end(), bytesWithoutTerminator.begin(), bytesWithoutTerminator.end());
    bytes.insert(bytes.end(), terminator, 0);
    PadTo4(bytes);
    return bytes;
}

std::vector<uint8_t> StoredFileTimeValue(uint64_t fileTime) {
    std::vector<uint8_t> bytes;
    AppendU32(bytes, vt::FileTime);
    AppendU32(bytes, static_cast<uint32_t>(fileTime));
    AppendU32(bytes, static_cast<uint32_t>(fileTime >> 32));
    return bytes;
}

}  // namespace velmora::storage
