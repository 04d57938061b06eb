// The writer fuzz target's findings, and every corpus document under a few
// choices of operations, through the fuzz target's own check: a refused
// clean changes nothing; an accepted one loads again, reads back, holds the
// planned streams, has nothing left to change and keeps every other stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "clean_check.h"
#include "support/test_paths.h"

namespace velmora::storage {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WriterFuzzRegression, FindingsReplayCleanly) {
    const fs::path folder = testing::TestDataPath("fuzz-regressions/writer");
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".bin") inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    EXPECT_FALSE(inputs.empty());
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        std::vector<uint8_t> bytes = ReadBytes(input);
        fuzz::CheckCleanInMemory(bytes.data(), bytes.size());
    }
}

TEST(WriterFuzzRegression, CorpusDocumentsCleanInMemory) {
    // Every operation; only the first, with author and company typed; the
    // removals (revision log, printers, thumbnail, GUID, hyperlinks).
    const std::vector<std::vector<uint8_t>> choices = {{0xFF, 0xFF, 0x3C}, {0x01, 0x00, 0x03}, {0x80, 0x0F, 0x00}};
    std::vector<fs::path> documents = testing::CorpusDocuments();
    for (const auto& entry : fs::directory_iterator(testing::TestDataPath("hidden-names"))) documents.push_back(entry.path());
    for (const fs::path& document : documents) {
        for (const auto& choice : choices) {
            SCOPED_TRACE(document.filename().string() + " choice " + std::to_string(choice[0]));
            std::vector<uint8_t> input = choice;
            const std::vector<uint8_t> file = ReadBytes(document);
            input.insert(input.end(), file.begin(), file.end());
            fuzz::CheckCleanInMemory(input.data(), input.size());
        }
    }
}

}  // namespace
}  // namespace velmora::storage
