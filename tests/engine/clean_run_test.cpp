// Cleaning whole documents in one batch: what is decided from the stored
// bytes, what fails and what still applies, and what the file looks like
// afterwards (no old text anywhere, no growth, aligned values, the same
// property sets as the window's one-property-at-a-time path).
#include "engine/clean_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "engine/document_session.h"
#include "engine/custom_properties.h"
#include "engine/text_conversions.h"
#include "engine/embedded_objects.h"
#include "engine/free_space.h"
#include "engine/stream_bytes.h"
#include "engine/hidden_names.h"
#include "engine/revision_log_names.h"
#include "engine/printer_settings.h"
#include "engine/summary_info_class.h"
#include "engine/summary_reader.h"
#include "storage/compound_file.h"
#include "storage/format_id.h"
#include "storage/little_endian.h"
#include "storage/property_set.h"
#include "storage/property_value.h"
#include "support/compound_file_builder.h"
#include "support/olefile_oracle.h"
#include "support/residue_check.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
namespace ids = storage::format_ids;
using storage::Refusal;

const std::u16string kSiStream = u"\u0005SummaryInformation";
const std::u16string kDsiStream = u"\u0005DocumentSummaryInformation";

CleanSettings Every() {
    CleanSettings settings;
    settings.operations.assign(std::begin(kAllCleanOperations), std::end(kAllCleanOperations));
    return settings;
}

CleanSettings Only(std::vector<CleanOperation> operations) {
    CleanSettings settings;
    settings.operations = std::move(operations);
    return settings;
}

// A stream's bytes and where each of them lies in the file.
struct StreamPlacement {
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> fileOffsets;
};

StreamPlacement PlaceStream(const fs::path& path, std::u16string_view name) {
    storage::MemoryByteSource source(testing::ReadWholeFile(path));
    storage::CompoundFile file(source);
    auto entry = file.findInRoot(name);
    if (!entry) throw std::runtime_error("no such stream");
    storage::StreamReader stream = file.openStream(*entry);
    StreamPlacement placement{stream.readAll(), {}};
    const auto& chain = stream.chain();
    const uint64_t sectorSize = file.sectorSize();
    for (uint64_t offset = 0; offset < placement.bytes.size(); ++offset) {
        if (!stream.inMiniStream()) {
            placement.fileOffsets.push_back(file.sectorOffset(chain[offset / sectorSize]) + offset % sectorSize);
            continue;
        }
        const uint64_t inMini = uint64_t{chain[offset / 64]} * 64 + offset % 64;
        const auto& root = file.miniStream().chain();
        placement.fileOffsets.push_back(file.sectorOffset(root[inMini / sectorSize]) + inMini % sectorSize);
    }
    return placement;
}

// The file offset of a property's stored value (its type word).
uint64_t ValueOffset(const fs::path& path, std::u16string_view streamName, const storage::FormatId& set, uint32_t pid) {
    StreamPlacement placement = PlaceStream(path, streamName);
    storage::MemoryStreamView view(placement.bytes);
    storage::PropertySetReader reader(view);
    const storage::PropertySection* section = reader.findSection(set);
    for (const auto& property : section->properties)
        if (property.pid == pid) return placement.fileOffsets[section->offset + property.offset];
    throw std::runtime_error("no such property");
}

void PatchFile(const fs::path& path, uint64_t offset, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> file = testing::ReadWholeFile(path);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    testing::WriteWholeFile(path, file);
}

std::vector<uint8_t> U32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}

TSummaryInfo Read(const fs::path& path, ReadOutcome* outcome = nullptr) {
    TSummaryInfo info;
    ReadOutcome result = ReadSummaryInfoWithOutcome(path, info);
    EXPECT_TRUE(result.ok) << result.message;
    if (outcome) *outcome = result;
    return info;
}

bool Contains(const std::vector<uint8_t>& haystack, std::string_view needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

class CleanRunFixture : public ::testing::Test {
protected:
    // Without residue (LibreOffice leaves an old directory sector free), so
    // that a test's report holds only the changes it makes.
    fs::path copyOf(const std::string& corpusName, const std::string& as = "") {
        const fs::path copy = folder.path() / (as.empty() ? fs::path(corpusName).filename().string() : as);
        testing::CopyWritable(testing::TestDataPath("corpus/" + corpusName), copy);
        ZeroFreeSpace(copy);
        return copy;
    }
    testing::ScopedTempDir folder;
};

// A damaged value hides nothing else, and a clean that replaces it leaves
// nothing behind: the Template's length claims 5000 bytes.
TEST_F(CleanRunFixture, DamagedValueIsReplacedAndEverythingElseCleaned) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    PatchFile(document, ValueOffset(document, kSiStream, ids::SummaryInformation, 7) + 4, U32(5000));

    ReadOutcome outcome;
    TSummaryInfo before = Read(document, &outcome);
    EXPECT_TRUE(outcome.partial);
    EXPECT_EQ(before.Title, u"Quarterly Report Q3");
    EXPECT_EQ(before.LastAuthor, u"Bob Example");
    EXPECT_EQ(before.Company, u"Example Widgets Ltd");
    EXPECT_EQ(before.Template, u"");

    CleanReport report = CleanDocument(document, Every(), false);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_NE(std::find(report.changed.begin(), report.changed.end(), "Template"), report.changed.end());
    TSummaryInfo after = Read(document, &outcome);
    EXPECT_FALSE(outcome.partial) << outcome.message;
    EXPECT_EQ(after.Title, u"");
    EXPECT_EQ(after.Author, u"");
    EXPECT_EQ(after.LastAuthor, u"");
    EXPECT_EQ(after.Template, u"Normal.dot");
    EXPECT_EQ(after.Created, 0.0);
    EXPECT_EQ(after.Company, u"");
    EXPECT_TRUE(CleanDocument(document, Every(), true).changed.empty());
}

