// Whole scans from the virtual device through the driver and the scan job into BMP files of
// exactly the selected size, compared with the chart the device scanned, through both transports.

#include "drivers/zandor/ZandorDriver.h"

#include "core/util/Clock.h"
#include "sim/TestChart.h"
#include "tests/drivers/support/JobBench.h"
#include "tests/drivers/zandor/ZandorBench.h"

#include <string>
#include <vector>

namespace {

class ZandorJobTest : public JobBench<ZandorBench>, public testing::WithParamInterface<ScsiDriverId> {
protected:
    ZandorJobTest() : JobBench("zandor_scan.bmp") { }
};

// Pixels of a 1-bit BMP whose palette colour differs from the chart's line art (black where the
// chart is darker than the middle), and the black pixels the chart has there; -1 when the file is
// not a whole 1-bit BMP.
int LineArtMismatches(const std::vector<uint8_t>& file, const CChartWindow& window, uint32_t& black)
{
    if (file.size() < 62 || file[0] != 'B' || (file[28] | (file[29] << 8)) != 1)
        return -1;
    uint32_t offset = Get32(file, 10), width = Get32(file, 18), height = Get32(file, 22);
    uint32_t stride = (width + 31) / 32 * 4;
    if (offset + size_t(stride) * height != file.size())
        return -1;
    CChartWindow grey = window;
    grey.bitsPerSample = 8;
    grey.invert = false;
    std::vector<uint8_t> light = CTestChart::Render(grey);
    int mismatches = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &file[offset + (height - 1 - y) * stride];
        for (uint32_t x = 0; x < width; ++x) {
            int index = (row[x / 8] >> (7 - x % 8)) & 1;
            bool fileBlack = file[54 + 4 * index] == 0;
            bool chartBlack = light[size_t(y) * grey.pixelsPerLine + x] < 128;
            black += chartBlack ? 1 : 0;
            mismatches += fileBlack != chartBlack ? 1 : 0;
        }
    }
    return mismatches;
}

}  // namespace

TEST_P(ZandorJobTest, BmpFilesHoldTheChartAtTheSelectedSize)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        int32_t type, resolution, original;
        int32_t left, top, width, height;
        uint16_t bits;
        int tolerance;
    };
    const Case kCases[] = {
        {"GreyGlass", {{"model", "gs400"}, {"band", "24"}}, kImageGrey, 200, 0, 500, 700, 5080, 3000, 8, 0},
        {"GreySixBit", {{"model", "ii"}, {"bits", "6"}}, kImageGrey, 150, 0, 0, 1000, 7000, 4000, 8, 3},
        {"LineArtGlass", {{"model", "la300"}}, kImageLineArt, 300, 0, 1000, 7000, 5000, 1000, 1, 0},
        {"RgbThreePasses", {{"band", "20"}}, kImageRgb, 150, 0, 2000, 1500, 3810, 2540, 24, 0},
        {"RgbTransparencyUnit", {{"transparency", "1"}}, kImageRgb, 100, 1, 3000, 3000, 3600, 2400, 24, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device, GetParam());
        SelectForJob(c.type, c.resolution, c.original, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
        uint32_t selectedWidth = m_Settings.RotatedPixelWidth();
        uint32_t selectedHeight = m_Settings.RotatedPixelHeight();
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        std::vector<uint8_t> file = ReadOutput();
        EXPECT_TRUE(m_Messages.Ids().empty()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_FALSE(Device().IsReservedByHost());
        ASSERT_GT(file.size(), 62u);
        EXPECT_EQ(c.bits, file[28] | (file[29] << 8));
        EXPECT_EQ(selectedWidth, Get32(file, 18));
        EXPECT_EQ(selectedHeight, Get32(file, 22));
        CZandorWindow window = Device().LastWindow();
        if (c.bits == 1) {
            uint32_t black = 0;
            EXPECT_EQ(0, LineArtMismatches(file, window.chart, black));
            EXPECT_GT(black, 0u);
            continue;
        }
        const int worst = WorstDifferenceFromChart(file, window.chart);
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, c.tolerance);
        if (c.type == kImageRgb) {
            // Three passes: the first SCAN, a band change wherever a pass outgrows its band, and
            // one SCAN for each further pass.
            uint32_t bands = (uint32_t(window.lines) + Device().Band() - 1) / Device().Band();
            EXPECT_EQ(size_t(1 + 3 * (bands - 1) + 2), Device().ScanControls().size());
        }
    }
}

// A fault in the middle of a colour scan ends the job with the family's message (or the reader's
// for a failed read), leaves no file and releases the device.
TEST_P(ZandorJobTest, FaultsEndTheJobWithoutAFile)
{
    struct Case {
        const char* name;
        SimFaultKind kind;
        int opcode;
        int skip;
        uint8_t code;
        uint16_t result;
        std::vector<int> messages;
    };
    // The READs of a pass alternate: the window status after each SCAN, then the band's lines.
    const Case kCases[] = {
        {"RefusedImageRead", SimFaultKind::Check, 0x28, 5, 0x11, kDriverAborted, {3354}},
        {"RefusedBandChange", SimFaultKind::Check, 0x1B, 4, 0x04, kDriverAborted, {3352}},
        {"RefusedPass", SimFaultKind::Check, 0x1B, 7, 0x02, kDriverAborted, {3353}},
        {"ShortImageRead", SimFaultKind::ShortTransfer, 0x28, 5, 0, kDriverAborted, {3335}},
        {"UserCancels", SimFaultKind::Abort, 0x28, 5, 0, kDriverAborted, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(m_strPath.c_str());
        Start({{"band", "16"}}, GetParam());
        SelectForJob(kImageRgb, 100, 0, 0, 0, 5080, 2540);
        CSimFault fault;
        fault.kind = c.kind;
        fault.opcode = c.opcode;
        fault.skip = c.skip;
        fault.bytes = 100;
        fault.sense = {0, c.code, 0};
        Device().AddFault(fault);
        m_Messages.Clear();
        uint32_t start = MillisecondClock();
        EXPECT_EQ(c.result, ScanToFile());
        EXPECT_LT(ClockElapsed(start), 5000u);
        EXPECT_EQ(c.messages, m_Messages.Ids());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_strPath.c_str()));
        EXPECT_FALSE(Device().IsReservedByHost());
        g_UserAbort = 0;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, ZandorJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
