// The LUMETRA data path: tagged colour lines in the camera's own order sorted through the queues,
// lines with letters of no colour, the tone tables, the window counted from the sensor's far edge
// and ReadData's time budget.

#include "drivers/lumetra/LumetraDriver.h"

#include "core/util/Clock.h"
#include "sim/TestChart.h"
#include "tests/drivers/lumetra/LumetraBench.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class LumetraScanTest : public LumetraBench { };

// The largest difference of the image's samples, taken to 8 bits, from the chart the camera saw.
int WorstDifference(const CBenchImage& image, const CChartWindow& chart, uint32_t bits, bool shifted)
{
    std::vector<uint8_t> want = CTestChart::Render(chart);
    size_t rowBytes = CTestChart::BytesPerLine(chart);
    size_t samples = size_t(chart.pixelsPerLine) * size_t(chart.channels);
    if (image.lines != uint32_t(chart.lines))
        return -1;
    int worst = 0;
    for (uint32_t y = 0; y < image.lines; ++y) {
        const uint8_t* row = image.bytes.data() + size_t(y) * image.bytesPerLine;
        for (size_t i = 0; i < samples; ++i) {
            int got = row[i];
            if (bits > 8) {
                int v = row[2 * i] | (row[2 * i + 1] << 8);
                got = shifted ? v >> 8 : v >> (bits - 8);
            }
            worst = std::max(worst, std::abs(got - int(want[y * rowBytes + i])));
        }
    }
    return worst;
}

}  // namespace

TEST_F(LumetraScanTest, TaggedLinesInAnyOrderGiveThePicture)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t resolution;
        int32_t bits;
        const char* shift;  // INI General/Shiftto16beforeCMS
    };
    const Case kCases[] = {
        {"Grey", kImageGrey, 300, 8, "0"},
        {"Rgb", kImageRgb, 300, 8, "0"},
        {"RgbWholeSensor", kImageRgb, 600, 8, "0"},
        {"Grey12Bits", kImageGrey, 150, 12, "0"},
        {"Rgb12Bits", kImageRgb, 150, 12, "0"},
        {"Rgb12BitsShifted", kImageRgb, 150, 12, "1"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        SetIni("General", "Shiftto16beforeCMS", c.shift);
        if (c.resolution == 600)
            SelectPlain(c.type, c.resolution, 0, 0, 3810, 2540);
        else
            SelectPlain(c.type, c.resolution, 500, 300, 2000, 1500);  // an odd number of lines at 300
        m_Settings.SetParam(kParamBitsPerChannel, c.bits);
        CBenchImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status) << testing::PrintToString(m_Messages.Ids());
        CLumetraScan scan = Device().LastScan();
        EXPECT_EQ(scan.lines, image.lines);
        EXPECT_EQ(scan.pixels, m_Settings.GetPixelsPerLine());
        uint32_t sampleBytes = c.bits > 8 ? 2 : 1;
        EXPECT_EQ(scan.pixels * scan.chart.channels * sampleBytes, image.bytesPerLine);
        EXPECT_LE(WorstDifference(image, scan.chart, uint32_t(c.bits), c.shift[0] == '1'), 1);
        EXPECT_GE(WorstDifference(image, scan.chart, uint32_t(c.bits), c.shift[0] == '1'), 0);
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsReservedByHost());
        if (c.type != kImageRgb)
            continue;
        // The camera's order is not red, green, blue line after line.
        std::vector<char> letters = Device().SentLetters();
        ASSERT_EQ(3 * scan.lines, letters.size());
        std::string plain;
        for (uint32_t i = 0; i < scan.lines; ++i)
            plain += "RGB";
        EXPECT_NE(plain, std::string(letters.begin(), letters.end()));
        for (const CSimLogEntry& read : Commands({0x28})) {
            EXPECT_NE(0, read.cdb[8]) << "no READ of zero lines";
            EXPECT_EQ(scan.lineSize, (uint32_t(read.cdb[6]) << 8) | read.cdb[7]);
        }
    }
}