// Damage in a value no operation replaces would be written back as it is:
// that set fails with the damage message, the other set is cleaned, and the
// dry run says exactly the same.
TEST_F(CleanRunFixture, DamageOutsideTheChangesFailsItsSetOnly) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    const fs::path dry = folder.path() / "dry.doc";
    PatchFile(document, ValueOffset(document, kSiStream, ids::SummaryInformation, 3) + 4, U32(5000));  // Subject
    fs::copy_file(document, dry);
    const std::vector<uint8_t> dryBytes = testing::ReadWholeFile(dry);
    const CleanSettings settings = Only({CleanOperation::ClearTitle, CleanOperation::ClearCreated, CleanOperation::SetCompany,
                                        CleanOperation::ClearManager});

    CleanReport planned = CleanDocument(dry, settings, true);
    CleanReport report = CleanDocument(document, settings, false);
    EXPECT_EQ(testing::ReadWholeFile(dry), dryBytes);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.refusal, Refusal::Damaged);
    EXPECT_NE(report.error.find("damaged"), std::string::npos) << report.error;
    auto fields = [](const CleanReport& r) {
        std::vector<std::string> failed;
        for (const auto& failure : r.failed) failed.push_back(failure.field);
        return std::make_pair(r.changed, failed);
    };
    EXPECT_EQ(fields(planned), fields(report));
    EXPECT_EQ(report.changed, (std::vector<std::string>{"Company", "Manager"}));
    ASSERT_EQ(report.failed.size(), 2u);
    EXPECT_EQ(report.failed[0].field, "Title");
    EXPECT_EQ(report.failed[1].field, "Created");
    TSummaryInfo after = Read(document);
    EXPECT_EQ(after.Title, u"Quarterly Report Q3");  // not reported as cleaned, and not cleaned
    EXPECT_EQ(after.Company, u"");
}

// A title stored as VT_BSTR (a counted 8-bit string the decoder does not
// take) is still a title: both paths replace it with the written type.
TEST_F(CleanRunFixture, ValueOfAnotherTypeIsStillCleaned) {
    for (bool batch : {true, false}) {
        SCOPED_TRACE(batch ? "batch" : "one operation");
        const fs::path document = copyOf("generated/lo-ascii.doc", batch ? "batch.doc" : "single.doc");
        const uint64_t at = ValueOffset(document, kSiStream, ids::SummaryInformation, 2);
        PatchFile(document, at, {8, 0});
        if (batch) {
            CleanReport report = CleanDocument(document, Only({CleanOperation::ClearTitle}), false);
            EXPECT_EQ(report.changed, std::vector<std::string>{"Title"});
        } else {
            TSummaryInfoClass(document).SetTitle(u"");
        }
        const uint64_t now = ValueOffset(document, kSiStream, ids::SummaryInformation, 2);
        const std::vector<uint8_t> file = testing::ReadWholeFile(document);
        EXPECT_EQ(storage::LoadU16(file, now), storage::vt::LPStr);
        EXPECT_FALSE(Contains(file, "Quarterly Report Q3"));
    }
}

// A SummaryInformation stream whose header is damaged cannot be judged: the
// window's path does not take its empty cache for a clean title either.
TEST_F(CleanRunFixture, UnreadableSetIsNeverTakenForClean) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    StreamPlacement placement = PlaceStream(document, kSiStream);
    PatchFile(document, placement.fileOffsets[24], U32(0));  // no sections
    EXPECT_THROW(TSummaryInfoClass(document).SetTitle(u""), storage::StorageError);
    CleanReport report = CleanDocument(document, Only({CleanOperation::ClearTitle, CleanOperation::SetCompany}), false);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.changed, std::vector<std::string>{"Company"});
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].field, "Title");
    EXPECT_EQ(report.failed[0].refusal, Refusal::Damaged);
}

// Old text hidden after a stored value's end, up to the next value, is no
// empty title: it is rewritten, and the text goes.
TEST_F(CleanRunFixture, TextHiddenAfterAValueIsNoCleanValue) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    const uint64_t title = ValueOffset(document, kSiStream, ids::SummaryInformation, 2);
    PatchFile(document, title + 4, {1, 0, 0, 0, 0});  // "" followed by "uarterly Report Q3"
    ASSERT_EQ(Read(document).Title, u"");
    const fs::path single = folder.path() / "single.doc";
    fs::copy_file(document, single);
    CleanReport report = CleanDocument(document, Only({CleanOperation::ClearTitle}), false);
    EXPECT_EQ(report.changed, std::vector<std::string>{"Title"});
    EXPECT_FALSE(Contains(testing::ReadWholeFile(document), "uarterly Report"));
    // The window's path too, though its cache already holds the empty title.
    TSummaryInfoClass(single).SetTitle(u"");
    EXPECT_FALSE(Contains(testing::ReadWholeFile(single), "uarterly Report"));
}

// A DocumentSummaryInformation stream that holds only the user-defined
// section: its company and manager are read, and cleaned.
TEST_F(CleanRunFixture, UserDefinedSectionAloneIsCleanedToo) {
    const fs::path document = copyOf("generated/lo-latin.xls");
    StreamPlacement placement = PlaceStream(document, kDsiStream);
    ASSERT_EQ(storage::LoadU32(placement.bytes, 24), 2u);
    std::vector<uint8_t> file = testing::ReadWholeFile(document);
    for (size_t i = 0; i < 20; ++i) file[placement.fileOffsets[28 + i]] = placement.bytes[48 + i];
    file[placement.fileOffsets[24]] = 1;
    testing::WriteWholeFile(document, file);
    TSummaryInfo before = Read(document);
    ASSERT_EQ(before.Company, u"Soci\u00e9t\u00e9 G\u00e9n\u00e9rale d\u2019\u00c9tudes");

    CleanReport report =
        CleanDocument(document, Only({CleanOperation::ResetEditTime, CleanOperation::SetCompany, CleanOperation::ClearManager}), false);
    EXPECT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.changed, (std::vector<std::string>{"EditTime", "Company", "Manager"}));
    const std::vector<uint8_t> after = testing::ReadWholeFile(document);
    EXPECT_FALSE(Contains(after, "rale d"));
    EXPECT_FALSE(Contains(after, "ukasz"));
}

