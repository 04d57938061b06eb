// Reader behaviour on built compound files: which sets count, how each stored
// value lands in the record, and what every kind of damage comes to.
#include "engine/summary_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/date_time_conversions.h"
#include "storage/compound_file.h"
#include "storage/property_set.h"
#include "support/case_name.h"
#include "support/compound_file_builder.h"
#include "support/property_set_builder.h"

namespace velmora::engine {
namespace {

namespace ids = storage::format_ids;
namespace vt = storage::vt;
using storage::MemoryByteSource;
using storage::PropertySetStreamName;
using storage::Refusal;
using testing::BuiltCompoundFile;
using testing::BuiltPropertySet;
using testing::CompoundFileBuilder;
using testing::PatchU16;
using testing::PatchU32;
using testing::PatchU64;
using testing::PatternBytes;
using testing::PropertySectionBuilder;
using testing::PropertySetBuilder;
using testing::TypedValue;

// Functions, not constants: the identifiers are themselves initialised at
// start-up in another translation unit.
std::u16string SummaryStream() { return PropertySetStreamName(ids::SummaryInformation); }
std::u16string DocumentSummaryStream() { return PropertySetStreamName(ids::DocSummaryInformation); }

constexpr uint64_t kCreatedTicks = 0x01D7'A1B2'C3D4'E000;     // 2021
constexpr uint64_t kSavedTicks = 0x01D8'0000'0000'0000;       // 2021, later
constexpr uint64_t kPrintedTicks = 0x01D6'0000'0000'0000;     // 2020
constexpr uint64_t kEditDurationTicks = 2ull * 3600 * 10'000'000;  // two hours
constexpr int16_t kCodePageUtf8Stored = -535;                 // 65001 as a signed word

// ------------------------------------------------------------ the document

// How the property sets are laid out: as the format prescribes, or the way
// libgsf and some Office versions write them.
enum class SetLayout { Padded, PackedLikeGsf };

PropertySetBuilder SetBuilder(SetLayout layout) {
    PropertySetBuilder builder;
    if (layout == SetLayout::PackedLikeGsf) builder.padStringsInVectors(false).alignPropertyOffsets(false);
    return builder;
}

PropertySectionBuilder SummarySection() {
    PropertySectionBuilder section(ids::SummaryInformation);
    section.codePage(kCodePageUtf8Stored)
        .set(2, TypedValue::LPStr("Quarterly report"))
        .set(3, TypedValue::LPStr("Budget"))
        .set(4, TypedValue::LPStr("Ada Lovelace"))
        .set(5, TypedValue::LPStr("budget, draft"))
        .set(6, TypedValue::LPStr("Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen"))
        .set(7, TypedValue::LPStr("Normal.dot"))
        .set(8, TypedValue::LPStr("Grace Hopper"))
        .set(9, TypedValue::LPStr("7"))
        .set(10, TypedValue::FileTime(kEditDurationTicks))
        .set(11, TypedValue::FileTime(kPrintedTicks))
        .set(12, TypedValue::FileTime(kCreatedTicks))
        .set(13, TypedValue::FileTime(kSavedTicks))
        .set(14, TypedValue::I4(12))
        .set(15, TypedValue::I4(3400))
        .set(16, TypedValue::I4(70000))
        .set(17, TypedValue::ClipboardData(-1, PatternBytes(40)))
        .set(18, TypedValue::LPStr("Microsoft Office Word"))
        .set(19, TypedValue::I4(2));
    return section;
}

PropertySectionBuilder DocumentSummarySection() {
    PropertySectionBuilder section(ids::DocSummaryInformation);
    section.codePage(kCodePageUtf8Stored)
        .set(2, TypedValue::LPStr("Finance"))
        .set(3, TypedValue::LPStr("On-screen Show"))
        .set(4, TypedValue::I4(123456))
        .set(5, TypedValue::I4(40))
        .set(6, TypedValue::I4(9))
        .set(7, TypedValue::I4(3))
        .set(11, TypedValue::Bool(false))
        .set(12, TypedValue::VariantVector({TypedValue::LPStr("Title"), TypedValue::I4(1), TypedValue::LPStr("Headings"),
                                            TypedValue::I4(2)}))
        .set(13, TypedValue::LPStrVector({"Quarterly report", "Summary", "Outlook"}))
        .set(14, TypedValue::LPStr("The Board"))
        .set(15, TypedValue::LPStr("ACME"))
        .set(16, TypedValue::Bool(true))
        .set(17, TypedValue::I4(4000))
        .set(23, TypedValue::I4(0x000C0000 + 6000))
        .set(24, TypedValue::Blob(PatternBytes(50)));
    return section;
}

PropertySectionBuilder UserDefinedSection() {
    // Same PIDs as fields of the record: they must not land there.
    PropertySectionBuilder section(ids::UserDefinedProperties);
    section.codePage(kCodePageUtf8Stored)
        .dictionary8({{2, "Client"}, {14, "Reviewer"}})
        .set(2, TypedValue::LPStr("Contoso"))
        .set(14, TypedValue::LPStr("Not the manager"));
    return section;
}

TSummaryInfo ExpectedRecord() {
    TSummaryInfo info;
    info.Title = u"Quarterly report";
    info.Subject = u"Budget";
    info.Author = u"Ada Lovelace";
    info.Keywords = u"budget, draft";
    info.Comments = u"Gr\u00FC\u00DFe aus M\u00FCnchen";
    info.Template = u"Normal.dot";
    info.LastAuthor = u"Grace Hopper";
    info.RevNumber = u"7";
    info.EditTime = EditTimeToDateTime(kEditDurationTicks);
    info.LastPrinted = FileTimeToDateTime(kPrintedTicks);
    info.Created = FileTimeToDateTime(kCreatedTicks);
    info.LastSaved = FileTimeToDateTime(kSavedTicks);
    info.PageCount = 12;
    info.WordCount = 3400;
    info.CharCount = 70000;
    info.AppName = u"Microsoft Office Word";
    info.Security = 2;
    info.Category = u"Finance";
    info.PresentationTarget = u"On-screen Show";
    info.ByteCount = 123456;
    info.LineCount = 40;
    info.ParagraphCount = 9;
    info.SlideCount = 3;
    info.Scale = 0;
    info.HeadingPairs = {4, 0};
    info.TitlesOfParts = {3, 0};
    info.Manager = u"The Board";
    info.Company = u"ACME";
    info.LinksDirty = 0xFFFF;
    info.CharCountWithSpaces = 4000;
    info.Version = 6000;
    info.DigSig = {50, 0};
    return info;
}

struct Document {
    BuiltCompoundFile file;
    BuiltPropertySet summary;
    BuiltPropertySet documentSummary;
};

// A small document shaped like a Word file: a regular WordDocument stream,
// two property sets and other small streams in the mini stream. The mini
// stream holds over 128 mini sectors, so its miniFAT takes two sectors with
// both property sets in the second; the directory takes two sectors.
Document BuildDocument(uint16_t majorVersion = 3, SetLayout layout = SetLayout::Padded, uint32_t fatSectorCount = 0) {
    Document document;
    document.summary = SetBuilder(layout).addSection(SummarySection()).build();
    document.documentSummary = SetBuilder(layout).addSection(DocumentSummarySection()).addSection(UserDefinedSection()).build();
    CompoundFileBuilder builder(majorVersion);
    builder.addStream(u"WordDocument", PatternBytes(5000, 1))
        .addStream(u"1Table", PatternBytes(4000, 2))
        .addStream(u"Data", PatternBytes(4000, 3))
        .addStream(DocumentSummaryStream(), document.documentSummary.bytes)
        .addStream(SummaryStream(), document.summary.bytes)
        .addStream(u"\u0001CompObj", PatternBytes(100, 4));
    if (fatSectorCount > 0) builder.requireFatSectorCount(fatSectorCount);
    document.file = builder.build();
    return document;
}

ReadOutcome Read(const std::vector<uint8_t>& bytes, TSummaryInfo& info) {
    MemoryByteSource source(bytes);
    return ReadSummaryInfoFrom(source, info);
}

// A compound file holding one property-set stream per section given.
std::vector<uint8_t> FileWithSets(std::vector<std::pair<std::u16string, BuiltPropertySet>> streams) {
    CompoundFileBuilder builder(3);
    builder.addStream(u"WordDocument", PatternBytes(600));
    for (auto& [name, set] : streams) builder.addStream(name, std::move(set.bytes));
    return builder.build().bytes;
}

std::vector<uint8_t> FileWithSummary(PropertySectionBuilder section) {
    return FileWithSets({{SummaryStream(), PropertySetBuilder().addSection(std::move(section)).build()}});
}

// ------------------------------------------------------------ whole documents

struct LayoutCase {
    std::string name;
    uint16_t majorVersion;
    SetLayout layout;
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

class ReadWholeDocumentTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ReadWholeDocumentTest, FillsEveryFieldTheDocumentHolds) {
    Document document = BuildDocument(GetParam().majorVersion, GetParam().layout);
    TSummaryInfo info;
    ReadOutcome outcome = Read(document.file.bytes, info);
    EXPECT_TRUE(outcome.ok);
    EXPECT_FALSE(outcome.partial) << outcome.message;
    EXPECT_EQ(outcome.refusal, Refusal::None);
    const TSummaryInfo expected = ExpectedRecord();
    EXPECT_EQ(info, expected);
    // Field by field, for a readable failure message.
    EXPECT_EQ(info.Title, expected.Title);
    EXPECT_EQ(info.Comments, expected.Comments);
    EXPECT_EQ(info.CharCount, expected.CharCount);
    EXPECT_EQ(info.HeadingPairs, expected.HeadingPairs);
    EXPECT_EQ(info.TitlesOfParts, expected.TitlesOfParts);
    EXPECT_EQ(info.Manager, expected.Manager);
    EXPECT_DOUBLE_EQ(info.Created, expected.Created);
    EXPECT_DOUBLE_EQ(info.EditTime, expected.EditTime);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ReadWholeDocumentTest,
                         ::testing::Values(LayoutCase{"Version3", 3, SetLayout::Padded},
                                           LayoutCase{"Version4", 4, SetLayout::Padded},
                                           LayoutCase{"Version3PackedLikeGsf", 3, SetLayout::PackedLikeGsf},
                                           LayoutCase{"Version4PackedLikeGsf", 4, SetLayout::PackedLikeGsf}),
                         testing::CaseName());

TEST(ReadSummaryInfoFrom, ImagePropertiesAloneCountsAndLeavesTheRecordAlone) {
    PropertySectionBuilder image(ids::ImageProperties);
    image.set(2, TypedValue::LPStr("not a title")).set(14, TypedValue::I4(77));
    std::vector<uint8_t> bytes =
        FileWithSets({{PropertySetStreamName(ids::ImageProperties), PropertySetBuilder().addSection(image).build()}});
    TSummaryInfo info;
    info.Author = u"from an earlier document";
    const TSummaryInfo before = info;
    ReadOutcome outcome = Read(bytes, info);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.refusal, Refusal::None);
    EXPECT_EQ(info, before);
}

TEST(ReadSummaryInfoFrom, EverySetOfTheListCounts) {
    for (size_t setIndex = 0; setIndex < PropertySets().size(); ++setIndex) {
        SCOPED_TRACE("set " + PropertySets()[setIndex].toString());
        PropertySectionBuilder section(PropertySets()[setIndex]);
        section.set(2, TypedValue::LPStr("value"));
        TSummaryInfo info;
        EXPECT_TRUE(
            Read(FileWithSets({{PropertySetStreamName(PropertySets()[setIndex]), PropertySetBuilder().addSection(section).build()}}),
                 info)
                .ok);
    }
}

TEST(ReadSummaryInfoFrom, DocumentsWithoutAReadableSetAreRefused) {
    PropertySectionBuilder misplaced(ids::DocSummaryInformation);
    misplaced.set(2, TypedValue::LPStr("Finance"));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"only a WordDocument stream", FileWithSets({})},
        {"no entries at all", CompoundFileBuilder(4).build().bytes},
        {"a storage under the set's name", CompoundFileBuilder(3).addStorage(SummaryStream()).build().bytes},
        {"the summary stream holds another set's section",
         FileWithSets({{SummaryStream(), PropertySetBuilder().addSection(misplaced).build()}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSummaryInfo info;
        info.Title = u"kept";
        ReadOutcome outcome = Read(c.bytes, info);
        EXPECT_FALSE(outcome.ok);
        EXPECT_STREQ(storage::RefusalName(outcome.refusal), storage::RefusalName(Refusal::NoPropertySets));
        EXPECT_FALSE(outcome.message.empty());
        EXPECT_EQ(info.Title, u"kept");
    }
}

TEST(ReadSummaryInfoFrom, CountsKeepTheirStoredThirtyTwoBits) {
    PropertySectionBuilder summary(ids::SummaryInformation);
    summary.set(14, TypedValue::I4(70000)).set(15, TypedValue::I4(-1)).set(16, TypedValue::I4(32768)).set(19, TypedValue::I4(65537));
    PropertySectionBuilder documentSummary(ids::DocSummaryInformation);
    documentSummary.set(4, TypedValue::I4(70000)).set(5, TypedValue::I4(-1)).set(6, TypedValue::UI4(0xFFFF0001));
    TSummaryInfo info;
    ASSERT_TRUE(Read(FileWithSets({{SummaryStream(), PropertySetBuilder().addSection(summary).build()},
                                   {DocumentSummaryStream(), PropertySetBuilder().addSection(documentSummary).build()}}),
                     info)
                    .ok);
    EXPECT_EQ(info.PageCount, 70000);  // an ordinary long document, not -25536 or 4464
    EXPECT_EQ(info.WordCount, -1);
    EXPECT_EQ(info.CharCount, 32768);
    EXPECT_EQ(info.Security, 1);  // a flag word, not a count: its low 16 bits
    EXPECT_EQ(info.ByteCount, 70000);
    EXPECT_EQ(info.LineCount, -1);
    EXPECT_EQ(info.ParagraphCount, static_cast<int32_t>(0xFFFF0001));
}

TEST(ReadSummaryInfoFrom, ASecondDocumentOnlyOverwritesWhatItHolds) {
    PropertySectionBuilder first(ids::SummaryInformation);
    first.set(2, TypedValue::LPStr("First title")).set(4, TypedValue::LPStr("First author")).set(14, TypedValue::I4(5));
    PropertySectionBuilder second(ids::SummaryInformation);
    second.set(2, TypedValue::LPStr("Second title"));
    TSummaryInfo info;
    ASSERT_TRUE(Read(FileWithSummary(first), info).ok);
    ASSERT_TRUE(Read(FileWithSummary(second), info).ok);
    EXPECT_EQ(info.Title, u"Second title");
    EXPECT_EQ(info.Author, u"First author");
    EXPECT_EQ(info.PageCount, 5);
}

TEST(ReadSummaryInfoFrom, CodePageAndDictionaryAreNoFields) {
    PropertySectionBuilder summary(ids::SummaryInformation);
    summary.codePage(1252).dictionary8({{2, "Title"}, {3, "Subject"}});
    TSummaryInfo info;
    ReadOutcome outcome = Read(FileWithSummary(summary), info);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(info, TSummaryInfo{});
}

TEST(ReadSummaryInfoFrom, UserDefinedValuesNeverReachTheRecord) {
    // The user-defined section comes first in the stream: sections are
    // found by identifier, not by position.
    PropertySectionBuilder documentSummary(ids::DocSummaryInformation);
    documentSummary.set(2, TypedValue::LPStr("Finance"));
    BuiltPropertySet set = PropertySetBuilder().addSection(UserDefinedSection()).addSection(documentSummary).build();
    TSummaryInfo info;
    ASSERT_TRUE(Read(FileWithSets({{DocumentSummaryStream(), set}}), info).ok);
    TSummaryInfo expected;
    expected.Category = u"Finance";
    EXPECT_EQ(info, expected);
}

// ------------------------------------------------------------ stored types

struct StoredTypeCase {
    std::string name;
    uint32_t pid;  // in SummaryInformation, or DocumentSummaryInformation when documentSummary
    TypedValue stored;
    std::function<void(TSummaryInfo&)> expect;  // applied to the record as it was before
    bool documentSummary = false;
};

// Every field starts from a known value, so a skipped property shows.
TSummaryInfo RecordBefore() {
    TSummaryInfo info;
    info.Title = u"before";
    info.Keywords = u"before";
    info.RevNumber = u"before";
    info.Created = 1.5;
    info.PageCount = 99;
    info.Security = 99;
    info.HeadingPairs = {9, 0};
    info.TitlesOfParts = {9, 0};
    info.Scale = 99;
    info.DigSig = {9, 0};
    return info;
}

void PrintTo(const StoredTypeCase& c, std::ostream* out) { *out << c.name; }

class StoredTypeTest : public ::testing::TestWithParam<StoredTypeCase> {};

TEST_P(StoredTypeTest, IsTakenOnlyForWhatItIs) {
    const StoredTypeCase& c = GetParam();
    PropertySectionBuilder section(c.documentSummary ? ids::DocSummaryInformation : ids::SummaryInformation);
    section.codePage(kCodePageUtf8Stored).set(c.pid, c.stored);
    BuiltPropertySet set = PropertySetBuilder().addSection(section).build();
    TSummaryInfo info = RecordBefore();
    ASSERT_TRUE(Read(FileWithSets({{c.documentSummary ? DocumentSummaryStream() : SummaryStream(), set}}), info).ok);
    TSummaryInfo expected = RecordBefore();
    c.expect(expected);
    EXPECT_EQ(info, expected);
    EXPECT_EQ(info.Title, expected.Title);
    EXPECT_EQ(info.Keywords, expected.Keywords);
}

const auto kUnchanged = [](TSummaryInfo&) {};
const StoredTypeCase kStoredTypeCases[] = {
    {"FileTimeTitleIsSkipped", 2, TypedValue::FileTime(kCreatedTicks), kUnchanged},
    {"BoolTitleIsSkipped", 2, TypedValue::Bool(true), kUnchanged},
    {"BlobTitleIsSkipped", 2, TypedValue::Blob({'a', 'b', 0}), kUnchanged},
    {"UnknownTypeTitleIsSkipped", 2, TypedValue::Raw(0x0048, std::vector<uint8_t>(16, 'A')), kUnchanged},
    {"VariantVectorTitleIsSkipped", 2, TypedValue::VariantVector({TypedValue::LPStr("a")}), kUnchanged},
    {"IntegerTitleBecomesDecimalText", 2, TypedValue::I4(-42), [](TSummaryInfo& i) { i.Title = u"-42"; }},
    {"UnsignedRevisionBecomesDecimalText", 9, TypedValue::UI4(4000000000u), [](TSummaryInfo& i) { i.RevNumber = u"4000000000"; }},
    {"WideTitleIsText", 2, TypedValue::LPWStr(u"\u00DCbersicht"), [](TSummaryInfo& i) { i.Title = u"\u00DCbersicht"; }},
    {"KeywordListJoins", 5, TypedValue::LPStrVector({"budget", "draft", "Q3"}),
     [](TSummaryInfo& i) { i.Keywords = u"budget; draft; Q3"; }},
    {"WideKeywordListJoins", 5, TypedValue::Vector(vt::LPWStr, {TypedValue::LPWStr(u"eins"), TypedValue::LPWStr(u"zwei")}),
     [](TSummaryInfo& i) { i.Keywords = u"eins; zwei"; }},
    {"IntegerKeywordListIsSkipped", 5, TypedValue::Vector(vt::I4, {TypedValue::I4(1)}), kUnchanged},
    {"TextPageCountIsSkipped", 14, TypedValue::LPStr("12"), kUnchanged},
    {"FileTimePageCountIsSkipped", 14, TypedValue::FileTime(kCreatedTicks), kUnchanged},
    {"ShortPageCountIsANumberStill", 14, TypedValue::I2(7), [](TSummaryInfo& i) { i.PageCount = 7; }},
    {"TextCreatedIsSkipped", 12, TypedValue::LPStr("2021-01-01"), kUnchanged},
    {"IntegerCreatedIsSkipped", 12, TypedValue::I4(12345), kUnchanged},
    {"TextSecurityIsSkipped", 19, TypedValue::LPStr("2"), kUnchanged},
    {"BlobHeadingPairsIsSkipped", 12, TypedValue::Blob({1, 2, 3, 4}), kUnchanged, true},
    {"VariantTitlesOfPartsIsSkipped", 13, TypedValue::VariantVector({TypedValue::LPStr("a")}), kUnchanged, true},
    {"TextScaleIsSkipped", 11, TypedValue::LPStr("0"), kUnchanged, true},
    {"DigitalSignatureIsSizedByItsBlob", 24, TypedValue::Blob(PatternBytes(300)), [](TSummaryInfo& i) { i.DigSig = {300, 0}; },
     true},
    {"VectorDigitalSignatureIsSkipped", 24, TypedValue::LPStrVector({"a", "b"}), kUnchanged, true},
};
INSTANTIATE_TEST_SUITE_P(Types, StoredTypeTest, ::testing::ValuesIn(kStoredTypeCases), testing::CaseName());

TEST(ReadSummaryInfoFrom, TextFollowsTheSetsCodePage) {
    struct Case {
        const char* name;
        int16_t storedCodePage;
        std::string storedTitle;
        std::u16string expected;
    };
    const Case cases[] = {
        {"UTF-8 reads back exactly", kCodePageUtf8Stored, "Gr\xC3\xBC\xC3\x9F" "e", u"Gr\u00FC\u00DF" "e"},
        {"Windows-1252", 1252, "Caf\xE9", u"Caf\u00E9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PropertySectionBuilder summary(ids::SummaryInformation);
        summary.codePage(c.storedCodePage).set(2, TypedValue::LPStr(c.storedTitle));
        TSummaryInfo info;
        ASSERT_TRUE(Read(FileWithSummary(summary), info).ok);
        EXPECT_EQ(info.Title, c.expected);
    }
}

// ------------------------------------------------------------ reading little

TEST(ReadSummaryInfoFrom, ReadsOnlyAFewKilobytesOfALargeDocument) {
    struct Case {
        const char* name;
        uint16_t majorVersion;
        PropertySectionBuilder summary;
    };
    PropertySectionBuilder plain(ids::SummaryInformation);
    plain.set(2, TypedValue::LPStr("Title"));
    PropertySectionBuilder withThumbnail(ids::SummaryInformation);
    withThumbnail.set(2, TypedValue::LPStr("Title")).set(17, TypedValue::ClipboardData(-1, PatternBytes(400 * 1024)));
    const Case cases[] = {
        {"version 3, large other stream", 3, plain},
        {"version 4, large other stream", 4, plain},
        {"version 3, large thumbnail in the set", 3, withThumbnail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CompoundFileBuilder builder(c.majorVersion);
        builder.addStream(u"WordDocument", PatternBytes(6 * 1024 * 1024))
            .addStream(SummaryStream(), PropertySetBuilder().addSection(c.summary).build().bytes);
        MemoryByteSource source(builder.build().bytes);
        TSummaryInfo info;
        ASSERT_TRUE(ReadSummaryInfoFrom(source, info).ok);
        EXPECT_EQ(info.Title, u"Title");
        EXPECT_LT(source.bytesRead(), 32u * 1024) << "of " << source.size();
    }
}

// ------------------------------------------------------------ damage

// What the strictest caller of the storage layer meets: every stream read
// whole, every property set parsed to the last value. By name, so that
// failures read well.
std::string StorageRefusal(const std::vector<uint8_t>& bytes) {
    try {
        MemoryByteSource source(bytes);
        storage::CompoundFile file(source);
        file.difatSectorLocations();
        for (const auto& entry : file.rootChildren()) {
            if (entry.type != storage::ObjectType::Stream) continue;
            std::vector<uint8_t> content = file.openStream(entry).readAll();
            if (entry.name.empty() || entry.name.front() != u'\u0005') continue;
            storage::MemoryStreamView view(content);
            storage::PropertySetReader reader(view);
            for (const auto& section : reader.sections()) {
                for (const auto& property : section.properties)
                    if (property.pid != storage::kDictionaryPid) reader.readValue(section, property);
                reader.dictionary(section);
            }
        }
    } catch (const storage::StorageError& error) {
        return storage::RefusalName(error.reason());
    }
    return storage::RefusalName(Refusal::None);
}

enum class Shape { Small, ManyFatSectors };

struct DamageCase {
    std::string name;
    Shape shape;
    std::function<void(std::vector<uint8_t>&, const Document&)> patch;
    Refusal storageRefusal;
    // The reader's answer.
    bool ok;
    Refusal refusal;
    bool partial;
    // What the record holds afterwards: the title comes from
    // SummaryInformation, the company from DocumentSummaryInformation.
    std::u16string title;
    std::u16string company;
};

const Document& PristineDocument(Shape shape) {
    // The 240 FAT sectors make a 15 MB file: build each shape once.
    static const Document small = BuildDocument();
    static const Document many = BuildDocument(3, SetLayout::Padded, 240);
    return shape == Shape::Small ? small : many;
}

std::vector<uint8_t> DamagedBytes(const DamageCase& c) {
    const Document& document = PristineDocument(c.shape);
    std::vector<uint8_t> bytes = document.file.bytes;
    c.patch(bytes, document);
    return bytes;
}

// A stream's property-set field, as a file offset.
uint64_t SetFieldOffset(const Document& d, const std::u16string& stream, uint64_t offsetInStream) {
    return d.file.layout.fileOffset(stream, offsetInStream);
}

// An entry of the root's tree without children of its own.
uint32_t AnyLeaf(const std::vector<uint8_t>& bytes, const testing::CompoundFileLayout& layout) {
    for (const auto& entry : layout.entries) {
        if (entry.index == 0) continue;
        uint64_t at = layout.directoryEntryOffset(entry.index);
        if (testing::ReadU32(bytes, at + testing::entry_field::kLeftSibling) == storage::kNoStream &&
            testing::ReadU32(bytes, at + testing::entry_field::kRightSibling) == storage::kNoStream)
            return entry.index;
    }
    throw std::logic_error("a tree always has a leaf");
}

namespace header_field = testing::header_field;
namespace entry_field = testing::entry_field;
const std::u16string kTitle = u"Quarterly report";
const std::u16string kCompany = u"ACME";

// The reader's answers the format's structures call for.
const DamageCase kDamageCases[] = {
    {"BadSignature", Shape::Small, [](auto& b, const auto&) { PatchU32(b, header_field::kSignature, 0x20726944); },
     Refusal::NotCompoundFile, false, Refusal::NotCompoundFile, false, u"", u""},
    {"BadByteOrder", Shape::Small, [](auto& b, const auto&) { PatchU16(b, header_field::kByteOrder, 0xFEFF); },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"SectorShiftOfTheOtherVersion", Shape::Small,
     [](auto& b, const auto&) { PatchU16(b, header_field::kSectorShift, testing::kVersion4SectorShift); },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"DirectoryStartBeyondEndOfFile", Shape::Small,
     [](auto& b, const Document& d) { PatchU32(b, header_field::kFirstDirectorySector, d.file.layout.sectorCount + 7); },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"TruncatedInsideHeader", Shape::Small, [](auto& b, const auto&) { b.resize(300); },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"TruncatedBeforeDirectory", Shape::Small,
     [](auto& b, const Document& d) { b.resize(d.file.layout.sectorOffset(d.file.layout.directorySectors[0])); },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    // Only the WordDocument stream loses sectors; the reader never needs them.
    {"TruncatedInsideAStreamTheReaderSkips", Shape::Small,
     [](auto& b, const Document& d) { b.resize(d.file.layout.fileOffset(u"WordDocument", 1000)); },
     Refusal::Damaged, true, Refusal::None, false, kTitle, kCompany},
    {"StringLengthBeyondSection", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU32(b, SetFieldOffset(d, SummaryStream(), d.summary.sections[0].property(2).valueOffset + testing::kTypeWordLength),
                  0x7FFFFFF0);
     },
     // A damaged value damages only itself: the other set is read whole.
     Refusal::Damaged, true, Refusal::None, true, u"", kCompany},
    // A damaged vector in DocumentSummaryInformation hides neither set's other values.
    {"VectorCountHuge", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU32(b,
                  SetFieldOffset(d, DocumentSummaryStream(),
                                 d.documentSummary.sections[0].property(13).valueOffset + testing::kTypeWordLength),
                  0xFFFFFFFF);
     },
     Refusal::Damaged, true, Refusal::None, true, kTitle, kCompany},
};

// Damage met while opening a set (finding its stream, walking its chains,
// parsing its section list) must not pass for a missing set: when it hides
// every set the outcome is Damaged, not NoPropertySets, and when another set
// was read the outcome is partial, with the damage as its message.
const DamageCase kDamageCasesHiddenByTheReader[] = {
    {"FatChainLoop", Shape::Small,
     [](auto& b, const Document& d) {
         const auto& root = d.file.layout.entries[0];
         PatchU32(b, d.file.layout.fatEntryOffset(root.chain[0]), root.chain[0]);
     },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"MiniFatSectorChainLoop", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU32(b, d.file.layout.fatEntryOffset(d.file.layout.miniFatSectors[0]), d.file.layout.miniFatSectors[0]);
     },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"DifatLoop", Shape::ManyFatSectors,
     [](auto& b, const Document& d) { PatchU32(b, d.file.layout.difatNextLinkOffset(0), d.file.layout.difatSectors[0]); },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"DirectoryChainLoop", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU32(b, d.file.layout.fatEntryOffset(d.file.layout.directorySectors[0]), d.file.layout.directorySectors[0]);
     },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"DirectoryTreeCycle", Shape::Small,
     [](auto& b, const Document& d) {
         const uint32_t treeTop = testing::ReadU32(b, d.file.layout.directoryEntryOffset(0) + entry_field::kChild);
         PatchU32(b, d.file.layout.directoryEntryOffset(AnyLeaf(b, d.file.layout)) + entry_field::kLeftSibling, treeTop);
     },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"MiniStreamStartBeyondEndOfFile", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU32(b, d.file.layout.directoryEntryOffset(0) + entry_field::kStartSector, d.file.layout.sectorCount + 7);
     },
     Refusal::Damaged, false, Refusal::Damaged, false, u"", u""},
    {"MiniStreamChainLoop", Shape::Small,
     [](auto& b, const Document& d) {
         const auto& chain = d.file.layout.entry(SummaryStream()).chain;
         PatchU32(b, d.file.layout.miniFatEntryOffset(chain[1]), chain[0]);
     },
     Refusal::Damaged, true, Refusal::None, true, u"", kCompany},
    {"StreamSizeLargerThanFile", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU64(b, d.file.layout.directoryEntryFieldOffset(SummaryStream(), entry_field::kStreamSize), 0x7FFFFF00);
     },
     Refusal::Damaged, true, Refusal::None, true, u"", kCompany},
    {"PropertyCountTooLarge", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU32(b, SetFieldOffset(d, SummaryStream(), d.summary.sections[0].offset + testing::kSectionPropertyCountField),
                  0x10000000);
     },
     Refusal::Damaged, true, Refusal::None, true, u"", kCompany},
    {"SectionOffsetBeyondStream", Shape::Small,
     [](auto& b, const Document& d) {
         PatchU32(b, SetFieldOffset(d, SummaryStream(), d.summary.sections[0].listEntryOffset + testing::kFormatIdLength),
                  0xFFFFFF00);
     },
     Refusal::Damaged, true, Refusal::None, true, u"", kCompany},
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class DamagedDocumentTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedDocumentTest, StorageRefusesWithTheExactReason) {
    ASSERT_EQ(StorageRefusal(PristineDocument(GetParam().shape).file.bytes), storage::RefusalName(Refusal::None));
    EXPECT_EQ(StorageRefusal(DamagedBytes(GetParam())), storage::RefusalName(GetParam().storageRefusal));
}

