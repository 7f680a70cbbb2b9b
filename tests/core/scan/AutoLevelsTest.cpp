// Automatic levels from a preview, the colour-correction block and the engine's film correction.

#include "core/cms/CmsEngineInstance.h"
#include "core/image/Dib.h"
#include "core/scan/AutoLevels.h"
#include "core/scan/ScanJob.h"
#include "core/util/Numeric.h"
#include "tests/core/scan/FakeEngine.h"
#include "tests/core/scan/ScanTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int32_t kPreviewExponent = 15;  // preview tone 0xFF03, gamma 1.5

int32_t Density(int32_t level)
{
    return LevelToDensity(level, 0, 4000, kPreviewExponent);
}

// Film correction answered from the test's data; everything else as the scan tests' engine.
class CFilmEngine : public CFakeEngine {
public:
    int OpenFilmType(const char* name, CmsHandle* handle) override
    {
        m_Opened.push_back(name);
        handle->bytes[0] = 1;
        return m_nOpenResult;
    }
    int ComputeFilmCorrection(CmsHandle*, CmsCorrectionBlock* block) override
    {
        ++m_nComputed;
        if (m_nComputeResult != 0)
            return m_nComputeResult;
        for (int c = 0; c < 3; ++c) {
            block->resultMin[c] = 0.1234f + 0.1f * c;
            block->resultMax[c] = 2.5f + 0.1f * c;
        }
        return 0;
    }
    int FreeHandle(CmsHandle* handle) override
    {
        if (handle->bytes[0] != 0)
            ++m_nFreed;
        *handle = {};
        return 0;
    }
    int GetLastErrorCode() override { return m_nOpenResult != 0 || m_nComputeResult != 0 ? 6 : 0; }

    std::vector<std::string> m_Opened;
    int m_nOpenResult = 0;
    int m_nComputeResult = 0;
    int m_nComputed = 0;
    int m_nFreed = 0;
};

class CLevelsDriver : public CChartDriver {
public:
    CLevelsDriver() : CChartDriver(true)
    {
        m_ReflectiveDensity = {0, 300, 300, 4000};
        m_TransparencyDensity = {0, 300, 300, 4000};
    }
};

struct CPreview {
    BITMAPINFOHEADER header = {};
    std::vector<uint8_t> bits;
};

// A W x H 24-bit bottom-up preview; level(x, y) gives the grey level with y counted from the top.
CPreview MakePreview(int32_t width, int32_t height, const std::function<uint8_t(int, int)>& level)
{
    CPreview p;
    p.header.biSize = sizeof p.header;
    p.header.biWidth = width;
    p.header.biHeight = height;
    p.header.biPlanes = 1;
    p.header.biBitCount = 24;
    uint32_t stride = CDib::RowStride((uint32_t)width, 24);
    p.bits.assign((size_t)stride * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::memset(&p.bits[(size_t)(height - 1 - y) * stride + x * 3], level(x, y), 3);
    return p;
}

class AutoLevelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_pScannerDriver = &m_Driver;
        g_pScanSettings = &m_Settings;
        g_pCmsEngine = &m_Engine;
        SetAll(m_Settings, kParamImageType, kImageRgb);
        SetAll(m_Settings, kParamOriginal, 0);
        SetAll(m_Settings, kParamMinDensity, 0);
        SetAll(m_Settings, kParamMaxDensity, 4000);
        SetAll(m_Settings, kParamClipLow, 1000);
        SetAll(m_Settings, kParamClipHigh, 1000);
        SetAll(m_Settings, kParamPreviewValue, 1000);
        SetAll(m_Settings, kParamCameraPreview, 1000);
        SetAll(m_Settings, kParamPreviewTone, 0xFF03);
        for (uint16_t id = kParamGainRed; id <= kParamGainBlue; ++id)
            SetAll(m_Settings, id, 100);
        SetAll(m_Settings, kParamPreviewWidth, 20000);
        SetAll(m_Settings, kParamPreviewHeight, 20000);
        Select(0, 0, 20000, 20000);
        m_Settings.SetCurrentFilmTypeName("NEG100");
    }
    void TearDown() override
    {
        g_pCmsEngine = nullptr;
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

    // The preview spans the whole 20000 x 20000 frame.
    void Run(const CPreview& p, int32_t right = 10000, int32_t bottom = 10000)
    {
        AutoLevels(m_Settings, p.bits.data(), p.header, 0, 0, right, bottom);
    }

    int32_t Param(uint16_t id) const { return m_Settings.GetParam(id); }

    CLevelsDriver m_Driver;
    CScanSettings m_Settings;
    CFilmEngine m_Engine;
    CReportRecorder m_Reports;
};

}  // namespace

