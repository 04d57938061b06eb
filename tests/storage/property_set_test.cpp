// Property-set parsing on streams built in memory: every value type the
// reader decodes, the layouts real writers produce (packed strings inside
// vectors, unaligned property offsets), code page and dictionary, and a
// table of damaged streams.
#include "storage/property_set.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "storage/storage_error.h"
#include "support/case_name.h"
#include "support/compound_file_builder.h"
#include "support/property_set_builder.h"

namespace velmora::storage {
namespace {

using testing::BuiltPropertySet;
using testing::PatchU16;
using testing::PatchU32;
using testing::PropertySectionBuilder;
using testing::PropertySetBuilder;
using testing::TypedValue;

constexpr uint32_t kPidBefore = 2;
constexpr uint32_t kPidUnderTest = 3;
constexpr uint32_t kPidAfter = 4;
constexpr int32_t kSentinel = 0x5EA1ED;
constexpr uint64_t kSomeFileTime = 0x01D5'0000'1234'5678;

std::string Terminated(std::string_view text) { return std::string(text) + '\0'; }
std::u16string Terminated(std::u16string_view text) { return std::u16string(text) + u'\0'; }

// A parsed stream together with the bytes it reads from.
class ParsedSet {
public:
    explicit ParsedSet(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), view_(bytes_), reader_(view_) {}
    ParsedSet(const ParsedSet&) = delete;
    ParsedSet& operator=(const ParsedSet&) = delete;

