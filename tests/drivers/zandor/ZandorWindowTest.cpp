// The window descriptor the driver sends and the window status it reads back: density levels,
// sizes, the colour model's longer forms, and the densities the device measured.

#include "drivers/zandor/ZandorDriver.h"

#include "core/util/Numeric.h"
#include "tests/drivers/zandor/ZandorBench.h"

#include <vector>

namespace {

class ZandorWindowTest : public ZandorBench {
protected:
    // Sends the window of the current settings and returns the descriptor the device took.
    std::vector<uint8_t> SentWindow()
    {
        EXPECT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        EXPECT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        return Device().LastWindow().descriptor;
    }
};

uint32_t Be16(const std::vector<uint8_t>& d, size_t at) { return (uint32_t(d[at]) << 8) | d[at + 1]; }

}  // namespace

TEST_F(ZandorWindowTest, DensityLevelsFollowTheDotAreaScale)
{
    struct Case {
        const char* name;
        const char* model;
        int32_t type;
        int32_t threshold;
        int32_t minDensity, maxDensity;
        int32_t rangeMode, autoMinimum, autoMaximum, preview;
        uint8_t e, g;
    };
    const Case kCases[] = {
        // Threshold 50: E = 75, capped at 51 -> 255; G = 58 -> 255 - 44 x 255 / 100 = 143.
        {"LineArtColourModel", "color", kImageLineArt, 50, 0, 2400, 2, 0, 0, 0, 255, 143},
        // 0.3 D is a 49 % dot area, below the older models' 76 %: G would be 377; it takes the
        // range's end instead of wrapping to 121.
        {"MaximumBelowTheRange", "gs300", kImageGrey, 50, 0, 300, 2, 0, 0, 0, 59, 255},
        {"WholeRangeOlderModel", "gs300", kImageGrey, 50, 0, 2400, 2, 0, 0, 0, 59, 151},
        // The device measures what the host does not ask for.
        {"AutomaticRange", "color", kImageGrey, 50, 0, 2400, 0, 0, 0, 0, 0, 0},
        {"AutomaticMinimumOnly", "color", kImageGrey, 50, 0, 2400, 2, 1, 0, 0, 0, 39},
        {"PreviewAsksBoth", "color", kImageGrey, 50, 0, 2400, 0, 1, 1, 1, 26, 39},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", c.model}});
        Select(c.type, 300, 0, 0, 2540, 2540);
        m_Settings.SetParamAllTypes(kParamThreshold, c.threshold);
        m_Settings.SetParam(kParamMinDensity, c.minDensity);
        m_Settings.SetParam(kParamMaxDensity, c.maxDensity);
        m_Settings.SetParam(kParamRangeMode, c.rangeMode);
        m_Settings.SetParam(kParamAutoMinimum, c.autoMinimum);
        m_Settings.SetParam(kParamAutoMaximum, c.autoMaximum);
        m_Settings.SetParam(kParamPreviewFlag, c.preview);
        uint8_t e = 0;
        uint8_t g = 0;
        Driver().DensityLevels(m_Settings, e, g);
        EXPECT_EQ(c.e, e);
        EXPECT_EQ(c.g, g);
    }
}

TEST_F(ZandorWindowTest, DescriptorBytesOfTheOlderAndTheColourModels)
{
    Start({{"model", "ii"}});
    Select(kImageGrey, 300, 1000, 500, 5080, 2540);
    std::vector<uint8_t> d = SentWindow();
    // The older models take 37 bytes: quality, gains and the image type code never reach them.
    ASSERT_EQ(37u, d.size());
    EXPECT_EQ(300u, Be16(d, 2));
    EXPECT_EQ(300u, Be16(d, 4));
    EXPECT_EQ(118u, Be16(d, 6));  // 1000 x 300 / 2540
    EXPECT_EQ(59u, Be16(d, 8));
    EXPECT_EQ(0u, Be16(d, 10) % 16);
    EXPECT_EQ(2, d[17]);
    EXPECT_EQ(8, d[18]);
    EXPECT_EQ(3, d[21]);
    EXPECT_EQ(1, d[32]);
    EXPECT_EQ(0, d[33]);
    EXPECT_EQ(10, d[34]);
    EXPECT_EQ(10, d[35]);
    EXPECT_EQ(1, d[36]);

    Start({{"model", "color"}});
    Select(kImageRgb, 300, 0, 0, 5080, 2540);
    m_Settings.SetParam(kParamRangeMode, 1);
    m_Settings.SetParam(kParamMinDensity, 300);
    m_Settings.SetParam(kParamQuality, 2);
    m_Settings.SetParam(kParamGainRed, 90);
    d = SentWindow();
    ASSERT_EQ(65u, d.size());
    EXPECT_EQ(5, d[17]);
    EXPECT_EQ(2, d[33]);
    EXPECT_EQ(255, d[38]);
    EXPECT_EQ(10, d[39]);
    EXPECT_EQ(0, d[40]);
    EXPECT_EQ(14, d[47]);
    EXPECT_EQ(1, d[48]);
    EXPECT_EQ(DensityToOpacityPercent(300), Be16(d, 50));
    EXPECT_EQ(1, d[59]);
    EXPECT_EQ(1, d[60]);
    EXPECT_EQ(2, d[61]);
    m_Settings.SetParam(kParamRangeMode, 0);
    d = SentWindow();
    EXPECT_EQ(0u, Be16(d, 50));
}

