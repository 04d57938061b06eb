#include "storage/property_set_editor.h"

#include <gtest/gtest.h>

#include <map>

#include "storage/property_set.h"
#include "storage/storage_error.h"
#include "storage/stream_view.h"
#include "support/case_name.h"
#include "support/property_set_builder.h"

namespace velmora::storage {
namespace {

using testing::PropertySectionBuilder;
using testing::PropertySetBuilder;
using testing::TypedValue;

// Each property's stored bytes, from its offset to the next one's, by PID.
std::map<uint32_t, std::vector<uint8_t>> StoredExtents(const std::vector<uint8_t>& stream, const FormatId& id) {
    MemoryStreamView view(stream);
    PropertySetReader reader(view);
    const PropertySection* section = reader.findSection(id);
    std::map<uint32_t, std::vector<uint8_t>> extents;
    if (!section) return extents;
    std::vector<uint32_t> offsets;
    for (const auto& p : section->properties) offsets.push_back(p.offset);
    std::sort(offsets.begin(), offsets.end());
    for (const auto& p : section->properties) {
        auto next = std::upper_bound(offsets.begin(), offsets.end(), p.offset);
        uint32_t end = next == offsets.end() ? section->size : *next;
        auto begin = stream.begin() + section->offset + p.offset;
        extents[p.pid] = std::vector<uint8_t>(begin, begin + (end - p.offset));
    }
    return extents;
}

std::vector<uint32_t> Pids(const std::vector<uint8_t>& stream, const FormatId& id) {
    MemoryStreamView view(stream);
    PropertySetReader reader(view);
    std::vector<uint32_t> pids;
    for (const auto& p : reader.findSection(id)->properties) pids.push_back(p.pid);
    return pids;
}

PropertyValue ValueOf(const std::vector<uint8_t>& stream, const FormatId& id, uint32_t pid) {
    MemoryStreamView view(stream);
    PropertySetReader reader(view);
    const PropertySection* section = reader.findSection(id);
    for (const auto& p : section->properties)
        if (p.pid == pid) return reader.readValue(*section, p);
    return {};
}

// A summary section as libgsf writes it: unaligned offsets, packed vector
// strings, a type nobody reads, keywords as a list.
std::vector<uint8_t> UnalignedSummary() {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.codePage(1252)
        .set(2, TypedValue::LPStr("Quarterly Report"))
        .set(5, TypedValue::LPStrVector({"budget", "forecast", "2021"}))
        .set(42, TypedValue::Raw(0x0048, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}))
        .set(9, TypedValue::UI4(17))
        .set(4, TypedValue::LPStr("Bob Example"));
    return PropertySetBuilder().addSection(section).padStringsInVectors(false).alignPropertyOffsets(false).build().bytes;
}

TEST(EditPropertySet, ReplacingOneValueCopiesEveryOtherByteForByte) {
    const std::vector<uint8_t> stream = UnalignedSummary();
    const auto before = StoredExtents(stream, format_ids::SummaryInformation);
    PropertyEdit edit{format_ids::SummaryInformation, 2, StoredText8Value("", false), false};
    auto edited = EditPropertySet(stream, std::span(&edit, 1));
    ASSERT_TRUE(edited.has_value());
    const auto after = StoredExtents(*edited, format_ids::SummaryInformation);
    for (const auto& [pid, bytes] : before) {
        if (pid == 2) continue;
        // The stored bytes stay; at most alignment padding follows them now.
        const std::vector<uint8_t>& now = after.at(pid);
        ASSERT_GE(now.size(), bytes.size()) << "PID " << pid;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), now.begin())) << "PID " << pid;
        EXPECT_TRUE(std::all_of(now.begin() + static_cast<std::ptrdiff_t>(bytes.size()), now.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_LT(now.size() - bytes.size(), 4u);
    }
    EXPECT_EQ(ValueOf(*edited, format_ids::SummaryInformation, 2).text8, std::string("\0", 1));
    EXPECT_EQ(Pids(*edited, format_ids::SummaryInformation), Pids(stream, format_ids::SummaryInformation));
    EXPECT_EQ(ValueOf(*edited, format_ids::SummaryInformation, 5).elements.size(), 3u);
}

