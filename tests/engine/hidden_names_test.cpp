#include "engine/hidden_names.h"

#include <gtest/gtest.h>

#include "support/test_paths.h"

namespace velmora::engine {
namespace {

using Bytes = std::vector<uint8_t>;

void Record(Bytes& stream, uint16_t type, const Bytes& body) {
    stream.insert(stream.end(), {static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8),
                                 static_cast<uint8_t>(body.size()), static_cast<uint8_t>(body.size() >> 8)});
    stream.insert(stream.end(), body.begin(), body.end());
}

// A BIFF8 globals substream: BOF, (FilePass), WriteAccess of 112 bytes, EOF.
Bytes Workbook(const std::string& user, bool wide = false, bool encrypted = false) {
    Bytes stream;
    Record(stream, 0x0809, {0x00, 0x06, 0x05, 0x00});
    if (encrypted) Record(stream, 0x002F, {0, 0});
    Bytes body = {static_cast<uint8_t>(user.size()), 0, static_cast<uint8_t>(wide ? 1 : 0)};
    for (char c : user) {
        body.push_back(static_cast<uint8_t>(c));
        if (wide) body.push_back(0);
    }
    body.resize(112, ' ');
    Record(stream, 0x005C, body);
    Record(stream, 0x000A, {});
    return stream;
}

TEST(HiddenNames, TheCorpusNamesWhoSavedLast) {
    struct Case {
        const char* document;
        const char* where;
        const char16_t* stream;
        const char16_t* name;
    };
    const Case cases[] = {
        {"real/r-cran-gdata/iris.xls", "WriteAccess", u"Workbook", u"Gregory Warmes"},
        {"real/r-cran-gdata/iris.xls", "WriteAccess", u"Book", u"Gregory Warmes"},
        {"real/python3-xlrd/namesdemo.xls", "WriteAccess", u"Workbook", u"Stephen John Machin"},
        {"real/r-cran-readxl/datasets.xls", "WriteAccess", u"Workbook", u"Hadley Wickham"},
        {"real/libspreadsheet-parseexcel-perl/Test95.xls", "WriteAccess", u"Book", u"kawait"},
        {"generated/gnumeric-ascii-dsf.xls", "WriteAccess", u"Book", u"root"},
        {"real/golang-github-gabriel-vasile-mimetype-dev/ppt.ppt", "CurrentUser", u"Current User", u"Microsoft Office User"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.document);
        const HiddenNameScan scan = ScanHiddenNames(velmora::testing::TestDataPath(std::string("corpus/") + test.document));
        EXPECT_TRUE(scan.notCleaned.empty());
        bool found = false;
        for (const HiddenName& name : scan.names)
            found |= name.where == test.where && name.stream == test.stream && name.name == test.name;
        EXPECT_TRUE(found);
    }
    EXPECT_TRUE(ScanHiddenNames(velmora::testing::TestDataPath("corpus/generated/lo-ascii.doc")).names.empty());
    EXPECT_TRUE(ScanHiddenNames("/nowhere/at/all.xls").names.empty());
}

TEST(HiddenNames, WriteAccessIsBlankedInPlaceToTheFormatsNoUser) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        Bytes stream = Workbook("Grace Hopper", wide);
        const Bytes before = stream;
        std::string problem;
        const auto found = FindWriteAccess(stream, problem);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->name, u"Grace Hopper");
        ASSERT_TRUE(BlankWriteAccess(stream, problem));
        EXPECT_EQ(stream.size(), before.size());
        EXPECT_FALSE(FindWriteAccess(stream, problem));  // two spaces: no user
        EXPECT_TRUE(problem.empty());
        for (size_t i = 0; i < stream.size(); ++i) {
            const bool insideBody = i >= found->bodyOffset && i < found->bodyOffset + found->bodyLength;
            if (!insideBody) {
                EXPECT_EQ(stream[i], before[i]) << "byte " << i << " outside the record changed";
            }
        }
        EXPECT_EQ(stream[found->bodyOffset], 2);
        EXPECT_EQ(stream[found->bodyOffset + 3], ' ');
        EXPECT_FALSE(BlankWriteAccess(stream, problem));  // nothing left to do
    }
}

