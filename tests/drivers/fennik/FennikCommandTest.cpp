// The FENNIK command set as the device sees it: the golden transcript of a grey scan, the window
// geometry against the counts the device accepted, the speed value and the shading calibration.

#include "drivers/fennik/FennikDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/fennik/FennikBench.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class FennikCommandTest : public FennikBench {
protected:
    // The descriptor of the last SET WINDOW, after its 8-byte header.
    std::vector<uint8_t> LastDescriptor() const
    {
        std::vector<CSimLogEntry> windows = Commands({0x24});
        if (windows.empty() || windows.back().dataOut.size() < 8 + 46)
            return {};
        return std::vector<uint8_t>(windows.back().dataOut.begin() + 8, windows.back().dataOut.end());
    }

    static uint32_t Be32(const std::vector<uint8_t>& d, size_t at)
    {
        return (uint32_t(d[at]) << 24) | (uint32_t(d[at + 1]) << 16) | (uint32_t(d[at + 2]) << 8) | d[at + 3];
    }

    // Largest difference between the scan and the chart, over the whole image.
    static int LargestDeviation(const std::vector<uint8_t>& chart, const std::vector<uint8_t>& image)
    {
        int largest = 0;
        for (size_t i = 0; i < chart.size() && i < image.size(); ++i)
            largest = std::max(largest, std::abs(int(chart[i]) - int(image[i])));
        return largest;
    }
};

}  // namespace

TEST_F(FennikCommandTest, GreyScanWithSpeedNegotiationAndCalibration)
{
    // Reserve; the grey table; the window; the geometry; the speed negotiation (two preparation
    // reads, the timing, the value); the first read of one rounded line; the flags; sixteen strip
    // lines and the shading line; the start; the image in one read; the release.
    Start();
    Select(kImageGrey, 300, 0, 0, 1270, 1270);
    Device().ClearLog();
    CFennikImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    std::vector<std::string> expected = {
        "00 00 00 00 00 00",
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 03 00 00 80 00 04 00 00",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 36 00",
        "00 00 00 00 00 00",
        "12 00 00 00 60 00",
        "28 00 80 00 00 01 00 e4 00 00",
        "28 00 80 00 00 00 00 00 00 00",
        "12 00 00 00 60 00",
        "2a 00 81 00 00 00 00 00 02 00",
        "28 00 80 00 00 00 00 01 00 00",
        "12 00 00 00 60 00",
    };
    for (int i = 0; i < 16; ++i)
        expected.push_back("28 00 82 00 00 10 00 09 f6 00");
    expected.insert(expected.end(), {
        "2a 00 82 00 00 00 00 09 f6 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 00 00",
        "28 00 00 00 00 00 00 61 80 00",
        "17 00 00 00 00 00",
    });
    EXPECT_EQ(expected, Device().Transcript());
    // 160 pixels at 300 ppi for 0.5 inch and a little more; the speed from timing 24 and 5.0.
    EXPECT_EQ(156u, image.lines);
    EXPECT_EQ(160u, image.bytesPerLine);
    EXPECT_EQ(2, Device().Speed());
}