TEST(EditPropertySet, AddsAMissingPropertyAtTheEnd) {
    const std::vector<uint8_t> stream = UnalignedSummary();
    PropertyEdit edit{format_ids::SummaryInformation, 13, StoredFileTimeValue(94'353'120'000'000'000), false};
    auto edited = EditPropertySet(stream, std::span(&edit, 1));
    ASSERT_TRUE(edited.has_value());
    auto pids = Pids(*edited, format_ids::SummaryInformation);
    EXPECT_EQ(pids.back(), 13u);
    EXPECT_EQ(pids.size(), Pids(stream, format_ids::SummaryInformation).size() + 1);
    EXPECT_EQ(ValueOf(*edited, format_ids::SummaryInformation, 13).fileTime, 94'353'120'000'000'000u);
    EXPECT_EQ(edited->size() % 4, 0u);
}

TEST(EditPropertySet, DeletingWhatIsNotThereChangesNothing) {
    const std::vector<uint8_t> stream = UnalignedSummary();
    PropertyEdit edits[] = {{format_ids::SummaryInformation, 77, std::nullopt, false},
                            {format_ids::UserDefinedProperties, 2, std::nullopt, true}};
    EXPECT_FALSE(EditPropertySet(stream, edits).has_value());
}

TEST(EditPropertySet, AValueForAMissingSectionIsRefused) {
    const std::vector<uint8_t> stream = UnalignedSummary();
    PropertyEdit edit{format_ids::DocSummaryInformation, 15, StoredText8Value("ACME", false), false};
    try {
        EditPropertySet(stream, std::span(&edit, 1));
        ADD_FAILURE();
    } catch (const StorageError& error) {
        EXPECT_EQ(error.reason(), Refusal::NoSuchPropertySet);
    }
}

struct DictionaryCase {
    const char* name;
    bool wide;
};

class NamedPropertyRemovalTest : public ::testing::TestWithParam<DictionaryCase> {};

TEST_P(NamedPropertyRemovalTest, DropsTheValueAndItsName) {
    PropertySectionBuilder document(format_ids::DocSummaryInformation);
    document.codePage(GetParam().wide ? 1200 : 1252).set(15, TypedValue::LPStr("ACME")).set(18, TypedValue::LPStr("{GUID}"));
    PropertySectionBuilder user(format_ids::UserDefinedProperties);
    user.codePage(GetParam().wide ? 1200 : 1252);
    if (GetParam().wide)
        user.dictionary16({{2, u"_PID_GUID"}, {3, u"Kunde"}});
    else
        user.dictionary8({{2, "_PID_GUID"}, {3, "Kunde"}});
    user.set(2, TypedValue::Blob({'{', 0, 'x', 0, '}', 0})).set(3, TypedValue::I4(4711));
    const std::vector<uint8_t> stream = PropertySetBuilder().addSection(document).addSection(user).build().bytes;

    PropertyEdit edits[] = {{format_ids::DocSummaryInformation, 18, std::nullopt, false},
                            {format_ids::UserDefinedProperties, 2, std::nullopt, true}};
    auto edited = EditPropertySet(stream, edits);
    ASSERT_TRUE(edited.has_value());
    EXPECT_EQ(Pids(*edited, format_ids::DocSummaryInformation), (std::vector<uint32_t>{1, 15}));
    EXPECT_EQ(Pids(*edited, format_ids::UserDefinedProperties), (std::vector<uint32_t>{1, 0, 3}));
    MemoryStreamView view(*edited);
    PropertySetReader reader(view);
    auto dictionary = reader.dictionary(*reader.findSection(format_ids::UserDefinedProperties));
    ASSERT_EQ(dictionary.size(), 1u);
    EXPECT_EQ(dictionary[0].pid, 3u);
    EXPECT_EQ(ValueOf(*edited, format_ids::UserDefinedProperties, 3).integer, 4711);
    // The code page survives both sections' rewriting.
    EXPECT_EQ(reader.codePage(*reader.findSection(format_ids::UserDefinedProperties)), GetParam().wide ? 1200 : 1252);
}

INSTANTIATE_TEST_SUITE_P(Dictionaries, NamedPropertyRemovalTest,
                         ::testing::Values(DictionaryCase{"EightBit", false}, DictionaryCase{"Utf16", true}),
                         testing::CaseName());

TEST(EditPropertySet, PropertiesSharingOneValueKeepSharingIt) {
    PropertySectionBuilder section(format_ids::SummaryInformation);
    section.set(4, TypedValue::LPStr("Same Person")).set(8, TypedValue::LPStr("Same Person")).set(2, TypedValue::LPStr("T"));
    testing::BuiltPropertySet built = PropertySetBuilder().addSection(section).build();
    std::vector<uint8_t> stream = built.bytes;
    // Point PID 8 at PID 4's value, as a space-saving writer might.
    const auto& placement = built.sections[0];
    uint32_t shared = placement.property(4).valueOffset - placement.offset;
    for (int i = 0; i < 4; ++i) stream[placement.property(8).listEntryOffset + 4 + i] = static_cast<uint8_t>(shared >> (8 * i));

    PropertyEdit edit{format_ids::SummaryInformation, 2, StoredText8Value("", false), false};
    auto edited = EditPropertySet(stream, std::span(&edit, 1));
    ASSERT_TRUE(edited.has_value());
    EXPECT_EQ(ValueOf(*edited, format_ids::SummaryInformation, 4).text8, std::string("Same Person\0", 12));
    EXPECT_EQ(ValueOf(*edited, format_ids::SummaryInformation, 8).text8, std::string("Same Person\0", 12));
}

TEST(StoredValues, TextsArePaddedAndTerminated) {
    EXPECT_EQ(StoredText8Value("ab", false), (std::vector<uint8_t>{30, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 0, 0}));
    EXPECT_EQ(StoredText8Value(std::string("a\0", 2), true), (std::vector<uint8_t>{30, 0, 0, 0, 4, 0, 0, 0, 'a', 0, 0, 0}));
    EXPECT_EQ(StoredText8Value("", false), (std::vector<uint8_t>{30, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace velmora::storage
