// "Remove Hidden Revision Log": the names of comments, tracked changes, save
// histories and shared-workbook records become one placeholder per person,
// in place; what does not parse cleanly is left alone.
#include "engine/revision_log_blanking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/clean_run.h"
#include "engine/hidden_names.h"
#include "storage/compound_file.h"
#include "storage/document_source.h"
#include "support/compound_file_builder.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::map<std::u16string, Bytes> Streams(const fs::path& path) {
    auto source = storage::OpenDocumentSource(path, storage::AccessMode::Read);
    storage::CompoundFile file(*source);
    std::map<std::u16string, Bytes> streams;
    for (const auto& entry : file.rootChildren())
        if (entry.type == storage::ObjectType::Stream) streams[entry.name] = file.openStream(entry).readAll();
    return streams;
}

CleanReport Clean(const fs::path& path, std::vector<CleanOperation> operations, bool dryRun = false) {
    CleanSettings settings;
    settings.operations = std::move(operations);
    return CleanDocument(path, settings, dryRun);
}

TEST(Placeholder, OnePerPersonInTheFieldsLength) {
    struct Case {
        size_t person, length;
        bool initials;
        std::u16string text;
    };
    const Case cases[] = {
        {1, 12, false, u"Author 1    "}, {12, 9, false, u"Author 12"}, {3, 8, false, u"Author 3"},
        {3, 5, false, u"C    "},        {27, 2, false, u"AA"},          {2, 2, true, u"B "},
        {26, 1, true, u"Z"},            {1, 0, false, u""},
    };
    for (const Case& c : cases) EXPECT_EQ(Placeholder(c.person, c.length, c.initials), c.text) << c.person << "/" << c.length;
}

struct FixtureCase {
    const char* file;
    std::multiset<std::string> places;  // where each name is
};

class RevisionLogFixtureTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(RevisionLogFixtureTest, EveryNameBecomesItsPersonsPlaceholder) {
    const FixtureCase& param = GetParam();
    testing::ScopedTempDir folder;
    const fs::path original = testing::TestDataPath(std::string("hidden-names/") + param.file);
    const fs::path copy = folder.path() / param.file;
    testing::CopyWritable(original, copy);
    const RevisionLogNames before = FindRevisionLogNames(RootStreamsOf(original));
    std::multiset<std::string> places;
    for (const NameSite& site : before.sites) places.insert(site.where);
    EXPECT_EQ(places, param.places);
    EXPECT_TRUE(before.problems.empty());

    const CleanReport dry = Clean(copy, {CleanOperation::RemoveRevisionLog}, true);
    EXPECT_EQ(testing::ReadWholeFile(copy), testing::ReadWholeFile(original));
    const CleanReport report = Clean(copy, {CleanOperation::RemoveRevisionLog});
    EXPECT_TRUE(report.ok) << report.error;
    // LibreOffice leaves an old directory sector free: the clean zeroes it.
    EXPECT_EQ(report.changed, (std::vector<std::string>{"RevisionLog", "FreeSpace"}));
    EXPECT_EQ(dry.changed, report.changed);

    // Same streams, same sizes, same file length; bytes differ only inside
    // the names.
    const auto streamsBefore = Streams(original), streamsAfter = Streams(copy);
    ASSERT_EQ(streamsBefore.size(), streamsAfter.size());
    for (const auto& [name, bytes] : streamsBefore) {
        const Bytes& after = streamsAfter.at(name);
        ASSERT_EQ(after.size(), bytes.size());
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == after[i]) continue;
            const bool inside = std::any_of(before.sites.begin(), before.sites.end(), [&](const NameSite& site) {
                return site.stream == name && i >= site.offset && i < site.offset + site.count * (site.wide ? 2 : 1);
            });
            EXPECT_TRUE(inside) << "byte " << i << " changed outside a name";
        }
    }
    EXPECT_EQ(fs::file_size(copy), fs::file_size(original));

    // One person, one placeholder, everywhere; different people, different ones.
    const RevisionLogNames after = FindRevisionLogNames(RootStreamsOf(copy));
    ASSERT_EQ(after.sites.size(), before.sites.size());
    std::map<std::u16string, std::u16string> mapping;
    for (size_t i = 0; i < before.sites.size(); ++i) {
        if (before.sites[i].initials) continue;
        auto [at, inserted] = mapping.emplace(before.sites[i].name, after.sites[i].name);
        if (!inserted) {
            EXPECT_EQ(at->second, after.sites[i].name);
        }
    }
    std::set<std::u16string> stand;
    for (const auto& [person, placeholder] : mapping) stand.insert(placeholder.substr(0, placeholder.find_last_not_of(u' ') + 1));
    EXPECT_EQ(stand.size(), mapping.size());

    const Bytes bytes = testing::ReadWholeFile(copy);
    for (const NameSite& site : before.sites)
        if (!site.initials) {
            EXPECT_FALSE(testing::HoldsText(bytes, site.name)) << std::string(site.name.begin(), site.name.end());
        }
    EXPECT_TRUE(Clean(copy, {CleanOperation::RemoveRevisionLog}).changed.empty());
}

