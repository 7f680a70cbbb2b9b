#include "core/cms/CmsRecords.h"
#include "core/driver/LutBuffer.h"
#include "core/driver/ToneCurveSet.h"
#include "core/scan/ShellServices.h"
#include "framework/App.h"
#include "tests/core/driver/DriverTestSupport.h"

#include <cmath>
#include <vector>

namespace {

// A device that wants its table falling for every scan mode.
class CFallingLutDriver : public CScannerDriver {
public:
    int IsLutRising(uint32_t) override { return 0; }
};

// A 12-bit device table of 1024 entries, big-endian as such devices take it.
class CTwelveBitLut : public CLutBuffer {
public:
    uint32_t GetLength() override { return (uint32_t)m_Packed.size(); }
    uint8_t* GetData() override { return m_Packed.data(); }
    void LoadTable(const uint16_t* table, uint32_t count) override
    {
        m_Packed.clear();
        for (uint32_t i = 0; i < count; ++i) {
            m_Packed.push_back((uint8_t)(table[i] >> 8));
            m_Packed.push_back((uint8_t)table[i]);
        }
    }
    uint32_t GetMaxValue() override { return 4095; }
    uint32_t GetEntryCount() override { return 1024; }
    uint16_t Entry(size_t i) const { return (uint16_t)(m_Packed[2 * i] << 8 | m_Packed[2 * i + 1]); }

    std::vector<uint8_t> m_Packed;
};

// Curves of a file: curve k adds 10 x k to the input (curve 0 inverts instead), so a table shows
// which curves were applied, and in which order.
class CTestCurves : public CToneCurveSet {
public:
    explicit CTestCurves(int mode) : m_nMode(mode) {}
    int GetMode() override { return m_nMode; }
    void Fit(int index, uint32_t, uint32_t) override { s_Fitted.push_back(index); }
    float Evaluate(int index, float x) override { return index == 0 ? 255.0f - x : x + 10.0f * index; }

    int m_nMode;
    static std::vector<int> s_Fitted;
    static int s_nLoaderMode;
};

std::vector<int> CTestCurves::s_Fitted;
int CTestCurves::s_nLoaderMode = 0;

CToneCurveSet* LoadTestCurves(const char* path)
{
    return std::string(path) == "edited.tc" ? new CTestCurves(CTestCurves::s_nLoaderMode) : nullptr;
}

// The shell of a program whose colour management applies curve files.
class CCurveShell : public CShellServices {
public:
    bool LoadsToneCurves() override { return true; }
    CToneCurveSet* LoadToneCurves(const char* path) override { return LoadTestCurves(path); }
};

class LookupTableTest : public DriverFixture {
protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        // The defaults of a new record: densities at the device's limits, neutral gains.
        m_Settings.SetParamAllTypes(kParamImageType, kImageRgb);
        m_Settings.SetParamAllTypes(kParamMinDensity, 0);
        m_Settings.SetParamAllTypes(kParamMaxDensity, 4000);
        for (uint16_t id = kParamMinDensityRed; id <= kParamMinDensityBlue; ++id)
            m_Settings.SetParamAllTypes(id, 0);
        for (uint16_t id = kParamMaxDensityRed; id <= kParamMaxDensityBlue; ++id)
            m_Settings.SetParamAllTypes(id, 4000);
        for (uint16_t id = kParamGainRed; id <= kParamGainBlue; ++id)
            m_Settings.SetParamAllTypes(id, 100);
        m_Settings.SetParamAllTypes(kParamToneHigh, 100);
        m_Settings.SetParamAllTypes(kParamToneCode, kToneDefault);
        m_Settings.SetParamAllTypes(kParamPreviewTone, kToneDefault);
        m_Settings.m_nScanMode = 3;
    }

    std::vector<uint16_t> Build(int channel, int* result = nullptr, uint32_t scale = 1000,
                                CScannerDriver* driver = nullptr)
    {
        std::vector<uint16_t> table(256);
        int r = (driver != nullptr ? driver : m_pDriver.get())->BuildScannerLut(table.data(), 256, 255, channel, scale);
        if (result != nullptr)
            *result = r;
        return table;
    }
};

}  // namespace

TEST_F(LookupTableTest, DefaultsGiveTheIdentity)
{
    int result = -1;
    std::vector<uint16_t> table = Build(0, &result);
    EXPECT_EQ(0, result);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(i, table[i]) << i;
    // Another size: entry i = floor(max x i / (n - 1) + 0.1).
    std::vector<uint16_t> wide(1024);
    m_pDriver->BuildScannerLut(wide.data(), 1024, 4095, 0, 1000);
    for (int i : {0, 1, 511, 1023})
        EXPECT_EQ((uint16_t)std::floor(4095.0 * i / 1023 + 0.1), wide[i]) << i;
}

