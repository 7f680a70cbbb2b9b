// Whole scans through the driver's data path from the virtual device, compared byte for byte with
// the chart the device scanned, through both transports.

#include "drivers/fennik/FennikDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/fennik/FennikBench.h"

#include <string>
#include <vector>

namespace {

struct ScanCase {
    const char* name;
    CDeviceOptions device;
    int32_t type;
    int32_t resolution;
    int32_t original;
    int32_t left, top, width, height;       // 1/100 mm
    int composition;                        // what the device was asked for
};

const ScanCase kScans[] = {
    {"GreyOnTheGlass", {}, kImageGrey, 150, 0, 500, 700, 5080, 3000, 2},
    {"RgbOnTheGlass", {}, kImageRgb, 300, 0, 2000, 1500, 3810, 2540, 5},
    {"RgbFromTheTransparencyUnit", {{"transparency", "1"}}, kImageRgb, 200, 1, 3000, 3000, 3600, 2400, 5},
    {"GreyWithoutSpeedOrCalibration", {{"speed", "0"}, {"hostcal", "0"}}, kImageGrey, 100, 0, 0, 0, 8000, 6000, 2},
    {"KestrianA4", {{"model", "kestscana4"}}, kImageRgb, 75, 0, 0, 0, 21000, 29700, 5},
};

size_t FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return i;
}

// The chart as the device sees it at the window it accepted; colour pixel-interleaved R, G, B.
std::vector<uint8_t> ChartOf(const CFennikScan& scan)
{
    return CTestChart::Render(scan.chart);
}

class FennikScanTest : public FennikBench, public testing::WithParamInterface<ScsiDriverId> {
protected:
    void Run(const ScanCase& c)
    {
        Start(c.device, GetParam());
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamOriginal, c.original);
        // The device's whole density range for the original: identity tables.
        m_Settings.SetParam(kParamMinDensity, int32_t(Driver().GetMinDensity(0)));
        m_Settings.SetParam(kParamMaxDensity, int32_t(Driver().GetMaxDensity(0)));
        CFennikImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        ASSERT_EQ(0, image.postStatus);

        CFennikScan scan = Device().LastScan();
        EXPECT_EQ(c.composition, scan.composition);
        // The window starts where the selection lies and covers it.
        EXPECT_NEAR(c.left / 2540.0, scan.chart.left, 1.0 / 300);
        EXPECT_NEAR(c.top / 2540.0, scan.chart.top, 1.0 / 300);
        EXPECT_GE(scan.pixels, c.width * c.resolution / 2540);
        EXPECT_GE(scan.lines, c.height * c.resolution / 2540);
        EXPECT_EQ(c.original != 0, (scan.flags & 0x08) != 0);

        std::vector<uint8_t> expected = ChartOf(scan);
        EXPECT_EQ(CTestChart::BytesPerLine(scan.chart), image.bytesPerLine);
        ASSERT_EQ(uint32_t(scan.lines), image.lines);
        ASSERT_EQ(expected.size(), image.bytes.size());
        size_t at = FirstDifference(expected, image.bytes);
        EXPECT_EQ(expected.size(), at) << "the scan differs from the chart at byte " << at;
        EXPECT_FALSE(Device().IsScanning());
        EXPECT_TRUE(m_Messages.Ids().empty());
    }
};

}  // namespace

TEST_P(FennikScanTest, ScansMatchTheChart)
{
    for (const ScanCase& c : kScans) {
        SCOPED_TRACE(c.name);
        Run(c);
        if (HasFatalFailure())
            return;
    }
}

TEST_P(FennikScanTest, LinesLongerThanTheReadChunkArriveWhole)
{
    // A 600 ppi colour line of 8.5 inches is 15300 bytes; a transfer of 4 KB at a time needs
    // several reads per line, the preparation's first read too.
    SetIni("General", "ScanBuffer", "4");
    Start({}, GetParam());
    ASSERT_EQ(4096u, Driver().m_nReadChunk);
    Select(kImageRgb, 600, 0, 0, 21590, 300);
    CFennikImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    CFennikScan scan = Device().LastScan();
    EXPECT_EQ(15300, scan.bytesPerLine);
    ASSERT_EQ(uint32_t(scan.lines), image.lines);
    EXPECT_TRUE(ChartOf(scan) == image.bytes);
    for (const CSimLogEntry& read : Commands({0x28}))
        EXPECT_LE(read.length, 4096u);
}

