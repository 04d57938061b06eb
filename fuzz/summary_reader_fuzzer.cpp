// Whole documents: the bytes are a compound file held in memory. The summary
// reader must turn every input into an outcome, never an exception, and the
// property-set streams it skips (other sections, dictionaries) are walked
// through the compound-file layer as well.

#include <cstddef>
#include <cstdint>
#include <vector>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    {
        storage::MemoryByteSource source(bytes);
        engine::TSummaryInfo info;
        CheckOutcome(engine::ReadSummaryInfoFrom(source, info));
    }
    WalkPropertySetStreams(bytes);
    return 0;
}