INSTANTIATE_TEST_SUITE_P(LibreOfficeFixtures, RevisionLogFixtureTest, ::testing::Values(
    FixtureCase{"lo-comments.doc", {"CommentAuthor", "CommentAuthor", "CommentInitials", "CommentInitials",
                                    "RevisionAuthor", "RevisionAuthor"}},
    FixtureCase{"lo-comments.xls", {"NoteAuthor", "NoteAuthor", "UserBView", "UserBView", "UsrExcl", "RRDHead"}},
    FixtureCase{"lo-comments.ppt", {"CommentAuthor", "CommentAuthor", "CommentInitials", "CommentInitials"}}),
    [](const auto& testCase) { return std::string(testCase.param.file).substr(12, 3); });

// A Word document of our own making: a FIB with 93 pairs and a table
// stream holding the save history and the associated strings.
struct WordFixture {
    Bytes word, table;
    static constexpr size_t kPairs = 154;
    void setPair(size_t index, uint32_t fc, uint32_t lcb) {
        for (int b = 0; b < 4; ++b) {
            word[kPairs + 8 * index + b] = static_cast<uint8_t>(fc >> (8 * b));
            word[kPairs + 8 * index + 4 + b] = static_cast<uint8_t>(lcb >> (8 * b));
        }
    }
};

