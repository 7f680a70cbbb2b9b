// Histograms, the levels analysis and the spike filter of the driver base.

#include "core/util/Numeric.h"
#include "tests/core/driver/DriverTestSupport.h"

#include <cstring>
#include <vector>

namespace {

// The base driver's reflective limits: 0 .. 4000, minimum ceiling of the analysis 1000.
constexpr int32_t kLow = 0;
constexpr int32_t kHigh = 4000;
constexpr int32_t kExponent = 10;

int32_t Density(int32_t level)
{
    return LevelToDensity(level, kLow, kHigh, kExponent);
}

class LevelsTest : public DriverFixture {
protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        m_Settings.SetParamAllTypes(kParamOriginal, 0);
        m_Settings.SetParamAllTypes(kParamMinDensity, kLow);
        m_Settings.SetParamAllTypes(kParamMaxDensity, kHigh);
        m_Settings.SetParamAllTypes(kParamClipLow, 0);
        m_Settings.SetParamAllTypes(kParamClipHigh, 0);
        m_Settings.SetParamAllTypes(kParamPreviewValue, 1000);
        m_Settings.SetParamAllTypes(kParamCameraPreview, 1000);
        for (uint16_t id = kParamGainRed; id <= kParamGainBlue; ++id)
            m_Settings.SetParamAllTypes(id, 100);
    }

    CLevelDensities Analyze(const std::vector<uint8_t>& data, uint32_t stride, uint32_t width, uint32_t height,
                            uint32_t mode, int32_t type)
    {
        CLevelDensities d = {};
        EXPECT_EQ(0, m_pDriver->AnalyzePreviewLevels(data.data(), stride, width, height, 0, 0, width, height,
                                                     kExponent, mode, type, d));
        return d;
    }
};

// A 4 x 3 RGB image (bytes 0, 1, 2 of each pixel) with known values; the histogram covers the
// 2 x 2 area at (1, 1).
std::vector<uint8_t> KnownRgbImage()
{
    std::vector<uint8_t> image(4 * 3 * 3, 0);
    auto set = [&](int x, int y, uint8_t b0, uint8_t b1, uint8_t b2) {
        uint8_t* p = &image[(y * 4 + x) * 3];
        p[0] = b0;
        p[1] = b1;
        p[2] = b2;
    };
    set(1, 1, 255, 255, 255);
    set(2, 1, 0, 0, 255);
    set(1, 2, 10, 20, 30);
    set(2, 2, 10, 20, 30);
    return image;
}

}  // namespace

