// The English catalog that ships beside the programs, read through the program's own loader.

#include "CatalogFiles.h"

#include "core/messages/BoundedFormat.h"
#include "core/messages/MessageArguments.h"
#include "core/messages/MessageCatalog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

class EngCatalog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_pCatalog = new CMessageCatalog("ENG.MSG"); }
    static void TearDownTestSuite()
    {
        delete s_pCatalog;
        s_pCatalog = nullptr;
    }
    static const char* Text(int id)
    {
        int found = 0;
        const char* text = s_pCatalog->Lookup(id, found);
        return text ? text : "";
    }
    static CMessageCatalog* s_pCatalog;
};

CMessageCatalog* EngCatalog::s_pCatalog = nullptr;

TEST_F(EngCatalog, LoadsWithTheMakerWordAndVersion)
{
    EXPECT_EQ(s_pCatalog->m_nState, kCatalogLoaded);
    EXPECT_STREQ(Text(4492), "V2.09");
    EXPECT_STRNE(Text(3308), "");
}

// The loader drops a text that does not take its callers' values; the generator refuses such a
// text too, so none of the shipped texts may be lost on the way.
TEST_F(EngCatalog, EveryMessageWithValuesKeepsItsText)
{
    for (int i = 0; i < kMessageArgumentCount; ++i)
        EXPECT_STRNE(Text(kMessageArguments[i].id), "") << kMessageArguments[i].id;
}

struct UseCase {
    const char* kind;
    int id;
    const char* text;
};

// A few ids of each kind of use, as the user sees them.
const UseCase kUses[] = {
    {"menu item", 3580, "&Open Batch List..."},
    {"menu item", 3582, "&New Batch List"},
    {"menu item", 3588, "&Delete Entry"},
    {"menu item", 4170, "&Composite"},
    {"list entry", 3101, "Invert"},
    {"list entry", 3102, "Gamma 1.2"},
    {"list entry", 3105, "Gamma 2.2"},
    {"list entry", 3151, "dpi"},
    {"list entry", 3639, "Much darker"},
    {"list entry", 3643, "Much lighter"},
    {"list entry", 3570, "ASPI for Win32"},
    {"caption", 3005, "General Preferences"},
    {"caption", 3023, "Program Parameters"},
    {"caption", 3700, "Options"},
    {"control text", 3818, "&File It"},
    {"control text", 4098, "Color Balance / Gray Point"},
    {"control text", 4176, "Brelvane Tone Curve Editor V2.09"},
    {"tip", 3661, "Scan information"},
    {"tip", 3715, "Stop"},
    {"tip", 4045, "Rotate left"},
    {"pane", 3264, "000.00 D"},
    {"pane", 3274, "000.00 D"},
    {"message", 3382, "There is no further entry in the batch list."},
    {"message", 4052, "The camera reports error B003. Switch the camera off and on again, then repeat the scan."},
    {"message", 4074, "The camera reports error B019. Switch the camera off and on again, then repeat the scan."},
};

TEST_F(EngCatalog, TextsSayWhatTheirUseIs)
{
    for (const UseCase& c : kUses)
        EXPECT_STREQ(Text(c.id), c.text) << c.kind << " " << c.id;
}

struct MessageCase {
    int id;
    const char* value;
    const char* text;
};

// Messages with placeholders, formatted with what their callers pass.
const MessageCase kMessages[] = {
    {3491, "CMS02732.DLL",
     "The colour management library CMS02732.DLL cannot be loaded a second time."},
    {3492, "CMS02732.DLL",
     "The colour management library CMS02732.DLL is compressed and cannot be loaded."},
    {3312, "A4.BMP", "The file A4.BMP could not be opened for writing."},
};

TEST_F(EngCatalog, MessagesTakeTheirCallersValues)
{
    for (const MessageCase& c : kMessages) {
        char text[512];
        BoundedFormat(text, sizeof text, Text(c.id), c.value);
        EXPECT_STREQ(text, c.text) << c.id;
    }
    char text[512];
    BoundedFormat(text, sizeof text, Text(3380), 12, 1, 3);
    EXPECT_STREQ(text, "Batch run finished in 12 seconds: 1 failed of 3 entries.\r\n");
}

struct RangeCase {
    int id;
    unsigned lower;
    unsigned upper;
    const char* text;
};

// The Other Value dialog formats its range text with its lower and upper limit.
const RangeCase kRanges[] = {
    {3223, 25, 2400, "(25 to 2400 dpi)"},
    {3224, 2, 60, "(2 to 60 lpi)"},
    {3225, 1, 23, "(1 to 23 lpcm)"},
    {3226, 50, 4800, "(50 to 4800 dpi)"},
    {3227, 9, 944, "(9 to 944 ppcm)"},
    {3229, 10, 1000, "(10 to 1000 %)"},
    {4099, 25, 1600, "(25 to 1600 dpi)"},
};

TEST_F(EngCatalog, RangeTextsTakeBothLimits)
{
    for (const RangeCase& c : kRanges) {
        char text[150];
        BoundedFormat(text, sizeof text, Text(c.id), c.lower, c.upper);
        EXPECT_STREQ(text, c.text) << c.id;
    }
}

// The ids of the combo boxes in the form's templates.
std::set<int> FormComboIds()
{
    std::istringstream lines(testcatalog::ReadAll(testcatalog::PathOf("MainForm.rc")));
    std::set<int> ids;
    for (std::string line; std::getline(lines, line);) {
        int id = 0;
        if (sscanf(line.c_str(), " COMBOBOX %d,", &id) == 1)
            ids.insert(id);
    }
    return ids;
}

// A combo's tip is the catalog text of its id + 1; the focus combo's (5035) lies beyond the
// catalog, so it has none.
TEST_F(EngCatalog, EveryComboOfTheFormHasATip)
{
    const std::set<int> combos = FormComboIds();
    ASSERT_GE(combos.size(), 17u);
    for (int id : combos) {
        if (id < kLastMessageId) {
            EXPECT_STRNE(Text(id + 1), "") << "combo " << id;
        }
    }
}

}  // namespace
