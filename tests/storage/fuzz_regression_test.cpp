// Replays the inputs that once crashed, hung or exhausted memory under the
// fuzzers (tests/data/fuzz-regressions), and every corpus document, through
// the entry points the fuzzers drive: the summary reader on a whole file, the
// property-set parser on a bare stream and on each property-set stream inside
// the compound file, and what an analysis asks of a document session. Damage must come back as an outcome or a
// StorageError, never as a crash, another exception or a runaway allocation.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/document_session.h"
#include "engine/summary_reader.h"
#include "storage/byte_source.h"
#include "storage/compound_file.h"
#include "storage/property_set.h"
#include "storage/storage_error.h"
#include "storage/stream_view.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

const fs::path kDataDir = VELMORA_TEST_DATA_DIR;

// No input here is larger than a few hundred kilobytes; none has any business
// taking a gigabyte to read. The fan-out inputs made the reader hold several.
constexpr long kMaxRssGrowthKb = 1024 * 1024;

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> FilesUnder(const fs::path& folder, bool documentsOnly) {
    std::vector<fs::path> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
        if (documentsOnly ? (extension == ".doc" || extension == ".xls" || extension == ".ppt") : extension != ".md")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<fs::path> RegressionInputs() { return FilesUnder(kDataDir / "fuzz-regressions", false); }
std::vector<fs::path> CorpusDocuments() { return FilesUnder(kDataDir / "corpus", true); }

// Peak resident memory of this process in KB. Linux lets a process reset its
// peak, so that each input is measured on its own; where it cannot, the
// lifetime peak still catches the first input that runs away.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// What a walk of one property-set stream came to.
struct WalkResult {
    bool parsed = false;        // the header and section list were accepted
    size_t valuesRead = 0;
    size_t valuesRefused = 0;   // StorageError while decoding one value
};

// Reads every section's code page, dictionary and values, checking that what
// comes back stays within the section it was read from.
WalkResult WalkPropertySet(storage::StreamView& stream) {
    WalkResult result;
    std::optional<storage::PropertySetReader> reader;
    try {
        reader.emplace(stream);
    } catch (const storage::StorageError&) {
        return result;
    }
    result.parsed = true;
    for (const auto& section : reader->sections()) {
        EXPECT_LE(uint64_t{section.offset} + section.size, stream.size());
        try {
            (void)reader->codePage(section);
        } catch (const storage::StorageError&) {
        }
        try {
            uint64_t nameBytes = 0;
            for (const auto& entry : reader->dictionary(section)) nameBytes += entry.nameBytes.size();
            EXPECT_LE(nameBytes, section.size);
        } catch (const storage::StorageError&) {
        }
        for (const auto& property : section.properties) {
            EXPECT_LT(property.offset, section.size);
            try {
                storage::PropertyValue value = reader->readValue(section, property);
                EXPECT_LE(value.text8.size(), section.size);
                EXPECT_LE(value.text16.size() * 2, section.size);
                EXPECT_LE(value.elements.size(), value.elementCount);
                ++result.valuesRead;
            } catch (const storage::StorageError&) {
                ++result.valuesRefused;
            }
        }
    }
    return result;
}

// Walks each property-set stream (name starting with \005) of the root.
// Returns how many such streams parsed; nullopt when the compound file
// itself was refused.
std::optional<size_t> WalkPropertySetStreams(const std::vector<uint8_t>& bytes) {
    storage::MemoryByteSource source(bytes);
    size_t parsed = 0;
    try {
        storage::CompoundFile file(source);
        for (const auto& entry : file.rootChildren()) {
            if (entry.type != storage::ObjectType::Stream || entry.name.empty() || entry.name[0] != u'\u0005') continue;
            try {
                storage::StreamReader stream = file.openStream(entry);
                if (WalkPropertySet(stream).parsed) ++parsed;
            } catch (const storage::StorageError&) {
            }
        }
    } catch (const storage::StorageError&) {
        return std::nullopt;
    }
    return parsed;
}

// Runs one input through every entry point; returns the summary outcome.
engine::ReadOutcome Replay(const std::vector<uint8_t>& bytes) {
    engine::ReadOutcome outcome;
    storage::MemoryByteSource source(bytes);
    engine::TSummaryInfo info;
    ResetPeakRss();
    long rssBefore = PeakRssKb();
    EXPECT_NO_THROW(outcome = engine::ReadSummaryInfoFrom(source, info));
    EXPECT_LE(PeakRssKb() - rssBefore, kMaxRssGrowthKb) << "reading the document took more than 1 GB";
    EXPECT_EQ(outcome.ok, outcome.refusal == storage::Refusal::None) << outcome.message;
    EXPECT_TRUE(!outcome.partial || outcome.ok) << "a partial reading must still count as read";

    storage::MemoryStreamView bare{std::span<const uint8_t>(bytes)};
    EXPECT_NO_THROW(WalkPropertySet(bare));
    EXPECT_NO_THROW(WalkPropertySetStreams(bytes));
    // What an analysis asks of a session besides the record never throws.
    storage::MemoryByteSource again(bytes);
    std::unique_ptr<engine::DocumentSession> session;
    try {
        session = std::make_unique<engine::DocumentSession>(again);
    } catch (const storage::StorageError&) {
    }
    if (session) {
        EXPECT_NO_THROW(session->hiddenNames());
        EXPECT_NO_THROW(session->customProperties());
        EXPECT_NO_THROW(session->printers());
        EXPECT_NO_THROW(session->embeddedObjects());
    }
    return outcome;
}

TEST(FuzzRegressionTest, FolderExplainsItselfEvenWhenEmpty) {
    // The folder is kept with its README so that findings have a home; an
    // empty folder is a pass, a missing one means the data moved.
    EXPECT_TRUE(fs::exists(kDataDir / "fuzz-regressions" / "README.md"));
}

TEST(FuzzRegressionTest, EveryRegressionInputEndsInAnOutcome) {
    for (const auto& path : RegressionInputs()) {
        SCOPED_TRACE(path.filename().string());
        std::vector<uint8_t> bytes = ReadBytes(path);
        ASSERT_FALSE(bytes.empty());
        (void)Replay(bytes);
    }
}

TEST(FuzzRegressionTest, RegressionInputsCutShortEndInAnOutcome) {
    // A finding's neighbours: the same bytes ending early hit the "past the
    // end" checks (inside the header, on a sector boundary, one byte into a
    // sector, half-way) instead of the one the full input reached.
    for (const auto& path : RegressionInputs()) {
        std::vector<uint8_t> bytes = ReadBytes(path);
        for (size_t length : {size_t{0}, size_t{7}, size_t{28}, size_t{511}, size_t{512}, size_t{513}, bytes.size() / 2}) {
            if (length > bytes.size()) continue;
            SCOPED_TRACE(path.filename().string() + " cut to " + std::to_string(length) + " bytes");
            (void)Replay(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        }
    }
}

TEST(FuzzRegressionTest, CorpusDocumentsReplayCleanly) {
    std::vector<fs::path> documents = CorpusDocuments();
    // The seeds of the fuzzers: if they cannot be found, this test and the
    // fuzzers would both pass on nothing.
    ASSERT_GE(documents.size(), 21u);
    for (const auto& path : documents) {
        SCOPED_TRACE(path.filename().string());
        std::vector<uint8_t> bytes = ReadBytes(path);
        engine::ReadOutcome outcome = Replay(bytes);
        EXPECT_TRUE(outcome.ok) << outcome.message;
        EXPECT_FALSE(outcome.partial) << outcome.message;
        // Every corpus document carries at least one property set that the
        // parser accepts on its own, not only through the summary reader.
        std::optional<size_t> parsedStreams = WalkPropertySetStreams(bytes);
        ASSERT_TRUE(parsedStreams.has_value());
        EXPECT_GE(*parsedStreams, 1u);
    }
}

TEST(FuzzRegressionTest, CorpusPropertySetStreamsParseWithoutDamage) {
    // The streams the property-set fuzzer starts from: each must be accepted
    // whole, with every value decodable, so that the seeds exercise the
    // decoder rather than its refusals.
    for (const auto& path : CorpusDocuments()) {
        std::vector<uint8_t> bytes = ReadBytes(path);
        storage::MemoryByteSource source(bytes);
        storage::CompoundFile file(source);
        for (const auto& entry : file.rootChildren()) {
            if (entry.type != storage::ObjectType::Stream || entry.name.empty() || entry.name[0] != u'\u0005') continue;
            SCOPED_TRACE(path.filename().string() + " stream " + std::to_string(entry.index));
            storage::StreamReader stream = file.openStream(entry);
            WalkResult result = WalkPropertySet(stream);
            EXPECT_TRUE(result.parsed);
            EXPECT_GT(result.valuesRead, 0u);
            EXPECT_EQ(result.valuesRefused, 0u);
        }
    }
}

}  // namespace
}  // namespace velmora