TEST_F(LevelsTest, HistogramOfAKnownImage)
{
    std::vector<uint8_t> rgb = KnownRgbImage();
    // 4 x 3 grey samples: the 2 x 2 area at (1, 1) holds 255, 0, 10 and 20.
    std::vector<uint8_t> grey = {99, 99, 99, 99, 99, 255, 0, 99, 99, 10, 20, 99};
    struct Case {
        const std::vector<uint8_t>* image;
        uint32_t stride;
        uint32_t mode;
        int32_t type;
        int channels;
        std::vector<std::pair<int, int32_t>> counters;  // (index, count); every other counter is 0
    };
    const Case cases[] = {
        // Three histograms, channel c counting byte c.
        {&rgb, 12, 3, kImageRgb, 3, {{255, 1}, {0, 1}, {10, 2}, {256 + 255, 1}, {256 + 0, 1}, {256 + 20, 2},
                                     {512 + 255, 2}, {512 + 30, 2}}},
        // A grey image scanned in RGB: one weighted histogram; white stays at 255.
        {&rgb, 12, 3, kImageGrey, 1, {{255, 1}, {(77 * 255) >> 8, 1}, {(77 * 30 + 151 * 20 + 28 * 10) >> 8, 2}}},
        {&grey, 4, 2, kImageGrey, 1, {{255, 1}, {0, 1}, {10, 1}, {20, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " type " << c.type);
        int channels = 0;
        int32_t* histogram = nullptr;
        ASSERT_EQ(kDriverOk, m_pDriver->ComputeHistogram(channels, histogram, c.image->data(), c.stride, 4, 3, 1, 1,
                                                         2, 2, c.mode, c.type));
        ASSERT_EQ(m_pDriver->m_pHistogram, histogram);
        EXPECT_EQ(c.channels, channels);
        std::vector<int32_t> expected(768, 0);
        for (const auto& counter : c.counters)
            expected[counter.first] += counter.second;
        EXPECT_EQ(expected, std::vector<int32_t>(histogram, histogram + 768));
    }
}

TEST_F(LevelsTest, ModesWithoutHistogramFail)
{
    std::vector<uint8_t> image = KnownRgbImage();
    const std::pair<uint32_t, int> cases[] = {{0, 1}, {1, 1}, {4, 3}, {7, 1}};
    for (const auto& c : cases) {
        int channels = 0;
        int32_t* histogram = nullptr;
        EXPECT_EQ(kDriverFailed, m_pDriver->ComputeHistogram(channels, histogram, image.data(), 12, 4, 3, 0, 0, 4, 3,
                                                             c.first, kImageRgb));
        EXPECT_EQ(c.second, channels) << "mode " << c.first;
    }
}

TEST_F(LevelsTest, HistogramBlockIsReusedAndStartsEmpty)
{
    std::vector<uint8_t> image(16, 77);
    int channels = 0;
    int32_t* histogram = nullptr;
    ASSERT_EQ(kDriverOk, m_pDriver->ComputeHistogram(channels, histogram, image.data(), 4, 4, 4, 0, 0, 4, 4, 2, 2));
    HGLOBAL first = m_pDriver->m_hHistogram;
    ASSERT_NE(nullptr, first);

    // A block whose pointer was dropped is taken up again, not replaced by a second one.
    GlobalUnlock(first);
    m_pDriver->m_pHistogram = nullptr;
    ASSERT_EQ(kDriverOk, m_pDriver->ComputeHistogram(channels, histogram, image.data(), 4, 4, 4, 0, 0, 4, 4, 2, 2));
    EXPECT_EQ(first, m_pDriver->m_hHistogram);
    EXPECT_EQ(16, histogram[77]) << "counts of the earlier histogram were not cleared";
    ASSERT_EQ(kDriverOk, m_pDriver->ComputeHistogram(channels, histogram, image.data(), 4, 4, 4, 0, 0, 2, 2, 2, 2));
    EXPECT_EQ(first, m_pDriver->m_hHistogram);
    EXPECT_EQ(4, histogram[77]);
}

TEST_F(LevelsTest, AreaBeyondTheImageIsNotRead)
{
    // The image is followed by bytes that must not be counted.
    std::vector<uint8_t> image(4 * 4 + 64, 200);
    std::memset(image.data(), 50, 16);
    int channels = 0;
    int32_t* histogram = nullptr;
    ASSERT_EQ(kDriverOk, m_pDriver->ComputeHistogram(channels, histogram, image.data(), 4, 4, 4, 2, 2, 10, 10, 2, 2));
    EXPECT_EQ(4, histogram[50]);
    EXPECT_EQ(0, histogram[200]);
}

TEST_F(LevelsTest, LevelSearchAtTheEdges)
{
    struct Case {
        const char* name;
        uint8_t fill;
        int32_t clip;
        int32_t expectedMin;
        int32_t expectedMax;
    };
    const Case cases[] = {
        // No clipping: the search stops at once, at 255 and at 0, neither moved back.
        {"no clip", 128, 0, Density(255), Density(0)},
        // Everything at level 5: the bright search stops at 10 and reports 11; the dark search
        // finds 5.
        {"dark image", 5, 100, Density(11), Density(5)},
        // Everything at level 250: the dark end lies within 0.1 D of the bright end, so the maximum
        // is lifted to 0.1 D above the minimum.
        {"bright image", 250, 100, Density(250), Density(250) + 100},
    };
    // No ceiling gets in the way of the levels found.
    m_pDriver->m_ReflectiveDensity.m_nMinimumCeiling = kHigh;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Settings.SetParamAllTypes(kParamClipLow, c.clip);
        m_Settings.SetParamAllTypes(kParamClipHigh, c.clip);
        std::vector<uint8_t> image(32 * 32, c.fill);
        CLevelDensities d = Analyze(image, 32, 32, 32, 2, kImageGrey);
        EXPECT_EQ((uint32_t)c.expectedMin, d.m_nMinimum);
        EXPECT_EQ((uint32_t)c.expectedMax, d.m_nMaximum);
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(d.m_nMinimum, d.m_nChannelMin[ch]);
            EXPECT_EQ(d.m_nMaximum, d.m_nChannelMax[ch]);
        }
    }

    // The ceiling of the analysis (at least 1.0 D) caps a dark image's minimum.
    m_pDriver->m_ReflectiveDensity.m_nMinimumCeiling = 300;
    std::vector<uint8_t> dark(32 * 32, 5);
    EXPECT_EQ(1000u, Analyze(dark, 32, 32, 32, 2, kImageGrey).m_nMinimum);
}

