// Whole scans through the driver's data path from the virtual device, compared with the chart the
// device scanned, through both transports.

#include "drivers/koval/KovalDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/koval/KovalBench.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct ScanCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> device;
    int32_t type;
    int32_t resolution;
    int32_t original;
    int32_t left, top, width, height;  // 1/100 mm
};

const ScanCase kScans[] = {
    {"Grey", {}, kImageGrey, 150, 0, 500, 500, 5080, 1500},
    {"Rgb", {{"model", "kovalplus"}}, kImageRgb, 200, 0, 2000, 1500, 3810, 2540},
    {"RgbPaced", {{"carriage", "1"}}, kImageRgb, 100, 0, 0, 3000, 5000, 1000},
    {"LineArt", {}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000},
    {"TransparencyUnit", {{"model", "kovalplus"}, {"transparency", "1"}}, kImageRgb, 150, 1, 500, 500, 3600, 2400},
};

// The chart rendered where the device scanned, as the family's row says the device delivers it:
// samples rising with the light; line art 1 = black below the window's threshold.
std::vector<uint8_t> ExpectedImage(const CKovalScan& scan)
{
    std::vector<uint8_t> chart = CTestChart::Render(scan.chart);
    if (scan.mode != 0)
        return chart;
    return LineArtOfLight(chart, scan.pixels, scan.lines, scan.bytesPerLine, scan.threshold);
}

class KovalScanTest : public KovalBench, public testing::WithParamInterface<ScsiDriverId> { };

}  // namespace

TEST_P(KovalScanTest, ScansMatchTheChart)
{
    for (const ScanCase& c : kScans) {
        SCOPED_TRACE(c.name);
        Start(c.device, GetParam());
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamOriginal, c.original);
        CKovalImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);

        CKovalScan scan = Device().LastScan();
        double left = (c.left + (c.original != 0 ? 3175 : 0)) / 2540.0;
        double top = (c.top + (c.original != 0 ? 2896 : 0)) / 2540.0;
        EXPECT_NEAR(left, scan.chart.left, 1.0 / 1200);
        EXPECT_NEAR(top, scan.chart.top, 1.0 / 1200);
        // The selection at the resolution and the settings' pixel beyond it; line art in whole bytes.
        uint32_t pixels = uint32_t(c.width * c.resolution / 2540);
        uint32_t lines = uint32_t(c.height * c.resolution / 2540);
        EXPECT_GE(scan.pixels, pixels);
        EXPECT_LE(scan.pixels, pixels + (c.type == kImageLineArt ? 9 : 2));
        EXPECT_GE(scan.lines, lines);
        EXPECT_LE(scan.lines, lines + 2);

        std::vector<uint8_t> expected = ExpectedImage(scan);
        EXPECT_EQ(scan.bytesPerLine, image.bytesPerLine);
        ASSERT_EQ(scan.lines, image.lines);
        ASSERT_EQ(expected.size(), image.bytes.size());
        if (c.type == kImageLineArt)
            EXPECT_TRUE(expected == image.bytes) << "the line art differs from the chart";
        else
            EXPECT_EQ(0u, CountBeyondOneLevel(expected, image.bytes)) << "the image differs from the chart";
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_TRUE(m_Messages.Ids().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, KovalScanTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
