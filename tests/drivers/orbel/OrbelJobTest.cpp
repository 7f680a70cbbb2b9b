// Whole ORBEL 35 scans from the virtual device through the driver and the scan job into BMP files
// of the selected size, compared with the chart the device scanned.

#include "tests/drivers/orbel/OrbelBench.h"
#include "tests/drivers/support/JobBench.h"

#include <vector>

namespace {

class OrbelJobTest : public JobBench<OrbelBench>, public testing::WithParamInterface<ScsiDriverId> {
protected:
    OrbelJobTest() : JobBench("orbel_scan.bmp") {}
};

}  // namespace

TEST_P(OrbelJobTest, BmpFilesHoldTheChartAtTheSelectedSize)
{
    struct Case {
        const char* name;
        int32_t type, resolution, original;
        int32_t left, top, width, height;
        size_t passes;
    } const kCases[] = {
        {"GreySlide", kImageGrey, 317, 1, 200, 300, 3000, 2000, 1},
        {"RgbSlide", kImageRgb, 317, 1, 0, 0, 4000, 4000, 3},
        {"GreySmallSlide", kImageGrey, 396, 1, 1000, 500, 2000, 1500, 1},
        {"RgbSlideLowResolution", kImageRgb, 158, 1, 500, 1000, 2500, 2500, 3},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({}, GetParam());
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
        const uint32_t selectedWidth = m_Settings.RotatedPixelWidth();
        const uint32_t selectedHeight = m_Settings.RotatedPixelHeight();
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_EQ(c.passes, Device().Passes().size());
        EXPECT_EQ("INM", Device().Commands().back());
        std::vector<uint8_t> file = ReadOutput();
        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        EXPECT_EQ(c.type == kImageGrey ? 8 : 24, file[28] | (file[29] << 8));
        EXPECT_EQ(selectedWidth, Get32(file, 18));
        EXPECT_EQ(selectedHeight, Get32(file, 22));
        const int worst = WorstDifferenceFromChart(file, Device().LastChart());
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, OrbelJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
