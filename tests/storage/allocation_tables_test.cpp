// The reader and the writer walk a file's chains through the same tables:
// on each kind of chain damage they refuse or accept the file alike, and a
// chain is never followed past what its stream needs.
#include "storage/allocation_tables.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "storage/compound_file.h"
#include "storage/compound_file_writer.h"
#include "storage/storage_error.h"
#include "support/compound_file_builder.h"

namespace velmora::storage {
namespace {

using testing::BuiltCompoundFile;
using testing::CompoundFileBuilder;
using testing::PatchU32;
using testing::PatternBytes;

enum class Verdict { Accepted, Damaged };

const char* Name(Verdict verdict) { return verdict == Verdict::Accepted ? "accepted" : "damaged"; }

Verdict Judge(const std::function<void()>& action) {
    try {
        action();
        return Verdict::Accepted;
    } catch (const StorageError& error) {
        EXPECT_EQ(error.reason(), Refusal::Damaged) << error.what();
        return Verdict::Damaged;
    }
}

// Every stream of the root storage read whole, as an analysis may.
Verdict ReaderVerdict(const std::vector<uint8_t>& bytes) {
    MemoryByteSource source(bytes);
    return Judge([&] {
        CompoundFile file(source);
        for (const DirectoryEntry& entry : file.rootChildren())
            if (entry.type == ObjectType::Stream) file.openStream(entry).readAll();
    });
}

Verdict WriterVerdict(const std::vector<uint8_t>& bytes) {
    MemoryByteSource source(bytes);
    return Judge([&] { CompoundFileWriter writer(source); });
}

TEST(AllocationTables, TheReaderAndTheWriterJudgeChainsAlike) {
    const BuiltCompoundFile built = CompoundFileBuilder(3)
                                        .addStream(u"WordDocument", PatternBytes(5000, 3))
                                        .addStream(u"CompObj", PatternBytes(300, 5))
                                        .addStream(u"Data", PatternBytes(4600, 7))
                                        .build();
    const auto& layout = built.layout;
    const auto& word = layout.entry(u"WordDocument");
    const auto& compObj = layout.entry(u"CompObj");
    const auto& data = layout.entry(u"Data");

    struct Case {
        const char* name;
        uint64_t offset;
        uint32_t value;
        Verdict expected;
    };
    const Case cases[] = {
        {"a regular chain loops", layout.fatEntryOffset(word.chain[3]), word.chain[1], Verdict::Damaged},
        {"a regular chain ends before its stream", layout.fatEntryOffset(word.chain[3]), kEndOfChain, Verdict::Damaged},
        {"a regular chain leads past the file", layout.fatEntryOffset(word.chain[3]), layout.sectorCount + 5, Verdict::Damaged},
        {"a regular chain holds a special value", layout.fatEntryOffset(word.chain[3]), kFatSector, Verdict::Damaged},
        {"a mini chain loops", layout.miniFatEntryOffset(compObj.chain[2]), compObj.chain[0], Verdict::Damaged},
        {"a mini chain leads past the mini stream", layout.miniFatEntryOffset(compObj.chain[1]), 1000, Verdict::Damaged},
        // What lies past a stream's last sector is not the stream's: a
        // chain that runs on there is walked no further.
        {"a chain runs on past its stream into a loop", layout.fatEntryOffset(data.chain.back()), data.chain.front(),
         Verdict::Accepted},
        {"a mini chain runs on past its stream", layout.miniFatEntryOffset(compObj.chain.back()), compObj.chain.front(),
         Verdict::Accepted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = built.bytes;
        PatchU32(bytes, c.offset, c.value);
        EXPECT_STREQ(Name(ReaderVerdict(bytes)), Name(c.expected));
        EXPECT_STREQ(Name(WriterVerdict(bytes)), Name(c.expected));
    }
}

// Two chains through one sector: the writer, which frees and reuses
// sectors, claims every sector of the file once and refuses; the reader
// claims per chain, and reads each stream as its own chain gives it.
TEST(AllocationTables, OnlyTheWriterRefusesChainsThatShareASector) {
    const BuiltCompoundFile built = CompoundFileBuilder(3)
                                        .addStream(u"WordDocument", PatternBytes(5000, 3))
                                        .addStream(u"Data", PatternBytes(5000, 7))
                                        .build();
    const auto& word = built.layout.entry(u"WordDocument");
    const auto& data = built.layout.entry(u"Data");
    std::vector<uint8_t> bytes = built.bytes;
    PatchU32(bytes, built.layout.fatEntryOffset(word.chain[0]), data.chain[1]);
    EXPECT_STREQ(Name(ReaderVerdict(bytes)), Name(Verdict::Accepted));
    EXPECT_STREQ(Name(WriterVerdict(bytes)), Name(Verdict::Damaged));
}

}  // namespace
}  // namespace velmora::storage
