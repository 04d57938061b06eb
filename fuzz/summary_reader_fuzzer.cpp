// Whole documents: the bytes are a compound file held in memory. The summary
// reader must turn every input into an outcome, never an exception, and the
// property-set streams it skips (other sections, dictionaries) are walked
// through the compound-file layer as well. The analysis goes through a
// document session too, as velmora-cli and the window read: its record is
// the plain reader's, and its hidden names, read only where a name can be
// and each sector once, are those found in the same streams read whole.

#include <cstddef>
#include <cstdint>
#include <map>
#include <new>
#include <optional>
#include <vector>

#include "engine/document_session.h"
#include "engine/hidden_names.h"
#include "engine/printer_settings.h"
#include "engine/summary_reader.h"
#include "property_set_walk.h"
#include "storage/byte_source.h"
#include "storage/compound_file.h"

namespace {

using namespace velmora;

void CheckOutcome(const engine::ReadOutcome& outcome) {
    fuzz::Require(outcome.ok == (outcome.refusal == storage::Refusal::None), "success and refusal disagree");
    fuzz::Require(!outcome.partial || outcome.ok, "a partial reading that is not a success");
    fuzz::Require(outcome.ok || !outcome.message.empty(), "a refusal without a message");
}

// Every stream of the root storage whose name marks it as a property set.
void WalkPropertySetStreams(const std::vector<uint8_t>& bytes) {
    storage::MemoryByteSource source(bytes);
    try {
        storage::CompoundFile file(source);
        for (const auto& entry : file.rootChildren()) {
            if (entry.type != storage::ObjectType::Stream || entry.name.empty() || entry.name[0] != u'\u0005')
                continue;
            try {
                storage::StreamReader stream = file.openStream(entry);
                fuzz::WalkPropertySet(stream);
            } catch (const storage::StorageError&) {
            }
        }
    } catch (const storage::StorageError&) {
    }
}

// Every stream of the root storage read whole; nothing where one of them
// cannot be (the lazy reading then fails part way, at another point).
std::optional<std::map<std::u16string, std::vector<uint8_t>>> WholeRootStreams(const std::vector<uint8_t>& bytes) {
    storage::MemoryByteSource source(bytes);
    std::map<std::u16string, std::vector<uint8_t>> streams;
    try {
        storage::CompoundFile file(source);
        for (const auto& entry : file.rootChildren())
            if (entry.type == storage::ObjectType::Stream) streams.emplace(entry.name, file.openStream(entry).readAll());
    } catch (const storage::StorageError&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return streams;
}

void CheckSession(const std::vector<uint8_t>& bytes) {
    storage::MemoryByteSource source(bytes);
    std::optional<engine::DocumentSession> session;
    try {
        session.emplace(source);
    } catch (const storage::StorageError&) {
        return;
    }
    engine::TSummaryInfo info, plain;
    const engine::ReadOutcome outcome = session->readSummary(info);
    CheckOutcome(outcome);
    storage::MemoryByteSource again(bytes);
    const engine::ReadOutcome reread = engine::ReadSummaryInfoFrom(again, plain);
    fuzz::Require(outcome.ok == reread.ok && info == plain, "a session's record differs from a fresh reading");
    const engine::HiddenNameScan lazy = session->hiddenNames();
    session->holdsHyperlinks();
    session->customProperties();
    session->embeddedObjects();
    const engine::PrinterScan lazyPrinters = session->printers();
    const auto whole = WholeRootStreams(bytes);
    if (!whole) return;
    const engine::RootStreamBytes wholeStreams = engine::HeldStreams([&](std::u16string_view name) {
        for (const auto& [stored, content] : *whole)
            if (storage::DirectoryNamesEqual(stored, name)) return std::optional<std::vector<uint8_t>>(content);
        return std::optional<std::vector<uint8_t>>();
    });
    const engine::HiddenNameScan held = engine::ScanHiddenNames(wholeStreams);
    const engine::PrinterScan heldPrinters = engine::ScanPrinters(wholeStreams);
    fuzz::Require(lazyPrinters.places.size() == heldPrinters.places.size() && lazyPrinters.problems == heldPrinters.problems,
                  "printers read on demand differ from printers in whole streams");
    fuzz::Require(lazy.names.size() == held.names.size() && lazy.notCleaned == held.notCleaned,
                  "names read on demand differ from names in whole streams");
    for (size_t i = 0; i < lazy.names.size(); ++i)
        fuzz::Require(lazy.names[i].where == held.names[i].where && lazy.names[i].stream == held.names[i].stream &&
                          lazy.names[i].name == held.names[i].name,
                      "names read on demand differ from names in whole streams");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    {
        storage::MemoryByteSource source(bytes);
        engine::TSummaryInfo info;
        CheckOutcome(engine::ReadSummaryInfoFrom(source, info));
    }
    WalkPropertySetStreams(bytes);
    CheckSession(bytes);
    return 0;
}