TEST_F(LookupTableTest, PresetsShapeTheTable)
{
    struct Case { int32_t tone; int32_t threshold; uint32_t mode; int index; uint16_t value; int result; };
    const Case kCases[] = {
        {0xFF04, 50, 3, 128, 173, 1},       // gamma 1.8
        {0xFF01, 50, 3, 0, 255, 0},         // inversion
        {0xFF01, 50, 3, 255, 0, 0},
        {0xFF0B, 50, 0, 127, 0, 0},         // threshold at 50 %
        {0xFF0B, 50, 0, 128, 255, 0},
        {0xFF0E, 25, 0, 191, 0, 0},         // inverse threshold: 100 - 25 %
        {0xFF0E, 25, 0, 192, 255, 0},
        {0xFF0B, 50, 2, 127, 127, 0},       // scan modes 1-4 switch thresholds off
    };
    for (const Case& c : kCases) {
        m_Settings.SetParamAllTypes(kParamToneCode, c.tone);
        m_Settings.SetParamAllTypes(kParamThreshold, c.threshold);
        m_Settings.m_nScanMode = c.mode;
        int result = -1;
        std::vector<uint16_t> table = Build(0, &result);
        EXPECT_EQ(c.value, table[c.index]) << std::hex << c.tone << std::dec << " entry " << c.index;
        EXPECT_EQ(c.result, result) << std::hex << c.tone;
    }
}

// Line art that the host thresholds from grey or colour data sees the light as the device's own
// line art does: the gamma and the density range of the type shape grey scans only.
TEST_F(LookupTableTest, LineArtFromDeviceDataKeepsTheLight)
{
    m_Settings.SetParamAllTypes(kParamToneCode, 0xFF04);
    m_Settings.SetParamAllTypes(kParamMaxDensity, 200);
    struct Case {
        int32_t type;
        uint32_t mode;
        bool identity;
    };
    const Case kCases[] = {
        {kImageLineArt, 2, true},
        {kImageLineArt, 3, true},
        {kImageGrey, 2, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + ", scan mode " + std::to_string(c.mode));
        m_Settings.SetParamAllTypes(kParamImageType, c.type);
        m_Settings.m_nScanMode = c.mode;
        int result = -1;
        std::vector<uint16_t> table = Build(0, &result);
        int moved = 0;
        for (int i = 0; i < 256; ++i)
            moved += table[i] != i;
        EXPECT_EQ(c.identity, moved == 0) << moved << " entries moved";
        EXPECT_EQ(c.identity ? 0 : 1, result);
    }
}

TEST_F(LookupTableTest, FallingDevicesGetTheValuesInReverseOrder)
{
    CFallingLutDriver falling;
    falling.InitCapabilities();
    m_Settings.SetParamAllTypes(kParamToneCode, 0xFF04);
    std::vector<uint16_t> rising = Build(0);
    std::vector<uint16_t> reversed = Build(0, nullptr, 1000, &falling);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(rising[i], reversed[255 - i]) << i;
}

TEST_F(LookupTableTest, DensityRangeGainAndScale)
{
    // A maximum density below the device's floor: the table spends its range on the densities
    // chosen and is black below them.
    m_Settings.SetParamAllTypes(kParamMaxDensity, 200);
    int result = -1;
    std::vector<uint16_t> table = Build(0, &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ(255, table[255]);
    EXPECT_EQ(0, table[60]);
    EXPECT_GT(table[128], 0);
    EXPECT_LT(table[128], 128);

    m_Settings.SetParamAllTypes(kParamMaxDensity, 4000);
    table = Build(0, &result, 500);     // scale 0.5
    EXPECT_EQ(0, result);
    EXPECT_EQ(127, table[255]);

    m_Settings.SetParamAllTypes(kParamGainRed, 50);
    EXPECT_EQ(127, Build(1)[255]);
    m_Settings.SetParamAllTypes(kParamOriginal, 2);
    EXPECT_EQ(255, Build(1)[255]) << "a negative's gain is left to the correction block";
}

TEST_F(LookupTableTest, CollapsedRangesAndZeroGainsStayFinite)
{
    // Minimum and maximum density equal, and a device whose range is empty.
    m_Settings.SetParamAllTypes(kParamMinDensity, 1000);
    m_Settings.SetParamAllTypes(kParamMaxDensity, 1000);
    m_Settings.SetParamAllTypes(kParamPreviewTone, 0xFF04);
    std::vector<uint16_t> table = Build(0);
    for (uint16_t v : table)
        ASSERT_LE(v, 255);
    m_pDriver->m_ReflectiveDensity = {2000, 2000, 2000, 2000};
    table = Build(0);
    for (uint16_t v : table)
        ASSERT_LE(v, 255);
    EXPECT_EQ(0, Build(0, nullptr, 0)[255]) << "scale 0 gives black";
    m_Settings.SetParamAllTypes(kParamGainRed, 0);
    table = Build(1);
    for (uint16_t v : table)
        ASSERT_EQ(0, v) << "gain 0 gives black";
}

TEST_F(LookupTableTest, ColourNegativeChannelFollowsTheCorrectionCurve)
{
    CmsCorrectionBlock block = {};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) {
            block.curveIn[c][i] = (float)i;
            block.curveOut[c][i] = (float)(255 - i);
        }
    m_pDriver->m_pCorrectionBlock = &block;
    m_Settings.SetParamAllTypes(kParamOriginal, 2);
    std::vector<uint16_t> red = Build(1);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(255 - i, red[i]) << i;
    // A table of another size interpolates between the curve's points.
    std::vector<uint16_t> wide(1024);
    m_pDriver->BuildScannerLut(wide.data(), 1024, 4095, 2, 1000);
    EXPECT_EQ(4095, wide[0]);
    EXPECT_EQ(0, wide[1023]);
    EXPECT_NEAR(4095.0 * (255 - 511 * 255.0 / 1023) / 255, wide[511], 1.0);
    // Grey (channel 0) takes no part in the inversion.
    EXPECT_EQ(0, Build(0)[0]);
    m_pDriver->m_pCorrectionBlock = nullptr;
}