    PropertySetReader& reader() { return reader_; }
    const PropertySection& section(const FormatId& formatId) {
        const PropertySection* found = reader_.findSection(formatId);
        if (found == nullptr) throw std::out_of_range("section not in the set");
        return *found;
    }
    std::optional<PropertyValue> value(uint32_t pid, const FormatId& formatId = format_ids::SummaryInformation) {
        const PropertySection& s = section(formatId);
        for (const auto& property : s.properties)
            if (property.pid == pid) return reader_.readValue(s, property);
        return std::nullopt;
    }

private:
    std::vector<uint8_t> bytes_;
    MemoryStreamView view_;
    PropertySetReader reader_;
};

// Everything the set holds, read the way the strictest caller would; the
// refusal by name, so that failures read well.
std::string RefusalOfParsingEverything(const std::vector<uint8_t>& bytes) {
    try {
        MemoryStreamView view(bytes);
        PropertySetReader reader(view);
        for (const auto& section : reader.sections()) {
            for (const auto& property : section.properties)
                if (property.pid != kDictionaryPid) reader.readValue(section, property);
            reader.codePage(section);
            reader.dictionary(section);
        }
    } catch (const StorageError& error) {
        return RefusalName(error.reason());
    }
    return RefusalName(Refusal::None);
}

// ---------------------------------------------------------------- scalars

struct ScalarCase {
    std::string name;
    TypedValue value;
    PropertyValue::Kind kind;
    int64_t integer = 0;
    uint64_t fileTime = 0;
    std::string text8{};
    std::u16string text16{};
    uint32_t byteCount = 0;
};

void PrintTo(const ScalarCase& c, std::ostream* out) { *out << c.name; }

class ScalarValueTest : public ::testing::TestWithParam<ScalarCase> {};

TEST_P(ScalarValueTest, DecodesBetweenNeighboursAlignedOrNot) {
    const ScalarCase& c = GetParam();
    for (bool aligned : {true, false}) {
        SCOPED_TRACE(aligned ? "aligned offsets" : "unaligned offsets");
        PropertySectionBuilder section(format_ids::SummaryInformation);
        section.set(kPidBefore, TypedValue::I4(kSentinel)).set(kPidUnderTest, c.value).set(kPidAfter, TypedValue::I4(kSentinel));
        ParsedSet set(PropertySetBuilder().addSection(section).alignPropertyOffsets(aligned).build().bytes);

        PropertyValue value = *set.value(kPidUnderTest);
        EXPECT_EQ(value.type, c.value.type());
        EXPECT_EQ(value.kind, c.kind);
        EXPECT_EQ(value.integer, c.integer);
        EXPECT_EQ(value.fileTime, c.fileTime);
        EXPECT_EQ(value.text8, c.text8);
        EXPECT_EQ(value.text16, c.text16);
        EXPECT_EQ(value.byteCount, c.byteCount);
        EXPECT_EQ(set.value(kPidBefore)->integer, kSentinel);
        EXPECT_EQ(set.value(kPidAfter)->integer, kSentinel);
    }
}

using Kind = PropertyValue::Kind;
const ScalarCase kScalarCases[] = {
    {"I2SignExtended", TypedValue::I2(-5), Kind::Integer, -5},
    {"I4SignExtended", TypedValue::I4(-70000), Kind::Integer, -70000},
    {"UI4NotSignExtended", TypedValue::UI4(0xFFFFFFFF), Kind::Integer, 0xFFFFFFFF},
    {"UI1NotSignExtended", TypedValue::UI1(200), Kind::Integer, 200},
    {"BoolTrueIsMinusOne", TypedValue::Bool(true), Kind::Integer, -1},
    {"BoolFalse", TypedValue::Bool(false), Kind::Integer, 0},
    {"FileTime", TypedValue::FileTime(kSomeFileTime), Kind::FileTime, 0, kSomeFileTime},
    {"LPStrKeepsBytesAndTerminator", TypedValue::LPStr("Gr\xC3\xBCn"), Kind::Text8, 0, 0, Terminated("Gr\xC3\xBCn")},
    {"LPStrEmpty", TypedValue::LPStr(""), Kind::Text8, 0, 0, Terminated("")},
    {"LPWStr", TypedValue::LPWStr(u"\u00DCber"), Kind::Text16, 0, 0, "", Terminated(u"\u00DCber")},
    {"BlobIsSizedNotLoaded", TypedValue::Blob({1, 2, 3, 4, 5}), Kind::Binary, 0, 0, "", u"", 5},
    {"ClipboardDataSizeCountsItsFormat", TypedValue::ClipboardData(-1, std::vector<uint8_t>(10, 7)), Kind::Binary, 0, 0, "", u"", 14},
    {"EmptyHasNoData", TypedValue::Raw(vt::Empty, {}), Kind::Empty},
    {"UnknownTypeIsSteppedOver", TypedValue::Raw(0x0048 /* VT_CLSID */, std::vector<uint8_t>(16, 0xC1)), Kind::Unsupported},
    {"UnknownOddSizedType", TypedValue::Raw(0x0FFF, {1, 2, 3}), Kind::Unsupported},
};
INSTANTIATE_TEST_SUITE_P(Types, ScalarValueTest, ::testing::ValuesIn(kScalarCases), testing::CaseName());

// ---------------------------------------------------------------- vectors

const std::vector<std::string> kKeywords = {"", "a", "ab", "abc", "abcd", "abcde", "Report", "Q3"};

TypedValue HeadingPairs() {
    return TypedValue::VariantVector({TypedValue::LPStr("Title"), TypedValue::I4(1), TypedValue::LPStr("Headings"),
                                      TypedValue::I4(3), TypedValue::LPWStr(u"Wide"), TypedValue::I2(7),
                                      TypedValue::FileTime(kSomeFileTime), TypedValue::LPStr("x")});
}

class VectorStringPaddingTest : public ::testing::TestWithParam<bool> {
protected:
    BuiltPropertySet build() const {
        PropertySectionBuilder section(format_ids::DocSummaryInformation);
        section.set(kPidBefore, TypedValue::LPStrVector(kKeywords))
            .set(kPidUnderTest, HeadingPairs())
            .set(kPidAfter, TypedValue::I4(kSentinel));
        return PropertySetBuilder().addSection(section).padStringsInVectors(GetParam()).build();
    }
};

TEST_P(VectorStringPaddingTest, StringVectorDecodes) {
    ParsedSet set(build().bytes);
    PropertyValue value = *set.value(kPidBefore, format_ids::DocSummaryInformation);
    EXPECT_EQ(value.type, vt::Vector | vt::LPStr);
    EXPECT_EQ(value.kind, Kind::Vector);
    EXPECT_EQ(value.elementCount, kKeywords.size());
    ASSERT_TRUE(value.elementsComplete);
    ASSERT_EQ(value.elements.size(), kKeywords.size());
    for (size_t i = 0; i < kKeywords.size(); ++i) EXPECT_EQ(value.elements[i].text8, Terminated(kKeywords[i])) << i;
}

TEST_P(VectorStringPaddingTest, VariantVectorDecodes) {
    ParsedSet set(build().bytes);
    PropertyValue value = *set.value(kPidUnderTest, format_ids::DocSummaryInformation);
    EXPECT_EQ(value.type, vt::Vector | vt::Variant);
    ASSERT_TRUE(value.elementsComplete);
    ASSERT_EQ(value.elements.size(), 8u);
    EXPECT_EQ(value.elements[0].text8, Terminated("Title"));
    EXPECT_EQ(value.elements[1].integer, 1);
    EXPECT_EQ(value.elements[2].text8, Terminated("Headings"));
    EXPECT_EQ(value.elements[3].integer, 3);
    EXPECT_EQ(value.elements[4].text16, Terminated(u"Wide"));
    EXPECT_EQ(value.elements[5].type, vt::I2);
    EXPECT_EQ(value.elements[5].integer, 7);
    EXPECT_EQ(value.elements[6].fileTime, kSomeFileTime);
    EXPECT_EQ(value.elements[7].text8, Terminated("x"));
    EXPECT_EQ(set.value(kPidAfter, format_ids::DocSummaryInformation)->integer, kSentinel);
}

TEST(VectorStringPadding, PackedLayoutReallyDiffers) {
    // Guards the two cases above: the switch must change the bytes.
    PropertySectionBuilder section(format_ids::DocSummaryInformation);
    section.set(kPidBefore, TypedValue::LPStrVector(kKeywords));
    EXPECT_LT(PropertySetBuilder().addSection(section).padStringsInVectors(false).build().bytes.size(),
              PropertySetBuilder().addSection(section).padStringsInVectors(true).build().bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Strings, VectorStringPaddingTest, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "Padded" : "Packed"; });

TEST(PropertyVector, VectorOfFourByteIntegersAndFileTimes) {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.set(kPidBefore, TypedValue::Vector(vt::I4, {TypedValue::I4(1), TypedValue::I4(-2), TypedValue::I4(3)}))
        .set(kPidUnderTest, TypedValue::Vector(vt::FileTime, {TypedValue::FileTime(1), TypedValue::FileTime(kSomeFileTime)}))
        .set(kPidAfter, TypedValue::I4(kSentinel));
    ParsedSet set(PropertySetBuilder().addSection(section).build().bytes);
    PropertyValue integers = *set.value(kPidBefore);
    ASSERT_TRUE(integers.elementsComplete);
    ASSERT_EQ(integers.elements.size(), 3u);
    EXPECT_EQ(integers.elements[1].integer, -2);
    PropertyValue times = *set.value(kPidUnderTest);
    ASSERT_EQ(times.elements.size(), 2u);
    EXPECT_EQ(times.elements[1].fileTime, kSomeFileTime);
}

// Vectors of 1- and 2-byte integers (VT_I2, VT_UI2, VT_BOOL, VT_I1, VT_UI1)
// are packed at their natural width, with padding only after the last
// element; stepping four bytes per element would read [1, -2, 3] as
// [1, 3, <whatever follows>].
TEST(PropertyVector, PackedVectorsOfNarrowIntegers) {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.set(kPidBefore, TypedValue::Vector(vt::I2, {TypedValue::I2(1), TypedValue::I2(-2), TypedValue::I2(3)}))
        .set(kPidUnderTest, TypedValue::Vector(vt::Bool, {TypedValue::Bool(true), TypedValue::Bool(false), TypedValue::Bool(true)}))
        .set(kPidAfter, TypedValue::Vector(vt::UI1, {TypedValue::UI1(7), TypedValue::UI1(8), TypedValue::UI1(9)}));
    ParsedSet set(PropertySetBuilder().addSection(section).build().bytes);
    const std::pair<uint32_t, std::vector<int64_t>> expected[] = {
        {kPidBefore, {1, -2, 3}}, {kPidUnderTest, {-1, 0, -1}}, {kPidAfter, {7, 8, 9}}};
    for (const auto& [pid, integers] : expected) {
        SCOPED_TRACE("PID " + std::to_string(pid));
        PropertyValue value = *set.value(pid);
        ASSERT_TRUE(value.elementsComplete);
        std::vector<int64_t> decoded;
        for (const auto& element : value.elements) decoded.push_back(element.integer);
        EXPECT_EQ(decoded, integers);
    }
}

TEST(PropertyVector, UnknownElementTypeEndsTheVectorNotTheSection) {
    PropertySectionBuilder section(format_ids::DocSummaryInformation);
    section.set(kPidBefore, TypedValue::VariantVector({TypedValue::LPStr("a"), TypedValue::Raw(0x0048, std::vector<uint8_t>(16, 1)),
                                                      TypedValue::LPStr("b")}))
        .set(kPidUnderTest, TypedValue::Vector(0x0048, {}))
        .set(kPidAfter, TypedValue::I4(kSentinel));
    ParsedSet set(PropertySetBuilder().addSection(section).build().bytes);
    PropertyValue variants = *set.value(kPidBefore, format_ids::DocSummaryInformation);
    EXPECT_EQ(variants.elementCount, 3u);
    EXPECT_FALSE(variants.elementsComplete);
    PropertyValue unknownVector = *set.value(kPidUnderTest, format_ids::DocSummaryInformation);
    EXPECT_EQ(unknownVector.type, vt::Vector | 0x0048);
    EXPECT_FALSE(unknownVector.elementsComplete);
    EXPECT_EQ(set.value(kPidAfter, format_ids::DocSummaryInformation)->integer, kSentinel);
}

// ---------------------------------------------------------------- layout

TEST(PropertyLayout, UnalignedOffsetsAsLibgsfWritesThem) {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.codePage(1252)
        .set(2, TypedValue::LPStr("abcd"))
        .set(14, TypedValue::I4(70000))
        .set(12, TypedValue::FileTime(kSomeFileTime))
        .set(18, TypedValue::LPStr("gsf"))
        .set(19, TypedValue::Bool(true))
        .set(5, TypedValue::LPStrVector({"one", "three"}));
    BuiltPropertySet built = PropertySetBuilder().addSection(section).alignPropertyOffsets(false).build();
    bool anyUnaligned = false;
    for (const auto& placement : built.sections[0].properties)
        anyUnaligned = anyUnaligned || (placement.valueOffset - built.sections[0].offset) % 4 != 0;
    ASSERT_TRUE(anyUnaligned);

    ParsedSet set(built.bytes);
    EXPECT_EQ(set.reader().codePage(set.section(format_ids::SummaryInformation)), 1252);
    EXPECT_EQ(set.value(2)->text8, Terminated("abcd"));
    EXPECT_EQ(set.value(14)->integer, 70000);
    EXPECT_EQ(set.value(12)->fileTime, kSomeFileTime);
    EXPECT_EQ(set.value(18)->text8, Terminated("gsf"));
    EXPECT_EQ(set.value(19)->integer, -1);
    PropertyValue keywords = *set.value(5);
    ASSERT_EQ(keywords.elements.size(), 2u);
    EXPECT_EQ(keywords.elements[1].text8, Terminated("three"));
}

TEST(PropertyLayout, PropertiesAreListedInStoredOrderWithTheirOffsets) {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.set(9, TypedValue::LPStr("3")).set(2, TypedValue::LPStr("Title")).set(14, TypedValue::I4(1));
    BuiltPropertySet built = PropertySetBuilder().addSection(section).build();
    ParsedSet set(built.bytes);
    const PropertySection& parsed = set.section(format_ids::SummaryInformation);
    EXPECT_EQ(parsed.offset, built.sections[0].offset);
    EXPECT_EQ(parsed.size, built.sections[0].size);
    ASSERT_EQ(parsed.properties.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parsed.properties[i].pid, built.sections[0].properties[i].pid);
        EXPECT_EQ(parsed.properties[i].offset, built.sections[0].properties[i].valueOffset - built.sections[0].offset);
    }
}

TEST(PropertyLayout, TwoSectionsAreFoundByTheirIdentifiers) {
    PropertySectionBuilder documentSection(format_ids::DocSummaryInformation);
    documentSection.codePage(1252).set(2, TypedValue::LPStr("Category"));
    PropertySectionBuilder userSection(format_ids::UserDefinedProperties);
    userSection.codePage(1252).dictionary8({{2, "Client"}}).set(2, TypedValue::LPStr("Contoso"));
    ParsedSet set(PropertySetBuilder().addSection(documentSection).addSection(userSection).build().bytes);
    ASSERT_EQ(set.reader().sections().size(), 2u);
    EXPECT_EQ(set.value(2, format_ids::DocSummaryInformation)->text8, Terminated("Category"));
    EXPECT_EQ(set.value(2, format_ids::UserDefinedProperties)->text8, Terminated("Contoso"));
    EXPECT_EQ(set.reader().findSection(format_ids::SummaryInformation), nullptr);
}

TEST(PropertyLayout, SectionDeclaredLargerThanTheStreamIsClampedToIt) {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.set(2, TypedValue::LPStr("Title"));
    BuiltPropertySet built = PropertySetBuilder().addSection(section).build();
    PatchU32(built.bytes, built.sections[0].offset + testing::kSectionSizeField, built.sections[0].size + 64);
    ParsedSet set(built.bytes);
    EXPECT_EQ(set.section(format_ids::SummaryInformation).size, built.sections[0].size);
    EXPECT_EQ(set.value(2)->text8, Terminated("Title"));
}

// ---------------------------------------------------------------- code page

TEST(PropertyCodePage, ReadsTheStoredWordAsUnsigned) {
    struct Case {
        const char* name;
        std::optional<TypedValue> stored;
        uint16_t expected;
    };
    const Case cases[] = {
        {"UTF-8 stored as -535", TypedValue::I2(-535), 65001},
        {"Windows-1252", TypedValue::I2(1252), 1252},
        {"UTF-16", TypedValue::I2(1200), 1200},
        {"absent", std::nullopt, 0},
        {"stored as text", TypedValue::LPStr("1252"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PropertySectionBuilder section(format_ids::SummaryInformation);
        if (c.stored) section.set(kCodePagePid, *c.stored);
        section.set(2, TypedValue::LPStr("Title"));
        ParsedSet set(PropertySetBuilder().addSection(section).build().bytes);
        EXPECT_EQ(set.reader().codePage(set.section(format_ids::SummaryInformation)), c.expected);
    }
}

// ---------------------------------------------------------------- dictionary

TEST(PropertyDictionary, EightBitNamesAreStoredUnpadded) {
    for (bool aligned : {true, false}) {
        SCOPED_TRACE(aligned ? "aligned offsets" : "unaligned offsets");
        PropertySectionBuilder section(format_ids::UserDefinedProperties);
        section.codePage(1252)
            .dictionary8({{2, "Client"}, {3, "Ab"}, {4, "Owner name"}})
            .set(2, TypedValue::LPStr("Contoso"))
            .set(3, TypedValue::I4(5));
        ParsedSet set(PropertySetBuilder().addSection(section).alignPropertyOffsets(aligned).build().bytes);
        const PropertySection& parsed = set.section(format_ids::UserDefinedProperties);
        std::vector<DictionaryEntry> names = set.reader().dictionary(parsed);
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(names[0].pid, 2u);
        EXPECT_EQ(names[0].nameBytes, Terminated("Client"));
        EXPECT_EQ(names[1].pid, 3u);
        EXPECT_EQ(names[1].nameBytes, Terminated("Ab"));
        EXPECT_EQ(names[2].nameBytes, Terminated("Owner name"));
        EXPECT_EQ(set.value(2, format_ids::UserDefinedProperties)->text8, Terminated("Contoso"));
        EXPECT_EQ(set.value(3, format_ids::UserDefinedProperties)->integer, 5);
    }
}

TEST(PropertyDictionary, UnicodeNamesArePaddedToFourBytes) {
    PropertySectionBuilder section(format_ids::UserDefinedProperties);
    section.codePage(static_cast<int16_t>(kCodePageUtf16))
        .dictionary16({{2, u"Kunde"}, {3, u"Ab"}, {4, u"\u00C9diteur"}})
        .set(2, TypedValue::LPWStr(u"Contoso"));
    ParsedSet set(PropertySetBuilder().addSection(section).build().bytes);
    std::vector<DictionaryEntry> names = set.reader().dictionary(set.section(format_ids::UserDefinedProperties));
    auto utf16Bytes = [](std::u16string_view text) {
        std::string bytes;
        for (char16_t c : Terminated(text)) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        return bytes;
    };
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].nameBytes, utf16Bytes(u"Kunde"));
    EXPECT_EQ(names[1].pid, 3u);
    EXPECT_EQ(names[1].nameBytes, utf16Bytes(u"Ab"));
    EXPECT_EQ(names[2].pid, 4u);
    EXPECT_EQ(names[2].nameBytes, utf16Bytes(u"\u00C9diteur"));
}

// ---------------------------------------------------------------- damage

struct DamageCase {
    std::string name;
    std::function<void(std::vector<uint8_t>&, const BuiltPropertySet&)> patch;
};

// Title (PID 2), keywords (PID 5, a string vector), a blob (PID 24) and a
// dictionary in one section; every case changes one field of it.
BuiltPropertySet BuildDamageTarget() {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.codePage(1252)
        .dictionary8({{30, "Client"}})
        .set(2, TypedValue::LPStr("Quarterly report"))
        .set(5, TypedValue::LPStrVector({"budget", "draft"}))
        .set(6, TypedValue::LPWStr(u"Comments"))
        .set(24, TypedValue::Blob({1, 2, 3, 4}));
    return PropertySetBuilder().addSection(section).build();
}

uint32_t ValueField(const BuiltPropertySet& built, uint32_t pid) {
    // The first field after the type word: a length or a count.
    return built.sections[0].property(pid).valueOffset + static_cast<uint32_t>(testing::kTypeWordLength);
}

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class PropertySetDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(PropertySetDamageTest, RefusesWithDamaged) {
    const BuiltPropertySet built = BuildDamageTarget();
    ASSERT_EQ(RefusalOfParsingEverything(built.bytes), RefusalName(Refusal::None));
    std::vector<uint8_t> bytes = built.bytes;
    GetParam().patch(bytes, built);
    EXPECT_EQ(RefusalOfParsingEverything(bytes), RefusalName(Refusal::Damaged));
}

namespace field = testing::property_set_field;
const DamageCase kDamageCases[] = {
    {"ByteOrderNotFFFE", [](auto& b, const auto&) { PatchU16(b, field::kByteOrder, 0xFEFF); }},
    {"VersionTwo", [](auto& b, const auto&) { PatchU16(b, field::kVersion, 2); }},
    {"NoSections", [](auto& b, const auto&) { PatchU32(b, field::kSectionCount, 0); }},
    {"SectionCountHuge", [](auto& b, const auto&) { PatchU32(b, field::kSectionCount, 0x10000000); }},
    {"SectionOffsetBeyondStream",
     [](auto& b, const auto& s) { PatchU32(b, s.sections[0].listEntryOffset + testing::kFormatIdLength, 0xFFFFFF00); }},
    {"SectionHeaderCutByStreamEnd",
     [](auto& b, const auto& s) {
         PatchU32(b, s.sections[0].listEntryOffset + testing::kFormatIdLength, static_cast<uint32_t>(b.size() - 4));
     }},
    {"PropertyCountTooLarge",
     [](auto& b, const auto& s) { PatchU32(b, s.sections[0].offset + testing::kSectionPropertyCountField, 0x10000000); }},
    {"PropertyOffsetBeyondSection",
     [](auto& b, const auto& s) { PatchU32(b, s.sections[0].property(2).listEntryOffset + 4, s.sections[0].size); }},
    {"StringLengthBeyondSection", [](auto& b, const auto& s) { PatchU32(b, ValueField(s, 2), 0x7FFFFFF0); }},
    {"WideStringByteLengthOverflows", [](auto& b, const auto& s) { PatchU32(b, ValueField(s, 6), 0x80000001); }},
    {"BlobLengthBeyondSection", [](auto& b, const auto& s) { PatchU32(b, ValueField(s, 24), 0xFFFFFFFC); }},
    {"VectorCountHuge", [](auto& b, const auto& s) { PatchU32(b, ValueField(s, 5), 0xFFFFFFFF); }},
    {"VectorCountBeyondItsElements", [](auto& b, const auto& s) { PatchU32(b, ValueField(s, 5), 40); }},
    {"DictionaryCountHuge",
     [](auto& b, const auto& s) { PatchU32(b, s.sections[0].property(kDictionaryPid).valueOffset, 0x40000000); }},
    {"DictionaryNameBeyondSection",
     [](auto& b, const auto& s) { PatchU32(b, s.sections[0].property(kDictionaryPid).valueOffset + 8, 0x00FFFFFF); }},
    {"StreamShorterThanItsHeader", [](auto& b, const auto&) { b.resize(20); }},
    {"StreamEndsInsideTheSectionList", [](auto& b, const auto&) { b.resize(field::kSectionList + 10); }},
};
INSTANTIATE_TEST_SUITE_P(Fields, PropertySetDamageTest, ::testing::ValuesIn(kDamageCases), testing::CaseName());

}  // namespace
}  // namespace velmora::storage
