// Whole scans from the virtual device through the driver and the scan job into BMP files of
// exactly the selected size, compared with the chart the device scanned.

#include "drivers/koval/KovalDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/koval/KovalBench.h"
#include "tests/drivers/support/JobBench.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class KovalJobTest : public JobBench<KovalBench> {
protected:
    KovalJobTest() : JobBench("koval_scan.bmp") {}
};

}  // namespace

TEST_F(KovalJobTest, BmpFilesHoldTheChartAtTheSelectedSize)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> device;
        int32_t type;
        int32_t resolution;
        int32_t original;
        int32_t left, top, width, height;
        uint16_t bits;
    };
    const Case kCases[] = {
        {"grey", {{"model", "kovalplus"}}, kImageGrey, 150, 0, 500, 500, 5080, 3000, 8},
        {"rgb", {{"model", "kovalplus"}}, kImageRgb, 200, 0, 2000, 1500, 3810, 2540, 24},
        {"rgb paced", {{"carriage", "1"}}, kImageRgb, 100, 0, 1000, 4000, 5000, 1000, 24},
        {"transparency", {{"model", "kovalplus"}, {"transparency", "1"}}, kImageRgb, 150, 1, 500, 500, 3600, 2400, 24},
        {"line art", {{"model", "kovalplus"}}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        std::vector<uint8_t> file = ReadOutput();
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_EQ(1, Device().Unloads());

        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        EXPECT_EQ(c.bits, file[28] | (file[29] << 8));
        uint32_t width = Get32(file, 18);
        uint32_t height = Get32(file, 22);
        // Line art selections are whole bytes wide.
        uint32_t selected = uint32_t(c.width * c.resolution / 2540);
        EXPECT_EQ(c.bits == 1 ? (selected + 7) / 8 * 8 : selected, width);
        EXPECT_EQ(uint32_t(c.height * c.resolution / 2540), height);
        uint32_t stride = (width * c.bits + 31) / 32 * 4;
        ASSERT_EQ(Get32(file, 10) + stride * height, file.size());

        CKovalScan scan = Device().LastScan();
        std::vector<uint8_t> chart = CTestChart::Render(scan.chart);
        size_t rowBytes = CTestChart::BytesPerLine(scan.chart);
        int channels = scan.chart.channels;
        uint32_t mismatches = 0, black = 0;
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                for (int ch = 0; ch < channels; ++ch) {
                    int want = chart[y * rowBytes + size_t(x) * channels + ch];
                    int got = FilePixel(file, x, y, ch);
                    if (c.bits == 1) {
                        // Black below the window's threshold, white from it up.
                        bool wantBlack = want < scan.threshold;
                        black += wantBlack ? 1 : 0;
                        mismatches += (got == 0) == wantBlack ? 0 : 1;
                    } else {
                        mismatches += std::abs(want - got) > 1 ? 1 : 0;
                    }
                }
            }
        }
        EXPECT_EQ(0u, mismatches);
        if (c.bits == 1) {
            EXPECT_GT(black, 0u);
            EXPECT_EQ(0, file[58]) << "index 1 is black";
        }
    }
}

TEST_F(KovalJobTest, FailedScanReportsAndLeavesNoHang)
{
    // The device refuses the window (an invalid field in the parameter list): the job ends with the
    // scan's failure, the device is released.
    Start();
    SetIni("General", "File extension", "1");
    Select(kImageGrey, 150, 0, 0, 2540, 2540);
    CSimFault refuse;
    refuse.kind = SimFaultKind::Check;
    refuse.opcode = 0x24;
    refuse.sense = {5, 0x26, 0};
    Device().AddFault(refuse);
    uint16_t result = ScanToFile();
    EXPECT_NE(1, result);
    EXPECT_NE(0, result);
    EXPECT_FALSE(m_Messages.Ids().empty());
    EXPECT_FALSE(Device().IsScanning());
}
