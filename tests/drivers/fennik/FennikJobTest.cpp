// Whole scans from the virtual device through the driver and the scan job into BMP files of the
// selected size, compared with the chart the device scanned.

#include "drivers/fennik/FennikDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/fennik/FennikBench.h"
#include "tests/drivers/support/JobBench.h"

#include <vector>

namespace {

struct JobCase {
    const char* name;
    CDeviceOptions device;
    bool feeder;
    int32_t type, resolution, original;
    int32_t left, top, width, height;
};

class FennikJobTest : public JobBench<FennikBench> {
protected:
    FennikJobTest() : JobBench("fennik_scan.bmp") {}
};

}  // namespace

TEST_F(FennikJobTest, BmpFilesHoldTheChartAtTheSelectedSize)
{
    const JobCase kCases[] = {
        {"GreyGlass", {}, false, kImageGrey, 150, 0, 500, 700, 5080, 3000},
        {"RgbGlass", {{"nonuniform", "10"}}, false, kImageRgb, 300, 0, 2000, 1500, 3810, 2540},
        {"RgbTransparencyUnit", {{"transparency", "1"}}, false, kImageRgb, 200, 1, 3000, 3000, 3600, 2400},
        {"GreyFeederSheet", {{"feeder", "1"}}, true, kImageGrey, 100, 0, 0, 0, 5000, 5000},
    };
    for (const JobCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        SetIni("General", "ADF", c.feeder ? "1" : "0");
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
        uint32_t selectedWidth = m_Settings.RotatedPixelWidth();
        uint32_t selectedHeight = m_Settings.RotatedPixelHeight();
        EXPECT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        std::vector<uint8_t> file = ReadOutput();
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsReservedByHost());
        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        uint16_t bitCount = uint16_t(file[28] | (file[29] << 8));
        EXPECT_EQ(c.type == kImageGrey ? 8 : 24, bitCount);
        EXPECT_EQ(selectedWidth, Get32(file, 18));
        EXPECT_EQ(selectedHeight, Get32(file, 22));
        // The calibrated uneven sensor may be off by a level or two, nothing else.
        const int worst = WorstDifferenceFromChart(file, Device().LastScan().chart);
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, 2);
    }
}