TEST_F(FennikCommandTest, WindowGeometryAgainstTheAcceptedCounts)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        int32_t type, resolution, original;
        int32_t left, top, width, height;   // 1/100 mm
        int32_t state;                      // 2 scan, 1 preview
        bool feeder;
        int32_t threshold;
        // Expected descriptor values:
        uint32_t x0, y0, w, l;
        uint8_t byte23, byte41, byte42;
    };
    const Case kCases[] = {
        {"A4Glass", {}, kImageGrey, 300, 0, 0, 0, 21000, 29700, 2, false, 50, 0, 0, 2488, 3507, 127, 1, 0xC0},
        {"A4Feeder", {{"feeder", "1"}}, kImageGrey, 300, 0, 0, 0, 21000, 29700, 2, true, 50, 0, 0, 2488, 3512, 127, 1, 0xD0},
        {"PreviewReflective", {}, kImageGrey, 50, 0, 1000, 2000, 5000, 5000, 1, false, 0, 118, 236, 600, 596, 1, 0, 0x80},
        {"PreviewTransparency", {{"transparency", "1"}}, kImageRgb, 50, 1, 0, 0, 5000, 5000, 1, false, 50, 0, 0, 600, 596, 127, 1, 0x88},
        {"TransparencyClippedAtItsBed", {{"transparency", "1"}}, kImageRgb, 150, 1, 2000, 0, 20000, 5000, 2, false, 50, 236, 0, 2138, 596, 127, 1, 0xC8},
        {"OddWidthRoundsUpByEight", {}, kImageGrey, 100, 0, 254, 254, 2540, 2540, 2, false, 100, 30, 30, 312, 308, 255, 1, 0xC0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        SetIni("General", "ADF", c.feeder ? "1" : "0");
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamOriginal, c.original);
        m_Settings.SetParamAllTypes(kParamThreshold, c.threshold);
        Driver().m_nState = c.state;
        ASSERT_EQ(kDriverOk, Driver().ReserveDevice());
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        std::vector<uint8_t> d = LastDescriptor();
        ASSERT_EQ(46u, d.size());
        EXPECT_EQ(c.x0, Be32(d, 6));
        EXPECT_EQ(c.y0, Be32(d, 10));
        EXPECT_EQ(c.w, Be32(d, 14));
        EXPECT_EQ(c.l, Be32(d, 18));
        EXPECT_EQ(c.byte23, d[23]);
        EXPECT_EQ(c.byte41, d[41]);
        EXPECT_EQ(c.byte42, d[42]);
        EXPECT_EQ(0xFF, d[45]);
        // What the device accepted is what the scan header takes.
        ASSERT_EQ(kDriverOk, Driver().PrepareScan());
        CFennikScan scan = Device().LastScan();
        EXPECT_EQ(int(c.w) * c.resolution / 300, scan.pixels);
        EXPECT_EQ(int(c.l) * c.resolution / 300, scan.lines);
        EXPECT_EQ(uint32_t(scan.pixels), m_Settings.GetPixelsPerLine());
        EXPECT_EQ(uint32_t(scan.lines), m_Settings.GetLineCount());
        EXPECT_EQ(uint32_t(scan.bytesPerLine), m_Settings.GetBytesPerLine());
        Driver().m_nState = 3;
        Driver().StopScan(0);
    }
}

TEST_F(FennikCommandTest, SpeedValueFromTheTiming)
{
    struct Case {
        uint8_t timing, whole, tenths;
        uint32_t bytesPerLine;
        uint16_t expected;
    };
    const Case kCases[] = {
        {24, 5, 0, 160, 2},
        {24, 5, 0, 7650, 106},
        {20, 2, 5, 7650, 300},
        {17, 5, 0, 7650, 0},        // a timing below 18 asks for no speed
        {24, 0, 0, 7650, 0},        // no line time: nothing to divide by
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << int(c.timing) << " " << int(c.whole) << "." << int(c.tenths));
        uint8_t inquiry[96] = {};
        inquiry[51] = c.timing;
        inquiry[52] = c.whole;
        inquiry[53] = c.tenths;
        EXPECT_EQ(c.expected, CFennikDriver::ComputeSpeed(inquiry, c.bytesPerLine));
    }
}

