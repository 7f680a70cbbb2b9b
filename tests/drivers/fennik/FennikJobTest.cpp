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
        uint32_t offset = Get32(file, 10);
        uint32_t width = Get32(file, 18);
        uint32_t height = Get32(file, 22);
        EXPECT_EQ(selectedWidth, width);
        EXPECT_EQ(selectedHeight, height);
        uint32_t stride = (width * bitCount + 31) / 32 * 4;
        ASSERT_EQ(offset + stride * height, file.size());

        CChartWindow chart = Device().LastScan().chart;
        std::vector<uint8_t> device = CTestChart::Render(chart);
        size_t rowBytes = CTestChart::BytesPerLine(chart);
        ASSERT_GE(uint32_t(chart.pixelsPerLine), width);
        ASSERT_GE(uint32_t(chart.lines), height);
        // The calibrated uneven sensor may be off by a level or two, nothing else.
        int worst = 0;
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = &file[offset + (height - 1 - y) * stride];
            const uint8_t* want = &device[y * rowBytes];
            for (uint32_t x = 0; x < width; ++x) {
                // BMP rows are bottom-up and their colour pixels blue, green, red.
                if (bitCount == 8) {
                    worst = std::max(worst, std::abs(int(row[x]) - int(want[x])));
                    continue;
                }
                for (int ch = 0; ch < 3; ++ch)
                    worst = std::max(worst, std::abs(int(row[3 * x + ch]) - int(want[3 * x + 2 - ch])));
            }
        }
        EXPECT_LE(worst, 2);
    }
}