TEST_P(FennikScanTest, DeviceLineArtIsInvertedBackToSetBitsBlack)
{
    Start({}, GetParam());
    Select(kImageLineArt, 300, 1000, 7000, 5000, 2000);
    CFennikImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    CFennikScan scan = Device().LastScan();
    ASSERT_EQ(0, scan.composition);
    EXPECT_EQ(1, Driver().m_bLineArt);
    // Light below the window's threshold is black, and black is a set bit.
    CChartWindow grey = scan.chart;
    grey.bitsPerSample = 8;
    std::vector<uint8_t> light = CTestChart::Render(grey);
    std::vector<uint8_t> expected = LineArtOfLight(light, uint32_t(scan.pixels), uint32_t(scan.lines),
                                                   uint32_t(scan.bytesPerLine), scan.threshold);
    EXPECT_EQ(127, scan.threshold);
    ASSERT_EQ(uint32_t(scan.lines), image.lines);
    EXPECT_TRUE(expected == image.bytes);
}

TEST_P(FennikScanTest, AveragedColourKeepsTheLineCountAndEndsWithTheDeviceLastLine)
{
    // Small staging blocks, so that pairs straddle many block boundaries.
    Start({{"average", "1"}}, GetParam());
    SetIni("FENNIK", "BigBuffer", "8");
    Driver().InitCapabilities();
    Select(kImageRgb, 100, 0, 2000, 8000, 5000);
    CFennikImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    CFennikScan scan = Device().LastScan();
    std::vector<uint8_t> chart = ChartOf(scan);
    ASSERT_EQ(uint32_t(scan.lines), image.lines);
    ASSERT_EQ(chart.size(), image.bytes.size());
    size_t line = size_t(scan.pixels) * 3;
    for (int y = 0; y + 1 < scan.lines; ++y) {
        for (size_t i = 0; i < line; ++i) {
            uint8_t mean = uint8_t((chart[y * line + i] + chart[(y + 1) * line + i]) >> 1);
            ASSERT_EQ(mean, image.bytes[y * line + i]) << "line " << y << " byte " << i;
        }
    }
    EXPECT_TRUE(std::equal(chart.end() - long(line), chart.end(), image.bytes.end() - long(line)));
}

TEST_P(FennikScanTest, ReadingStopsAtTheDeviceLineCount)
{
    Start({}, GetParam());
    Select(kImageGrey, 300, 0, 0, 2540, 2540);
    ASSERT_EQ(kDriverOk, Driver().ReserveDevice());
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    ASSERT_EQ(kDriverOk, Driver().PrepareScan());
    ASSERT_EQ(kDriverOk, Driver().StartScanCommand(0));
    uint32_t total = m_Settings.GetLineCount();
    std::vector<uint8_t> buffer(size_t(100) * m_Settings.GetBytesPerLine());
    uint32_t lines = 0;
    int32_t status = 0;
    while (lines < total) {
        ASSERT_EQ(kDriverOk, Driver().ReadData(buffer.data(), 0, 100, uint16_t(m_Settings.GetBytesPerLine())));
        uint32_t got = Driver().PostProcessLines(buffer.data(), 100, &m_Settings, &status);
        ASSERT_GT(got, 0u);
        lines += got;
    }
    EXPECT_EQ(total, lines);
    size_t commands = Device().Log().size();
    EXPECT_EQ(kDriverOk, Driver().ReadData(buffer.data(), 0, 100, uint16_t(m_Settings.GetBytesPerLine())));
    EXPECT_EQ(0u, Driver().PostProcessLines(buffer.data(), 100, &m_Settings, &status));
    EXPECT_EQ(commands, Device().Log().size());
    Driver().StopScan(0);
}

INSTANTIATE_TEST_SUITE_P(Transports, FennikScanTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