TEST_F(LevelsTest, ChannelsAndOverallLevels)
{
    m_Settings.SetParamAllTypes(kParamImageType, kImageRgb);
    m_Settings.SetParamAllTypes(kParamClipLow, 1000);
    m_Settings.SetParamAllTypes(kParamClipHigh, 1000);
    // Byte 0 at 100, byte 1 at 150, byte 2 at 200.
    std::vector<uint8_t> image(16 * 16 * 3);
    for (size_t i = 0; i < image.size(); i += 3) {
        image[i] = 100;
        image[i + 1] = 150;
        image[i + 2] = 200;
    }
    CLevelDensities d = Analyze(image, 48, 16, 16, 3, kImageRgb);
    EXPECT_EQ((uint32_t)Density(200), d.m_nMinimum);   // brightest channel
    EXPECT_EQ((uint32_t)Density(100), d.m_nMaximum);   // darkest channel
    const int32_t levels[3] = {100, 150, 200};
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ((uint32_t)Density(levels[ch]), d.m_nChannelMin[ch]) << ch;
        // One level everywhere: the maximum is lifted to 0.1 D above the minimum.
        EXPECT_EQ((uint32_t)Density(levels[ch]) + 100, d.m_nChannelMax[ch]) << ch;
    }
}

TEST_F(LevelsTest, GainsAndScaleMoveTheLevelAxis)
{
    struct Case {
        const char* name;
        int32_t gainBlue;
        int32_t scaleNumerator;    // id 37
        int32_t scaleDivisor;      // id 23
        int32_t original;
        std::vector<int> levels;   // where the counts of channel 0 (blue, all at 100) end up
    };
    const Case cases[] = {
        {"neutral", 100, 1000, 1000, 0, {100}},
        {"gain 200 halves the axis", 200, 1000, 1000, 0, {200, 201}},
        {"gain 50 doubles it", 50, 1000, 1000, 0, {50}},
        {"negatives ignore gains", 200, 1000, 1000, 2, {100}},
        {"scale ratio 2", 100, 2000, 1000, 0, {200, 201}},
        {"gain 0 is no gain", 0, 1000, 1000, 0, {100}},
        {"scale divisor 0", 100, 1000, 0, 0, {100}},
        {"scale ratio 0", 100, 0, 1000, 0, {100}},
    };
    m_Settings.SetParamAllTypes(kParamImageType, kImageRgb);
    std::vector<uint8_t> image(8 * 8 * 3, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Settings.SetParamAllTypes(kParamGainBlue, c.gainBlue);
        m_Settings.SetParamAllTypes(kParamCameraPreview, c.scaleNumerator);
        m_Settings.SetParamAllTypes(kParamPreviewValue, c.scaleDivisor);
        m_Settings.SetParamAllTypes(kParamOriginal, c.original);
        int channels = 0;
        int32_t* histogram = nullptr;
        ASSERT_EQ(kDriverOk, m_pDriver->ComputeHistogram(channels, histogram, image.data(), 24, 8, 8, 0, 0, 8, 8, 3,
                                                         kImageRgb));
        for (int level : c.levels)
            EXPECT_EQ(64, histogram[level]) << "level " << level;
        int32_t total = 0;
        for (int i = 0; i < 256; ++i)
            total += histogram[i];
        EXPECT_EQ(64 * (int32_t)c.levels.size(), total);
    }
}