TEST_F(LumetraScanTest, LineOfNoColourEndsTheScanAtOnce)
{
    // 300 ppi over 2000 x 1500: 177 lines, 531 device lines.
    for (const char* bad : {"0", "7", "300", "530"}) {
        SCOPED_TRACE(bad);
        Start({{"badletter", bad}});
        SelectPlain(kImageRgb, 300, 500, 300, 2000, 1500);
        uint32_t start = MillisecondClock();
        CBenchImage image = ScanFromReserve();
        EXPECT_LT(ClockElapsed(start), 3000u);
        EXPECT_EQ(kDriverFailed, image.status);
        EXPECT_LT(image.lines, Device().LastScan().lines);
        EXPECT_EQ('X', Device().SentLetters().at(std::stoul(bad)));
        for (const CSimLogEntry& read : Commands({0x28}))
            EXPECT_NE(0, read.cdb[8]) << "no READ of zero lines";
        EXPECT_FALSE(Device().IsReservedByHost());
    }
}

TEST_F(LumetraScanTest, SortingDropsLinesOfOtherLetters)
{
    Start();
    SelectPlain(kImageRgb, 150, 0, 0, 1000, 1000);
    ASSERT_EQ(kDriverOk, StartScan());
    uint32_t size = Driver().m_nDeviceLineSize;
    std::vector<uint8_t> lines(size * 5, 0);
    const char kLetters[] = {'G', 'r', 'B', 'X', 'R'};
    for (int i = 0; i < 5; ++i)
        lines[size_t(i) * size + 1] = uint8_t(kLetters[i]);
    ASSERT_EQ(kDriverOk, Driver().SortLines(lines.data(), 5));
    EXPECT_EQ(1u, Driver().m_pQueues[0]->Count());
    EXPECT_EQ(1u, Driver().m_pQueues[1]->Count());
    EXPECT_EQ(1u, Driver().m_pQueues[2]->Count());
    EXPECT_EQ(1u, Driver().QueuedLines());
    Driver().StopScan(0);
    EXPECT_EQ(nullptr, Driver().m_pQueues[0]);
}

TEST_F(LumetraScanTest, ToneTablesBySizeAndChannel)
{
    struct Case {
        int32_t type;
        int32_t bits;
        uint32_t length;
        std::vector<int> channels;
        uint16_t top;
    };
    const Case kCases[] = {
        {kImageGrey, 8, 4100, {2}, 255},
        {kImageRgb, 8, 4100, {1, 2, 3}, 255},
        {kImageGrey, 12, 8196, {2}, 4095},
        {kImageRgb, 12, 8196, {1, 2, 3}, 4095},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " bits " << c.bits);
        Start();
        SelectPlain(c.type, 150, 0, 0, 1000, 1000);
        m_Settings.SetParam(kParamBitsPerChannel, c.bits);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        Device().ClearLog();
        ASSERT_EQ(kDriverOk, Driver().SendLookupTables());
        std::vector<CSimLogEntry> sends = Commands({0x2A});
        ASSERT_EQ(c.channels.size(), sends.size());
        for (size_t i = 0; i < sends.size(); ++i) {
            EXPECT_EQ(0x93, sends[i].cdb[2]);
            ASSERT_EQ(c.length, sends[i].dataOut.size());
            const std::vector<uint8_t>& block = sends[i].dataOut;
            EXPECT_EQ((std::vector<uint8_t> {uint8_t(c.channels[i]), 0, 12, uint8_t(c.bits)}),
                std::vector<uint8_t>(block.begin(), block.begin() + 4));
            std::vector<uint16_t> table = Device().Lut(c.channels[i]);
            ASSERT_EQ(4096u, table.size());
            EXPECT_EQ(0, table.front());
            EXPECT_EQ(c.top, table.back());
            EXPECT_TRUE(std::is_sorted(table.begin(), table.end())) << "rising";
        }
    }
}