void PutU16(Bytes& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void PutSttb(Bytes& table, const std::vector<std::u16string>& strings) {
    PutU16(table, 0xFFFF);
    PutU16(table, static_cast<uint16_t>(strings.size()));
    PutU16(table, 0);
    for (const std::u16string& text : strings) {
        PutU16(table, static_cast<uint16_t>(text.size()));
        for (char16_t c : text) PutU16(table, c);
    }
}

WordFixture MakeWord(uint16_t flags = 0x0200) {
    WordFixture fixture;
    fixture.word.assign(WordFixture::kPairs + 8 * 93 + 64, 0);
    Bytes& w = fixture.word;
    w[0] = 0xEC, w[1] = 0xA5, w[2] = 0xC1, w[3] = 0x00;
    w[0x0A] = static_cast<uint8_t>(flags), w[0x0B] = static_cast<uint8_t>(flags >> 8);
    w[32] = 14;           // csw
    w[32 + 2 + 28] = 22;  // cslw
    w[32 + 2 + 28 + 2 + 88] = 93;
    PutSttb(fixture.table, {u"Grace Hopper", u"C:\\Users\\ghopper\\report.doc", u"Alan Turing", u"D:\\turing\\report.doc"});
    const uint32_t savedBy = static_cast<uint32_t>(fixture.table.size());
    std::vector<std::u16string> assoc(18);
    assoc[1] = u"C:\\Templates\\Normal.dot";
    assoc[6] = u"Grace Hopper";
    assoc[7] = u"Ada Lovelace";
    PutSttb(fixture.table, assoc);
    fixture.setPair(71, 0, savedBy);
    fixture.setPair(32, savedBy, static_cast<uint32_t>(fixture.table.size()) - savedBy);
    fixture.table.resize(5000, 0);  // out of the mini stream
    return fixture;
}

fs::path WriteWord(const fs::path& folder, const WordFixture& fixture) {
    const auto built = testing::CompoundFileBuilder(3)
                           .addStream(u"WordDocument", fixture.word)
                           .addStream(u"1Table", fixture.table)
                           .build();
    const fs::path path = folder / "history.doc";
    testing::WriteWholeFile(path, built.bytes);
    return path;
}

TEST(RevisionLogWord, TheSaveHistoryIsDroppedAndTheAssociatedNamesReplaced) {
    testing::ScopedTempDir folder;
    const fs::path path = WriteWord(folder.path(), MakeWord());
    const HiddenNameScan scan = ScanHiddenNames(path);
    std::vector<std::string> places;
    for (const HiddenName& name : scan.names) places.push_back(name.where + ":" + std::string(name.name.begin(), name.name.end()));
    EXPECT_EQ(places, (std::vector<std::string>{"SavedBy:Grace Hopper", "SavedBy:Alan Turing", "AssocAuthor:Grace Hopper",
                                                "AssocLastEditor:Ada Lovelace"}));

    const CleanReport report = Clean(path, {CleanOperation::RemoveRevisionLog});
    EXPECT_TRUE(report.ok) << report.error;
    const auto streams = Streams(path);
    const Bytes& word = streams.at(u"WordDocument");
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(word[WordFixture::kPairs + 8 * 71 + i], 0) << "the FIB still points at the history";
    const Bytes bytes = testing::ReadWholeFile(path);
    for (const char16_t* gone : {u"Grace Hopper", u"Alan Turing", u"Ada Lovelace", u"ghopper", u"turing"})
        EXPECT_FALSE(testing::HoldsText(bytes, gone)) << std::string(gone, gone + std::char_traits<char16_t>::length(gone));
    EXPECT_TRUE(testing::HoldsText(bytes, u"C:\\Templates\\Normal.dot"));  // the template path is not a person
    const RevisionLogNames after = FindRevisionLogNames(RootStreamsOf(path));
    ASSERT_EQ(after.sites.size(), 2u);
    EXPECT_EQ(after.sites[0].name, u"Author 1    ");
    EXPECT_EQ(after.sites[1].name, u"Author 2    ");
    EXPECT_TRUE(after.drops.empty());
}

TEST(RevisionLogWord, WhatDoesNotParseCleanlyIsLeftAlone) {
    struct Case {
        const char* name;
        WordFixture fixture;
        const char* problem;
    };
    std::vector<Case> cases;
    {
        WordFixture overlap = MakeWord();
        overlap.setPair(32, 10, 40);  // inside the save history
        cases.push_back({"overlapping tables", overlap, "overlap"});
    }
    {
        WordFixture cut = MakeWord();
        cut.table[2] = 9;  // nine strings announced, four there
        cut.setPair(71, 0, 150);
        cases.push_back({"a count past its table", cut, "ends inside a string"});
    }
    {
        WordFixture outside = MakeWord();
        outside.setPair(71, 4990, 400);
        cases.push_back({"a table past the stream", outside, "outside the table stream"});
    }
    {
        WordFixture longer = MakeWord();
        longer.setPair(32, 0, 0);
        longer.setPair(71, 0, 180);  // past its strings (154 bytes), over bytes nothing else claims
        cases.push_back({"a save history longer than its strings", longer, "not its strings'"});
    }
    {
        WordFixture shared = MakeWord();
        shared.setPair(5, 10, 4);  // another table inside the save history
        cases.push_back({"another table inside it", shared, "overlap"});
    }
    {
        // 27 comment authors of one character each: one letter cannot keep
        // them apart, and Word needs them distinct.
        WordFixture crowd = MakeWord();
        const uint32_t at = static_cast<uint32_t>(crowd.table.size());
        for (char16_t c = u'a'; c <= u'z'; ++c) {
            PutU16(crowd.table, 1);
            PutU16(crowd.table, c);
        }
        PutU16(crowd.table, 1);
        PutU16(crowd.table, u'0');
        crowd.setPair(36, at, static_cast<uint32_t>(crowd.table.size()) - at);
        cases.push_back({"comment authors too short to keep apart", crowd, "too short to keep apart"});
    }
    cases.push_back({"encrypted", MakeWord(0x0200 | 0x0100), "encrypted"});
    testing::ScopedTempDir folder;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const fs::path path = WriteWord(folder.path(), test.fixture);
        const Bytes before = testing::ReadWholeFile(path);
        const CleanReport report = Clean(path, {CleanOperation::RemoveRevisionLog});
        EXPECT_FALSE(report.ok);
        ASSERT_EQ(report.failed.size(), 1u);
        EXPECT_EQ(report.failed[0].field, "RevisionLog");
        EXPECT_NE(report.failed[0].error.find(test.problem), std::string::npos) << report.failed[0].error;
        EXPECT_EQ(testing::ReadWholeFile(path), before);
        EXPECT_THROW(BlankRevisionLogNames(path), storage::StorageError);
        EXPECT_EQ(testing::ReadWholeFile(path), before);
    }
}

