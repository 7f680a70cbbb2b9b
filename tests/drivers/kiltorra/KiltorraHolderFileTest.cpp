// The holder characterisation file: one table of file contents and the format names and holder
// numbers they leave in the KILTORRA's format table, damaged files included.

#include "drivers/kiltorra/KiltorraHolderFile.h"

#include "core/util/SystemUtil.h"
#include "tests/drivers/kiltorra/KiltorraBench.h"
#include "tests/support/Screenshot.h"

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const char kHeader[] = "Slide Holder Characterisation for Kiltorra\r\nV1.0\r\n";

// One entry of the table after the file was read: its name and holder number.
struct CHolderEntry {
    std::string name;
    uint16_t number;
    bool operator==(const CHolderEntry& other) const { return name == other.name && number == other.number; }
};

void PrintTo(const CHolderEntry& e, std::ostream* out) { *out << '"' << e.name << "\" #" << e.number; }

struct HolderCase {
    const char* name;
    std::string file;
    std::vector<CHolderEntry> holders;  // the entries that carry a holder name or number, in order
    int inserted;  // entries added to the 29 static ones
};

std::string Long(size_t n) { return std::string(n, 'x'); }

std::string ManyLines(int count)
{
    std::string text = kHeader;
    for (int i = 0; i < count; ++i)
        text += "H" + std::to_string(i) + ",6x7cm," + std::to_string(i + 1) + "\n";
    return text;
}

// Each later holder line of one format nests its name inside the names before it; the copies keep the
// earlier names, so each portrait and landscape group runs from the most names to the fewest.
std::vector<CHolderEntry> NestedSixBySeven(int lines)
{
    std::vector<CHolderEntry> entries;
    for (const char* format : {"6 x 7 cm Portrait", "7 x 6 cm Landscape"}) {
        for (int last = lines - 1; last >= 0; --last) {
            std::string name = format;
            for (int i = 0; i <= last; ++i)
                name += "(H" + std::to_string(i) + ")";
            entries.push_back({name, uint16_t(last + 1)});
        }
    }
    return entries;
}

const std::vector<HolderCase> kCases = {
    {"NoHolders", kHeader, {}, 0},
    {"Slide", std::string(kHeader) + "Holder A,24x36,5\r\n",
        {{"35 mm Slide Portrait(Holder A)", 5}, {"35 mm Slide Landscape(Holder A)", 5}}, 0},
    {"SlideGl", std::string(kHeader) + "G,24x36GL,7\n", {{"24 x 36 mm Portrait(G)", 7}, {"24 x 36 mm Landscape(G)", 7}},
        0},
    {"SixBySixHasOneEntry", std::string(kHeader) + "S,6x6cm,3\n", {{"6 x 6 cm Film(S)", 3}}, 0},
    {"Universal", std::string(kHeader) + "U,Universal,12\n", {{"Universal Holder(U)", 12}}, 0},
    {"UniversalGlNamesNoEntry", std::string(kHeader) + "U,UniversalGL,12\n", {}, 0},
    {"OwnFormatName", std::string(kHeader) + "M,Maximum,4\n", {{"Maximum(M)", 4}, {"Maximum(M)", 4}}, 0},
    {"OneCommaSkipped", std::string(kHeader) + "A,24x36\n", {}, 0},
    {"FourthFieldEndsTheNumber", std::string(kHeader) + "A,24x36, 21x,99\n",
        {{"35 mm Slide Portrait(A)", 21}, {"35 mm Slide Landscape(A)", 21}}, 0},
    {"NumberWithoutDigits", std::string(kHeader) + "A,24x36,none\n",
        {{"35 mm Slide Portrait(A)", 0}, {"35 mm Slide Landscape(A)", 0}}, 0},
    {"SecondHolderInsertsBehindTheFirst", std::string(kHeader) + "A,24x36,5\nB,24x36,6\n",
        {{"35 mm Slide Portrait(A)(B)", 6}, {"35 mm Slide Portrait(A)", 5}, {"35 mm Slide Landscape(A)(B)", 6},
            {"35 mm Slide Landscape(A)", 5}},
        2},
    {"HeaderWithTrailingBlanks", "Slide Holder Characterisation for Kiltorra  \nV1\nA,24x36,5\n", {}, 0},
    {"NoVersionLine", "Slide Holder Characterisation for Kiltorra\nX1\nA,24x36,5\n", {}, 0},
    {"HeaderOnly", "Slide Holder Characterisation for Kiltorra\n", {}, 0},
    {"Empty", "", {}, 0},
    // Damaged files: each line changes at most what it names, and the table keeps its end.
    {"EmptyFormatSkipped", std::string(kHeader) + "E,,9\n", {}, 0},
    {"NumberBeyondSixteenBitsSkipped", std::string(kHeader) + "A,24x36,65536\nB,6x6cm,65535\nC,6x7cm,-1\n",
        {{"6 x 6 cm Film(B)", 65535}}, 0},
    {"OverlongLineRestSkipped", std::string(kHeader) + "A,24x36,5" + Long(300) + ",6x6cm,7\nB,6x6cm,8\n",
        {{"35 mm Slide Portrait(A)", 5}, {"35 mm Slide Landscape(A)", 5}, {"6 x 6 cm Film(B)", 8}}, 0},
    // Both names of an unknown format are the field itself: the first entry containing it is
    // handled once, not once per name.
    {"OneEntryOncePerLine", std::string(kHeader) + "X,Slide,3\n", {{"35 mm Slide Portrait(X)", 3}}, 1},
    // Lines 2 to 11 insert two entries each; then the table is full and later lines change nothing.
    {"FullTableKeepsItsEnd", ManyLines(30), NestedSixBySeven(11), 20},
};