// Two SummaryInformation streams in the root: which one a program takes
// depends on how it walks the tree, so reading and writing refuse alike.
TEST_F(CleanRunFixture, TwoStreamsOfOneNameAreDamage) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    std::vector<uint8_t> file = testing::ReadWholeFile(document);
    std::vector<uint8_t> dsiName;
    for (char16_t unit : kDsiStream) dsiName.insert(dsiName.end(), {static_cast<uint8_t>(unit), 0});
    auto at = std::search(file.begin(), file.end(), dsiName.begin(), dsiName.end());
    ASSERT_NE(at, file.end());
    std::fill(at, at + 64, 0);
    for (size_t i = 0; i < kSiStream.size(); ++i) at[2 * i] = static_cast<uint8_t>(kSiStream[i]);
    at[64] = static_cast<uint8_t>(2 * (kSiStream.size() + 1));
    testing::WriteWholeFile(document, file);

    TSummaryInfo info;
    ReadOutcome outcome = ReadSummaryInfoWithOutcome(document, info);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.refusal, Refusal::Damaged);
    CleanReport report = CleanDocument(document, Every(), false);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.refusal, Refusal::Damaged);
    EXPECT_NE(report.error.find("share one name"), std::string::npos) << report.error;
    EXPECT_EQ(testing::ReadWholeFile(document), file);
}

// The document's SummaryInformation renamed out of the way.
void HideSummaryInformation(const fs::path& document) {
    std::vector<uint8_t> file = testing::ReadWholeFile(document);
    std::vector<uint8_t> name;
    for (char16_t unit : kSiStream) name.insert(name.end(), {static_cast<uint8_t>(unit), 0});
    auto at = std::search(file.begin(), file.end(), name.begin(), name.end());
    ASSERT_NE(at, file.end());
    at[2] = 'X';
    testing::WriteWholeFile(document, file);
}

// Without SummaryInformation, resets have nothing to reset and clears nothing
// to clear; the other set is cleaned; a typed author cannot be stored.
TEST_F(CleanRunFixture, MissingSetFailsOnlyWhatNeedsIt) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    HideSummaryInformation(document);
    const fs::path second = folder.path() / "second.doc";
    fs::copy_file(document, second);

    CleanReport dry = CleanDocument(document, Every(), true);
    CleanReport report = CleanDocument(document, Every(), false);
    EXPECT_TRUE(report.ok) << report.error;
    // LibreOffice's Category, a user-defined property, goes with the custom ones.
    EXPECT_EQ(report.changed, (std::vector<std::string>{"Company", "Manager", "CustomProperties"}));
    EXPECT_EQ(dry.changed, report.changed);
    EXPECT_EQ(Read(document).Company, u"");

    CleanSettings withAuthor = Every();
    withAuthor.author = u"Someone Else";
    report = CleanDocument(second, withAuthor, false);
    EXPECT_FALSE(report.ok);
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].field, "Author");
    EXPECT_EQ(report.failed[0].refusal, Refusal::NoSuchPropertySet);
    EXPECT_EQ(report.changed, (std::vector<std::string>{"Company", "Manager", "CustomProperties"}));
}

// A date stored as FILETIME 0 means "never": it counts as cleared.
TEST_F(CleanRunFixture, NeverDateCountsAsCleared) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    PatchFile(document, ValueOffset(document, kSiStream, ids::SummaryInformation, 11) + 4, std::vector<uint8_t>(8, 0));
    const std::vector<uint8_t> before = testing::ReadWholeFile(document);
    CleanReport report = CleanDocument(document, Only({CleanOperation::ClearLastPrinted}), false);
    EXPECT_TRUE(report.ok);
    EXPECT_TRUE(report.changed.empty());
    EXPECT_EQ(testing::ReadWholeFile(document), before);
    TSummaryInfoClass(document).SetLastPrinted(0.0);
    EXPECT_EQ(testing::ReadWholeFile(document), before);
}

// Gnumeric lays values out unaligned; whatever the editor moves lands on a
// multiple of four.
TEST_F(CleanRunFixture, MovedValuesAreAligned) {
    const fs::path document = copyOf("generated/gnumeric-ascii-dsf.xls");
    ASSERT_TRUE(CleanDocument(document, Every(), false).ok);
    for (const std::u16string& name : {kSiStream, kDsiStream}) {
        StreamPlacement placement = PlaceStream(document, name);
        storage::MemoryStreamView view(placement.bytes);
        storage::PropertySetReader reader(view);
        // The user-defined section has no edit here: it is copied whole, as Gnumeric laid it out.
        for (const auto& section : reader.sections()) {
            if (section.formatId == ids::UserDefinedProperties) continue;
            EXPECT_EQ(section.offset % 4, 0u);
            for (const auto& property : section.properties)
                EXPECT_EQ(property.offset % 4, 0u) << "property " << property.pid << " at " << property.offset;
        }
    }
}

// LibreOffice keeps the company and the manager only as user-defined
// properties: they are read, and cleaning removes them with their names.
TEST_F(CleanRunFixture, UserDefinedCompanyAndManagerAreReadAndRemoved) {
    const fs::path document = copyOf("generated/lo-latin.xls");
    TSummaryInfo before = Read(document);
    EXPECT_EQ(before.Company, u"Soci\u00e9t\u00e9 G\u00e9n\u00e9rale d\u2019\u00c9tudes");
    EXPECT_EQ(before.Manager, u"\u0141ukasz \u017b\u00f3\u0142\u0107");
    EXPECT_EQ(before.Category, u"Rapports financiers");

    CleanReport report = CleanDocument(document, Every(), false);
    ASSERT_TRUE(report.ok) << report.error;
    TSummaryInfo after = Read(document);
    EXPECT_EQ(after.Company, u"");
    EXPECT_EQ(after.Manager, u"");
    const std::vector<uint8_t> file = testing::ReadWholeFile(document);
    EXPECT_FALSE(Contains(file, "rale d"));
    EXPECT_FALSE(Contains(file, "ukasz"));
    EXPECT_TRUE(CleanDocument(document, Every(), true).changed.empty());

    // The window's path does the same for the company.
    const fs::path single = copyOf("generated/lo-latin.xls", "single.xls");
    TSummaryInfoClass(single).SetCompany(u"");
    EXPECT_EQ(Read(single).Company, u"");
    EXPECT_FALSE(Contains(testing::ReadWholeFile(single), "rale d"));  // not "Soci": the template has it too
}

