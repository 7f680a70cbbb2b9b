// Reads of a banded device: every READ stays inside the device's band, whatever the reader asks,
// and every band and pass after the first begins with a SCAN of control 0xC0.

#include "drivers/zandor/ZandorDriver.h"

#include "core/util/Clock.h"
#include "sim/TestChart.h"
#include "tests/drivers/zandor/ZandorBench.h"

#include <string>
#include <vector>

namespace {

class ZandorBandTest : public ZandorBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    // The line counts of the image reads, in order.
    std::vector<uint32_t> ImageReads() const
    {
        std::vector<uint32_t> counts;
        for (const CSimLogEntry& entry : Commands({0x28})) {
            if (entry.cdb[2] == 0)
                counts.push_back((uint32_t(entry.cdb[6]) << 16) | (uint32_t(entry.cdb[7]) << 8) | entry.cdb[8]);
        }
        return counts;
    }
};

}  // namespace

TEST_P(ZandorBandTest, ReadsStayInsideTheBand)
{
    struct Case {
        const char* name;
        const char* band;
        std::vector<uint16_t> requests;
        std::vector<uint32_t> reads;  // line counts of the READs the device sees
        std::vector<uint8_t> controls;  // SCAN control bytes
        uint32_t linesInBand;
    };
    const Case kCases[] = {
        {"SplitAtTheBoundary", "100", {80, 50}, {80, 20, 30}, {0x40, 0xC0}, 30},
        {"LargerThanSeveralBands", "10", {35}, {10, 10, 10, 5}, {0x40, 0xC0, 0xC0, 0xC0}, 5},
        {"ExactlyFillingTheBand", "100", {80, 20}, {80, 20}, {0x40}, 100},
        {"NextRequestChangesTheBand", "100", {80, 20, 10}, {80, 20, 10}, {0x40, 0xC0}, 10},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", "gs400"}, {"band", c.band}}, GetParam());
        Select(kImageGrey, 100, 0, 0, 5080, 5080);
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
        ASSERT_EQ(kDriverOk, StartScan());
        uint32_t bytesPerLine = m_Settings.GetBytesPerLine();
        std::vector<uint8_t> image;
        for (uint16_t lines : c.requests) {
            std::vector<uint8_t> block(size_t(lines) * bytesPerLine);
            ASSERT_EQ(kDriverOk, Driver().ReadData(block.data(), 0, lines, uint16_t(bytesPerLine)));
            int32_t status = 1;
            Driver().PostProcessLines(block.data(), lines, &m_Settings, &status);
            EXPECT_EQ(0, status);
            image.insert(image.end(), block.begin(), block.end());
        }
        EXPECT_EQ(c.reads, ImageReads());
        EXPECT_EQ(c.controls, Device().ScanControls());
        EXPECT_EQ(c.linesInBand, Driver().m_nLinesInBand);
        // The lines land in order: the tables turn the device's ink back into the chart.
        CChartWindow chart = Device().LastWindow().chart;
        chart.lines = int(image.size() / bytesPerLine);
        EXPECT_EQ(CTestChart::Render(chart), image);
        EXPECT_TRUE(m_Messages.Ids().empty());
        Driver().StopScan(0);
        EXPECT_FALSE(Device().IsReservedByHost());
    }
}

TEST_P(ZandorBandTest, ColourPassesComeRedGreenBlueEachAfterItsScan)
{
    Start({{"model", "color"}, {"band", "16"}}, GetParam());
    Select(kImageRgb, 100, 0, 0, 2540, 1016);
    ASSERT_EQ(kDriverOk, StartScan());
    uint32_t lines = m_Settings.GetLineCount();
    uint32_t bytesPerLine = m_Settings.GetBytesPerLine();
    // Three bands a pass.
    ASSERT_GT(lines, 32u);
    ASSERT_LE(lines, 48u);
    std::vector<uint8_t> plane(size_t(lines) * bytesPerLine);
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        if (pass > 0) {
            ASSERT_EQ(kDriverOk, Driver().StartPass(0, 0x80));
        }
        EXPECT_EQ(pass, Device().Pass());
        EXPECT_EQ(0u, Driver().m_nLinesInBand);
        ASSERT_EQ(kDriverOk, Driver().ReadData(plane.data(), 0, uint16_t(lines), uint16_t(bytesPerLine)));
        // The device's ink of the pass's colour.
        CChartWindow chart = Device().LastWindow().chart;
        std::vector<uint8_t> light = CTestChart::Render(chart);
        for (uint32_t i = 0; i < plane.size(); i += 97)
            ASSERT_EQ(255 - light[3 * i + pass], plane[i]) << "sample " << i;
    }
    // Two band changes per pass, and one SCAN for each further pass.
    const std::vector<uint8_t> controls = {0x40, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0, 0xC0};
    EXPECT_EQ(controls, Device().ScanControls());
    Driver().StopScan(0);
}

TEST_P(ZandorBandTest, WaitForDataPollsTheBandSize)
{
    Start({{"model", "gs400"}, {"band", "32"}}, GetParam());
    Select(kImageGrey, 100, 0, 0, 2540, 2540);
    ASSERT_EQ(kDriverOk, StartScan());
    EXPECT_EQ(kDriverOk, Driver().WaitForData(0, 32, 1000));
    uint32_t start = MillisecondClock();
    EXPECT_EQ(kDriverFailed, Driver().WaitForData(0, 33, 600));
    uint32_t elapsed = ClockElapsed(start);
    EXPECT_GE(elapsed, 600u);
    EXPECT_LT(elapsed, 3000u);
    Driver().StopScan(0);
}

INSTANTIATE_TEST_SUITE_P(
    Transports, ZandorBandTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);