TEST_P(DamagedDocumentTest, ReaderEndsWithinBoundsWhateverItAnswers) {
    const std::vector<uint8_t> bytes = DamagedBytes(GetParam());
    MemoryByteSource source(bytes);
    TSummaryInfo info;
    ReadOutcome outcome = ReadSummaryInfoFrom(source, info);
    EXPECT_NE(static_cast<uint32_t>(outcome.code), static_cast<uint32_t>(storage::StorageResult::InsufficientMemory))
        << outcome.message;
    EXPECT_EQ(outcome.ok, outcome.refusal == Refusal::None);
    if (!outcome.ok) {
        EXPECT_EQ(info, TSummaryInfo{});
    }
    // Chains are walked once: the reader never reads more than the file.
    EXPECT_LE(source.bytesRead(), bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Fields, DamagedDocumentTest, ::testing::ValuesIn(kDamageCases), testing::CaseName());
INSTANTIATE_TEST_SUITE_P(HiddenByTheReader, DamagedDocumentTest, ::testing::ValuesIn(kDamageCasesHiddenByTheReader),
                         testing::CaseName());

class DamagedDocumentOutcomeTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedDocumentOutcomeTest, ReaderAnswers) {
    const DamageCase& c = GetParam();
    TSummaryInfo info;
    ReadOutcome outcome = Read(DamagedBytes(c), info);
    EXPECT_EQ(outcome.ok, c.ok) << outcome.message;
    EXPECT_STREQ(storage::RefusalName(outcome.refusal), storage::RefusalName(c.refusal)) << outcome.message;
    EXPECT_EQ(outcome.partial, c.partial) << outcome.message;
    if (c.refusal == Refusal::Damaged) {
        EXPECT_EQ(static_cast<uint32_t>(outcome.code), static_cast<uint32_t>(storage::StorageResult::DocFileCorrupt));
    }
    // Damage is always reported, whether or not it ended the reading.
    if (c.partial || !c.ok) {
        EXPECT_FALSE(outcome.message.empty());
    }
    EXPECT_EQ(info.Title, c.title);
    EXPECT_EQ(info.Company, c.company);
}

INSTANTIATE_TEST_SUITE_P(Fields, DamagedDocumentOutcomeTest, ::testing::ValuesIn(kDamageCases), testing::CaseName());
INSTANTIATE_TEST_SUITE_P(ReportedNotHidden, DamagedDocumentOutcomeTest,
                         ::testing::ValuesIn(kDamageCasesHiddenByTheReader), testing::CaseName());

}  // namespace
}  // namespace velmora::engine