// User-defined properties no other operation owns (Gnumeric's creator and
// printer, a customer, LibreOffice's Category) are listed, and go with their
// names; Company and Manager stay for their own operations.
TEST_F(CleanRunFixture, CustomPropertiesAreListedAndRemovedWithTheirNames) {
    struct Case {
        const char* document;
        std::vector<std::pair<std::u16string, std::u16string>> custom;
        std::vector<std::string> gone;  // 8-bit or UTF-16 bytes
    };
    const Case cases[] = {
        {"generated/gnumeric-ascii-dsf.xls",
         {{u"meta:printed-by", u"Carol Example"}, {u"meta:initial-creator", u"Alice Example"}},
         {"Carol Example", "Alice Example", "meta:printed-by"}},
        {"odd/codepage-1200-lpwstr.doc", {{u"Projekt-Nr.", u"4711"}, {u"Kunde", u"M\u00fcller & S\u00f6hne"}}, {"Kunde"}},
        {"generated/lo-latin.xls", {{u"Category", u"Rapports financiers"}}, {}},
    };
    auto wide = [](const std::string& text) {
        std::string bytes;
        for (char c : text) bytes += {c, '\0'};
        return bytes;
    };
    testing::OlefileOracle oracle;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.document);
        const fs::path document = copyOf(test.document);
        const fs::path original = folder.path() / ("original-" + document.filename().string());
        fs::copy_file(document, original);
        const TSummaryInfo before = Read(document);
        DocumentAnalysis analysis = AnalyzeDocument(document);
        std::vector<std::pair<std::u16string, std::u16string>> listed;
        for (const CustomProperty& property : analysis.custom) listed.emplace_back(property.name, property.value);
        EXPECT_EQ(listed, test.custom);

        const CleanReport report = CleanDocument(document, Only({CleanOperation::ClearCustom}), false);
        ASSERT_TRUE(report.ok) << report.error;
        EXPECT_EQ(report.changed, std::vector<std::string>{"CustomProperties"});
        EXPECT_TRUE(AnalyzeDocument(document).custom.empty());
        const TSummaryInfo after = Read(document);
        EXPECT_EQ(after.Company, before.Company);
        EXPECT_EQ(after.Manager, before.Manager);
        const std::vector<uint8_t> file = testing::ReadWholeFile(document);
        for (const std::string& text : test.gone) {
            EXPECT_FALSE(Contains(file, text)) << text;
            EXPECT_FALSE(Contains(file, wide(text))) << text;
        }
        EXPECT_TRUE(CleanDocument(document, Only({CleanOperation::ClearCustom}), false).changed.empty());

        // Read by olefile: only DocumentSummaryInformation rewritten, every
        // custom name gone from it.
        testing::OracleCase check;
        check.name = test.document;
        check.file = document;
        check.original = original;
        check.stream = "\x05" "DocumentSummaryInformation";
        std::vector<testing::OracleExpectation> expected;
        for (const auto& [name, value] : test.custom) {
            testing::OracleExpectation gone;
            gone.section = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";
            gone.absent = true;
            gone.name = WideToUtf8(name);
            expected.push_back(gone);
        }
        check.outcomes = {expected};
        oracle.add(check);
    }
    EXPECT_TRUE(oracle.verify(folder.path()));

    // A document without custom properties has nothing to do.
    const fs::path plain = copyOf("real/python3-xlrd/namesdemo.xls");
    EXPECT_TRUE(AnalyzeDocument(plain).custom.empty());
    const CleanReport none = CleanDocument(plain, Only({CleanOperation::ClearCustom}), false);
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.changed.empty());
    EXPECT_TRUE(none.failed.empty());
}

// A workbook's printer settings name the printer (often a host and a queue)
// and carry the driver's data: listed, blanked in place; olefile finds
// nothing else changed.
TEST_F(CleanRunFixture, PrinterNamesAreListedAndBlankedInPlace) {
    struct Case {
        const char* document;
        std::vector<std::u16string> printers;
        std::string gone;  // 8-bit, or UTF-16 where the workbook is BIFF8
        bool wide;
    };
    const Case cases[] = {
        {"real/libspreadsheet-parseexcel-perl/AuthorK.xls", {u"EPSON PM-800C"}, "EPSON PM-800C", true},
        {"real/libspreadsheet-parseexcel-perl/Test95.xls", {u"\\\\Lins\\lp", u"\\\\Lins\\lp"}, "\\\\Lins\\lp", false},
        {"real/python3-xlrd/namesdemo.xls", {u"HP Mobile Printing PS"}, "HP Mobile Printing PS", true},
        // Excel for the Mac's print record names no printer: nothing to do.
        {"real/r-cran-gdata/iris.xls", {}, "", true},
    };
    auto stored = [](const std::string& text, bool wide) {
        if (!wide) return text;
        std::string bytes;
        for (char c : text) bytes += {c, '\0'};
        return bytes;
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.document);
        const fs::path document = copyOf(test.document);
        const fs::path original = folder.path() / ("original-" + document.filename().string());
        fs::copy_file(document, original);
        std::vector<std::u16string> listed;
        for (const PrinterPlace& place : AnalyzeDocument(document).printers.places) listed.push_back(place.name);
        EXPECT_EQ(listed, test.printers);
        if (!test.gone.empty()) {
            ASSERT_TRUE(Contains(testing::ReadWholeFile(document), stored(test.gone, test.wide)));
        }

        const CleanReport report = CleanDocument(document, Only({CleanOperation::RemovePrinter}), false);
        ASSERT_TRUE(report.ok) << report.error;
        EXPECT_EQ(report.changed, test.printers.empty() ? std::vector<std::string>{} : std::vector<std::string>{"Printer"});
        EXPECT_TRUE(AnalyzeDocument(document).printers.places.empty());
        if (!test.gone.empty()) {
            EXPECT_FALSE(Contains(testing::ReadWholeFile(document), stored(test.gone, test.wide)));
        }
        EXPECT_TRUE(CleanDocument(document, Only({CleanOperation::RemovePrinter}), false).changed.empty());
        EXPECT_EQ(Read(document).Title, Read(original).Title);

        const std::string command = std::string(VELMORA_PYTHON) + " " VELMORA_TEST_TOOLS_DIR "/printer_oracle.py '" +
                                    original.string() + "' '" + document.string() + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string verdict;
        char buffer[512];
        while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) verdict.append(buffer, got);
        EXPECT_EQ(::pclose(pipe), 0) << verdict;
        EXPECT_EQ(verdict, "ok\n");
    }
}

