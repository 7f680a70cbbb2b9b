#include "core/cms/CmsEngineInstance.h"
#include "core/driver/ScanSettingsCreation.h"
#include "core/messages/MessageReporter.h"
#include "tests/core/driver/DriverTestSupport.h"
#include "tests/core/driver/FakeCmsEngine.h"

namespace {

class SettingsCreationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadEnglishCatalog();
        m_bSavedInteractive = g_bInteractive;
        g_bProfileSupport = 0;
    }
    void TearDown() override
    {
        DeleteScanSettings();
        g_pScannerDriver = nullptr;
        g_pCmsEngine = nullptr;
        g_bInteractive = m_bSavedInteractive;
        g_bProfileSupport = 1;
    }
    CScannerDriver* MakeDriver()
    {
        m_pDriver = std::make_unique<CScannerDriver>();
        g_pScannerDriver = m_pDriver.get();
        m_pDriver->InitCapabilities();
        return m_pDriver.get();
    }
    int32_t Param(int type, uint16_t id) const { return g_pScanSettings->GetParamForType(type, id); }

    std::unique_ptr<CScannerDriver> m_pDriver;
    int m_bSavedInteractive = 1;
};

}  // namespace

TEST_F(SettingsCreationTest, InteractiveDefaultsFollowTheDriver)
{
    g_bInteractive = 1;
    CScannerDriver* driver = MakeDriver();
    driver->m_ReflectiveDensity = {100, 300, 300, 3200};
    ASSERT_EQ(1, CreateScanSettings());
    ASSERT_NE(nullptr, g_pScanSettings);
    EXPECT_EQ(0, driver->m_nImageTypeFlags & 0x02) << "halftone is never offered";
    struct Case { int type; uint16_t id; int32_t value; };
    const Case kCases[] = {
        {0, kParamImageType, kImageRgb},
        {0, kParamChannels, 1},
        {0, kParamBinary, 1},
        {2, kParamBitsPerChannel, 8},
        {3, kParamChannels, 3},
        {4, kParamChannels, 4},
        {3, kParamOriginal, 0},
        {3, kParamToneCode, 0xFF00},
        {3, kParamMinDensity, 100},
        {3, kParamMaxDensity, 3200},
        {3, kParamMaxSnapshot, 3200},
        {3, kParamSelRight, 2000},
        {3, kParamQuality, 1},
        {3, kParamUserWidth, 21000},
        {3, kParamUserHeight, 29700},
        {3, kParamScale, 100},
        {3, kParamThreshold, 50},
        {3, kParamGeneralPrefA, 64},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(c.value, Param(c.type, c.id)) << "type " << c.type << " id " << c.id;
    const CmsCorrectionBlock& block = g_pScanSettings->CorrectionBlock();
    EXPECT_FLOAT_EQ(200.0f, block.curveIn[2][200]);
    EXPECT_FLOAT_EQ(55.0f, block.curveOut[2][200]);
    EXPECT_EQ(1, g_pScanSettings->m_bLevelsDirty);
    EXPECT_STREQ("None", g_pScanSettings->GetProfileName(4));
    EXPECT_STREQ("", g_pScanSettings->GetFilmTypeName(3));
}

TEST_F(SettingsCreationTest, FilmScannerStartsWithTransparencies)
{
    g_bInteractive = 1;
    CScannerDriver* driver = MakeDriver();
    driver->m_nCapabilityFlags &= (uint8_t)~kCapReflective;
    driver->m_TransparencyDensity = {200, 300, 300, 3600};
    CreateScanSettings();
    for (int t = 0; t < kImageTypeCount; ++t)
        EXPECT_EQ(1, Param(t, kParamOriginal)) << t;
    EXPECT_EQ(3600, Param(3, kParamMaxDensity));
}

TEST_F(SettingsCreationTest, BatchDefaultsScanTheWholeBedInLineArt)
{
    g_bInteractive = 0;
    CScannerDriver* driver = MakeDriver();
    driver->m_ReflectiveBed = {0, 0, 21600, 29700};
    ASSERT_EQ(1, CreateScanSettings());
    EXPECT_EQ(kImageLineArt, g_pScanSettings->GetCurrentType());
    EXPECT_EQ(5, Param(0, kParamRangeMode));
    EXPECT_EQ(2, Param(3, kParamRangeMode));
    EXPECT_EQ(kToneCustom, Param(0, kParamToneCode));
    EXPECT_EQ(18, Param(0, kParamCustomGamma));
    EXPECT_EQ(0, Param(0, kParamSelLeft));
    EXPECT_EQ(21600, Param(0, kParamSelRight));
    EXPECT_EQ(29700, Param(0, kParamSelBottom));
    EXPECT_EQ(2, Param(0, kParamQuality));
}

TEST_F(SettingsCreationTest, BatchDefaultsTakeTheFirstTypeTheDriverOffers)
{
    struct Case {
        uint8_t flags;
        int32_t type;
    };
    // Halftone (bit 1) is withdrawn before the defaults are stored, so it is never the first.
    const Case kCases[] = {
        {0x1D, kImageLineArt}, {0x0C, kImageGrey}, {0x0E, kImageGrey}, {0x08, kImageRgb}, {0x10, kImageCmyk},
        {0x00, kImageLineArt},
    };
    g_bInteractive = 0;
    for (const Case& c : kCases) {
        CScannerDriver* driver = MakeDriver();
        driver->m_nImageTypeFlags = c.flags;
        ASSERT_EQ(1, CreateScanSettings());
        EXPECT_EQ(c.type, g_pScanSettings->GetCurrentType()) << "flags " << int(c.flags);
        EXPECT_EQ(5, Param(0, kParamRangeMode));
        DeleteScanSettings();
    }
}

TEST_F(SettingsCreationTest, WorksWithoutADriver)
{
    for (int interactive : {1, 0}) {
        g_bInteractive = interactive;
        ASSERT_EQ(1, CreateScanSettings()) << interactive;
        EXPECT_EQ(0, Param(3, kParamOriginal));
        EXPECT_EQ(0, Param(3, kParamMinDensity));
        EXPECT_EQ(4000, Param(3, kParamMaxDensity));
        EXPECT_EQ(interactive ? 2000 : 40000, Param(0, kParamSelRight));
        DeleteScanSettings();
        EXPECT_EQ(nullptr, g_pScanSettings);
    }
}

TEST_F(SettingsCreationTest, ProfileKindsDecideColourManagement)
{
    using P = CFakeCmsEngine;
    struct Case {
        const char* what;
        std::vector<P::CProfile> profiles;
        int32_t kinds;
    };
    const Case kCases[] = {
        {"input (transparency) and monitor",
         {P::Profile("in", "2.1", kCmsClassInput, kCmsModeTransparency, 0),
          P::Profile("mon", "2.0", kCmsClassMonitor, 0, 0)},
         0x1A},
        {"reflective input and CMYK output",
         {P::Profile("in", "2.0", kCmsClassInput, kCmsModeReflective, 0),
          P::Profile("out", "4.2", kCmsClassOutput, 0, kCmsSpaceCmyk)},
         0x24},
        {"input profiles only", {P::Profile("in", "2.0", kCmsClassInput, kCmsModeReflective, 0)}, 0},
        {"a version 1 monitor does not count",
         {P::Profile("in", "2.0", kCmsClassInput, kCmsModeReflective, 0),
          P::Profile("mon", "1.0", kCmsClassMonitor, 0, 0)},
         0},
    };
    g_bInteractive = 1;
    MakeDriver();
    for (const Case& c : kCases) {
        CFakeCmsEngine engine;
        engine.m_Profiles = c.profiles;
        g_pCmsEngine = &engine;
        g_bProfileSupport = 1;
        CreateScanSettings();
        EXPECT_EQ(1, engine.m_nSearchesEnded) << c.what;
        if (c.kinds != 0) {
            EXPECT_EQ(c.kinds, Param(2, kParamColourManagement)) << c.what;
            EXPECT_EQ(1, g_bProfileSupport) << c.what;
        } else {
            EXPECT_EQ(0, g_bProfileSupport) << c.what;
            EXPECT_LE(Param(2, kParamColourManagement), 1) << "engine presence only: " << c.what;
        }
    }
    CFakeCmsEngine refusing;
    refusing.m_nBeginResult = 1;
    g_pCmsEngine = &refusing;
    EXPECT_EQ(0, DetectProfileKinds());
    EXPECT_EQ(0, refusing.m_nSearchesEnded);
    g_pCmsEngine = nullptr;
    EXPECT_EQ(0, DetectProfileKinds());
}