class KiltorraHolderFileTest : public KiltorraBench {
protected:
    void SetUp() override
    {
        KiltorraBench::SetUp();
        m_strPath = testsupport::ProgramDirectory() + "holders.prf";
    }
    void TearDown() override
    {
        DeleteFileA(m_strPath.c_str());
        KiltorraBench::TearDown();
    }

    void Write(const std::string& path, const std::string& text)
    {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }

    // The entries whose name is none of the plain table's, or that carry a number.
    static std::vector<CHolderEntry> Holders(const CFormatTable& table, const CFormatTable& plain)
    {
        std::vector<CHolderEntry> found;
        for (int i = 0; i < Named(table); ++i) {
            const CFormatEntry& e = table.m_Entries[i];
            bool plainName = false;
            for (int k = 0; k < Named(plain); ++k)
                plainName = plainName || e.m_strName == plain.m_Entries[k].m_strName;
            if (e.m_nExtra != 0 || !plainName)
                found.push_back({(const char*)e.m_strName, e.m_nExtra});
        }
        return found;
    }
    static int Named(const CFormatTable& table)
    {
        int n = 0;
        while (n < kFormatTableEntries && !table.m_Entries[n].m_strName.IsEmpty())
            ++n;
        return n;
    }

    std::string m_strPath;
};

}  // namespace

TEST_F(KiltorraHolderFileTest, HolderLinesNameAndNumberTheFormatEntries)
{
    Start();
    const CFormatTable plain = *Driver().m_pFormatTable;
    ASSERT_EQ(29, Named(plain));
    for (const HolderCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Write(m_strPath, c.file);
        CFormatTable table = plain;
        CKiltorraHolderFile::Read(m_strPath.c_str(), table);
        EXPECT_EQ(c.holders, Holders(table, plain));
        EXPECT_EQ(29 + c.inserted, Named(table));
        EXPECT_TRUE(table.m_Entries[kFormatTableEntries - 1].m_strName.IsEmpty());
        // Entries that followed the holder entries stay, in order.
        EXPECT_STREQ("User Defined", table.m_Entries[Named(table) - 1].m_strName);
    }
}

// Holder lines that insert entries move the user's own format down the table; a rebuild still
// keeps what the user left in it.
TEST_F(KiltorraHolderFileTest, RebuildKeepsTheUserFormatBehindInsertedHolders)
{
    std::string path = std::string((const char*)WindowsDirectory()) + "kiltorr.prf";
    Write(path, std::string(kHeader) + "A,24x36,5\nB,24x36,6\n");
    Start();
    CFormatTable& table = *Driver().m_pFormatTable;
    auto user = [&table]() -> CFormatEntry& { return table.m_Entries[Named(table) - 1]; };
    ASSERT_STREQ("User Defined", user().m_strName);
    user().m_nWidth = 1234;
    user().m_nHeight = 2345;
    Driver().RebuildFormatTable();
    DeleteFileA(path.c_str());
    ASSERT_STREQ("User Defined", user().m_strName);
    EXPECT_EQ(1234, user().m_nWidth);
    EXPECT_EQ(2345, user().m_nHeight);
}

TEST_F(KiltorraHolderFileTest, TheFileInTheWindowsDirectoryReachesTheWindow)
{
    std::string path = std::string((const char*)WindowsDirectory()) + "kiltorr.prf";
    Write(path, std::string(kHeader) + "Holder A,24x36,513\n");
    Start();
    DeleteFileA(path.c_str());
    const CFormatTable& table = *Driver().m_pFormatTable;
    ASSERT_STREQ("35 mm Slide Portrait(Holder A)", table.m_Entries[4].m_strName);
    Select(kImageRgb, 300, 9250, 20000, 2500, 3600);
    m_Settings.SetParamAllTypes(kParamFormatIndex, 4);
    m_Settings.SetParam(kParamOriginal, 1);
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    std::vector<uint8_t> window = Device().Window();
    ASSERT_EQ(140u, window.size());
    EXPECT_EQ(513, (window[60] << 8) | window[61]);
    // A rebuilt table without the file has the plain names again.
    Driver().RebuildFormatTable();
    EXPECT_STREQ("35 mm Slide Portrait", table.m_Entries[4].m_strName);
}