// No corpus document keeps Word's printer tables; this one is a LibreOffice
// document given them as Word wrote them: the printer, its port and its
// driver (PrDrvr), and the settings for portrait and landscape (PrEnvPort,
// PrEnvLand, each a DEVMODE naming the printer), at the table stream's end.
constexpr char kPrinterDriverText[] = "HP LaserJet 4\0\\\\printsrv\\hp4\0winspool";
constexpr std::string_view kPrinterDriver(kPrinterDriverText, sizeof kPrinterDriverText);  // its last NUL too

std::vector<uint8_t> WithWordPrinterTables(const fs::path& original) {
    const std::vector<uint8_t> bytes = testing::ReadWholeFile(original);
    storage::MemoryByteSource source(bytes);
    storage::CompoundFile file(source);
    std::map<std::u16string, std::vector<uint8_t>> streams;
    for (const auto& entry : file.rootChildren()) streams[entry.name] = file.openStream(entry).readAll();
    std::vector<uint8_t>& word = streams.at(u"WordDocument");
    HeldStreamBytes held(word);
    std::string problem;
    const std::optional<FibPairs> fib = ReadFibPairs(held, problem);
    EXPECT_TRUE(fib && fib->count > 29) << problem;
    std::vector<uint8_t>& table = streams.at(fib->tableName);
    auto text = [](std::string_view value) { return std::vector<uint8_t>(value.begin(), value.end()); };
    auto devMode = [&](std::string_view printer, uint16_t orientation) {
        std::vector<uint8_t> mode(32, 0);
        std::copy(printer.begin(), printer.end(), mode.begin());
        const uint16_t fields[] = {0x0400, 0x0001, 68, 12, 0, 0, orientation, 9, 0, 0, 100, 1};
        for (uint16_t field : fields) mode.insert(mode.end(), {static_cast<uint8_t>(field), static_cast<uint8_t>(field >> 8)});
        mode.resize(68, 0);
        const std::vector<uint8_t> driver = text("job owner: Grace Hopper");  // what a driver may keep
        mode.insert(mode.end(), driver.begin(), driver.begin() + 12);
        return mode;
    };
    const std::vector<std::vector<uint8_t>> tables = {
        text(kPrinterDriver), devMode("HP LaserJet 4", 1),
        devMode("HP LaserJet 4", 2)};
    for (size_t i = 0; i < tables.size(); ++i) {
        const uint32_t fc = static_cast<uint32_t>(table.size()), lcb = static_cast<uint32_t>(tables[i].size());
        table.insert(table.end(), tables[i].begin(), tables[i].end());
        const size_t at = fib->offset + 8 * (27 + i);
        storage::StoreU32(word, at, fc);
        storage::StoreU32(word, at + 4, lcb);
    }
    testing::CompoundFileBuilder builder(3);
    for (auto& [name, content] : streams) builder.addStream(name, content);
    return builder.build().bytes;
}

TEST_F(CleanRunFixture, WordPrinterTablesAreListedAndDropped) {
    const fs::path document = folder.path() / "printer.doc";
    testing::WriteWholeFile(document, WithWordPrinterTables(testing::TestDataPath("hidden-names/lo-comments.doc")));
    const fs::path original = folder.path() / "printer-original.doc";
    fs::copy_file(document, original);
    std::vector<std::pair<std::string, std::u16string>> listed;
    for (const PrinterPlace& place : AnalyzeDocument(document).printers.places) listed.emplace_back(place.where, place.name);
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::u16string>>{
                          {"PrDrvr", u"HP LaserJet 4"}, {"PrEnvPort", u"HP LaserJet 4"}, {"PrEnvLand", u"HP LaserJet 4"}}));

    const CleanReport report = CleanDocument(document, Only({CleanOperation::RemovePrinter}), false);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.changed, std::vector<std::string>{"Printer"});
    EXPECT_TRUE(AnalyzeDocument(document).printers.places.empty());
    const std::vector<uint8_t> after = testing::ReadWholeFile(document);
    for (const char* gone : {"HP LaserJet", "printsrv", "Grace Hopper"}) EXPECT_FALSE(Contains(after, gone)) << gone;
    EXPECT_TRUE(CleanDocument(document, Only({CleanOperation::RemovePrinter}), false).changed.empty());
    // The FIB names no printer table any more; the comments and their
    // authors, and every other stream, are as they were.
    storage::MemoryByteSource source(after);
    storage::CompoundFile file(source);
    std::vector<uint8_t> word = file.openStream(*file.findInRoot(u"WordDocument")).readAll();
    HeldStreamBytes held(word);
    std::string problem;
    const std::optional<FibPairs> fib = ReadFibPairs(held, problem);
    ASSERT_TRUE(fib);
    for (size_t pair : {27, 28, 29}) EXPECT_FALSE(fib->at(pair)) << pair;
    EXPECT_EQ(ScanHiddenNames(document).names.size(), ScanHiddenNames(original).names.size());
    EXPECT_EQ(Read(document).Title, Read(original).Title);
}

