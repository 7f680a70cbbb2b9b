// The driver base's prescan, run through a real scan job over the chart scanner.

#include "core/scan/ScanServices.h"
#include "core/scan/ShellServices.h"
#include "tests/core/scan/ScanTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// What the device was asked for while the prescan's own job ran.
struct CPrescanSeen {
    int32_t resolution;
    int32_t type;
    int32_t bits;
    int32_t original;
    int32_t quality;
    int32_t rotation;
    int32_t mirror;
    int32_t busyCheckSkipped;
};

// The chart scanner with the base's prescan step and a resolution range of its own.
class CPrescanDriver : public CChartDriver {
public:
    CPrescanDriver() : CChartDriver(true)
    {
        m_ReflectiveDensity = {0, 300, 300, 4000};
        m_TransparencyDensity = {0, 300, 300, 3600};
    }
    uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress) override
    {
        return CScannerDriver::PrescanIfNeeded(settings, progress);
    }
    uint32_t ClampResolutionX(uint32_t resolution) override
    {
        return std::clamp<uint32_t>(resolution, m_nLowest, 2400);
    }
    uint16_t UpdateScanGeometry() override
    {
        const CScanSettings& s = *g_pScanSettings;
        m_Seen.push_back({s.GetParam(kParamResolution), s.GetCurrentType(), s.GetParam(kParamBitsPerChannel),
                          s.GetParam(kParamOriginal), s.GetParam(kParamQuality), s.GetParam(kParamRotation),
                          s.GetParam(kParamMirror), m_nState == 0});
        return CChartDriver::UpdateScanGeometry();
    }

    uint32_t m_nLowest = 10;
    std::vector<CPrescanSeen> m_Seen;
};

// The shell's side of a prescan: the status windows it is asked to close, and the view's
// engine-correction switch.
class CPrescanShell : public CShellServices {
public:
    void CloseProfileStatus() override { ++m_nStatusWindowsClosed; }
    int UsesEngineCorrection() override { return m_nEngineCorrection; }

    int m_nStatusWindowsClosed = 0;
    int m_nEngineCorrection = 0;
};

class PrescanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_pScannerDriver = &m_Driver;
        g_pScanSettings = &m_Settings;
        SetAll(m_Settings, kParamImageType, kImageRgb);
        SetAll(m_Settings, kParamResolution, 300);
        SetAll(m_Settings, kParamScale, 100);
        SetAll(m_Settings, kParamBitsPerChannel, 8);
        SetAll(m_Settings, kParamChannels, 3);
        SetAll(m_Settings, kParamOriginal, 0);
        SetAll(m_Settings, kParamRangeMode, 2);
        SetAll(m_Settings, kParamMinDensity, 0);
        SetAll(m_Settings, kParamMaxDensity, 4000);
        SetAll(m_Settings, kParamClipLow, 100);
        SetAll(m_Settings, kParamClipHigh, 100);
        SetAll(m_Settings, kParamPreviewValue, 1000);
        SetAll(m_Settings, kParamCameraPreview, 1000);
        SetAll(m_Settings, kParamRotation, 90);
        SetAll(m_Settings, kParamMirror, 1);
        SetAll(m_Settings, kParamQuality, 1);
        Select(2000, 3000, 12000, 13000);
    }
    void TearDown() override
    {
        g_pScannerDriver = nullptr;
        g_pScanSettings = nullptr;
    }

    void Select(int32_t left, int32_t top, int32_t right, int32_t bottom)
    {
        SetAll(m_Settings, kParamSelLeft, left);
        SetAll(m_Settings, kParamSelTop, top);
        SetAll(m_Settings, kParamSelRight, right);
        SetAll(m_Settings, kParamSelBottom, bottom);
    }

    uint16_t Prescan() { return m_Driver.PrescanIfNeeded(&m_Settings, nullptr); }

    CPrescanDriver m_Driver;
    CScanSettings m_Settings;
    CReportRecorder m_Reports;
    CPrescanShell m_Shell;
    CShellServicesScope m_ShellScope{m_Shell};
};

// Every parameter except those the prescan reports its densities in.
bool SameExceptDensities(const CScanSettings& a, const CScanSettings& b)
{
    for (int t = 0; t < kImageTypeCount; ++t) {
        for (int id = 0; id < kParamCount; ++id) {
            bool density = (id >= 66 && id <= 73) || (id >= 124 && id <= 126) || (id >= 135 && id <= 137);
            if (!density && a.Slot().m_nParams[t][id] != b.Slot().m_nParams[t][id])
                return false;
        }
    }
    return std::memcmp(a.Slot().m_szFilmTypeNames, b.Slot().m_szFilmTypeNames, sizeof a.Slot().m_szFilmTypeNames) ==
           0;
}

}  // namespace

