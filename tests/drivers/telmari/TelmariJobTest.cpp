// Whole scans from the virtual device through the driver and the scan job (its three-pass reader
// with the pass file) into BMP files of exactly the selected size, compared with what the device
// scanned.

#include "drivers/telmari/TelmariDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/support/JobBench.h"
#include "tests/drivers/telmari/TelmariBench.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class TelmariJobTest : public JobBench<TelmariBench>, public testing::WithParamInterface<ScsiDriverId> {
protected:
    TelmariJobTest() : JobBench("telmari_scan.bmp") { }
};

}  // namespace

TEST_P(TelmariJobTest, BmpFilesHoldWhatTheDeviceScannedAtTheSelectedSize)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        int32_t type;
        int32_t resolution;
        int32_t original;
        int32_t left, top, width, height;
        uint16_t bits;
    };
    const Case kCases[] = {
        {"grey", {}, kImageGrey, 150, 0, 500, 500, 5080, 3000, 8},
        {"rgb in three passes", {}, kImageRgb, 200, 0, 2000, 1500, 3810, 2540, 24},
        {"ultra rgb", {{"model", "ultra"}}, kImageRgb, 150, 0, 1000, 4000, 5000, 1000, 24},
        {"plus rgb", {{"model", "plus"}}, kImageRgb, 100, 0, 1000, 4000, 5001, 1003, 24},
        {"line art", {}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000, 1},
        {"plus line art", {{"model", "plus"}}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000, 1},
        {"slide", {}, kImageRgb, 150, 1, 500, 500, 3600, 2400, 24},
        {"negative grey", {}, kImageGrey, 150, 2, 500, 500, 3600, 2400, 8},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device, GetParam());
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        std::vector<uint8_t> file = ReadOutput();
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsScanning());

        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        EXPECT_EQ(c.bits, file[28] | (file[29] << 8));
        uint32_t width = Get32(file, 18);
        uint32_t height = Get32(file, 22);
        uint32_t selected = uint32_t(c.width * c.resolution / 2540);
        EXPECT_EQ(c.bits == 1 ? (selected + 7) / 8 * 8 : selected, width);
        EXPECT_EQ(uint32_t(c.height * c.resolution / 2540), height);
        uint32_t stride = (width * c.bits + 31) / 32 * 4;
        ASSERT_EQ(Get32(file, 10) + stride * height, file.size());

        CTelmariScan scan = Device().LastScan();
        EXPECT_EQ(c.type == kImageRgb ? 3 : 1, scan.passes);
        ASSERT_GE(uint32_t(scan.chart.pixelsPerLine), width);
        ASSERT_GE(uint32_t(scan.chart.lines), height);
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
                        bool wantBlack = want < scan.lightThreshold;
                        black += wantBlack ? 1 : 0;
                        mismatches += (got == 0) == wantBlack ? 0 : 1;
                        continue;
                    }
                    // Film goes through the device's table and its fixed gamma.
                    if (c.original != 0)
                        want = Device().Sample(channels == 3 ? ch + 1 : 2, uint8_t(want), true);
                    mismatches += std::abs(want - got) > 1 ? 1 : 0;
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

INSTANTIATE_TEST_SUITE_P(
    Transports, TelmariJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
