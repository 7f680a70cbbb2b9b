#include "SettingsTestSupport.h"

#include <cstring>
#include <string>

namespace {

enum DriverMode { kWithDriver, kNoDriver, kDriverWithoutReflective };

struct RouteCase {
    const char* name;
    int32_t currentType;
    uint16_t id;
    int32_t value;
    DriverMode driver;
    uint16_t checkId;
    int32_t expected[kImageTypeCount];   // checkId in blocks 0..4 afterwards; the record starts at 0
};

const RouteCase kRoutes[] = {
    {"image type to all", 2, kParamImageType, 4, kWithDriver, kParamImageType, {4, 4, 4, 4, 4}},
    {"format index to all", 2, kParamFormatIndex, 7, kWithDriver, kParamFormatIndex, {7, 7, 7, 7, 7}},
    {"selection left to all", 3, kParamSelLeft, 120, kWithDriver, kParamSelLeft, {120, 120, 120, 120, 120}},
    {"origin y to all", 0, kParamOriginY, 9, kWithDriver, kParamOriginY, {9, 9, 9, 9, 9}},
    {"red gain to colour", 2, kParamGainRed, 120, kWithDriver, kParamGainRed, {0, 0, 0, 120, 120}},
    {"blue gain to colour", 0, kParamGainBlue, 90, kWithDriver, kParamGainBlue, {0, 0, 0, 90, 90}},
    {"negative: line art positive", 3, kParamOriginal, 2, kWithDriver, kParamOriginal, {1, 2, 2, 2, 2}},
    {"transparency to all", 3, kParamOriginal, 1, kWithDriver, kParamOriginal, {1, 1, 1, 1, 1}},
    {"resolution for line art", 0, kParamResolution, 300, kWithDriver, kParamResolution, {300, 0, 0, 0, 0}},
    {"resolution for grey", 2, kParamResolution, 300, kWithDriver, kParamResolution, {0, 300, 300, 300, 300}},
    {"scale for RGB", 3, kParamScale, 80, kWithDriver, kParamScale, {0, 80, 80, 80, 80}},
    {"sharpness above 100", 3, kParamSharpness, 150, kWithDriver, kParamSharpness, {0, 150, 150, 150, 150}},
    {"sharpness above 100 keeps level", 3, kParamSharpness, 150, kWithDriver, kParamSharpenLevel, {0, 0, 0, 0, 0}},
    {"sharpness level copied", 3, kParamSharpness, 60, kWithDriver, kParamSharpenLevel, {0, 0, 0, 60, 0}},
    {"sharpness from line art", 0, kParamSharpness, 30, kWithDriver, kParamSharpness, {0, 30, 30, 30, 30}},
    {"screen ruling", 0, kParamScreenRuling, 133, kWithDriver, kParamScreenRuling, {0, 133, 133, 133, 133}},
    {"tone 0.5 becomes custom", 2, kParamToneCode, 0xFF0C, kWithDriver, kParamToneCode, {0, 0, 0xFF09, 0, 0}},
    {"tone 0.5 sets gamma 5", 2, kParamToneCode, 0xFF0C, kWithDriver, kParamCustomGamma, {0, 0, 5, 0, 0}},
    {"tone 0.5 leaves channel gammas", 2, kParamToneCode, 0xFF0C, kWithDriver, kParamCustomGammaRed, {0, 0, 0, 0, 0}},
    {"tone 0.8 sets gamma 8", 4, kParamToneCode, 0xFF0D, kWithDriver, kParamCustomGamma, {0, 0, 0, 0, 8}},
    {"tone 1.8 stored as is", 4, kParamToneCode, 0xFF04, kWithDriver, kParamToneCode, {0, 0, 0, 0, 0xFF04}},
    {"line-art range without reflective", 0, kParamRangeMode, 0, kDriverWithoutReflective, kParamRangeMode,
        {5, 0, 0, 0, 0}},
    {"line-art range with reflective", 0, kParamRangeMode, 0, kWithDriver, kParamRangeMode, {0, 0, 0, 0, 0}},
    {"line-art range without driver", 0, kParamRangeMode, 0, kNoDriver, kParamRangeMode, {0, 0, 0, 0, 0}},
    {"grey range without reflective", 2, kParamRangeMode, 0, kDriverWithoutReflective, kParamRangeMode,
        {0, 0, 0, 0, 0}},
    {"min density raised", 3, kParamMinDensity, 10, kWithDriver, kParamMinDensity, {0, 0, 0, 200, 0}},
    {"min density copies", 3, kParamMinDensity, 10, kWithDriver, kParamMinDensityBlue, {0, 0, 0, 200, 0}},
    {"min density without driver", 3, kParamMinDensity, 10, kNoDriver, kParamMinDensityRed, {0, 0, 0, 10, 0}},
    {"max density lowered", 2, kParamMaxDensity, 5000, kWithDriver, kParamMaxDensity, {0, 0, 3500, 0, 0}},
    {"max density copies", 2, kParamMaxDensity, 3000, kWithDriver, kParamMaxDensityBlue, {0, 0, 3000, 0, 0}},
    {"custom gamma copies", 3, kParamCustomGamma, 18, kWithDriver, kParamCustomGammaGreen, {0, 0, 0, 18, 0}},
    {"plain id to current", 1, kParamWindow50, 6, kWithDriver, kParamWindow50, {0, 6, 0, 0, 0}},
    // Stored past block 3 the value would land on the image type of block 4.
    {"id past the block", 3, 145, 6, kWithDriver, kParamImageType, {3, 3, 3, 3, 3}},
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.name; }

class SettingsRouteTest : public SettingsTest, public ::testing::WithParamInterface<RouteCase> {};

}  // namespace

