#include "CatalogFiles.h"

#include "core/messages/MessageCatalog.h"
#include "core/messages/MsgString.h"
#include "core/messages/ProgramDirectory.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using testcatalog::PathOf;

struct LineCase {
    const char* name;
    std::string line;
    bool takesId;
    const char* text;   // null: an empty message
};

const LineCase kLines[] = {
    {"id and comment outside the quotes", "3001 \"Scan\" ; the button", true, "Scan"},
    {"tab and octal escapes", "\"a\\tb\\101\"", true, "a\tbA"},
    {"line ends and backslash", "\"x\\r\\n\\\\y\"", true, "x\r\n\\y"},
    {"empty quotes", "\"\"", true, nullptr},
    {"blank line", "", false, nullptr},
    {"comment line", "; translators: keep the placeholders", false, nullptr},
    {"one quote only", "3002 \"unfinished", false, nullptr},
    {"no escape for a quote", "\"say \\\"hi\"", true, "say "},
    // The octal digits stop at the closing quote; what follows it is never read.
    {"octal cut by the closing quote", "\"A\\1\"77 tail", true, "A\x01"},
    {"octal of two digits", "\"\\10\"", true, "\x08"},
    {"backslash before the closing quote", "\"ab\\\"", true, "ab"},
    {"any other character is an octal escape", "\"\\x41\"", true, "!"},
    {"low eight bits kept", "\"\\777\"", true, "\xFF"},
};

TEST(MessageCatalog, ParseLineTable)
{
    CMessageCatalog catalog("missing-for-parse.msg");
    for (const LineCase& c : kLines) {
        int count = 5;
        catalog.ParseLine(c.line.c_str(), count);
        EXPECT_EQ(count, c.takesId ? 6 : 5) << c.name;
        if (!c.takesId)
            continue;
        if (c.text == nullptr)
            EXPECT_EQ(catalog.m_pEntries[5], nullptr) << c.name;
        else
            EXPECT_STREQ(catalog.m_pEntries[5], c.text) << c.name;
    }
}

TEST(MessageCatalog, OctalEscapeAtTheEndOfAPieceStaysInside)
{
    // The quote closes right after the backslash and one digit, at the very end of the buffer;
    // memory after the terminator must not be read into the text.
    char buffer[8] = {'"', 'Z', '\\', '7', '"', '\0', '5', '5'};
    CMessageCatalog catalog("missing-for-parse.msg");
    int count = 0;
    catalog.ParseLine(buffer, count);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(catalog.m_pEntries[0], "Z\x07");
}

class CatalogFileTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        delete g_pMessageCatalog;
        g_pMessageCatalog = nullptr;
        DeleteFileA(PathOf("TST.MSG").c_str());
    }
};

TEST_F(CatalogFileTest, LoadsTextsAndAnswersLookups)
{
    testcatalog::WriteCatalog("TST.MSG", {{3001, "first"}, {3003, "third"}, {3010, "last"}});
    g_pMessageCatalog = new CMessageCatalog("tst.msg");
    EXPECT_EQ(g_pMessageCatalog->m_nState, kCatalogLoaded);
    EXPECT_TRUE(g_pMessageCatalog->IsUsable());
    EXPECT_STREQ(g_pMessageCatalog->GetFileTitle(), "TST.MSG");

    struct IdCase {
        int id;
        const char* text;
        int found;
    };
    const IdCase kIds[] = {
        {3001, "first", 1}, {3003, "third", 1}, {3002, "", 1}, {3010, "last", 1},
        {3011, "", 1},      {4492, "", 1},      {2999, "", 0}, {4493, "", 0},
        {3001 + 0x10000, "first", 1},   // only the low 16 bits name the message
    };
    for (const IdCase& c : kIds) {
        CMsgString text;
        EXPECT_EQ(text.LoadMessage(c.id), c.found) << c.id;
        EXPECT_STREQ(text, c.text) << c.id;
    }
    EXPECT_STREQ(CMsgString(3003), "third");
    // A catalog text joins other text as any string does.
    EXPECT_STREQ(CMsgString(3003) + " of three", "third of three");
}

TEST_F(CatalogFileTest, MakerWordInAnyCase)
{
    struct MakerCase {
        const char* first;
        int32_t state;
    };
    const MakerCase kMakers[] = {{"zelk", kCatalogLoaded}, {"by ZeLk 2", kCatalogLoaded},
                                 {"ZEL K", kCatalogFailed}, {"", kCatalogFailed}};
    for (const MakerCase& c : kMakers) {
        testcatalog::WriteCatalog("TST.MSG", {{3000, c.first}, {3001, "kept"}});
        CMessageCatalog catalog("TST.MSG");
        EXPECT_EQ(catalog.m_nState, c.state) << c.first;
        int found = 0;
        EXPECT_STREQ(catalog.Lookup(3001, found), "kept") << c.first;
    }
}

