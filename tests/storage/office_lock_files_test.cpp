// Which lock file beside a document counts, and what the refusal tells the
// person who has to decide whether to delete it.
#include "storage/office_lock_files.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/case_name.h"
#include "support/test_paths.h"

namespace velmora::storage {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string ThisHost() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

// An Office owner file: the name's length in a byte, the name in the ANSI
// code page, padding up to `unicodeAt`, a 16-bit length and the name in
// UTF-16LE, padding up to `size`. Word: 54, 162, zeros; Excel: 55, 165, spaces.
std::vector<uint8_t> OwnerFile(const std::string& ansi, const std::u16string& name, size_t unicodeAt, size_t size, uint8_t pad) {
    std::vector<uint8_t> bytes;
    bytes.reserve(size);
    bytes.push_back(static_cast<uint8_t>(ansi.size()));
    for (char c : ansi) bytes.push_back(static_cast<uint8_t>(c));
    bytes.resize(unicodeAt, pad);
    bytes.push_back(static_cast<uint8_t>(name.size()));
    bytes.push_back(0);
    for (char16_t unit : name) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.resize(size, pad);
    return bytes;
}

struct LockCase {
    std::string name;
    std::string document;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;  // beside the document
    std::string expectedLock;                                          // empty: none counts
    std::vector<std::string> messageParts;                             // besides the lock file's path
};

class OfficeLockFileTest : public ::testing::TestWithParam<LockCase> {
protected:
    testing::ScopedTempDir folder;
};

TEST_P(OfficeLockFileTest, FindsTheLockFileAndExplainsIt) {
    const LockCase& lockCase = GetParam();
    for (const auto& [name, bytes] : lockCase.files) testing::WriteWholeFile(folder.path() / name, bytes);

    const std::optional<fs::path> found = FindLiveOfficeLockFile(folder.path() / lockCase.document);
    if (lockCase.expectedLock.empty()) {
        EXPECT_EQ(found, std::nullopt);
        return;
    }
    ASSERT_EQ(found, folder.path() / lockCase.expectedLock);
    const std::string message = OfficeLockFileMessage(*found);
    EXPECT_NE(message.find(found->string()), std::string::npos) << message;
    for (const std::string& part : lockCase.messageParts) EXPECT_NE(message.find(part), std::string::npos) << part << " in " << message;
}

const std::string kLibreOfficeLock = ".~lock.report.doc#";
const std::string kProfile = "file:///home/jdoe/.config/libreoffice/4;";

INSTANTIATE_TEST_SUITE_P(Cases, OfficeLockFileTest, ::testing::Values(
    LockCase{"LibreOfficeLockNamesUserHostAndTime", "report.doc",
             {{kLibreOfficeLock, Bytes("Jane Doe,jdoe,office-pc,10.12.2026 11:00," + kProfile)}},
             kLibreOfficeLock,
             {"Jane Doe", "office-pc", "10.12.2026 11:00", "If LibreOffice is no longer running on office-pc, delete the lock file"}},
    LockCase{"LibreOfficeLockWithoutUserNameNamesTheAccount", "report.doc",
             {{kLibreOfficeLock, Bytes(",jdoe,office-pc,10.12.2026 11:00," + kProfile)}},
             kLibreOfficeLock,
             {"jdoe opened it on office-pc at 10.12.2026 11:00"}},
    LockCase{"LibreOfficeLockWithEscapedSeparators", "report.doc",
             {{kLibreOfficeLock, Bytes("Doe\\, Jane\\;\\\\,jdoe,office-pc,10.12.2026 11:00," + kProfile)}},
             kLibreOfficeLock,
             {"Doe, Jane;\\ opened it on office-pc"}},
    // No field of LibreOffice's lock file is a process id, so digits where
    // one might be looked for prove nothing, even naming this host.
    LockCase{"LibreOfficeLockIsNeverTakenForStale", "report.doc",
             {{kLibreOfficeLock, Bytes(",jdoe," + ThisHost() + ",999999999,10.12.2026 11:00," + kProfile)}},
             kLibreOfficeLock,
             {"jdoe opened it on " + ThisHost()}},
    LockCase{"UnreadableLibreOfficeLockIsStillNamed", "report.doc",
             {{kLibreOfficeLock, {}}},
             kLibreOfficeLock,
             {"is present", "delete the lock file"}},
    LockCase{"OwnerFileOfAShortName", "notes.doc",
             {{"~$notes.doc", OwnerFile("Jane Doe", u"Jane Doe", 54, 162, 0)}},
             "~$notes.doc",
             {"says Jane Doe opened it", "If Office is no longer running, delete the owner file"}},
    LockCase{"WordDropsOneCharacterOfASevenCharacterName", "budget1.doc",
             {{"~$udget1.doc", OwnerFile("J\xF6rg M\xFCller", u"J\u00F6rg M\u00FCller", 54, 162, 0)}},
             "~$udget1.doc",
             {"says J\u00F6rg M\u00FCller opened it"}},
    LockCase{"WordDropsTwoCharactersOfALongerName", "Quarter1.doc",
             {{"~$arter1.doc", OwnerFile("Jane Doe", u"Jane Doe", 54, 162, 0)}},
             "~$arter1.doc",
             {"Jane Doe"}},
    LockCase{"WordDropsCharactersNotBytes", "\u00DCn\u00EFc\u00F6d\u00E91.doc",
             {{"~$\u00EFc\u00F6d\u00E91.doc", OwnerFile("Jane Doe", u"Jane Doe", 54, 162, 0)}},
             "~$\u00EFc\u00F6d\u00E91.doc",
             {"Jane Doe"}},
    LockCase{"WordDropsOneMultiByteCharacter", "\u6587\u4EF6abcde.doc",
             {{"~$\u4EF6abcde.doc", OwnerFile("Jane Doe", u"Jane Doe", 54, 162, 0)}},
             "~$\u4EF6abcde.doc",
             {"Jane Doe"}},
    LockCase{"ExcelOwnerFileKeepsTheWholeName", "Quarterly report.xls",
             {{"~$Quarterly report.xls", OwnerFile("Jane Doe", u"Jane Doe", 55, 165, ' ')}},
             "~$Quarterly report.xls",
             {"says Jane Doe opened it"}},
    LockCase{"OwnerFileWithoutAUserNameIsStillNamed", "notes.doc",
             {{"~$notes.doc", Bytes("owner")}},
             "~$notes.doc",
             {"is present", "delete the owner file"}},
    // Word keeps names of six characters whole, and takes only one from seven:
    // these belong to other documents.
    LockCase{"ShortNameIsNotShortened", "budget.doc", {{"~$dget.doc", Bytes("owner")}}, "", {}},
    LockCase{"SevenCharacterNameLosesOnlyOne", "budget1.doc", {{"~$dget1.doc", Bytes("owner")}}, "", {}},
    LockCase{"LockFileOfAnotherDocument", "report.doc",
             {{".~lock.other.doc#", Bytes(",jdoe,office-pc,10.12.2026 11:00," + kProfile)}}, "", {}},
    LockCase{"NoLockFile", "report.doc", {}, "", {}}),
    testing::CaseName());

}  // namespace
}  // namespace velmora::storage
