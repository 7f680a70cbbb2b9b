// The English catalog that ships beside the programs.

#include "core/messages/MessageCatalog.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

// The conversions of a wsprintf format, one letter each ("d", "u", "x", "s", "c"), or "!" when a
// placeholder is malformed.
std::string Conversions(const char* text)
{
    std::string kinds;
    for (const char* p = text; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        while (*p == '-' || *p == '#' || *p == '0')
            ++p;
        while (std::isdigit((unsigned char)*p))
            ++p;
        if (*p == '.') {
            ++p;
            while (std::isdigit((unsigned char)*p))
                ++p;
        }
        if (*p == 'l' || *p == 'h')
            ++p;
        switch (*p) {
        case 'd': case 'i': kinds += 'd'; break;
        case 'u': kinds += 'u'; break;
        case 'x': case 'X': kinds += 'x'; break;
        case 's': case 'S': kinds += 's'; break;
        case 'c': case 'C': kinds += 'c'; break;
        default: return kinds + "!";
        }
    }
    return kinds;
}

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

TEST_F(EngCatalog, EveryPlaceholderIsWellFormed)
{
    for (int id = kFirstMessageId; id <= kLastMessageId; ++id)
        EXPECT_EQ(Conversions(Text(id)).find('!'), std::string::npos) << id << ": " << Text(id);
}

struct ArgumentCase {
    int id;
    const char* conversions;   // what the callers pass, in order
};

// Messages reported with values; a text that asks for other values would crash the report.
const ArgumentCase kArguments[] = {
    {3312, "s"},  {3310, "s"},  {3349, "s"},   {3326, "uu"}, {3327, "ss"},
    {3378, "ds"}, {3379, "d"},  {3380, "ddd"}, {3389, "dd"}, {3437, "d"},
    {3441, "x"},  {3438, "x"},  {3416, "x"},   {3417, "x"},  {3418, "x"},
    {3479, "s"},  {3480, "s"},  {3481, ""},    {3494, "s"},  {3308, ""},
    {3313, ""},   {3317, ""},   {3318, ""},    {3334, ""},   {4492, ""},
    {4076, "uuu"}, {4356, "s"}, {4374, "s"},   {4376, "s"},  {4410, "d"},
};

TEST_F(EngCatalog, PlaceholdersMatchWhatTheCallersPass)
{
    for (const ArgumentCase& c : kArguments)
        EXPECT_EQ(Conversions(Text(c.id)), c.conversions) << c.id << ": " << Text(c.id);
}

}  // namespace
