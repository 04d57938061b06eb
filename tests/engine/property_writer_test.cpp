// Writes that must be refused leave the document byte for byte as it was;
// the fixes to time zones and editing time hold in any zone.
#include "engine/property_writer.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "engine/date_time_conversions.h"
#include "engine/summary_info_class.h"
#include "engine/summary_reader.h"
#include "storage/file_byte_source.h"
#include "storage/property_value.h"
#include "storage/storage_error.h"
#include "support/case_name.h"
#include "support/test_paths.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using storage::Refusal;

const char* const kNamesdemo = "corpus/real/python3-xlrd/namesdemo.xls";

std::string Hostname() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A process that is certainly gone: one we started and reaped.
pid_t DeadProcess() {
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

struct RefusalCase {
    const char* name;
    std::function<void(const fs::path& document)> arrange;
    Refusal expected;  // None: the write goes through
};

class WriteRefusalTest : public ::testing::TestWithParam<RefusalCase> {
protected:
    testing::ScopedTempDir folder;
};

TEST_P(WriteRefusalTest, RefusedWritesChangeNothing) {
    const fs::path document = folder.path() / "Quarterly report.xls";
    testing::CopyWritable(testing::TestDataPath(kNamesdemo), document);
    GetParam().arrange(document);
    const auto before = testing::ReadWholeFile(document);

    Refusal refusal = Refusal::None;
    try {
        TSummaryInfoClass cleaner(document);
        cleaner.SetAuthor(u"Someone Else");
    } catch (const storage::StorageError& error) {
        refusal = error.reason();
        EXPECT_FALSE(std::string(error.what()).empty());
    }
    EXPECT_EQ(refusal, GetParam().expected);
    if (GetParam().expected != Refusal::None) {
        EXPECT_EQ(testing::ReadWholeFile(document), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteRefusalTest, ::testing::Values(
    RefusalCase{"ReadOnly", [](const fs::path& d) { ::chmod(d.c_str(), 0444); }, Refusal::ReadOnly},
    RefusalCase{"NotACompoundFile", [](const fs::path& d) { WriteText(d, "Dear Sir, this is not a spreadsheet."); },
                Refusal::NotCompoundFile},
    RefusalCase{"LiveLibreOfficeLockOnThisHost",
                [](const fs::path& d) {
                    WriteText(d.parent_path() / (".~lock." + d.filename().string() + "#"),
                              ",tester," + Hostname() + "," + std::to_string(::getpid()) + ",10.12.2026 11:00,file:///home/tester;");
                },
                Refusal::OfficeLockFile},
    RefusalCase{"LibreOfficeLockFromAnotherHost",
                [](const fs::path& d) {
                    WriteText(d.parent_path() / (".~lock." + d.filename().string() + "#"),
                              ",tester,some-other-host,12345,10.12.2026 11:00,file:///home/tester;");
                },
                Refusal::OfficeLockFile},
    RefusalCase{"LibreOfficeLockWithoutProcess",
                [](const fs::path& d) {
                    WriteText(d.parent_path() / (".~lock." + d.filename().string() + "#"),
                              "Tester,tester," + Hostname() + ",10.12.2026 11:00,file:///home/tester;");
                },
                Refusal::OfficeLockFile},
    // Lock files record no process, so none can be proven stale: a lock a
    // crashed session left still refuses, and its message says what to do.
    RefusalCase{"LibreOfficeLockLeftBehindStillRefuses",
                [](const fs::path& d) {
                    WriteText(d.parent_path() / (".~lock." + d.filename().string() + "#"),
                              ",tester," + Hostname() + "," + std::to_string(DeadProcess()) + ",10.12.2026 11:00,file:///home/tester;");
                },
                Refusal::OfficeLockFile},
    RefusalCase{"OfficeOwnerFile",
                [](const fs::path& d) { WriteText(d.parent_path() / ("~$" + d.filename().string()), "owner"); },
                Refusal::OfficeLockFile},
    RefusalCase{"OfficeOwnerFileForALongName",
                [](const fs::path& d) { WriteText(d.parent_path() / ("~$" + d.filename().string().substr(2)), "owner"); },
                Refusal::OfficeLockFile},
    RefusalCase{"LockFileOfAnotherDocumentDoesNotMatter",
                [](const fs::path& d) { WriteText(d.parent_path() / ".~lock.other.xls#", ",x,y,1,z;"); },
                Refusal::None}),
    testing::CaseName());

TEST(WriteRefusal, DocumentLockedByAnotherProcess) {
    testing::ScopedTempDir folder;
    const fs::path document = folder.path() / "locked.xls";
    testing::CopyWritable(testing::TestDataPath(kNamesdemo), document);
    TSummaryInfoClass cleaner(document);  // read before the other program opened it
    const auto before = testing::ReadWholeFile(document);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        int fd = ::open(document.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        char ok = (::fcntl(fd, F_SETLK, &lock) == 0) ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    try {
        cleaner.SetAuthor(u"Someone Else");
        ADD_FAILURE() << "wrote a document another program holds";
    } catch (const storage::StorageError& error) {
        EXPECT_EQ(error.reason(), Refusal::Locked);
        EXPECT_EQ(error.code(), storage::StorageResult::ShareViolation);
        EXPECT_STREQ(error.what(), "The document is open in another program");
    }
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(testing::ReadWholeFile(document), before);
}

TEST(WriteRefusal, CreationRaisesWhenTheDocumentCannotBeRead) {
    testing::ScopedTempDir folder;
    const fs::path text = folder.path() / "notes.doc";
    WriteText(text, "plain text");
    try {
        TSummaryInfoClass cleaner(text);
        ADD_FAILURE() << "a document that cannot be read was accepted";
    } catch (const storage::StorageError& error) {
        EXPECT_EQ(error.reason(), Refusal::NotCompoundFile);
        EXPECT_EQ(error.code(), storage::StorageResult::InvalidHeader);
    }
    EXPECT_THROW(TSummaryInfoClass(folder.path() / "missing.doc"), storage::StorageError);
}

TEST(WriteRefusal, UnencodableTextNamesTheCodePage) {
    testing::ScopedTempDir folder;
    const fs::path document = folder.path() / "latin.xls";
    testing::CopyWritable(testing::TestDataPath(kNamesdemo), document);  // code page 1252
    const auto before = testing::ReadWholeFile(document);
    TSummaryInfoClass cleaner(document);
    try {
        cleaner.SetAuthor(u"\u5c71\u7530");
        ADD_FAILURE() << "kanji written into a Windows-1252 set";
    } catch (const storage::StorageError& error) {
        EXPECT_EQ(error.reason(), Refusal::Unencodable);
        EXPECT_NE(std::string(error.what()).find("Windows-1252"), std::string::npos) << error.what();
    }
    EXPECT_EQ(testing::ReadWholeFile(document), before);
}

TEST(WriteRefusal, DeletingWhatIsNotThereLeavesTheFileAlone) {
    testing::ScopedTempDir folder;
    const fs::path document = folder.path() / "plain.xls";
    testing::CopyWritable(testing::TestDataPath(kNamesdemo), document);  // no GUID, no hyperlinks
    const auto before = testing::ReadWholeFile(document);
    TSummaryInfoClass cleaner(document);
    cleaner.RemoveGuid();
    cleaner.RemoveHLinks();
    EXPECT_FALSE(DeleteProperty(document, storage::format_ids::DocSummaryInformation, 24));
    EXPECT_EQ(testing::ReadWholeFile(document), before);
}

// The document's SummaryInformation stream renamed out of the way: a
// document that has no such set.
void HideSummaryInformation(const fs::path& document) {
    std::vector<uint8_t> bytes = testing::ReadWholeFile(document);
    const std::u16string name = u"\u0005SummaryInformation";
    std::vector<uint8_t> stored;
    for (char16_t unit : name) {
        stored.push_back(static_cast<uint8_t>(unit));
        stored.push_back(0);
    }
    auto at = std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end());
    ASSERT_NE(at, bytes.end());
    at[2] = 'X';
    testing::WriteWholeFile(document, bytes);
}

TEST(WriteRefusal, AWriteIntoAMissingSetIsRefused) {
    testing::ScopedTempDir folder;
    const fs::path document = folder.path() / "plain.xls";
    testing::CopyWritable(testing::TestDataPath(kNamesdemo), document);
    HideSummaryInformation(document);
    const auto before = testing::ReadWholeFile(document);
    PropVariant value;
    value.vt = storage::vt::LPStr;
    value.text = u"x";
    try {
        WriteProperty(document, storage::format_ids::SummaryInformation, 2, value);
        ADD_FAILURE() << "a property set was created";
    } catch (const storage::StorageError& error) {
        EXPECT_EQ(error.reason(), Refusal::NoSuchPropertySet);
    }
    // Clearing what cannot be there is no failure, and writes nothing either.
    value.text.clear();
    EXPECT_NO_THROW(WriteProperty(document, storage::format_ids::SummaryInformation, 2, value));
    EXPECT_EQ(testing::ReadWholeFile(document), before);
}

// A cleared date is the same instant whatever the zone of the machine that
// cleared it, and reads back as the zero date-time in every zone.
TEST(ClearedDates, CarryNoTimeZone) {
    testing::ScopedTempDir folder;
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Asia/Tokyo"}) {
        SCOPED_TRACE(zone);
        const fs::path document = folder.path() / (std::string("dates-") + (zone[0] == 'E' ? "b" : zone[0] == 'A' && zone[1] == 'm' ? "n" : "t") + ".doc");
        testing::CopyWritable(testing::TestDataPath("corpus/generated/lo-ascii.doc"), document);
        {
            testing::ScopedTimeZone local(zone);
            TSummaryInfoClass cleaner(document);
            cleaner.SetCreated(0.0);
            cleaner.SetLastSaved(0.0);
            cleaner.SetLastPrinted(0.0);
            cleaner.SetEditTime(kZeroEditTime);
            TSummaryInfo info;
            ASSERT_TRUE(ReadSummaryInfo(document, info));
            EXPECT_EQ(info.Created, 0.0);
            EXPECT_EQ(info.LastPrinted, 0.0);
            EXPECT_EQ(info.EditTime, kZeroEditTime);
            EXPECT_EQ(EditTimeToText(info.EditTime), u"");
        }
        const auto bytes = testing::ReadWholeFile(document);
        {
            testing::ScopedTimeZone utc("UTC");
            TSummaryInfo info;
            ASSERT_TRUE(ReadSummaryInfo(document, info));
            EXPECT_EQ(info.Created, 0.0);
            EXPECT_EQ(info.LastSaved, 0.0);
            // Clearing again in another zone finds nothing to change.
            TSummaryInfoClass again(document);
            again.SetCreated(0.0);
            again.SetEditTime(kZeroEditTime);
        }
        EXPECT_EQ(testing::ReadWholeFile(document), bytes);
    }
}

TEST(EditTimeToFileTime, InvertsTheReading) {
    testing::ScopedTimeZone zone("Europe/Berlin");
    EXPECT_EQ(EditTimeToFileTime(kZeroEditTime), 0u);
    const TFileTime twoHours = 72'000'000'000;
    EXPECT_EQ(EditTimeToFileTime(EditTimeToDateTime(twoHours)), twoHours);
    const TFileTime aDate = 132'695'712'000'000'000;  // 2021-07-01 00:00 UTC
    EXPECT_EQ(EditTimeToFileTime(EditTimeToDateTime(aDate)), aDate);
    // The zero date-time, taken as a duration, reads back as itself.
    EXPECT_EQ(EditTimeToDateTime(EditTimeToFileTime(0.0)), 0.0);
}

TEST(TextWrites, Utf8SetsGetUtf8AndPairsStayJoined) {
    testing::ScopedTempDir folder;
    const fs::path document = folder.path() / "utf8.doc";
    testing::CopyWritable(testing::TestDataPath("corpus/generated/lo-ascii.doc"), document);  // code page 65001
    TSummaryInfoClass cleaner(document);
    cleaner.SetAuthor(u"Ren\u00e9e \U0001F4CA");
    const auto raw = testing::ReadWholeFile(document);
    const std::string bytes(raw.begin(), raw.end());
    EXPECT_NE(bytes.find("Ren\xC3\xA9" "e \xF0\x9F\x93\x8A"), std::string::npos);
    TSummaryInfo info;
    ASSERT_TRUE(ReadSummaryInfo(document, info));
    EXPECT_EQ(info.Author, u"Ren\u00e9e \U0001F4CA");
}

}  // namespace
}  // namespace velmora::engine