TEST(HiddenNames, MalformedOrEncryptedWorkbooksAreLeftAlone) {
    struct Case {
        const char* name;
        Bytes stream;
        const char* problem;
    };
    Bytes overrun = Workbook("x");
    overrun.resize(overrun.size() - 10);  // the last records run past the end
    Bytes longName = Workbook("Grace");
    longName[4 + 4 + 4] = 200;  // a count past the 112-byte record
    Bytes noBof = Workbook("Grace");
    noBof[0] = 0x10;
    const Case cases[] = {
        {"a record past the end", overrun, "runs past the stream"},
        {"a name past its record", longName, "runs past its record"},
        {"no BOF", noBof, "no BOF"},
        {"encrypted", Workbook("Grace", false, true), "encrypted"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Bytes stream = test.stream;
        std::string problem;
        EXPECT_FALSE(BlankWriteAccess(stream, problem));
        EXPECT_NE(problem.find(test.problem), std::string::npos) << problem;
        EXPECT_EQ(stream, test.stream);
    }
}

TEST(HiddenNames, CurrentUserIsBlankedInBothCopiesWhateverItsRecordLengthSays) {
    const std::string user = "Ada";
    Bytes stream;
    stream.reserve(64);
    for (int i = 0; i < 28; ++i) stream.push_back(0);
    stream[2] = 0xF6;
    stream[3] = 0x0F;
    stream[4] = 13;  // a record length that leaves the UTF-16 copy out, as real files do
    stream[20] = static_cast<uint8_t>(user.size());
    for (char c : user) stream.push_back(static_cast<uint8_t>(c));
    for (uint8_t b : {8, 0, 0, 0}) stream.push_back(b);
    for (char c : user) {
        stream.push_back(static_cast<uint8_t>(c));
        stream.push_back(0);
    }
    std::string problem;
    EXPECT_EQ(FindCurrentUser(stream, problem), u"Ada");
    const size_t size = stream.size();
    ASSERT_TRUE(BlankCurrentUser(stream, problem));
    EXPECT_EQ(stream.size(), size);
    EXPECT_EQ(stream[20], 3);  // the length stays
    EXPECT_EQ(std::string(stream.begin() + 28, stream.begin() + 31), "   ");
    EXPECT_EQ(stream[35], ' ');
    EXPECT_FALSE(FindCurrentUser(stream, problem));

    Bytes truncated(stream.begin(), stream.begin() + 29);
    truncated[20] = 50;
    EXPECT_FALSE(BlankCurrentUser(truncated, problem));
    EXPECT_NE(problem.find("runs past"), std::string::npos);
}

}  // namespace
}  // namespace velmora::engine

namespace velmora::engine {
namespace {

TEST(HiddenNames, TheDistinctNamesReadWithoutTheirPadding) {
    HiddenNameScan scan;
    for (const char16_t* name : {u"Author 1    ", u"Author 1", u"Grace Hopper", u"Author 2  ", u"Grace Hopper"})
        scan.names.push_back({"CommentAuthor", u"1Table", name});
    EXPECT_EQ(DistinctHiddenNames(scan), u"Author 1, Grace Hopper, Author 2");
}

// What a clean writes in place of a name, and what it does not.
TEST(HiddenNames, PlaceholdersAreToldFromNames) {
    const struct {
        const char16_t* name;
        bool placeholder;
    } cases[] = {
        {u"Author 1", true},   {u"Author 12    ", true}, {u"Author 123456", true}, {u"A", true},
        {u"B ", true},         {u"GH", false},           {u"Author", false},       {u"Author 1234567", false},
        {u"Author 1a", false}, {u"a", false},            {u"ABC", false},         {u"Grace Hopper", false},
        {u"", false},          {u"   ", false},          {u"author 1", false},     {u"Author  1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
        EXPECT_EQ(IsPlaceholderName(c.name), c.placeholder);
    }
}

}  // namespace
}  // namespace velmora::engine
