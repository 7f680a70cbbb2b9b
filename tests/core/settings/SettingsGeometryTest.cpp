#include "SettingsTestSupport.h"

namespace {

struct SizeCase {
    int32_t type;
    int32_t bitsPerChannel;
    int32_t right;      // the selection starts at 0, 0
    int32_t bottom;
    int32_t resolution;
    uint32_t lineBytes;
    uint32_t imageBytes;
};

const SizeCase kSizes[] = {
    {kImageGrey, 8, 2540, 1270, 300, 300, 300 * 150},
    {kImageRgb, 8, 2540, 1270, 300, 900, 900 * 150},
    {kImageRgb, 16, 2540, 1270, 300, 1800, 1800 * 150},
    {kImageGrey, 12, 2540, 1270, 300, 600, 600 * 150},
    {kImageGrey, 16, 2540, 1270, 300, 600, 600 * 150},
    {kImageCmyk, 8, 2540, 1270, 300, 1200, 1200 * 150},
    {kImageLineArt, 1, 2540, 1270, 300, 38, 38 * 150},
    {kImageHalftone, 1, 2540, 2540, 100, 13, 13 * 100},
    // An empty or inverted selection counts as 5 units each way.
    {kImageGrey, 8, 0, 0, 2540, 5, 25},
    {kImageRgb, 8, -40, 3, 2540, 15, 75},
    {5, 8, 2540, 2540, 300, 0, 0},
};

class SettingsSizeTest : public SettingsTest, public ::testing::WithParamInterface<SizeCase> {};

}  // namespace

TEST_P(SettingsSizeTest, LineAndImageBytesOfTheSelection)
{
    const SizeCase& c = GetParam();
    SetCurrentType(c.type);
    m_Settings.SetParamForType((uint16_t)c.type, kParamBitsPerChannel, c.bitsPerChannel);
    m_Settings.SetParam(kParamResolution, c.resolution);
    m_Settings.SetParam(kParamSelRight, c.right);
    m_Settings.SetParam(kParamSelBottom, c.bottom);
    EXPECT_EQ(c.lineBytes, m_Settings.SelectionLineBytes());
    EXPECT_EQ(c.imageBytes, m_Settings.ImageBytes());
}

INSTANTIATE_TEST_SUITE_P(Selections, SettingsSizeTest, ::testing::ValuesIn(kSizes));

TEST_F(SettingsTest, RotatedSizesSwapSidesAndRoundOneBitImagesToBytes)
{
    SetCurrentType(kImageLineArt);
    m_Settings.SetParam(kParamResolution, 100);
    m_Settings.SetParam(kParamSelRight, 2540);     // 100 pixels: 13 bytes
    m_Settings.SetParam(kParamSelBottom, 508);     // 20 lines
    EXPECT_EQ(104u, m_Settings.RotatedPixelWidth());
    EXPECT_EQ(20u, m_Settings.RotatedPixelHeight());
    m_Settings.SetParam(kParamRotation, 90);
    EXPECT_EQ(24u, m_Settings.RotatedPixelWidth());
    EXPECT_EQ(100u, m_Settings.RotatedPixelHeight());
    EXPECT_EQ(3u, m_Settings.SelectionLineBytes());
}

TEST_F(SettingsTest, DeviceSizeFollowsTheClampedResolution)
{
    SetCurrentType(kImageGrey);
    m_Settings.SetParam(kParamResolution, 3000);   // the device scans at most 2400
    m_Settings.SetParam(kParamSelRight, 2540);
    m_Settings.SetParam(kParamSelBottom, 1270);
    uint32_t w = 0, h = 0;
    m_Settings.DevicePixelSize(w, h);
    EXPECT_EQ(2401u, w);
    EXPECT_EQ(1201u, h);

    m_Settings.SetParam(kParamRotation, 270);
    m_Settings.DevicePixelSize(w, h);
    EXPECT_EQ(1201u, w);
    EXPECT_EQ(2401u, h);
    m_Settings.ScannerPixelSize(w, h);
    EXPECT_EQ(2401u, w);
    EXPECT_EQ(1201u, h);
}