TEST_F(LookupTableTest, DownloadPacksTheTableForTheDevice)
{
    CTwelveBitLut block;
    EXPECT_EQ(kDriverOk, m_pDriver->DownloadLut(&block, 0));
    ASSERT_EQ(2048u, block.GetLength());
    EXPECT_EQ(0, block.Entry(0));
    EXPECT_EQ(4095, block.Entry(1023));
    EXPECT_TRUE(m_Reports.Ids().empty());

    EXPECT_EQ(kDriverAborted, m_pDriver->DownloadLut(nullptr, 0));
    EXPECT_EQ(std::vector<int>{3317}, m_Reports.Ids());
}

// A curve file the settings ask for must not give way silently to the plain table while the
// program has no curve loader; a curve file that is not asked for changes nothing.
TEST_F(LookupTableTest, CurveFileWithoutACurveLoaderRefusesTheTable)
{
    ASSERT_FALSE(Shell().LoadsToneCurves());
    AfxGetApp()->WriteProfileString("General", "ToneCurve", "edited.tc");
    CTwelveBitLut block;
    EXPECT_EQ(kDriverOk, m_pDriver->DownloadLut(&block, 0));
    EXPECT_TRUE(m_Reports.Ids().empty());

    m_Settings.SetParamAllTypes(kParamToneCode, 0xFF07);
    CTwelveBitLut refused;
    EXPECT_EQ(kDriverAborted, m_pDriver->DownloadLut(&refused, 0));
    EXPECT_EQ(std::vector<int>{3331}, m_Reports.Ids());
    AfxGetApp()->WriteProfileString("General", "ToneCurve", nullptr);
}

TEST_F(LookupTableTest, EditedToneCurvesApplyWhenChosen)
{
    CCurveShell shell;
    const CShellServicesScope scope(shell);
    AfxGetApp()->WriteProfileString("General", "ToneCurve", "edited.tc");
    CTestCurves::s_Fitted.clear();
    EXPECT_EQ(0, Build(0)[0]) << "the curves need tone code 0xFF07";
    EXPECT_TRUE(CTestCurves::s_Fitted.empty());

    m_Settings.SetParamAllTypes(kParamToneCode, 0xFF07);
    int result = -1;
    std::vector<uint16_t> table = Build(0, &result);
    EXPECT_EQ(255, table[0]);
    EXPECT_EQ(55, table[200]);
    EXPECT_EQ(0, result);
    EXPECT_EQ(std::vector<int>{0}, CTestCurves::s_Fitted);

    // Four curves on a colour negative's green channel: green, then the common curve.
    CTestCurves::s_nLoaderMode = 1;
    CTestCurves::s_Fitted.clear();
    m_Settings.SetParamAllTypes(kParamOriginal, 2);
    table = Build(2);
    EXPECT_EQ(40, table[0]);
    EXPECT_EQ(255, table[240]);
    EXPECT_EQ((std::vector<int>{1, 3}), CTestCurves::s_Fitted);

    AfxGetApp()->WriteProfileString("General", "ToneCurve", "missing.tc");
    EXPECT_EQ(0, Build(0)[0]) << "an unreadable file leaves the step off";
    AfxGetApp()->WriteProfileString("General", "ToneCurve", nullptr);
    CTestCurves::s_nLoaderMode = 0;
}
