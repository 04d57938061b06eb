#pragma once

// Cleaning in memory: the first two bytes choose the operations (one bit
// each, in run order), the third whether author and company get a text; the
// rest is a compound file. The real planner and writer run over a memory
// source. Either the clean is refused and not a byte changed, or the result
// loads again with every chain valid, reads back with the strict reader,
// holds the planned streams, has nothing left to change, holds no residue
// (every byte of free space and stream slack zero), and keeps every other
// stream byte for byte. Shared by the writer's fuzz target and the
// regression test that replays its findings.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/clean_run.h"
#include "engine/last_saver_blanking.h"
#include "engine/property_change.h"
#include "engine/revision_log_blanking.h"
#include "engine/summary_reader.h"
#include "property_set_walk.h"
#include "storage/byte_source.h"
#include "storage/compound_file.h"
#include "storage/compound_file_format.h"
#include "storage/compound_file_writer.h"
#include "storage/storage_error.h"

namespace velmora::fuzz {

namespace detail {

// Every stream of the file by its path of names, read through the reader.
inline std::map<std::u16string, std::vector<uint8_t>> Streams(const std::vector<uint8_t>& bytes) {
    storage::MemoryByteSource source(bytes);
    storage::CompoundFile file(source);
    std::map<std::u16string, std::vector<uint8_t>> streams;
    std::vector<std::pair<std::u16string, uint32_t>> pending{{u"", file.rootEntry().child}};
    // Storages may lead back into one another: each is entered once.
    std::set<uint32_t> entered;
    size_t visited = 0;
    while (!pending.empty()) {
        auto [prefix, child] = pending.back();
        pending.pop_back();
        for (const auto& entry : storage::WalkChildTree(child, [&](uint32_t index) { return file.directoryEntry(index); })) {
            fuzz::Require(++visited < 100000, "a directory without end");
            const std::u16string path = prefix + u"/" + entry.name;
            if (entry.type == storage::ObjectType::Stream)
                streams[path] = file.openStream(entry).readAll();
            else if (entry.type == storage::ObjectType::Storage && entered.insert(entry.index).second)
                pending.emplace_back(path, entry.child);
        }
    }
    return streams;
}

}  // namespace detail

// Runs one input; aborts (through fuzz::Require) when an invariant breaks.
inline void CheckCleanInMemory(const uint8_t* data, size_t size) {
    if (size < 3) return;
    engine::CleanSettings settings;
    // Two bytes and four more bits of the third: one bit per operation, in run order.
    static_assert(std::size(engine::kAllCleanOperations) <= 20, "more operations than the choice has bits");
    const unsigned choice = data[0] | (data[1] << 8) | ((data[2] >> 2 & 15u) << 16);
    for (size_t i = 0; i < std::size(engine::kAllCleanOperations); ++i)
        if (choice & (1u << i)) settings.operations.push_back(engine::kAllCleanOperations[i]);
    if (data[2] & 1) settings.author = u"Fuzz \u00e9 Author";
    if (data[2] & 2) settings.company = u"ACME";
    const auto [operations, changes] = engine::ChangesFor(settings);
    const std::vector<uint8_t> original(data + 3, data + size);

    // The clean as velmora-cli and the window run it, on memory.
    storage::MemoryByteSource source(original);
    engine::AppliedClean applied;
    engine::CleanOpenSource(source, settings, false, &applied);
    if (!applied.wrote) {
        fuzz::Require(source.bytes() == original, "a refused clean changed the file");
        return;
    }
    // A write failed part way: checked elsewhere. Fields the plan could not
    // apply leave the rest to check.
    if (!applied.complete) return;
    const engine::DocumentPlan& plan = applied.plan;
    const std::vector<engine::InPlaceBlanking>& inPlace = applied.inPlace;
    const std::vector<uint8_t>& written = source.bytes();

    // Every structure and chain as strict as before: the writer loads it.
    storage::MemoryByteSource again(written);
    try {
        storage::CompoundFileWriter reloaded(again);
        // Whatever the clean freed is zero, and so is what it found free.
        fuzz::Require(reloaded.residue() == 0, "a clean left old bytes in free space");
        engine::DocumentPlan next = engine::PlanChanges(changes, reloaded);
        fuzz::Require(next.changed.empty(), "a clean left something to change");
        if (settings.has(engine::CleanOperation::ClearLastEditedBy)) {
            const engine::InPlaceBlanking leftover = engine::PlanLastSaverBlanking(engine::RootStreamsOf(reloaded));
            fuzz::Require(leftover.empty(), "a name of the last saver is left");
        }
    } catch (const storage::StorageError&) {
        fuzz::Require(false, "a cleaned file no longer loads");
    }
    // Read as well as before: a clean may now write to a document whose
    // property sets never read (it zeroes free space).
    engine::TSummaryInfo info;
    storage::MemoryByteSource readable(written), readableBefore(original);
    if (engine::ReadSummaryInfoFrom(readableBefore, info).ok)
        fuzz::Require(engine::ReadSummaryInfoFrom(readable, info).ok, "a cleaned file no longer reads");

    std::map<std::u16string, std::vector<uint8_t>> before, after;
    try {
        before = detail::Streams(original);
    } catch (const storage::StorageError&) {
        return;  // the writer's model is stricter in places, the lazy reader in others
    }
    try {
        after = detail::Streams(written);
    } catch (const storage::StorageError&) {
        fuzz::Require(false, "a cleaned file's streams no longer read");
    }
    fuzz::Require(before.size() == after.size(), "a stream appeared or vanished");
    for (const auto& [path, content] : before) {
        auto found = after.find(path);
        fuzz::Require(found != after.end(), "a stream vanished");
        bool replaced = false;
        for (size_t i = 0; i < plan.streamNames.size(); ++i) {
            // Names match as the format compares them: without case.
            if (path.empty() || path.find(u'/', 1) != std::u16string::npos ||
                !storage::DirectoryNamesEqual(std::u16string_view(path).substr(1), plan.streamNames[i]))
                continue;
            replaced = true;
            fuzz::Require(found->second == plan.contents[i], "a rewritten stream does not hold its new content");
        }
        if (replaced) continue;
        // A stream patched in place: the old bytes with the patches, its size kept.
        std::vector<uint8_t> expected = content;
        for (const engine::InPlaceBlanking& part : inPlace)
            for (const engine::InPlaceBlanking::Stream& stream : part.streams) {
                if (path.find(u'/', 1) != std::u16string::npos || !storage::DirectoryNamesEqual(std::u16string_view(path).substr(1), stream.name))
                    continue;
                for (const storage::StreamPatch& patch : stream.patches) {
                    fuzz::Require(patch.offset + patch.bytes.size() <= expected.size(), "a patch past its stream");
                    std::copy(patch.bytes.begin(), patch.bytes.end(), expected.begin() + static_cast<std::ptrdiff_t>(patch.offset));
                }
            }
        fuzz::Require(found->second == expected, "a stream the clean did not touch, or patched, holds other bytes");
    }
    return;
}

}  // namespace velmora::fuzz
