// Whole scans through the driver's data path from the virtual device, compared with the chart the
// device scanned, through both transports: colour in three passes, film through the device's table
// and its fixed gamma.

#include "drivers/telmari/TelmariDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/telmari/TelmariBench.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct ScanCase {
    const char* name;
    CDeviceOptions device;
    int32_t type;
    int32_t resolution;
    int32_t original;
    int32_t left, top, width, height;  // 1/100 mm
};

const ScanCase kScans[] = {
    {"Grey", {}, kImageGrey, 150, 0, 500, 500, 5080, 1500},
    {"RgbThreePasses", {}, kImageRgb, 200, 0, 2000, 1500, 3810, 2540},
    {"UltraRgb", {{"model", "ultra"}}, kImageRgb, 100, 0, 0, 3000, 5000, 1000},
    {"LineArtInk", {}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000},
    {"PlusLineArtLight", {{"model", "plus"}}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000},
    {"SlideGrey", {}, kImageGrey, 150, 1, 500, 500, 3600, 2400},
    {"SlideRgb", {{"model", "plus"}}, kImageRgb, 100, 1, 500, 500, 3600, 2400},
    {"NegativeGrey", {}, kImageGrey, 150, 2, 500, 500, 3600, 2400},
    {"NegativeRgb", {{"model", "ultra"}}, kImageRgb, 100, 2, 500, 500, 3600, 2400},
};

// What the device sends for the chart it scanned: reflective samples are the chart's own (the
// driver's tables are the identity), film goes through the device's table and gamma; line art is
// 1 = black below the light threshold.
std::vector<uint8_t> ExpectedImage(const CTelmariScan& scan, const CTelmariDevice& device, bool film)
{
    std::vector<uint8_t> chart = CTestChart::Render(scan.chart);
    if (scan.mode != 0) {
        if (!film)
            return chart;
        int channels = scan.chart.channels;
        for (size_t i = 0; i < chart.size(); ++i)
            chart[i] = device.Sample(channels == 3 ? int(i % 3) + 1 : 2, chart[i], true);
        return chart;
    }
    return LineArtOfLight(chart, scan.pixels, scan.lines, scan.bytesPerLine, scan.lightThreshold);
}

class TelmariScanTest : public TelmariBench, public testing::WithParamInterface<ScsiDriverId> { };

}  // namespace

TEST_P(TelmariScanTest, ScansMatchTheChart)
{
    for (const ScanCase& c : kScans) {
        SCOPED_TRACE(c.name);
        Start(c.device, GetParam());
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamOriginal, c.original);
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);

        CTelmariScan scan = Device().LastScan();
        EXPECT_EQ(c.type == kImageRgb ? 3 : 1, scan.passes);
        EXPECT_NEAR(c.left / 2540.0, scan.chart.left, 1.0 / c.resolution);
        EXPECT_NEAR(c.top / 2540.0, scan.chart.top, 1.0 / c.resolution);
        // The window is the selection rounded up to whole groups of eight pixels and lines; a line-art
        // selection is first rounded to whole bytes by the settings.
        uint32_t pixels = uint32_t(c.width * c.resolution / 2540);
        uint32_t lines = uint32_t(c.height * c.resolution / 2540);
        EXPECT_GE(scan.pixels, pixels);
        EXPECT_LE(scan.pixels, pixels + (c.type == kImageLineArt ? 17 : 9));
        EXPECT_EQ(0u, scan.pixels % 8);
        EXPECT_GE(scan.lines, lines);
        EXPECT_LE(scan.lines, lines + 9);

        std::vector<uint8_t> expected = ExpectedImage(scan, Device(), c.original != 0);
        ASSERT_EQ(scan.lines, image.lines);
        ASSERT_EQ(expected.size(), image.bytes.size());
        if (c.type == kImageLineArt)
            EXPECT_TRUE(expected == image.bytes) << "the line art differs from the chart";
        else
            EXPECT_EQ(0u, CountBeyondOneLevel(expected, image.bytes)) << "the image differs from the chart";
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_TRUE(m_Messages.Ids().empty()) << testing::PrintToString(m_Messages.Ids());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, TelmariScanTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