TEST_F(PrescanTest, RunsOnlyWhenTheSettingsNeedIt)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t autoMin;
        int32_t autoMax;
        int32_t rangeMode;
        int32_t previewFlag;
        int32_t original;
        int32_t prescanDone;
        bool prescans;
    };
    const Case cases[] = {
        {"automatic minimum", kImageRgb, 1, 0, 2, 0, 0, 0, true},
        {"automatic maximum", kImageGrey, 0, 1, 2, 0, 0, 0, true},
        {"range from the image", kImageRgb, 0, 0, 0, 0, 0, 0, true},
        {"densities given", kImageRgb, 0, 0, 2, 0, 0, 0, false},
        {"preview already measured", kImageRgb, 1, 1, 0, 1, 0, 0, false},
        {"line art never", kImageLineArt, 1, 1, 0, 0, 0, 0, false},
        {"colour negative not yet measured", kImageRgb, 0, 0, 2, 1, 2, 0, true},
        {"colour negative measured", kImageRgb, 0, 0, 2, 1, 2, 1, false},
        {"grey negative by its densities", kImageGrey, 0, 0, 2, 0, 2, 0, false},
        {"grey negative with automatic exposure", kImageGrey, 1, 0, 2, 0, 2, 0, true},
        {"CMYK scans its prescan in RGB", kImageCmyk, 1, 0, 2, 0, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetAll(m_Settings, kParamImageType, c.type);
        SetAll(m_Settings, kParamAutoMinimum, c.autoMin);
        SetAll(m_Settings, kParamAutoMaximum, c.autoMax);
        SetAll(m_Settings, kParamRangeMode, c.rangeMode);
        SetAll(m_Settings, kParamPreviewFlag, c.previewFlag);
        SetAll(m_Settings, kParamOriginal, c.original);
        SetAll(m_Settings, kParamPrescanDone, c.prescanDone);
        m_Driver.m_Seen.clear();
        EXPECT_EQ(kDriverOk, Prescan());
        EXPECT_EQ(c.prescans ? 1u : 0u, m_Driver.m_Seen.size());
        EXPECT_EQ(2, m_Driver.m_nState);
        EXPECT_EQ(1, CScannerDriver::s_bPrescanAllowed);
    }
    EXPECT_TRUE(m_Reports.Ids().empty());
}

TEST_F(PrescanTest, NeitherWhileAnotherPrescanRunsNorWithTheEngineCorrection)
{
    SetAll(m_Settings, kParamAutoMinimum, 1);
    CScannerDriver::s_bPrescanAllowed = 0;
    EXPECT_EQ(kDriverOk, Prescan());
    CScannerDriver::s_bPrescanAllowed = 1;
    m_Shell.m_nEngineCorrection = 1;
    EXPECT_EQ(kDriverOk, Prescan());
    EXPECT_TRUE(m_Driver.m_Seen.empty());
}

TEST_F(PrescanTest, ResolutionGivesAboutSixtyFiveThousandPixels)
{
    struct Case {
        const char* name;
        int32_t width;
        int32_t height;
        uint32_t lowest;
        int32_t resolution;
    };
    const Case cases[] = {
        // sqrt(65536 / 10^8) x 2540 = 65.02; 75 is more than 10 per cent away, so 65 stays.
        {"device from 75 ppi", 10000, 10000, 75, 65},
        // 70 is within 10 per cent of 65: the device's own resolution is taken.
        {"device from 70 ppi", 10000, 10000, 70, 70},
        {"device from 10 ppi", 10000, 10000, 10, 65},
        // A selection narrower than 5 units counts as 5 units.
        {"narrow selection", 2, 20000, 10, 2056},
        {"five units", 5, 20000, 10, 2056},
    };
    SetAll(m_Settings, kParamAutoMinimum, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Driver.m_nLowest = c.lowest;
        m_Driver.m_Seen.clear();
        Select(1000, 1000, 1000 + c.width, 1000 + c.height);
        // Where the device's own resolution differs, the chart scan needs scaling that the test
        // engine does not offer; only the resolution asked for matters here.
        Prescan();
        ASSERT_EQ(1u, m_Driver.m_Seen.size());
        EXPECT_EQ(c.resolution, m_Driver.m_Seen[0].resolution);
        EXPECT_EQ(300, m_Settings.GetParam(kParamResolution));
    }
}