TEST_F(CatalogFileTest, MissingFileAndNoCatalog)
{
    CMessageCatalog catalog("NOSUCH.MSG");
    EXPECT_EQ(catalog.m_nState, kCatalogFailed);
    EXPECT_FALSE(catalog.IsUsable());
    int found = -1;
    EXPECT_EQ(catalog.Lookup(3000, found), nullptr);
    EXPECT_EQ(found, 1);

    CMsgString text("left over");
    EXPECT_EQ(text.LoadMessage(3001), 0);
    EXPECT_STREQ(text, "");
}

TEST_F(CatalogFileTest, FillsIdsUpTo4492AndIgnoresTheRest)
{
    {
        std::string lines;
        for (int i = 0; i < 1600; ++i)
            lines += (i == 0 ? std::string("\"ZELK\"") : "\"line " + std::to_string(i) + "\"") + "\n";
        FILE* out = fopen(PathOf("TST.MSG").c_str(), "w");
        fputs(lines.c_str(), out);
        fclose(out);
    }
    CMessageCatalog catalog("TST.MSG");
    int found = 0;
    EXPECT_STREQ(catalog.Lookup(4492, found), "line 1492");
    EXPECT_STREQ(catalog.Lookup(3999, found), "line 999");
    EXPECT_STREQ(catalog.Lookup(4493, found), "");
    EXPECT_EQ(found, 0);
}

TEST_F(CatalogFileTest, LongLinesAreReadInPieces)
{
    // The text starts beyond the first 999 characters, so it is found in the remainder.
    testcatalog::WriteLines("TST.MSG", {"\"ZELK\"", std::string(1200, '-') + " \"far out\"", "\"next\""});
    CMessageCatalog catalog("TST.MSG");
    int found = 0;
    EXPECT_STREQ(catalog.Lookup(3001, found), "far out");
    EXPECT_STREQ(catalog.Lookup(3002, found), "next");
}

struct ArgumentCase {
    int id;
    const char* text;   // as the catalog file holds it
    bool kept;          // false: the loader treats it as missing
};

// Texts against the values their callers pass: 3312 and 3310 a file name, 3349 a file name,
// 3379 a number of seconds, 3380 three numbers, 3378 a number and a file name, 3326 two numbers,
// 3317 and 3308 nothing.
const ArgumentCase kArgumentCases[] = {
    {3312, "%s%n", false},                    // %n writes through a value nobody passed
    {3349, "no room for %s on %s", false},    // more values than passed
    {3379, "%s seconds", false},              // a text where a number is passed
    {3378, "%d", false},                      // fewer values: still not what the callers pass
    {3317, "out of memory: %s", false},       // a value where none is passed
    {3310, "%ls", false},                     // a wide string
    {3313, "%f", false},                      // floating point is no wsprintf conversion
    {3316, "100%", false},                    // a lone percent sign at the end
    {3314, "Datei %s nicht geschrieben", true},
    {3380, "%u s, %x of %03ld", true},        // any integer conversion takes a number
    {3326, "%hu..%lu (%%)", true},
    {3308, "50%% done", true},
};

TEST_F(CatalogFileTest, TextsThatDoNotTakeTheCallersValuesAreMissing)
{
    std::map<int, std::string> texts;
    for (const ArgumentCase& c : kArgumentCases)
        texts[c.id] = c.text;
    testcatalog::WriteCatalog("TST.MSG", texts);
    g_pMessageCatalog = new CMessageCatalog("TST.MSG");
    ASSERT_TRUE(g_pMessageCatalog->IsUsable());
    for (const ArgumentCase& c : kArgumentCases) {
        CMsgString text;
        EXPECT_EQ(text.LoadMessage(c.id), 1) << c.id;
        EXPECT_STREQ(text, c.kept ? c.text : "") << c.id << ": " << c.text;
    }
}

TEST(MessageCatalog, PathFromTheName)
{
    const CString dir = ProgramDirectory();
    struct PathCase {
        const char* name;
        CString path;
    };
    const PathCase kPaths[] = {
        {"eng32.dll", dir + "ENG.MSG"},
        {"ger.msg", dir + "GER.MSG"},
        {"fredll", dir + "FRE.MSG"},
        {"c:\\lang\\ita.msg", "C:\\LANG\\ITA.MSG"},
    };
    for (const PathCase& c : kPaths) {
        CMessageCatalog catalog(c.name);
        EXPECT_STREQ(catalog.m_strPath, c.path) << c.name;
    }
}

}  // namespace