TEST_P(SettingsRouteTest, StoresIntoTheBlocksOfItsRoute)
{
    const RouteCase& c = GetParam();
    m_Driver.m_ReflectiveDensity.m_nMinimum = 200;
    m_Driver.m_ReflectiveDensity.m_nMaximum = 3500;
    if (c.driver == kNoDriver)
        g_pScannerDriver = nullptr;
    if (c.driver == kDriverWithoutReflective)
        m_Driver.m_nCapabilityFlags &= (uint8_t)~kCapReflective;
    // The current type is set straight into the blocks, so that the record starts from zeros.
    for (auto& block : m_Settings.Slot().m_nParams)
        block[kParamImageType] = c.currentType;

    m_Settings.SetParam(c.id, c.value);

    for (int t = 0; t < kImageTypeCount; ++t) {
        EXPECT_EQ(c.expected[t], m_Settings.GetParamForType(t, c.checkId)) << "block " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, SettingsRouteTest, ::testing::ValuesIn(kRoutes),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum((unsigned char)ch))
                                     ch = '_';
                             return name;
                         });

TEST_F(SettingsTest, AllTypesStoreSkipsRoutingButKeepsSpecialCases)
{
    m_Settings.SetParamAllTypes(kParamOriginal, 2);
    m_Settings.SetParamAllTypes(kParamToneCode, 0xFF0D);
    for (int t = 0; t < kImageTypeCount; ++t) {
        EXPECT_EQ(2, m_Settings.GetParamForType(t, kParamOriginal));
        EXPECT_EQ(0xFF09, m_Settings.GetParamForType(t, kParamToneCode));
        EXPECT_EQ(8, m_Settings.GetParamForType(t, kParamCustomGamma));
    }
}

TEST_F(SettingsTest, ImageTypeNormalisesEachBlocksSampleFormat)
{
    for (auto& block : m_Settings.Slot().m_nParams)
        block[kParamBitsPerChannel] = 4;
    m_Settings.SetParamAllTypes(kParamImageType, 3);
    const int32_t channels[] = {1, 1, 1, 3, 4};
    const int32_t bits[] = {1, 1, 8, 8, 8};
    for (int t = 0; t < kImageTypeCount; ++t) {
        EXPECT_EQ(channels[t], m_Settings.GetParamForType(t, kParamChannels)) << t;
        EXPECT_EQ(bits[t], m_Settings.GetParamForType(t, kParamBitsPerChannel)) << t;
    }
    EXPECT_EQ(3, m_Settings.GetCurrentType());
}

TEST_F(SettingsTest, TypeOutsideTheBlocksStoresOnlyFixedRoutes)
{
    m_Settings.SetParamForType(7, kParamWindow50, 9);
    m_Settings.SetParamForType(7, kParamResolution, 600);
    m_Settings.SetParamForType(7, kParamSharpness, 40);
    for (int t = 0; t < kImageTypeCount; ++t) {
        EXPECT_EQ(0, m_Settings.GetParamForType(t, kParamWindow50));
        EXPECT_EQ(t == 0 ? 0 : 600, m_Settings.GetParamForType(t, kParamResolution));
        EXPECT_EQ(0, m_Settings.GetParamForType(t, kParamSharpenLevel));
    }
}

TEST_F(SettingsTest, InvalidCurrentTypeReadsAndWritesNothing)
{
    m_Settings.SetParam(kParamImageType, 9);
    m_Settings.SetParam(kParamWindow50, 4);
    EXPECT_EQ(0, m_Settings.GetParam(kParamWindow50));
    for (int t = 0; t < kImageTypeCount; ++t)
        EXPECT_EQ(0, m_Settings.GetParamForType(t, kParamWindow50));
}