TEST_F(AutoLevelsTest, ChartPreviewGivesDensitiesWithinTheDeviceLimits)
{
    // A preview of the chart at 30 ppi, scanned by a job as the preview window takes it.
    Select(0, 0, 21590, 29718);
    SetAll(m_Settings, kParamPreviewWidth, 21590);
    SetAll(m_Settings, kParamPreviewHeight, 29718);
    SetAll(m_Settings, kParamResolution, 30);
    SetAll(m_Settings, kParamScale, 100);
    SetAll(m_Settings, kParamBitsPerChannel, 8);
    SetAll(m_Settings, kParamChannels, 3);
    CDib24 preview(m_Settings.RotatedPixelWidth(), m_Settings.RotatedPixelHeight(), 30);
    ASSERT_NE(nullptr, preview.m_pBits);
    {
        CScanJob job(&m_Settings, nullptr);
        ASSERT_EQ(kDriverOk, job.ScanToMemory(preview));
        job.EndScan();
    }
    AutoLevels(m_Settings, preview.m_pBits, *preview.m_pHeader, 0, 0, 21590 / 2, 29718 / 2);
    for (uint16_t c = 0; c < 3; ++c) {
        int32_t low = Param((uint16_t)(kParamLevelsMinRed + c));
        int32_t high = Param((uint16_t)(kParamLevelsMaxRed + c));
        EXPECT_GE(low, 0) << c;
        EXPECT_LE(low, 1000) << c;
        EXPECT_GE(high, low + 100) << c;
        EXPECT_LE(high, 2500) << c;
        EXPECT_EQ(high, Param((uint16_t)(kParamLevelsSet1Red + c))) << c;
        EXPECT_EQ(high, Param((uint16_t)(kParamLevelsSet2Red + c))) << c;
    }
    // The chart holds black and white: its range is wide.
    EXPECT_GT(Param(kParamLevelsMaxRed) - Param(kParamLevelsMinRed), 1000);
    EXPECT_EQ(1, m_Settings.m_bLevelsDirty);
    EXPECT_TRUE(m_Engine.m_Opened.empty());
    EXPECT_TRUE(m_Reports.Ids().empty());
}

TEST_F(AutoLevelsTest, MaximumDensityIsCappedAt2500)
{
    SetAll(m_Settings, kParamClipLow, 0);
    SetAll(m_Settings, kParamClipHigh, 0);
    CPreview black = MakePreview(100, 100, [](int, int) { return 0; });
    Run(black);
    for (uint16_t id :
        {kParamLevelsMaxRed, kParamLevelsMaxGreen, kParamLevelsMaxBlue, kParamLevelsSet1Red, kParamLevelsSet1Green,
            kParamLevelsSet1Blue, kParamLevelsSet2Red, kParamLevelsSet2Green, kParamLevelsSet2Blue})
        EXPECT_EQ(2500, Param(id)) << id;
    EXPECT_EQ(0, Param(kParamLevelsMinRed));
}