TEST_F(LumetraScanTest, WindowCountsFromTheSensorsFarEdge)
{
    struct Case {
        int32_t value;  // camera preview value, id 37
        uint8_t speed;  // byte 40
        uint8_t code;  // byte 41
    };
    const Case kCases[] = {{150, 13, 0}, {0, 13, 0}, {5, 133, 7}, {9, 74, 7}, {10, 200, 0}, {1, 255, 7}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.value);
        Start();
        SelectPlain(kImageRgb, 300, 500, 300, 2000, 1500);
        m_Settings.SetParamAllTypes(kParamCameraPreview, c.value);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        CLumetraWindow w = Device().Window();
        EXPECT_EQ(300u, w.resolution);
        // From the right edge 3810 - 2500 and the bottom edge 2540 - 1800, in 1/100 mm.
        EXPECT_EQ(1310u * 300 / 2540, w.x0);
        EXPECT_EQ(740u * 300 / 2540, w.y0);
        EXPECT_EQ(2000u * 300 / 2540, w.width);
        EXPECT_EQ(1500u * 300 / 2540, w.length);
        EXPECT_EQ(5, w.composition);
        EXPECT_EQ(c.speed, w.speed);
        EXPECT_EQ(c.code, w.code);
        EXPECT_EQ(c.code, Driver().m_nWindowCode);
    }
}

TEST_F(LumetraScanTest, TimeBudgetRunsOutWithATimeOut)
{
    // Every READ ends with a recovered error: no line arrives, the budget (lines x 12000 / id 37 ms)
    // runs out. An id 37 of 0 counts as 150.
    for (int32_t value : {150, 0, 40}) {
        SCOPED_TRACE(value);
        Start();
        SelectPlain(kImageGrey, 150, 0, 0, 1000, 1000);
        m_Settings.SetParamAllTypes(kParamCameraPreview, value);
        ASSERT_EQ(kDriverOk, StartScan());
        CSimFault recovered;
        recovered.kind = SimFaultKind::Check;
        recovered.opcode = 0x28;
        recovered.count = 0;
        recovered.sense = {1, 0xB0, 0x03};
        Device().AddFault(recovered);
        m_Messages.Clear();
        std::vector<uint8_t> buffer(size_t(m_Settings.GetBytesPerLine()) * 4);
        uint32_t start = MillisecondClock();
        EXPECT_EQ(48, Driver().ReadData(buffer.data(), 0, 4, uint16_t(m_Settings.GetBytesPerLine())));
        uint32_t elapsed = ClockElapsed(start);
        uint32_t budget = 4 * 12000 / uint32_t(value == 0 ? 150 : value);
        EXPECT_GE(elapsed + 20, budget);
        EXPECT_LT(elapsed, budget + 2000);
        ASSERT_FALSE(m_Messages.Ids().empty());
        EXPECT_EQ(4052, m_Messages.Ids().front());
        Driver().StopScan(0);
    }
}

TEST_F(LumetraScanTest, WaitForDataPollsTheBufferStatus)
{
    struct Case {
        const char* name;
        uint32_t wanted;
        uint32_t timeout;  // ms, one poll each 100
        bool recoveredEveryPoll;
        uint16_t result;
        size_t polls;
        uint32_t least, most;  // ms
    };
    // 1000 x 1000 at 150 ppi in grey: 59 lines of 59 bytes in the camera's buffer.
    const Case kCases[] = {
        {"Held", 59 * 59, 500, false, kDriverOk, 1, 0, 300},
        {"MoreThanWillComeButSteady", 0xFFFFFF, 1000, false, kDriverOk, 6, 450, 1500},  // six equal answers
        {"SteadyTooLate", 0xFFFFFF, 500, false, kDriverFailed, 5, 450, 1500},
        {"NoAnswerInTime", 100, 500, true, kDriverFailed, 5, 450, 1500},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start();
        SelectPlain(kImageGrey, 150, 0, 0, 1000, 1000);
        ASSERT_EQ(kDriverOk, StartScan());
        if (c.recoveredEveryPoll) {
            CSimFault recovered;
            recovered.kind = SimFaultKind::Check;
            recovered.opcode = 0x34;
            recovered.count = 0;
            recovered.sense = {1, 0, 0};
            Device().AddFault(recovered);
        }
        Device().ClearLog();
        uint32_t start = MillisecondClock();
        EXPECT_EQ(c.result, Driver().WaitForData(0, c.wanted, c.timeout));
        uint32_t elapsed = ClockElapsed(start);
        EXPECT_EQ(c.polls, Commands({0x34}).size());
        EXPECT_GE(elapsed, c.least);
        EXPECT_LE(elapsed, c.most);
        Driver().StopScan(0);
    }
}