TEST_F(SettingsTest, OverlongNamesAreReplaced)
{
    std::string longName(255, 'x');
    std::string longest(254, 'y');
    m_Settings.SetProfileName(2, longName.c_str());
    m_Settings.SetProfileName(3, longest.c_str());
    m_Settings.SetFlavorName(1, "warm");
    m_Settings.SetFlavorName(1, longName.c_str());
    SetCurrentType(kImageRgb);
    m_Settings.SetCurrentLinkName("link");
    EXPECT_STREQ("None", m_Settings.GetProfileName(2));
    EXPECT_EQ(longest, m_Settings.GetProfileName(3));
    EXPECT_STREQ("", m_Settings.GetFlavorName(1));
    EXPECT_STREQ("link", m_Settings.GetLinkName(kImageRgb));
}

TEST_F(SettingsTest, AssignCopiesTheWholeRecord)
{
    m_Settings.SetParamAllTypes(kParamCameraPreview, 180);
    m_Settings.SetFilmTypeName(4, "film");
    m_Settings.CorrectionBlock().curveOut[2][255] = 0.25f;
    m_Settings.m_nPixelsPerLine = 77;
    m_Settings.m_strFileName = "a.zlk";
    m_Settings.m_bLevelsDirty = 1;
    CScanSettings copy;
    EXPECT_EQ(&copy, &copy.Assign(m_Settings));
    EXPECT_EQ(0, memcmp(&copy.Slot(), &m_Settings.Slot(), sizeof(CSettingsSlot)));
    EXPECT_EQ(77u, copy.GetPixelsPerLine());
    EXPECT_STREQ("a.zlk", copy.m_strFileName);
    EXPECT_EQ(1, copy.m_bLevelsDirty);
}

TEST_F(SettingsTest, ClampSelectionKeepsTheSelectionOnTheBed)
{
    m_Driver.m_ReflectiveBed = {500, 1000, 20000, 30000};
    m_Driver.m_TransparencyBed = {0, 0, 4000, 4000};
    m_Settings.SetParam(kParamOriginX, 100);
    m_Settings.SetParam(kParamSelLeft, 0);
    m_Settings.SetParam(kParamSelTop, 2000);
    m_Settings.SetParam(kParamSelRight, 25000);
    m_Settings.SetParam(kParamSelBottom, 29000);
    EXPECT_EQ(0, m_Settings.ClampSelection());
    EXPECT_EQ(400, m_Settings.GetParam(kParamSelLeft));
    EXPECT_EQ(2000, m_Settings.GetParam(kParamSelTop));
    EXPECT_EQ(20000, m_Settings.GetParam(kParamSelRight));
    EXPECT_EQ(29000, m_Settings.GetParam(kParamSelBottom));
    EXPECT_EQ(1, m_Settings.ClampSelection());

    m_Settings.SetParam(kParamOriginal, 1);   // the transparency bed is smaller
    EXPECT_EQ(0, m_Settings.ClampSelection());
    EXPECT_EQ(4000, m_Settings.GetParamForType(kImageLineArt, kParamSelRight));
}

TEST_F(SettingsTest, ResetDerivedGeometryFillsMissingSampleFormats)
{
    SetCurrentType(kImageGrey);
    for (auto& block : m_Settings.Slot().m_nParams)
        block[kParamChannels] = block[kParamBitsPerChannel] = block[kParamBinary] = 0;
    m_Settings.m_nPixelsPerLine = 5;
    m_Settings.m_nScanMode = 3;
    m_Settings.m_WindowSummary.m_nWord[2] = 9;
    m_Settings.m_bScanStateA = 1;
    m_Settings.m_bScanStateB = 1;
    m_Settings.ResetDerivedGeometry();
    EXPECT_EQ(4, m_Settings.GetParamForType(kImageCmyk, kParamChannels));
    EXPECT_EQ(1, m_Settings.GetParamForType(kImageHalftone, kParamBinary));
    EXPECT_EQ(0u, m_Settings.GetPixelsPerLine());
    EXPECT_EQ(0u, m_Settings.GetScanMode());
    EXPECT_EQ(0, m_Settings.m_WindowSummary.m_nWord[2]);
    EXPECT_EQ(1u, m_Settings.GetChannels());
    EXPECT_EQ(8u, m_Settings.GetBitsPerChannel());
    EXPECT_EQ(0, m_Settings.m_bScanStateA);
    EXPECT_EQ(1, m_Settings.m_bScanStateB);
}