TEST_F(ZandorWindowTest, WidthGoesUpToWholeGroupsOfSixteen)
{
    struct Case {
        int32_t width;  // 1/100 mm at 200 ppi
        uint32_t pixels;  // what the selection is in pixels
        uint32_t sent;
    };
    const Case kCases[] = {{12705, 1001, 1008}, {12800, 1008, 1008}, {120, 10, 16}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.width);
        Start({{"model", "gs400"}});
        Select(kImageGrey, 200, 0, 0, c.width, 1000);
        uint32_t w = 0;
        uint32_t h = 0;
        m_Settings.ScannerPixelSize(w, h);
        ASSERT_EQ(c.pixels, w);
        std::vector<uint8_t> d = SentWindow();
        ASSERT_EQ(37u, d.size());
        EXPECT_EQ(c.sent, Be16(d, 10));
        EXPECT_EQ(h, Be16(d, 12));
    }
}

TEST_F(ZandorWindowTest, StatusGivesSizesBandAndMeasuredDensities)
{
    struct Case {
        const char* name;
        const char* model;
        const char* levels;
        uint32_t minDensity;
        uint32_t maxDensity;
    };
    const Case kCases[] = {
        // Level 0 on the older models is a dot area of -13 %: lighter than paper, density 0.
        {"OlderLowest", "gs400", "0,255", 0, DotAreaToDensity(7600)},
        // A dot area beyond 100 %: the record keeps it at the device's highest density.
        {"OlderHighest", "gs400", "255,0", DotAreaToDensity(4300), 2400},
        {"ColourMiddle", "color", "128,128", DotAreaToDensity(2200), DotAreaToDensity(6300)},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", c.model}, {"levels", c.levels}, {"band", "48"}});
        Select(kImageGrey, 200, 0, 0, 5080, 2540);
        m_Settings.SetParam(kParamRangeMode, 0);
        Device().ClearLog();
        ASSERT_EQ(kDriverOk, Driver().ReserveDevice());
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        m_Settings.m_WindowSummary.m_nWord[1] = 0x5A5A;
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        ASSERT_EQ(kDriverOk, Driver().PrepareScan());
        CZandorWindow window = Device().LastWindow();
        EXPECT_EQ(uint32_t(window.pixels), m_Settings.GetPixelsPerLine());
        EXPECT_EQ(uint32_t(window.lines), m_Settings.GetLineCount());
        EXPECT_EQ(uint32_t(window.bytesPerLine), m_Settings.GetBytesPerLine());
        EXPECT_EQ(48, m_Settings.m_WindowSummary.m_nWord[0]);
        EXPECT_EQ(int32_t(c.minDensity), m_Settings.GetParam(kParamMinDensity));
        EXPECT_EQ(int32_t(c.maxDensity), m_Settings.GetParam(kParamMaxDensity));
        std::vector<CSimLogEntry> reads = Commands({0x28});
        ASSERT_FALSE(reads.empty());
        bool colour = Device().IsColourModel();
        EXPECT_EQ(colour ? 40u : 24u, reads[0].length);
        // Only the colour model's block reaches bytes 30-39; the older models' summary keeps its
        // value.
        EXPECT_EQ(colour ? 0 : 0x5A5A, m_Settings.m_WindowSummary.m_nWord[1]);
        if (colour) {
            EXPECT_EQ(8, m_Settings.m_WindowSummary.m_nWord[2]);
            EXPECT_EQ(1, m_Settings.m_WindowSummary.m_nByte1);
            EXPECT_EQ(2, m_Settings.m_WindowSummary.m_nWord[4]);
        }
        Driver().StopScan(0);
    }
}