TEST_F(AutoLevelsTest, SmallOrEmptySelectionsUseTheMiddleOfThePreview)
{
    // 200 x 200 preview pixels of 100 units each: a 250 border, a 100 middle and a patch of 60 at
    // (80, 80) that the selection covers.
    struct Case {
        const char* name;
        int patchWidth;
        int patchHeight;
        int32_t areaRight;
        int32_t brightLevel;
        int32_t darkLevel;
    };
    const Case cases[] = {
        {"20 x 40 pixels: margins", 20, 40, 10000, 100, 60},
        {"40 x 40 pixels: the selection", 40, 40, 10000, 60, 60},
        {"empty preview area: margins", 40, 40, 0, 100, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Select(8000, 8000, 8000 + 100 * c.patchWidth, 8000 + 100 * c.patchHeight);
        CPreview p = MakePreview(200, 200, [&](int x, int y) -> uint8_t {
            if (x < 10 || x >= 190 || y < 10 || y >= 190)
                return 250;
            bool patch = x >= 80 && x < 80 + c.patchWidth && y >= 80 && y < 80 + c.patchHeight;
            return patch ? 60 : 100;
        });
        SetAll(m_Settings, kParamLevelsMaxRed, 0);
        Run(p, c.areaRight);
        int32_t low = Density(c.brightLevel);
        int32_t high = std::max(Density(c.darkLevel), low + 100);
        EXPECT_EQ(low, Param(kParamLevelsMinRed));
        EXPECT_EQ(high, Param(kParamLevelsMaxRed));
    }
}

TEST_F(AutoLevelsTest, CorrectionBlockTakesTheCurrentSettings)
{
    struct Case {
        int32_t choice;
        uint32_t setFlag;
        float set1;
        float set2;
    };
    const Case cases[] = {
        {1, 0x4000, 1.0f, 0.0f},
        {2, 0x20000, 0.0f, 0.5f},
        {3, 0x20000, 0.0f, 0.5f},
        {7, 0, 0.0f, 0.0f},
    };
    const int32_t values[][2] = {
        {101, 120}, {102, 0}, {103, 0}, {135, 250}, {136, 260}, {137, 270}, {124, 2100}, {125, 2200},
        {126, 2300}, {129, 1000}, {130, 1100}, {131, 1200}, {132, 500}, {133, 600}, {134, 700},
        {107, 150}, {108, 2600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        for (const auto& v : values)
            SetAll(m_Settings, (uint16_t)v[0], v[1]);
        SetAll(m_Settings, kParamPrescanDone, c.choice);
        m_Settings.CorrectionBlock() = {};
        CPreview p = MakePreview(100, 100, [](int, int) { return 128; });
        Run(p);
        // Neither id 124 nor id 123 is 0: the stored levels are kept.
        EXPECT_EQ(2100, Param(kParamLevelsMaxRed));
        EXPECT_EQ(260, Param(kParamLevelsMinGreen));
        const CmsCorrectionBlock& b = m_Settings.CorrectionBlock();
        EXPECT_EQ(0x8018u | 0x1u | c.setFlag, b.flags);
        EXPECT_FLOAT_EQ(1.5f, b.gamma[2]);
        EXPECT_FLOAT_EQ(20.0f, b.limit[0]);
        EXPECT_FLOAT_EQ(0.12f, b.fog[0]);
        EXPECT_FLOAT_EQ(0.25f, b.minDensity[0]);
        EXPECT_FLOAT_EQ(2.3f, b.maxDensity[2]);
        EXPECT_FLOAT_EQ(0.15f, b.minDensityCopy[1]);
        EXPECT_FLOAT_EQ(2.6f, b.maxDensityCopy[2]);
        EXPECT_FLOAT_EQ(c.set1, b.densitySet1[0]);
        EXPECT_FLOAT_EQ(c.set2, b.densitySet2[0]);
    }
}

TEST_F(AutoLevelsTest, CleanLevelsWithAMeasuredBlockAreLeftAlone)
{
    CPreview p = MakePreview(100, 100, [](int, int) { return 128; });
    m_Settings.CorrectionBlock().reserved = 1;
    m_Settings.m_bLevelsDirty = 0;
    Run(p);
    EXPECT_EQ(0u, m_Settings.CorrectionBlock().flags);
    EXPECT_EQ(0, Param(kParamLevelsMaxRed));
    EXPECT_EQ(0, m_Settings.m_bLevelsDirty);

    m_Settings.m_bLevelsDirty = 1;
    Run(p);
    EXPECT_NE(0u, m_Settings.CorrectionBlock().flags);
    EXPECT_NE(0, Param(kParamLevelsMaxRed));
}

TEST_F(AutoLevelsTest, FilmCorrectionOfNegatives)
{
    struct Case {
        const char* name;
        int32_t original;
        const char* film;
        int openResult;
        int computeResult;
        bool asked;
        bool stored;
    };
    const Case cases[] = {
        {"negative", 2, "NEG100", 0, 0, true, true},
        {"unknown film type", 2, "NOSUCH", 1, 0, true, false},
        {"engine refuses the correction", 2, "NEG100", 0, 1, true, false},
        {"not a negative", 1, "NEG100", 0, 0, false, false},
        {"no film type", 2, "", 0, 0, false, false},
    };
    CPreview p = MakePreview(100, 100, [](int, int) { return 128; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetAll(m_Settings, kParamOriginal, c.original);
        m_Settings.SetCurrentFilmTypeName(c.film);
        for (uint16_t id = kParamMinDensityRed; id <= kParamMaxDensityBlue; ++id)
            SetAll(m_Settings, id, 999);
        m_Engine.m_Opened.clear();
        m_Engine.m_nFreed = 0;
        m_Engine.m_nOpenResult = c.openResult;
        m_Engine.m_nComputeResult = c.computeResult;
        CReportRecorder reports;
        Run(p);
        EXPECT_EQ(c.asked ? 1u : 0u, m_Engine.m_Opened.size());
        bool failed = c.openResult != 0 || c.computeResult != 0;
        EXPECT_EQ(c.asked && failed ? std::vector<int>{3512} : std::vector<int>{}, reports.Ids());
        // Every handle the engine filled is given back.
        EXPECT_EQ(c.asked && c.openResult == 0 ? 1 : 0, m_Engine.m_nFreed);
        const int32_t expected[6] = {123, 223, 323, 2500, 2600, 2700};
        for (uint16_t i = 0; i < 6; ++i) {
            int32_t value = Param((uint16_t)(kParamMinDensityRed + i));
            if (c.stored)
                EXPECT_NEAR(expected[i], value, 1) << i;
            else
                EXPECT_EQ(999, value) << i;
        }
    }
}