// A workbook embedded in a Word document keeps its own author, last editor
// and WriteAccess: listed, and reported as not cleaned (never as clean),
// while the document around it is cleaned and the object left as it was.
TEST_F(CleanRunFixture, EmbeddedObjectsAreListedAndReportedAsNotCleaned) {
    const fs::path document = folder.path() / "embedded.doc";
    testing::CopyWritable(testing::TestDataPath("embedded/lo-workbook-in-word.doc"), document);
    const std::u16string storage = u"ObjectPool/_2147483647";
    const auto innerStreams = [&](const fs::path& path) {
        const std::vector<uint8_t> bytes = testing::ReadWholeFile(path);
        storage::MemoryByteSource source(bytes);
        storage::CompoundFile file(source);
        std::map<std::u16string, std::vector<uint8_t>> streams;
        for (const EmbeddedStorage& found : FindEmbeddedStorages(file))
            for (const storage::DirectoryEntry& child : found.children)
                if (child.type == storage::ObjectType::Stream)
                    streams[found.path + u"/" + child.name] = file.openStream(child).readAll();
        return streams;
    };
    const auto before = innerStreams(document);
    ASSERT_EQ(before.size(), 5u);

    const DocumentAnalysis analysis = AnalyzeDocument(document);
    ASSERT_EQ(analysis.embedded.size(), 1u);
    const EmbeddedObject& object = analysis.embedded[0];
    EXPECT_EQ(object.storage, storage);
    EXPECT_TRUE(object.outcome.ok);
    EXPECT_EQ(object.info.Author, u"Inner Author");
    EXPECT_EQ(object.info.LastAuthor, u"Inner Editor");
    EXPECT_EQ(object.info.Title, u"Inner title");
    ASSERT_EQ(object.hidden.names.size(), 1u);
    EXPECT_EQ(object.hidden.names[0].where, "WriteAccess");
    EXPECT_FALSE(object.cleanable);

    for (bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "dry run" : "clean");
        const CleanReport report = CleanDocument(document, Every(), dryRun);
        EXPECT_FALSE(report.ok);
        std::vector<std::string> failed;
        for (const FieldFailure& failure : report.failed) failed.push_back(failure.field);
        for (const char* field : {"Title", "Author", "LastAuthor"})
            EXPECT_NE(std::find(failed.begin(), failed.end(), "ObjectPool/_2147483647/" + std::string(field)), failed.end())
                << field;
        EXPECT_NE(report.error.find("not cleaned"), std::string::npos) << report.error;
    }
    // The document around it is clean; the object is as it was, and still
    // opens in olefile.
    EXPECT_EQ(Read(document).Author, u"");
    EXPECT_EQ(innerStreams(document), before);
    const std::string command = std::string(VELMORA_PYTHON) +
                                " -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1]); "
                                "print(o.getproperties(['ObjectPool','_2147483647','\\x05SummaryInformation'])[4])\" '" +
                                document.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string printed;
    char buffer[256];
    while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) printed.append(buffer, got);
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(printed, "b'Inner Author'\n");
}

// A free sector in the middle of the file and the tail of a stream's last
// sector hold an old name; cleaning leaves it nowhere.
TEST_F(CleanRunFixture, OldTextInFreeSpaceIsWiped) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    std::vector<uint8_t> file = testing::ReadWholeFile(document);
    const std::string marker = "Old Author Name 1999";
    std::vector<uint8_t> text(512);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>(marker[i % marker.size()]);

    // Move the last sector of WordDocument past a new free sector of old text.
    storage::MemoryByteSource source(file);
    storage::CompoundFile compound(source);
    auto entry = compound.findInRoot(u"WordDocument");
    ASSERT_TRUE(entry && entry->streamSize >= 4096 && entry->streamSize % 512 != 0);
    std::vector<uint32_t> chain = compound.openStream(*entry).chain();
    ASSERT_GE(chain.size(), 2u);
    const uint32_t fatSector = compound.fatSectorLocation(0);
    const uint32_t freeSector = static_cast<uint32_t>(file.size() / 512 - 1);
    const uint32_t moved = freeSector + 1;
    ASSERT_LT(moved, 128u);
    auto fatEntry = [&](uint32_t sector) { return (uint64_t{fatSector} + 1) * 512 + 4 * sector; };
    std::vector<uint8_t> last(file.begin() + static_cast<std::ptrdiff_t>(compound.sectorOffset(chain.back())),
                              file.begin() + static_cast<std::ptrdiff_t>(compound.sectorOffset(chain.back()) + 512));
    const size_t used = entry->streamSize % 512;
    std::copy_n(text.begin(), 512 - used, last.begin() + static_cast<std::ptrdiff_t>(used));
    file.insert(file.end(), text.begin(), text.end());
    file.insert(file.end(), last.begin(), last.end());
    storage::StoreU32(file, fatEntry(chain[chain.size() - 2]), moved);
    storage::StoreU32(file, fatEntry(moved), storage::kEndOfChain);
    storage::StoreU32(file, fatEntry(freeSector), storage::kFreeSector);
    storage::StoreU32(file, fatEntry(chain.back()), storage::kFreeSector);
    testing::WriteWholeFile(document, file);
    const std::vector<uint8_t> wordDocument = PlaceStream(document, u"WordDocument").bytes;

    ASSERT_TRUE(CleanDocument(document, Only({CleanOperation::ClearTitle}), false).ok);
    const std::vector<uint8_t> after = testing::ReadWholeFile(document);
    EXPECT_FALSE(Contains(after, marker.substr(0, 12)));
    EXPECT_EQ(PlaceStream(document, u"WordDocument").bytes, wordDocument);
}