TEST_F(LevelsTest, GainShowsInTheChannelDensities)
{
    m_Settings.SetParamAllTypes(kParamImageType, kImageRgb);
    m_Settings.SetParamAllTypes(kParamClipLow, 1000);
    m_Settings.SetParamAllTypes(kParamClipHigh, 1000);
    m_Settings.SetParamAllTypes(kParamGainBlue, 200);
    std::vector<uint8_t> image(16 * 16 * 3, 100);
    CLevelDensities d = Analyze(image, 48, 16, 16, 3, kImageRgb);
    // Blue's counts moved to levels 200 and 201; green and red stay at 100.
    EXPECT_EQ((uint32_t)Density(201), d.m_nChannelMin[0]);
    EXPECT_EQ((uint32_t)Density(201) + 100, d.m_nChannelMax[0]);  // level 200 lies within 0.1 D
    EXPECT_EQ((uint32_t)Density(100), d.m_nChannelMin[2]);
    EXPECT_EQ((uint32_t)Density(201), d.m_nMinimum);
}

TEST_F(LevelsTest, ClipCountsOfALargePreviewDoNotOverflow)
{
    // 5 million pixels at a clip of 1 per cent: 1000 x 5e6 does not fit in 32 bits. The brightest
    // 0.6 per cent sit at 255, the rest at 100, so the bright end is found at 100.
    const uint32_t width = 2500;
    const uint32_t height = 2000;
    std::vector<uint8_t> image((size_t)width * height, 100);
    std::memset(image.data(), 255, 30000);
    m_Settings.SetParamAllTypes(kParamClipHigh, 1000);
    CLevelDensities d = Analyze(image, width, width, height, 2, kImageGrey);
    EXPECT_EQ((uint32_t)Density(100), d.m_nMinimum);
}

TEST_F(LevelsTest, FailedHistogramKeepsTheCurrentDensities)
{
    m_Settings.SetParamAllTypes(kParamMinDensity, 200);
    m_Settings.SetParamAllTypes(kParamMaxDensity, 3100);
    std::vector<uint8_t> image(64, 128);
    CLevelDensities d = Analyze(image, 8, 8, 8, 1, kImageLineArt);
    EXPECT_EQ(200u, d.m_nMinimum);
    EXPECT_EQ(3100u, d.m_nMaximum);
    EXPECT_EQ(200u, d.m_nChannelMin[1]);
    EXPECT_EQ(3100u, d.m_nChannelMax[2]);
}

namespace {

class SpikeFilterTest : public DriverFixture {
protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        m_Settings.SetParamAllTypes(kParamImageType, kImageGrey);
        m_Settings.SetParamAllTypes(kParamScreenRuling, 0);
        m_Settings.SetParam(kParamResolution, 600);
        m_Settings.SetParamAllTypes(kParamQuality, 1);
        m_Settings.m_nBitsPerChannel = 8;
        m_pDriver->m_nCapabilityFlags |= kCapColourOnePass;
    }

