// Whole scans through the TM-R driver's data path from the virtual device, compared with the chart
// the device scanned, through both transports.

#include "drivers/tmr/TmrDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/tmr/TmrBench.h"

#include <cstdlib>
#include <vector>

namespace {

struct ScanCase {
    const char* name;
    CDeviceOptions device;
    int32_t type, resolution, original;
    int32_t left, top, width, height;  // 1/100 mm
};

// Odd pixel counts throughout: the window rounds each up to an even width.
const ScanCase kScans[] = {
    {"RgbGlass", {}, kImageRgb, 150, 0, 500, 500, 5110, 1500},
    {"GreyGlassAsColour", {{"model", "tmrs"}}, kImageGrey, 200, 0, 2000, 1500, 3823, 2540},
    {"LineArtAsColour", {}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000},
    {"Slide", {}, kImageRgb, 100, 1, 3000, 3000, 4013, 2400},
    {"Negative", {{"resolutions", "600,300,75"}}, kImageRgb, 75, 2, 3000, 3000, 4100, 2400},
};

class TmrScanTest : public TmrBench, public testing::WithParamInterface<ScsiDriverId> { };

}  // namespace

TEST_P(TmrScanTest, EveryTypeComesAsColourMatchingTheChart)
{
    for (const ScanCase& c : kScans) {
        SCOPED_TRACE(c.name);
        Start(c.device, GetParam());
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamOriginal, c.original);
        uint32_t selected = m_Settings.RotatedPixelWidth();
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);

        CTmrScan scan = Device().LastScan();
        uint32_t resolution = Driver().ClampResolutionX(uint32_t(c.resolution));
        EXPECT_NEAR(c.left / 2540.0, scan.chart.left, 1.0 / resolution);
        EXPECT_NEAR(c.top / 2540.0, scan.chart.top, 1.0 / resolution);
        EXPECT_EQ(0u, scan.pixels % 2);
        EXPECT_EQ((uint32_t(c.width * resolution / 2540) + 1) / 2 * 2, scan.pixels);
        EXPECT_EQ(uint32_t(c.height * resolution / 2540), scan.lines);
        // The window is the odd selection made even: one pixel wider.
        if (c.type != kImageLineArt) {
            EXPECT_EQ(1u, selected % 2);
            EXPECT_EQ(selected + 1, scan.pixels);
        }
        EXPECT_EQ(3 * scan.pixels, image.bytesPerLine);
        ASSERT_EQ(scan.lines, image.lines);
        std::vector<uint8_t> expected = CTestChart::Render(scan.chart);
        ASSERT_EQ(expected.size(), image.bytes.size());
        EXPECT_EQ(0u, CountBeyondOneLevel(expected, image.bytes)) << "the image differs from the chart";
        EXPECT_FALSE(Device().IsReservedByHost());
        EXPECT_TRUE(m_Messages.Ids().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, TmrScanTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