TEST_F(SettingsTest, OutputSizesExchangeForSidewaysRotation)
{
    SetCurrentType(kImageRgb);
    m_Settings.UpdateSampleFormat(3);
    m_Settings.m_nPixelsPerLine = 100;
    m_Settings.m_nLineCount = 50;
    EXPECT_EQ(300u, m_Settings.OutputBytesPerLine());
    m_Settings.SetParam(kParamRotation, 270);
    EXPECT_EQ(50u, m_Settings.OutputPixelsPerLine());
    EXPECT_EQ(100u, m_Settings.OutputLineCount());
    EXPECT_EQ(150u, m_Settings.OutputBytesPerLine());
}

TEST_F(SettingsTest, SampleFormatByScanMode)
{
    struct Case { uint32_t mode; int32_t bits; uint32_t channels; uint32_t headerBits; uint32_t bytesFor10; };
    const Case kCases[] = {
        {0, 8, 1, 1, 2},      // one-bit samples
        {1, 8, 1, 1, 10},
        {2, 4, 1, 8, 10},
        {2, 12, 1, 12, 20},
        {3, 8, 3, 8, 30},
        {3, 16, 3, 16, 60},
        {4, 8, 4, 8, 40},
    };
    SetCurrentType(kImageGrey);
    for (const Case& c : kCases) {
        m_Settings.Slot().m_nParams[kImageGrey][kParamBitsPerChannel] = c.bits;
        m_Settings.UpdateSampleFormat(c.mode);
        EXPECT_EQ(c.mode, m_Settings.GetScanMode());
        EXPECT_EQ(c.channels, m_Settings.GetChannels()) << "mode " << c.mode;
        EXPECT_EQ(c.headerBits, m_Settings.GetBitsPerChannel()) << "mode " << c.mode;
        EXPECT_EQ(c.bytesFor10, m_Settings.BytesForPixels(10)) << "mode " << c.mode;
    }
    m_Settings.UpdateSampleFormat(9);
    EXPECT_EQ(4u, m_Settings.GetChannels());     // an unknown mode leaves the channels
}

TEST(SettingsPixelsForBytes, ByTypeChannelsAndPacking)
{
    struct Case { int type; uint32_t bytes, channels, bits; int packed; uint32_t pixels; };
    const Case kCases[] = {
        {kImageLineArt, 10, 3, 8, 1, 80},
        {kImageLineArt, 10, 3, 8, 0, 10},
        {kImageGrey, 10, 0, 4, 0, 10},
        {kImageRgb, 30, 1, 8, 0, 10},
        {kImageRgb, 60, 1, 16, 0, 10},
        {kImageCmyk, 41, 1, 8, 0, 11},
        {7, 10, 0, 8, 0, 10},       // no channels: bytes unchanged
        {7, 12, 2, 12, 0, 3},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(c.pixels, CScanSettings::PixelsForBytes(c.type, c.bytes, c.channels, c.bits, c.packed))
            << c.type << " " << c.bytes;
}

TEST_F(SettingsTest, GammaOfEachToneCode)
{
    struct Case { int32_t code; float gamma; };
    const Case kCases[] = {
        {0xFF00, 1.0f}, {0xFF02, 1.2f}, {0xFF03, 1.5f}, {0xFF04, 1.8f}, {0xFF05, 2.2f},
        {0xFF07, 1.0f}, {0xFF09, 2.4f}, {0xFF0C, 0.5f}, {0xFF0D, 0.8f}, {12, 1.0f},
    };
    m_Settings.SetParam(kParamCustomGamma, 24);
    for (const Case& c : kCases) {
        m_Settings.Slot().m_nParams[0][kParamToneCode] = c.code;
        EXPECT_FLOAT_EQ(c.gamma, m_Settings.GammaForPreset()) << std::hex << c.code;
    }
    m_Settings.SetParam(kParamToneCode, 0xFF0C);
    EXPECT_FLOAT_EQ(0.5f, m_Settings.GammaForPreset());
}

TEST_F(SettingsTest, PreviewGammaPrefersTheDevicesFixedGamma)
{
    m_Settings.SetParam(kParamPreviewTone, kToneCustom);
    m_Settings.SetParam(kParamPreviewGamma, 16);
    EXPECT_FLOAT_EQ(1.6f, m_Settings.PreviewGamma());
    m_Driver.m_fGamma = 1.8;
    EXPECT_FLOAT_EQ(1.8f, m_Settings.PreviewGamma());
}