TEST_F(FennikCommandTest, SpeedCommandBySettingAndTiming)
{
    struct Case {
        const char* name;
        CDeviceOptions device;
        const char* staticSpeed;
        std::vector<uint8_t> sent;          // empty: no speed command
    };
    const std::vector<Case> kCases = {
        {"StaticSpeed", {}, "300", {0x01, 0x2C}},
        {"LineTimeZero", {{"linetime", "0.0"}}, "0", {}},
        {"DeviceWithoutNegotiation", {{"speed", "0"}}, "300", {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start(c.device);
        SetIni("FENNIK", "StaticSpeed", c.staticSpeed);
        Select(kImageRgb, 100, 0, 0, 2540, 2540);
        Device().ClearLog();
        ASSERT_EQ(kDriverOk, ScanFromReserve().status);
        std::vector<CSimLogEntry> speed;
        for (const CSimLogEntry& entry : Commands({0x2A})) {
            if (entry.cdb[2] == 0x81)
                speed.push_back(entry);
        }
        if (c.sent.empty()) {
            EXPECT_TRUE(speed.empty());
        } else {
            ASSERT_EQ(1u, speed.size());
            EXPECT_EQ(c.sent, speed[0].dataOut);
        }
    }
}

TEST_F(FennikCommandTest, ShadingLineIsTheRobustMeanOfTheStrip)
{
    // Column gains 0.8 .. 1.2 in a triangle of 40 columns; the strip's outliers are dropped.
    Start({{"nonuniform", "20"}});
    Select(kImageGrey, 300, 0, 0, 2540, 1270);
    ASSERT_EQ(kDriverOk, ScanFromReserve().status);
    std::vector<uint8_t> line = Device().ShadingLine();
    ASSERT_EQ(2550u, line.size());
    const std::vector<uint8_t> kFirst40 = {160, 164, 168, 172, 176, 180, 184, 188, 192, 196, 200, 204, 208, 212,
                                           216, 220, 224, 228, 232, 236, 240, 236, 232, 228, 224, 220, 216, 212,
                                           208, 204, 200, 196, 192, 188, 184, 180, 176, 172, 168, 164};
    EXPECT_EQ(kFirst40, std::vector<uint8_t>(line.begin(), line.begin() + 40));
    // The last whole triangle starts at column 2520; the line ends 30 columns into it.
    EXPECT_TRUE(std::equal(kFirst40.begin(), kFirst40.begin() + 30, line.begin() + 2520));
}

TEST_F(FennikCommandTest, ColourShadingLineHasThreePlanes)
{
    Start({{"nonuniform", "20"}});
    Select(kImageRgb, 300, 0, 0, 2540, 1270);
    ASSERT_EQ(kDriverOk, ScanFromReserve().status);
    std::vector<uint8_t> line = Device().ShadingLine();
    ASSERT_EQ(7650u, line.size());
    // Green's triangle starts 13 columns on, blue's 26.
    EXPECT_EQ(160, line[0]);
    EXPECT_EQ(212, line[2550]);
    EXPECT_EQ(212, line[5100 + 27]);
}

TEST_F(FennikCommandTest, RobustMeanDropsTheDiscardsAndRounds)
{
    struct Case {
        const char* name;
        const char* lines;
        const char* black;
        const char* white;
        uint16_t usedLines, usedBlack, usedWhite;
        uint8_t expected;
    };
    // Samples 0, 10, 20, ... 150 in every column.
    const Case kCases[] = {
        {"Defaults", "16", "5", "2", 16, 5, 2, 90},                 // 50 .. 130: 810 / 9
        {"BlackLimitedToHalfTheLinesLessOne", "16", "20", "0", 16, 7, 0, 110},   // 70 .. 150,
        {"TooFewLinesUseTheDefault", "1", "5", "2", 16, 5, 2, 90},
        {"NegativeLinesUseTheDefault", "-4", "5", "2", 16, 5, 2, 90},
        {"TooManyLinesUseTheDefault", "300", "5", "2", 16, 5, 2, 90},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        SetIni("FENNIK", "ShadingLines", c.lines);
        SetIni("FENNIK", "BlackPixelsToDiscard", c.black);
        SetIni("FENNIK", "WhitePixelsToDiscard", c.white);
        Select(kImageGrey, 300, 0, 0, 2540, 1270);
        ASSERT_EQ(kDriverOk, ScanFromReserve().status);
        EXPECT_EQ(c.usedLines, Driver().m_nShadingLines);
        EXPECT_EQ(c.usedBlack, Driver().m_nBlackDiscard);
        EXPECT_EQ(c.usedWhite, Driver().m_nWhiteDiscard);
        std::vector<uint8_t> strip(16 * 3);
        for (int i = 0; i < 16; ++i)
            strip[size_t(i) * 3] = strip[size_t(i) * 3 + 1] = strip[size_t(i) * 3 + 2] = uint8_t(150 - 10 * i);
        uint8_t result[3] = {};
        Driver().ComputeShadingLine(strip.data(), 3, result);
        EXPECT_EQ(c.expected, result[0]);
        EXPECT_EQ(c.expected, result[2]);
    }
}

TEST_F(FennikCommandTest, HostCalibrationFlattensAnUnevenSensor)
{
    struct Case {
        const char* name;
        int32_t type;
        const char* hostCalibration;
        bool flat;
    };
    const Case kCases[] = {
        {"GreyCalibrated", kImageGrey, "1", true},
        {"RgbCalibrated", kImageRgb, "1", true},
        {"GreyUncalibrated", kImageGrey, "0", false},
        {"RgbUncalibrated", kImageRgb, "0", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"nonuniform", "20"}});
        SetIni("FENNIK", "HostCalibration", c.hostCalibration);
        Select(c.type, 150, 0, 0, 12000, 6000);
        CFennikImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        std::vector<uint8_t> chart = CTestChart::Render(Device().LastScan().chart);
        ASSERT_EQ(chart.size(), image.bytes.size());
        int deviation = LargestDeviation(chart, image.bytes);
        if (c.flat)
            EXPECT_LE(deviation, 2);
        else
            EXPECT_GE(deviation, 20);
    }
}
