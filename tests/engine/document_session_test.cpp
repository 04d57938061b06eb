// Analysis through one document session: one opening, no sector read twice,
// only what a name can be in read, and the same names as walking every
// record of every stream found (kept as the expectations under tests/data).
#include "engine/document_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "engine/hidden_names.h"
#include "engine/revision_log_names.h"
#include "engine/text_conversions.h"
#include "storage/document_source.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Counts openings and keeps every range read.
struct ReadLog {
    int openings = 0;
    std::vector<std::pair<uint64_t, uint64_t>> reads;
};

class LoggingSource : public storage::ForwardingByteSource {
public:
    LoggingSource(std::unique_ptr<storage::WritableByteSource> inner, ReadLog& log)
        : ForwardingByteSource(std::move(inner)), log_(log) {}
    void readAt(uint64_t offset, std::span<uint8_t> buffer) override {
        log_.reads.emplace_back(offset, buffer.size());
        ForwardingByteSource::readAt(offset, buffer);
    }

private:
    ReadLog& log_;
};

TEST(DocumentSession, OneOpeningAndNoSectorReadTwice) {
    for (const char* document : {"hidden-names/lo-comments.doc", "hidden-names/lo-comments.xls", "hidden-names/lo-comments.ppt"}) {
        SCOPED_TRACE(document);
        ReadLog log;
        storage::ScopedDocumentSourceOpener opener([&](const fs::path& path, storage::AccessMode mode) {
            ++log.openings;
            return std::make_unique<LoggingSource>(storage::OpenFileDocument(path, mode), log);
        });
        const DocumentAnalysis analysis = AnalyzeDocument(testing::TestDataPath(document));
        ASSERT_TRUE(analysis.outcome.ok) << analysis.outcome.message;
        EXPECT_GE(analysis.hidden.names.size(), 5u);
        EXPECT_EQ(log.openings, 1);
        std::map<uint64_t, int> sectors;  // 512-byte blocks of the file
        for (const auto& [offset, length] : log.reads)
            for (uint64_t block = offset / 512; block <= (offset + length - 1) / 512; ++block)
                EXPECT_EQ(++sectors[block], 1) << "block " << block << " read again";
    }
}

// The walks that read only where a name can be find exactly what walking
// every record of every stream found (tests/data/expected-hidden-names.tsv,
// written by that walk): the corpus, a workbook with notes, a presentation
// with comments, a Word document with comments, tracked changes and a save
// history, and the layouts of the free-space fixtures.
TEST(DocumentSession, FindsTheNamesTheWholeStreamWalksFound) {
    std::map<std::string, std::multiset<std::string>> expected;
    std::ifstream table(testing::TestDataPath("expected-hidden-names.tsv"));
    for (std::string line; std::getline(table, line);) {
        if (line.starts_with('#')) continue;
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) expected[line.substr(0, tab)].insert(line.substr(tab + 1));
    }
    ASSERT_GT(expected.size(), 10u);
    std::vector<fs::path> documents = testing::CorpusDocuments();
    for (const char* folder : {"hidden-names", "residue"})
        for (const auto& entry : fs::directory_iterator(testing::TestDataPath(folder))) documents.push_back(entry.path());
    size_t compared = 0;
    for (const fs::path& path : documents) {
        const std::string relative = fs::relative(path, testing::TestDataPath("")).generic_string();
        SCOPED_TRACE(relative);
        const DocumentAnalysis analysis = AnalyzeDocument(path);
        if (!analysis.outcome.ok) continue;
        std::multiset<std::string> found;
        for (const HiddenName& name : analysis.hidden.names)
            found.insert(name.where + "\t" + WideToUtf8(name.stream) + "\t" + WideToUtf8(name.name));
        EXPECT_EQ(found, expected[relative]);
        EXPECT_TRUE(analysis.hidden.notCleaned.empty()) << analysis.hidden.notCleaned.front();
        ++compared;
    }
    EXPECT_GT(compared, 20u);
}

// A StreamBytes over memory that remembers what a walk asked for.
class WatchedBytes : public StreamBytes {
public:
    explicit WatchedBytes(Bytes bytes) : bytes_(std::move(bytes)) {}
    uint64_t size() const override { return bytes_.size(); }
    std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) override {
        checkRange(offset, length);
        asked_.emplace_back(offset, length);
        return std::span(bytes_).subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
    }
    bool touched(uint64_t begin, uint64_t end) const {
        for (const auto& [offset, length] : asked_)
            if (offset < end && offset + length > begin) return true;
        return false;
    }

