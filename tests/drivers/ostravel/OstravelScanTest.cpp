// Whole OSTRAVEL scans (each with its host shading calibration) through the driver's data path,
// compared with the chart the device scanned, through both transports; and an uneven sensor
// scanned flat by the calibration.

#include "sim/TestChart.h"
#include "tests/drivers/pendaro/PendaroBench.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct ScanCase {
    const char* name;
    CDeviceOptions device;
    int32_t type;
    int32_t resolution;
    int32_t bits;
    int32_t left, top, width, height;       // 1/100 mm
    int expectedMode;
};

const ScanCase kScans[] = {
    {"Grey300", {}, kImageGrey, 300, 8, 500, 500, 5080, 3000, 2},
    {"RgbPairs", {}, kImageRgb, 200, 8, 2000, 1500, 3810, 2540, 3},
    {"RgbOddPixelCount", {}, kImageRgb, 100, 8, 0, 0, 1220, 1000, 3},
    {"RgbAboveTheLowerOptical", {}, kImageRgb, 800, 8, 1000, 1000, 635, 635, 3},
    {"Grey16LittleEndian", {}, kImageGrey, 150, 16, 0, 0, 2540, 2540, 2},
    {"Rgb16Interleaved", {}, kImageRgb, 100, 16, 1000, 0, 2540, 1270, 3},
    {"DeviceLineArtAsInk", {}, kImageLineArt, 300, 8, 1000, 7000, 5000, 2000, 0},
    {"UnevenSensorGrey", {{"nonuniform", "20"}}, kImageGrey, 300, 8, 0, 0, 5080, 1000, 2},
    {"UnevenSensorRgb", {{"nonuniform", "20"}}, kImageRgb, 300, 8, 0, 0, 5080, 1000, 3},
};

// The largest difference of a sample from the chart, in units of the sample's own width.
int WorstDifference(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& image, bool wide)
{
    if (expected.size() != image.size())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < image.size(); i += wide ? 2 : 1) {
        int a = wide ? expected[i] | (expected[i + 1] << 8) : expected[i];
        int b = wide ? image[i] | (image[i + 1] << 8) : image[i];
        worst = std::max(worst, std::abs(a - b));
    }
    return worst;
}

class OstravelScanTest : public OstravelBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    // The worst difference from the chart of a scan of c, or -1 when it failed.
    int ScanWorst(const ScanCase& c)
    {
        Start(c.device, GetParam());
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height, c.bits);
        CBenchImage image = ScanFromPrescan();
        EXPECT_EQ(kDriverOk, image.status);
        EXPECT_EQ(0, image.postStatus);
        if (image.status != kDriverOk)
            return -1;
        CKoval2Scan scan = Device().LastScan();
        EXPECT_EQ(c.expectedMode, scan.mode);
        if (std::string(c.name) == "RgbOddPixelCount") {
            EXPECT_EQ(1, scan.pixels % 2) << scan.pixels;
        }
        EXPECT_NEAR(c.left / 2540.0, scan.chart.left, 1.0 / 600);
        EXPECT_NEAR(c.top / 2540.0, scan.chart.top, 1.0 / 600);
        EXPECT_GE(scan.pixels, c.width * c.resolution / 2540);
        EXPECT_GE(scan.lines, c.height * c.resolution / 2540);
        EXPECT_EQ(CTestChart::BytesPerLine(scan.chart), image.bytesPerLine);
        EXPECT_EQ(uint32_t(scan.lines), image.lines);
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_TRUE(m_Messages.Ids().empty());
        return WorstDifference(CTestChart::Render(scan.chart), image.bytes, c.bits > 8);
    }
};

}  // namespace

TEST_P(OstravelScanTest, ScansMatchTheChart)
{
    for (const ScanCase& c : kScans) {
        SCOPED_TRACE(c.name);
        // 8-bit samples come back exact (an uneven sensor within 2 levels); 16-bit ones within the
        // 1023 steps of the device's tables.
        int allowed = c.bits > 8 ? 65535 / 1023 : c.device.empty() ? 0 : 2;
        int worst = ScanWorst(c);
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, allowed);
    }
}

TEST_P(OstravelScanTest, UnevenSensorWithoutCalibrationIsVisiblyUneven)
{
    for (int32_t type : {kImageGrey, kImageRgb}) {
        SCOPED_TRACE(type);
        SetIni("Ostravel", "HostCalibration", "0");
        // The region the calibrated scans keep within 2 levels of the chart.
        const ScanCase uncalibrated = {"Uncalibrated", {{"nonuniform", "20"}}, type, 300, 8, 0, 0, 5080, 1000,
                                       type == kImageRgb ? 3 : 2};
        EXPECT_GT(ScanWorst(uncalibrated), 10);
        EXPECT_EQ(0, Device().ShadingLinesRead());
        EXPECT_TRUE(Device().CalibrationOrder().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, OstravelScanTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