    std::vector<uint8_t> Filter(std::vector<uint8_t> line, uint32_t mode, uint32_t pixels, uint32_t lines = 1)
    {
        m_Settings.m_nScanMode = mode;
        m_Settings.m_nPixelsPerLine = pixels;
        m_Settings.m_nBytesPerLine = (uint32_t)line.size() / lines;
        EXPECT_EQ(lines, m_pDriver->FilterSpikes(line.data(), lines, &m_Settings, 600));
        return line;
    }
};

}  // namespace

TEST_F(SpikeFilterTest, GreyLines)
{
    struct Case {
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        {{10, 50, 10}, {10, 10, 10}},              // a peak becomes the mean of its neighbours
        {{50, 10, 50}, {50, 50, 50}},              // so does a dip
        {{10, 11, 12}, {10, 11, 12}},              // a slope is left alone
        {{10, 10, 50, 10, 10}, {10, 10, 50, 10, 10}},  // even pixels are never changed
        {{10, 50, 10, 50}, {10, 10, 10, 50}},      // the last pixel has no right neighbour
        {{255, 0, 255}, {255, 254, 255}},          // halves are added: 127 + 127
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.out, Filter(c.in, 2, (uint32_t)c.in.size()));
}

TEST_F(SpikeFilterTest, ColourSamplesAndLineStrides)
{
    // One-pass colour: each channel against the same channel of the neighbours.
    std::vector<uint8_t> rgb = {10, 20, 30, 90, 20, 5, 10, 20, 30};
    EXPECT_EQ((std::vector<uint8_t>{10, 20, 30, 10, 20, 30, 10, 20, 30}), Filter(rgb, 3, 3));

    // Two lines of 3 grey pixels each.
    std::vector<uint8_t> two = {10, 50, 10, 20, 60, 20};
    EXPECT_EQ((std::vector<uint8_t>{10, 10, 10, 20, 20, 20}), Filter(two, 2, 3, 2));

    // A three-pass device: the settings' line length is one plane, the lines in memory hold three.
    m_pDriver->m_nCapabilityFlags &= (uint8_t)~kCapColourOnePass;
    m_Settings.m_nScanMode = 3;
    m_Settings.m_nPixelsPerLine = 3;
    m_Settings.m_nBytesPerLine = 3;
    std::vector<uint8_t> planes = {10, 20, 30, 90, 20, 5, 10, 20, 30, 10, 20, 30, 90, 20, 5, 10, 20, 30};
    EXPECT_EQ(2u, m_pDriver->FilterSpikes(planes.data(), 2, &m_Settings, 600));
    std::vector<uint8_t> line = {10, 20, 30, 10, 20, 30, 10, 20, 30};
    EXPECT_EQ(line, std::vector<uint8_t>(planes.begin(), planes.begin() + 9));
    EXPECT_EQ(line, std::vector<uint8_t>(planes.begin() + 9, planes.end()));
}

TEST_F(SpikeFilterTest, SixteenBitSamples)
{
    m_Settings.m_nBitsPerChannel = 16;
    uint16_t samples[3] = {1000, 5000, 1000};
    std::vector<uint8_t> line(6);
    std::memcpy(line.data(), samples, 6);
    line = Filter(line, 2, 3);
    std::memcpy(samples, line.data(), 6);
    EXPECT_EQ(1000, samples[1]);
}

TEST_F(SpikeFilterTest, OnlyQualityScansAtTheOpticalResolution)
{
    struct Case {
        const char* name;
        int32_t ruling;
        int32_t resolution;
        int32_t quality;
        uint32_t mode;
    };
    const Case cases[] = {
        {"screen ruling set", 60, 600, 1, 2},
        {"other resolution", 0, 300, 1, 2},
        {"speed mode", 0, 600, 2, 2},
        {"line-art data", 0, 600, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Settings.SetParamAllTypes(kParamScreenRuling, c.ruling);
        m_Settings.SetParam(kParamResolution, c.resolution);
        m_Settings.SetParamAllTypes(kParamQuality, c.quality);
        EXPECT_EQ((std::vector<uint8_t>{10, 50, 10}), Filter({10, 50, 10}, c.mode, 3));
    }
}