private:
    Bytes bytes_;
    std::vector<std::pair<uint64_t, uint64_t>> asked_;
};

void Append16(Bytes& bytes, uint16_t value) { bytes.insert(bytes.end(), {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}); }

void Append32(Bytes& bytes, uint32_t value) {
    Append16(bytes, static_cast<uint16_t>(value));
    Append16(bytes, static_cast<uint16_t>(value >> 16));
}

// A PowerPoint record: version and instance, type, length, body.
Bytes Ppt(uint16_t verInstance, uint16_t type, const Bytes& body) {
    Bytes record;
    Append16(record, verInstance);
    Append16(record, type);
    Append32(record, static_cast<uint32_t>(body.size()));
    record.insert(record.end(), body.begin(), body.end());
    return record;
}

Bytes Wide(const std::u16string& text) {
    Bytes bytes;
    for (char16_t c : text) Append16(bytes, c);
    return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// A slide whose comment sits in PowerPoint's own binary tag, beside a
// drawing of 64 KiB.
Bytes SlideWithComment(const std::u16string& author, Bytes drawing) {
    const Bytes comment = Ppt(0x000F, 0x2EE0, Ppt(0x0000, 0x0FBA, Wide(author)));
    const Bytes tag = Ppt(0x000F, 0x138A, Join({Ppt(0x0000, 0x0FBA, Wide(u"___PPT10")), Ppt(0x0000, 0x138B, comment)}));
    return Ppt(0x000F, 0x03EE, Join({Ppt(0x000F, 0x040C, drawing), Ppt(0x000F, 0x1388, tag)}));
}

TEST(TargetedWalks, PowerPointCommentsOfEverySavedCopyAndNoDrawingRead) {
    // An incremental save appends a new copy of the slide: both are walked.
    const Bytes drawing(64 * 1024, 0x5A);
    const Bytes first = SlideWithComment(u"Grace Hopper", drawing);
    const Bytes stream = Join({first, SlideWithComment(u"Ada Lovelace", drawing)});
    WatchedBytes bytes(stream);
    RevisionLogNames found;
    FindPowerPointNames(bytes, found);
    ASSERT_TRUE(found.problems.empty()) << found.problems.front();
    ASSERT_EQ(found.sites.size(), 2u);
    EXPECT_EQ(found.sites[0].name, u"Grace Hopper");
    EXPECT_EQ(found.sites[1].name, u"Ada Lovelace");
    // The drawings' bodies, in both copies, are sought over.
    for (uint64_t drawingBody : {uint64_t{16}, uint64_t{first.size() + 16}})
        EXPECT_FALSE(bytes.touched(drawingBody, drawingBody + drawing.size()));
}

// A BIFF8 workbook: globals (BOF, MsoDrawingGroup where asked, EOF), then a
// sheet whose note names its author.
Bytes WorkbookWithNote(bool drawingGroup) {
    auto record = [](uint16_t type, const Bytes& body) {
        Bytes bytes;
        Append16(bytes, type);
        Append16(bytes, static_cast<uint16_t>(body.size()));
        bytes.insert(bytes.end(), body.begin(), body.end());
        return bytes;
    };
    Bytes note = {0, 0, 0, 0, 0, 0, 1, 0, 12, 0, 0};
    for (char c : std::string("Grace Hopper")) note.push_back(static_cast<uint8_t>(c));
    return Join({record(0x0809, {0x00, 0x06, 0x05, 0x00}), drawingGroup ? record(0x00EB, Bytes(100, 0)) : Bytes{},
                 record(0x000A, {}), record(0x0809, {0x00, 0x06, 0x10, 0x00}), record(0x001C, note), record(0x000A, {})});
}

TEST(TargetedWalks, SheetsAreReadOnlyWhereTheGlobalsHoldDrawings) {
    WatchedBytes withDrawings(WorkbookWithNote(true));
    RevisionLogNames found;
    FindWorkbookNames(u"Workbook", withDrawings, found);
    ASSERT_EQ(found.sites.size(), 1u);
    EXPECT_EQ(found.sites[0].name, u"Grace Hopper");

    // Without the drawing group a note cannot be: the sheet is not read.
    const Bytes bare = WorkbookWithNote(false);
    WatchedBytes withoutDrawings(bare);
    RevisionLogNames none;
    FindWorkbookNames(u"Workbook", withoutDrawings, none);
    EXPECT_TRUE(none.sites.empty());
    EXPECT_TRUE(none.problems.empty());
    EXPECT_FALSE(withoutDrawings.touched(12, bare.size()));
}

}  // namespace
}  // namespace velmora::engine