// Old bytes in the unused tail of a stream's last sector, in a document with
// nothing else to clean: the clean zeroes them and says so (a dry run says
// so and writes nothing), and the clean after it changes nothing.
TEST_F(CleanRunFixture, ResidueAloneIsStillCleaned) {
    const fs::path document = copyOf("generated/lo-ascii.doc");
    ASSERT_TRUE(CleanDocument(document, Every(), false).ok);
    const StreamPlacement word = PlaceStream(document, u"WordDocument");
    ASSERT_NE(word.bytes.size() % 512, 0u);
    const std::string marker = "Old Author Name";
    PatchFile(document, word.fileOffsets.back() + 1, std::vector<uint8_t>(marker.begin(), marker.end()));
    const std::vector<uint8_t> planted = testing::ReadWholeFile(document);
    EXPECT_EQ(MeasureResidue(document), std::optional<uint64_t>(512 - word.bytes.size() % 512));

    CleanReport dry = CleanDocument(document, Every(), true);
    EXPECT_TRUE(dry.ok);
    EXPECT_EQ(dry.changed, std::vector<std::string>{"FreeSpace"});
    EXPECT_EQ(testing::ReadWholeFile(document), planted);

    CleanReport report = CleanDocument(document, Every(), false);
    EXPECT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.changed, std::vector<std::string>{"FreeSpace"});
    const std::vector<uint8_t> after = testing::ReadWholeFile(document);
    EXPECT_FALSE(Contains(after, marker));
    EXPECT_EQ(PlaceStream(document, u"WordDocument").bytes, word.bytes);
    EXPECT_EQ(MeasureResidue(document), std::optional<uint64_t>(0));
    size_t differing = 0;
    for (size_t i = 0; i < after.size(); ++i) differing += after[i] != planted[i];
    EXPECT_EQ(differing, marker.size()) << "only the residue changes";

    EXPECT_TRUE(CleanDocument(document, Every(), false).changed.empty());
    EXPECT_EQ(testing::ReadWholeFile(document), after);
}

// Layouts in which a clean once left an old copy of a name in freed
// sectors: what the clean kept of SummaryInformation moved into the mini
// stream, which had to move past the end of the file and back, and its old
// sectors, holding every small stream as it was, were freed unzeroed. After
// the clean no name it blanked is left anywhere in the file, in either form
// a document stores text in, a name it kept is stored once, and the clean
// after it changes nothing.
TEST(CleanedDocuments, KeepNoCopyOfABlankedName) {
    struct Case {
        const char* document;
        std::vector<CleanOperation> operations;  // empty: every operation
        std::vector<std::string> gone;  // stored 8-bit or as UTF-16
        std::vector<std::string> goneNarrow;  // also a stream's name, as UTF-16
        std::vector<std::string> kept;  // still in the document, once
    };
    const Case cases[] = {
        {"lo-notes-long-description.xls", {CleanOperation::ClearComments}, {"line 017"}, {}, {"Grace Hopper", "Ada Lovelace"}},
        {"lo-notes-long-description.xls", {}, {"Grace Hopper", "Ada Lovelace", "Meta Creator", "Meta Editor"}, {}, {}},
        {"lo-embedded-workbook.ppt", {CleanOperation::RemoveThumbnail, CleanOperation::ClearLastEditedBy}, {}, {"Current User"}, {"Meta Creator"}},
        {"lo-embedded-workbook.ppt", {}, {"Meta Creator"}, {"Current User"}, {}},
    };
    auto wide = [](const std::string& text) {
        std::string bytes;
        for (char c : text) bytes += {c, '\0'};
        return bytes;
    };
    auto count = [](const std::vector<uint8_t>& haystack, const std::string& needle) {
        size_t found = 0;
        for (auto at = haystack.begin(); (at = std::search(at, haystack.end(), needle.begin(), needle.end())) != haystack.end(); ++at)
            ++found;
        return found;
    };
    testing::ScopedTempDir folder;
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.document) + (test.operations.empty() ? " every operation" : " some operations"));
        const fs::path copy = folder.path() / test.document;
        fs::remove(copy);
        testing::CopyWritable(testing::TestDataPath(std::string("residue/") + test.document), copy);
        const CleanSettings settings = test.operations.empty() ? Every() : Only(test.operations);
        const std::vector<uint8_t> before = testing::ReadWholeFile(copy);
        for (const auto& names : {test.gone, test.goneNarrow, test.kept})
            for (const std::string& name : names) ASSERT_GT(count(before, name) + count(before, wide(name)), 0u) << name;

        const CleanReport report = CleanDocument(copy, settings, false);
        EXPECT_TRUE(report.ok) << report.error;
        const std::vector<uint8_t> after = testing::ReadWholeFile(copy);
        for (const std::string& name : test.gone) EXPECT_EQ(count(after, name) + count(after, wide(name)), 0u) << name;
        for (const std::string& name : test.goneNarrow) EXPECT_EQ(count(after, name), 0u) << name;
        for (const std::string& name : test.kept) EXPECT_EQ(count(after, name) + count(after, wide(name)), 1u) << name;
        EXPECT_EQ(MeasureResidue(copy), std::optional<uint64_t>(0));
        EXPECT_EQ(testing::BytesNothingHolds(after), 0u);
        EXPECT_TRUE(CleanDocument(copy, settings, false).changed.empty());
        EXPECT_EQ(testing::ReadWholeFile(copy), after);
    }
}

// Zeroing residue writes as any change does: not while an office program
// has the document open, however clean its properties already are.
TEST(CleanedDocuments, ResidueIsNotZeroedUnderAnOfficeLock) {
    testing::ScopedTempDir folder;
    const fs::path document = folder.path() / "held.doc";
    testing::CopyWritable(testing::TestDataPath("corpus/generated/lo-ascii.doc"), document);
    ASSERT_TRUE(CleanDocument(document, Every(), false).ok);
    const StreamPlacement word = PlaceStream(document, u"WordDocument");
    PatchFile(document, word.fileOffsets.back() + 1, {'o', 'l', 'd'});
    ASSERT_GT(MeasureResidue(document).value_or(0), 0u);
    testing::WriteWholeFile(folder.path() / ".~lock.held.doc#",
                            testing::BytesOf("Someone,someone,deskhost,10.12.2026 10:00,file:///home/someone;"));
    const std::vector<uint8_t> before = testing::ReadWholeFile(document);
    const CleanReport report = CleanDocument(document, Every(), false);
    EXPECT_FALSE(report.ok);
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].field, "FreeSpace");
    EXPECT_EQ(report.failed[0].refusal, Refusal::OfficeLockFile);
    EXPECT_EQ(testing::ReadWholeFile(document), before);
}

