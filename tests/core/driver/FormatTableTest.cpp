#include "core/messages/MsgString.h"
#include "core/settings/SettingsFile.h"
#include "tests/core/driver/DriverTestSupport.h"

namespace {

class FormatTableTest : public DriverFixture {
protected:
    const CFormatEntry& Entry(int i) const { return m_pDriver->m_pFormatTable->m_Entries[i]; }
    CFormatEntry& Entry(int i) { return m_pDriver->m_pFormatTable->m_Entries[i]; }
};

struct ExpectedEntry {
    int messageId;
    int32_t kind, width, height, x, y;
};

void ExpectEntry(const CFormatEntry& entry, const ExpectedEntry& expected)
{
    EXPECT_STREQ(CMsgString(expected.messageId), entry.m_strName);
    EXPECT_EQ(expected.kind, entry.m_nKind);
    EXPECT_EQ(expected.width, entry.m_nWidth) << entry.m_strName;
    EXPECT_EQ(expected.height, entry.m_nHeight) << entry.m_strName;
    EXPECT_EQ(expected.x, entry.m_nOffsetX) << entry.m_strName;
    EXPECT_EQ(expected.y, entry.m_nOffsetY) << entry.m_strName;
}

}  // namespace

TEST_F(FormatTableTest, BaseTablesAreClippedToTheBeds)
{
    ASSERT_EQ(g_pFormatTable, m_pDriver->m_pFormatTable);
    ExpectEntry(Entry(0), {3175, 0, 40000, 60000, 0, 0});
    ExpectEntry(Entry(1), {3175, 1, 40000, 60000, 0, 0});
    ExpectEntry(Entry(2), {3187, 0, 21000, 29700, 0, 0});
    EXPECT_TRUE(Entry(3).m_strName.IsEmpty());
    EXPECT_EQ(0, Entry(3).m_nWidth);

    m_pDriver->m_ReflectiveBed = {500, 1000, 21600, 29700};
    m_pDriver->m_TransparencyBed = {100, 200, 3600, 2400};
    m_pDriver->BuildFormatTable(CScannerDriver::s_StaticFormats, m_pDriver->m_pFormatTable);
    ExpectEntry(Entry(0), {3175, 0, 21600, 29700, 500, 1000});
    ExpectEntry(Entry(1), {3175, 1, 3600, 2400, 100, 200});
    ExpectEntry(Entry(2), {3187, 0, 21000, 29700, 500, 1000});
}

TEST_F(FormatTableTest, RebuildKeepsTheUserFormatAsTheUserLeftIt)
{
    Entry(2).m_nWidth = 12345;
    Entry(2).m_nOffsetX = 77;
    Entry(2).m_nHolder = 3;
    m_pDriver->m_ReflectiveBed = {500, 1000, 10000, 10000};
    m_pDriver->RebuildFormatTable();
    ExpectEntry(Entry(0), {3175, 0, 10000, 10000, 500, 1000});
    EXPECT_EQ(12345, Entry(2).m_nWidth);
    EXPECT_EQ(77, Entry(2).m_nOffsetX);
    EXPECT_EQ(0, Entry(2).m_nOffsetY);
    EXPECT_EQ(3, Entry(2).m_nHolder);
}

TEST_F(FormatTableTest, CopyStopsAtTheTableEndEvenWhenTheStaticTableIsLonger)
{
    std::vector<CStaticFormatEntry> longTable(60, CStaticFormatEntry{3175, 0, 100, 100, 0, 0, 0, 0});
    longTable.push_back(CStaticFormatEntry{});
    CFormatTable table;
    m_pDriver->CopyFormatTable(longTable.data(), &table);
    EXPECT_TRUE(table.m_Entries[kFormatTableEntries - 1].m_strName.IsEmpty());
    EXPECT_EQ(100, table.m_Entries[kFormatTableEntries - 2].m_nWidth);
}

TEST_F(FormatTableTest, UserFormatTravelsBetweenTableAndSettings)
{
    m_pDriver->SelectUserFormat();
    EXPECT_EQ(0, m_Settings.GetParam(kParamUserKind));
    EXPECT_EQ(21000, m_Settings.GetParam(kParamUserWidth));
    EXPECT_EQ(29700, m_Settings.GetParam(kParamUserHeight));

    const int32_t stored[] = {5, 10000, 12000, 300, 400, 2};
    for (uint16_t id = kParamUserKind; id <= kParamUserHolder; ++id)
        m_Settings.SetParam(id, stored[id - kParamUserKind]);
    m_pDriver->StoreUserFormat();
    ExpectEntry(Entry(2), {3187, 1, 10000, 12000, 300, 400});   // any non-zero kind is transparency
    EXPECT_EQ(2, Entry(2).m_nHolder);
    ExpectEntry(Entry(0), {3175, 0, 40000, 60000, 0, 0});
}