TEST_F(PrescanTest, ScansFastAndPlainAndPutsEverySettingBack)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t bits;
        int32_t original;
        int32_t prescanType;
        int32_t prescanOriginal;
        int32_t prescanQuality;
    };
    const Case cases[] = {
        {"deep colour slide", kImageRgb, 16, 1, kImageRgb, 1, 2},
        {"halftone print", kImageHalftone, 1, 0, kImageGrey, 0, 2},
        {"CMYK print", kImageCmyk, 8, 0, kImageRgb, 0, 2},
        {"colour negative", kImageRgb, 8, 2, kImageRgb, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetAll(m_Settings, kParamImageType, c.type);
        SetAll(m_Settings, kParamBitsPerChannel, c.bits);
        SetAll(m_Settings, kParamOriginal, c.original);
        SetAll(m_Settings, kParamAutoMinimum, 1);
        SetAll(m_Settings, kParamQuality, 1);
        m_Settings.SetCurrentFilmTypeName("NEG100");
        m_Settings.m_bLevelsDirty = 1;
        CScanSettings before(m_Settings);
        m_Driver.m_Seen.clear();
        ASSERT_EQ(kDriverOk, Prescan());
        ASSERT_EQ(1u, m_Driver.m_Seen.size());
        const CPrescanSeen& seen = m_Driver.m_Seen[0];
        EXPECT_EQ(c.prescanType, seen.type);
        EXPECT_EQ(8, seen.bits);
        EXPECT_EQ(c.prescanOriginal, seen.original);
        EXPECT_EQ(c.prescanQuality, seen.quality);
        EXPECT_EQ(0, seen.rotation);
        EXPECT_EQ(0, seen.mirror);
        EXPECT_TRUE(seen.busyCheckSkipped);
        EXPECT_TRUE(SameExceptDensities(before, m_Settings));
        EXPECT_EQ(1, m_Settings.m_bLevelsDirty);
        EXPECT_EQ(1, m_Shell.m_nStatusWindowsClosed);
        m_Shell.m_nStatusWindowsClosed = 0;
    }
}

TEST_F(PrescanTest, StoresDensitiesWithinTheDeviceLimits)
{
    // Reflective, automatic minimum only: the maximum stays as the user set it.
    SetAll(m_Settings, kParamAutoMinimum, 1);
    SetAll(m_Settings, kParamMaxDensity, 2800);
    ASSERT_EQ(kDriverOk, Prescan());
    int32_t minimum = m_Settings.GetParam(kParamMinDensity);
    EXPECT_GE(minimum, 0);
    EXPECT_LE(minimum, 1000);
    EXPECT_EQ(2800, m_Settings.GetParam(kParamMaxDensity));

    // A colour negative gets every channel, twice.
    SetAll(m_Settings, kParamOriginal, 2);
    SetAll(m_Settings, kParamAutoMinimum, 0);
    SetAll(m_Settings, kParamMaxDensity, 1);
    ASSERT_EQ(kDriverOk, Prescan());
    int32_t overallMax = m_Settings.GetParam(kParamMaxDensity);
    EXPECT_LE(overallMax, 3600);
    for (uint16_t c = 0; c < 3; ++c) {
        int32_t low = m_Settings.GetParam((uint16_t)(kParamMinDensityRed + c));
        int32_t high = m_Settings.GetParam((uint16_t)(kParamMaxDensityRed + c));
        EXPECT_LE(low, 1000) << c;
        EXPECT_GE(high, low + 100) << c;
        EXPECT_LE(high, 3600) << c;
        EXPECT_EQ(low, m_Settings.GetParam((uint16_t)(kParamLevelsMinRed + c))) << c;
        EXPECT_EQ(high, m_Settings.GetParam((uint16_t)(kParamLevelsMaxRed + c))) << c;
    }
    EXPECT_TRUE(m_Reports.Ids().empty());
}

TEST_F(PrescanTest, SettingsComeBackWhenThePrescanFails)
{
    struct Case {
        const char* name;
        int32_t type;
        int failAfterLines;
        uint16_t failCode;
        uint16_t result;
        int message;
    };
    const Case cases[] = {
        {"user abort", kImageRgb, 3, kDriverAborted, kDriverAborted, 0},
        {"read failure", kImageRgb, 0, kDriverFailed, kDriverAborted, 3335},
        {"image type without a prescan image", 5, -1, 0, kDriverFailed, 3340},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetAll(m_Settings, kParamImageType, c.type);
        SetAll(m_Settings, kParamAutoMinimum, 1);
        SetAll(m_Settings, kParamAutoMaximum, 1);
        m_Driver.m_nFailAfterLines = c.failAfterLines;
        m_Driver.m_nFailCode = c.failCode;
        CScanSettings before(m_Settings);
        CReportRecorder reports;
        EXPECT_EQ(c.result, Prescan());
        EXPECT_EQ(0, std::memcmp(&before.Slot(), &m_Settings.Slot(), sizeof(CSettingsSlot)));
        EXPECT_EQ(2, m_Driver.m_nState);
        EXPECT_EQ(1, CScannerDriver::s_bPrescanAllowed);
        if (c.message != 0)
            EXPECT_NE(reports.Ids().end(), std::find(reports.Ids().begin(), reports.Ids().end(), c.message));
        else
            EXPECT_TRUE(reports.Ids().empty());
    }
}