TEST(RevisionLogWalkers, MalformedRecordsAreRefused) {
    // A PowerPoint comment whose author runs past its container.
    Bytes ppt = {0x0F, 0x00, 0xE0, 0x2E, 0x10, 0x00, 0x00, 0x00,   // Comment10Container, 16 bytes
                 0x00, 0x00, 0xBA, 0x0F, 0x20, 0x00, 0x00, 0x00};  // CString of 32 bytes
    ppt.resize(24, 'x');
    RevisionLogNames found;
    FindPowerPointNames(ppt, found);
    EXPECT_TRUE(found.sites.empty());
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_NE(found.problems[0].find("malformed"), std::string::npos);

    // An Excel note whose author's count runs past its record.
    Bytes book = {0x09, 0x08, 0x04, 0x00, 0x00, 0x06, 0x10, 0x00,                     // BOF
                  0x1C, 0x00, 0x0C, 0x00, 0, 0, 0, 0, 0, 0, 1, 0, 0x20, 0x00, 0x00, 'G'};  // Note, author of 32
    RevisionLogNames excel;
    FindWorkbookNames(u"Workbook", book, excel);
    EXPECT_TRUE(excel.sites.empty());
    ASSERT_EQ(excel.problems.size(), 1u);
    EXPECT_NE(excel.problems[0].find("runs past its record"), std::string::npos);
}

TEST(RevisionLogWalkers, AnEncryptedWorkbooksSharedRecordsAreNotTouched) {
    // BOF, FilePass: everything after is encrypted, the Revision Log too.
    const Bytes book = {0x09, 0x08, 0x04, 0x00, 0x00, 0x06, 0x05, 0x00, 0x2F, 0x00, 0x02, 0x00, 0x00, 0x00};
    Bytes log = {0x38, 0x01, 0x30, 0x00};
    log.resize(4 + 32, 0);
    log.insert(log.end(), {0x0B, 0x00, 0x00});  // 11 characters, 8-bit
    for (char c : std::string("Alan Turing")) log.push_back(static_cast<uint8_t>(c));
    log[2] = static_cast<uint8_t>(log.size() - 4);
    const RootStreamSource read = [&](std::u16string_view name) -> std::optional<Bytes> {
        if (name == u"Workbook") return book;
        if (name == u"Revision Log") return log;
        return std::nullopt;
    };
    const RevisionLogNames found = FindRevisionLogNames(read);
    EXPECT_TRUE(found.sites.empty());
    ASSERT_EQ(found.problems.size(), 2u);
    EXPECT_EQ(found.problems[1], "Revision Log: not cleaned: the workbook is encrypted");
}

TEST(RevisionLogWalkers, AnotherProgramsBinaryTagIsNotReadAsRecords) {
    // ProgBinaryTag { CString "OtherTag", BinaryTagData of bytes that are no record list }
    Bytes tag = {0x0F, 0x00, 0x8A, 0x13, 0, 0, 0, 0};
    const std::u16string name = u"OtherTag";
    tag.insert(tag.end(), {0x00, 0x00, 0xBA, 0x0F, static_cast<uint8_t>(2 * name.size()), 0, 0, 0});
    for (char16_t c : name) tag.insert(tag.end(), {static_cast<uint8_t>(c), 0});
    tag.insert(tag.end(), {0x00, 0x00, 0x8B, 0x13, 6, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    tag[4] = static_cast<uint8_t>(tag.size() - 8);
    RevisionLogNames found;
    FindPowerPointNames(tag, found);
    EXPECT_TRUE(found.problems.empty()) << found.problems.front();
    EXPECT_TRUE(found.sites.empty());
}

TEST(Thumbnail, TheFirstPagesPreviewIsRemoved) {
    testing::ScopedTempDir folder;
    const fs::path copy = folder.path() / "lo-comments.ppt";
    testing::CopyWritable(testing::TestDataPath("hidden-names/lo-comments.ppt"), copy);
    const CleanReport report = Clean(copy, {CleanOperation::RemoveThumbnail});
    EXPECT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.changed, (std::vector<std::string>{"Thumbnail", "FreeSpace"}));
    EXPECT_TRUE(Clean(copy, {CleanOperation::RemoveThumbnail}).changed.empty());
}

}  // namespace
}  // namespace velmora::engine