TEST_F(FormatTableTest, LoadingASettingsFileHandsTheUserFormatToTheDriver)
{
    for (uint16_t id = kParamUserKind; id <= kParamUserHolder; ++id)
        m_Settings.SetParam(id, 1000 * id);
    LoadSettings("");       // no file: the load stops before the hand-over
    EXPECT_EQ(21000, Entry(2).m_nWidth);
    LoadSettings("no such settings file.zlk");
    EXPECT_EQ(117000, Entry(2).m_nWidth);
    EXPECT_EQ(119000, Entry(2).m_nOffsetX);
}

TEST_F(FormatTableTest, ResolutionClampsAndOptimalResolution)
{
    struct Case { uint32_t in, x, y; };
    m_pDriver->m_ResolutionRange[1] = {50, 600};
    const Case kCases[] = {{5, 10, 50}, {10, 10, 50}, {300, 300, 300}, {2400, 2400, 600}, {3000, 2400, 600}};
    for (const Case& c : kCases) {
        EXPECT_EQ(c.x, m_pDriver->ClampResolutionX(c.in)) << c.in;
        EXPECT_EQ(c.y, m_pDriver->ClampResolutionY(c.in)) << c.in;
    }
    EXPECT_EQ(36u, m_pDriver->GetOptimalResolution(2));             // A4 in 131072 bytes
    // Far below the device's range the exact value is kept; near it the clamp is taken.
    m_pDriver->m_ResolutionRange[0] = {100, 2400};
    EXPECT_EQ(36u, m_pDriver->GetOptimalResolution(2));
    m_pDriver->m_ResolutionRange[0] = {38, 2400};
    EXPECT_EQ(38u, m_pDriver->GetOptimalResolution(2));
    // The end entry has no area: no division by zero, the smallest resolution.
    EXPECT_EQ(38u, m_pDriver->GetOptimalResolution(3));
    EXPECT_EQ(38u, m_pDriver->GetOptimalResolution(-1));
}

TEST_F(FormatTableTest, DensityLimitsByOriginalAndGains)
{
    m_pDriver->m_ReflectiveDensity = {100, 300, 2000, 2500};
    m_pDriver->m_TransparencyDensity = {200, 1500, 3000, 3600};
    struct Case { int32_t original; int32_t gainRed; uint32_t ceiling0, ceiling1, floor0, floor1; };
    const Case kCases[] = {
        {0, 100, 300, 1000, 2000, 0},
        {0, 120, 100, 1000, 2500, 0},       // colour gains pin the range to the device's
        {1, 100, 1500, 1500, 3000, 0},
        {1, 120, 200, 1500, 3600, 0},
        {2, 120, 1500, 1500, 3000, 0},
        {3, 120, 300, 300, 2000, 2000},
    };
    for (const Case& c : kCases) {
        m_Settings.SetParamAllTypes(kParamOriginal, c.original);
        m_Settings.SetParamAllTypes(kParamGainRed, c.gainRed);
        m_Settings.SetParamAllTypes(kParamGainGreen, 100);
        m_Settings.SetParamAllTypes(kParamGainBlue, 100);
        EXPECT_EQ(c.ceiling0, m_pDriver->GetMinDensityCeiling(0)) << c.original << "/" << c.gainRed;
        EXPECT_EQ(c.ceiling1, m_pDriver->GetMinDensityCeiling(1)) << c.original << "/" << c.gainRed;
        EXPECT_EQ(c.floor0, m_pDriver->GetMaxDensityFloor(0)) << c.original << "/" << c.gainRed;
        EXPECT_EQ(c.floor1, m_pDriver->GetMaxDensityFloor(1)) << c.original << "/" << c.gainRed;
    }
}

TEST_F(FormatTableTest, SharedScanGeometryFillsTheWindowSummary)
{
    m_Settings.SetParamAllTypes(kParamImageType, kImageGrey);
    m_Settings.SetParamAllTypes(kParamMinDensity, 301);
    m_Settings.SetParamAllTypes(kParamOutputBits, 8);
    m_Settings.SetParamAllTypes(kParamWindowSummaryA, 3);
    m_Settings.SetParamAllTypes(kParamWindowSummaryC, 6);
    EXPECT_EQ(kDriverFailed, m_pDriver->UpdateScanGeometry());
    EXPECT_EQ(kDriverOk, m_pDriver->UpdateSharedScanGeometry());
    EXPECT_EQ(2u, m_Settings.GetScanMode());
    EXPECT_EQ(3, m_Settings.m_WindowSummary.m_nByte1);
    EXPECT_EQ(200, m_Settings.m_WindowSummary.m_nWord[1]);
    EXPECT_EQ(8, m_Settings.m_WindowSummary.m_nWord[3]);
    EXPECT_EQ(6, m_Settings.m_WindowSummary.m_nWord[4]);
}