// The window's cleaning run with every box ticked.
void EveryOperationOneAtATime(const fs::path& path, const std::u16string& author) {
    TSummaryInfoClass document(path);
    document.SetTitle(u"");
    document.SetSubject(u"");
    document.SetKeywords(u"");
    document.SetComments(u"");
    document.SetTemplate(u"Normal.dot");
    document.SetRevNumber(u"1");
    document.SetEditTime(kZeroEditTime);
    document.RemoveRevisionLog();
    document.RemoveThumbnail();
    document.RemoveGuid();
    document.RemoveHLinks();
    document.SetLastAuthor(u"");
    document.SetLastSaved(0.0);
    document.SetLastPrinted(0.0);
    document.SetCreated(0.0);
    document.SetAuthor(author);
    document.SetCompany(u"");
    document.ZeroFreeSpace();
}

uint64_t SummaryStreamsSize(const fs::path& path) {
    storage::MemoryByteSource source(testing::ReadWholeFile(path));
    storage::CompoundFile file(source);
    uint64_t total = 0;
    for (const std::u16string& name : {kSiStream, kDsiStream})
        if (auto entry = file.findInRoot(name)) total += entry->streamSize;
    return total;
}

// A clean never makes a document larger than its property sets grew,
// rounded up to whole sectors, and leaves no old byte in free space; a
// second clean then has nothing to do. The per-operation path neither.
TEST(CleanedDocuments, DoNotGrowAndLeaveNoResidue) {
    testing::ScopedTempDir folder;
    for (const fs::path& original : testing::CorpusDocuments()) {
        for (bool batch : {true, false}) {
            SCOPED_TRACE(original.filename().string() + (batch ? " batch" : " one at a time"));
            const fs::path copy = folder.path() / ((batch ? "b-" : "s-") + original.filename().string());
            testing::CopyWritable(original, copy);
            const uint64_t sizeBefore = fs::file_size(copy), streamsBefore = SummaryStreamsSize(copy);
            if (batch) {
                CleanDocument(copy, Every(), false);
            } else {
                try {
                    EveryOperationOneAtATime(copy, u"");
                } catch (const storage::StorageError&) {
                }
            }
            const uint64_t streamsAfter = SummaryStreamsSize(copy);
            const uint64_t sectorSize = storage::LoadU16(testing::ReadWholeFile(copy), 30) == 12 ? 4096 : 512;
            const uint64_t allowed =
                streamsAfter > streamsBefore ? (streamsAfter - streamsBefore + sectorSize - 1) / sectorSize * sectorSize : 0;
            EXPECT_LE(fs::file_size(copy), sizeBefore + allowed);
            const std::optional<uint64_t> residue = MeasureResidue(copy);
            if (!residue) continue;  // refused by the writer too: nothing was written
            EXPECT_EQ(*residue, 0u);
            EXPECT_EQ(testing::BytesNothingHolds(testing::ReadWholeFile(copy)), 0u) << "old bytes the survey misses";
            if (!batch) continue;
            const std::vector<uint8_t> cleaned = testing::ReadWholeFile(copy);
            const CleanReport again = CleanDocument(copy, Every(), false);
            EXPECT_TRUE(again.changed.empty()) << again.changed.front();
            EXPECT_EQ(testing::ReadWholeFile(copy), cleaned) << "a second clean changed a byte";
        }
    }
}

// Every property of a set as stored: ids in order, type words and value
// bytes (without trailing zeros, which are layout), the code page and the
// dictionary, section by section.
std::string Describe(const fs::path& path, std::u16string_view stream) {
    storage::MemoryByteSource source(testing::ReadWholeFile(path));
    storage::CompoundFile file(source);
    auto entry = file.findInRoot(stream);
    if (!entry) return "absent";
    std::vector<uint8_t> bytes = file.openStream(*entry).readAll();
    storage::MemoryStreamView view(bytes);
    storage::PropertySetReader reader(view);
    std::string text;
    for (const auto& section : reader.sections()) {
        text += section.formatId.toString() + " cp " + std::to_string(reader.codePage(section)) + "\n";
        for (const auto& name : reader.dictionary(section)) text += " name " + std::to_string(name.pid) + " " + testing::Hex(name.nameBytes) + "\n";
        for (const auto& property : section.properties) {
            if (property.pid == storage::kDictionaryPid) continue;
            auto extent = std::span(bytes).subspan(section.offset + property.offset, storage::ValueLimit(section, property.offset) - property.offset);
            std::string value(extent.begin(), extent.end());
            while (!value.empty() && value.back() == '\0') value.pop_back();
            text += " " + std::to_string(property.pid) + " " + testing::Hex(value) + "\n";
        }
    }
    return text;
}

// The batch and the window's one-commit-per-operation path plan alike: the
// same operations leave the same property sets.
TEST(CleanPaths, BatchAndSingleOperationsLeaveTheSamePropertySets) {
    testing::ScopedTempDir folder;
    const CleanSettings settings = [] {
        CleanSettings s = Every();
        // No single operation of their own.
        for (CleanOperation none : {CleanOperation::ClearManager, CleanOperation::ClearCustom, CleanOperation::RemovePrinter})
            std::erase(s.operations, none);
        s.author = u"A. Nonymous";
        return s;
    }();
    for (const fs::path& original : testing::CorpusDocuments()) {
        SCOPED_TRACE(original.filename().string());
        const fs::path batch = folder.path() / ("b-" + original.filename().string());
        const fs::path single = folder.path() / ("s-" + original.filename().string());
        testing::CopyWritable(original, batch);
        testing::CopyWritable(original, single);
        CleanReport report = CleanDocument(batch, settings, false);
        bool singleOk = true;
        try {
            EveryOperationOneAtATime(single, settings.author);
        } catch (const storage::StorageError&) {
            singleOk = false;
        }
        if (!report.ok || !singleOk) continue;  // the CJK documents cannot store the author; compared elsewhere
        EXPECT_EQ(Describe(batch, kSiStream), Describe(single, kSiStream));
        EXPECT_EQ(Describe(batch, kDsiStream), Describe(single, kDsiStream));
    }
}

}  // namespace
}  // namespace velmora::engine
